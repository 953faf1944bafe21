// The definition reader: JSON with comments and an optional UTF-8 byte-order mark, parsed into a tree
// of json_value nodes with never-failing access. Plain C++ on bytes, no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>

typedef std::int64_t json_int_t;

enum json_type : std::int32_t {
    json_none = 0,
    json_object = 1,
    json_array = 2,
    json_integer = 3,
    json_double = 4,
    json_string = 5,
    json_boolean = 6,
    json_null = 7,
};

constexpr unsigned long json_relaxed_commas = 1;

struct json_settings {
    std::uint32_t max_memory; // 0: no limit
    unsigned long settings;   // bit flags: json_relaxed_commas
    void* (*mem_alloc)(std::size_t size, int zero, void* user_data);
    void (*mem_free)(void* ptr, void* user_data);
    void* user_data;
};

struct json_value;

struct json_object_entry {
    char* name;
    json_value* value;
};

struct json_value {
    json_value* parent;
    json_type type;

    union {
        int boolean;
        json_int_t integer;
        double dbl;
        struct {
            std::uint32_t length;
            char* ptr;
        } string;
        struct {
            std::uint32_t length;
            json_object_entry* values;
        } object;
        struct {
            std::uint32_t length;
            json_value** values;
        } array;
    } u;

    union {
        json_value* next_alloc; // first pass: chain of every node in allocation order
        char* object_mem;       // second pass: next free byte of an object's name storage
    } _reserved;

    // Element at index of an array; json_value_none otherwise.
    const json_value& operator[](int index) const;
    // First member (document order) whose name equals name byte for byte; json_value_none otherwise.
    const json_value& operator[](const char* name) const;
    // The bytes of a string; "" for every other type.
    operator const char*() const;
    // An integer's value; a double truncated toward zero; 0 otherwise.
    operator json_int_t() const;
    // A boolean's value; false for every other type.
    operator bool() const;
};

// The shared empty node: every failed lookup answers it. Zero in every field, never changed.
extern const json_value json_value_none;

// Parses text[0..length). The text must come from malloc with a NUL at index length; the parser takes
// it over and frees it. Returns null on failure, with the message copied into error_buf.
json_value* json_parse_ex(json_settings* settings, char* text, std::size_t length, char* error_buf,
                          std::size_t error_buf_size);

void json_value_free(json_value* value);
void json_value_free_ex(json_settings* settings, json_value* value);
