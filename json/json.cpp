// The definition reader. A pre-pass checks the start of the text and removes comments; the scan then runs
// twice over the result: the first run counts (nodes, lengths, name bytes) and computes numbers, the
// second allocates every table and string once at its final size and fills it. Nothing recurses, so
// nesting is limited only by memory.
#include "json.h"

#include "decimal.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

const json_value json_value_none{};

namespace {

// Lengths and allocation totals stop short of 2^32 so that a terminator or an entry table added to them
// cannot wrap 32 bits.
constexpr std::uint32_t uint_max = 4294967287u;
constexpr std::uint32_t ulong_max = 4294967287u;

constexpr std::size_t message_size = 128;

enum scan_flag : unsigned {
    flag_next = 1u << 0, // the value at top is complete
    flag_reprocess = 1u << 1,
    flag_need_comma = 1u << 2,
    flag_seek_value = 1u << 3,
    flag_escaped = 1u << 4,
    flag_string = 1u << 5,
    flag_need_colon = 1u << 6,
    flag_done = 1u << 7,
    flag_negative = 1u << 8,
    flag_leading_zero = 1u << 9,
    flag_exponent = 1u << 10,
    flag_exponent_sign = 1u << 11,
};

constexpr unsigned number_flags = flag_negative | flag_leading_zero | flag_exponent | flag_exponent_sign;

void* json_default_alloc(std::size_t size, int zero, void*)
{
    return zero ? std::calloc(size, 1) : std::malloc(size);
}

void json_default_free(void* ptr, void*) { std::free(ptr); }

json_settings with_defaults(const json_settings* settings)
{
    json_settings result = settings ? *settings : json_settings{};
    if (!result.mem_alloc)
        result.mem_alloc = json_default_alloc;
    if (!result.mem_free)
        result.mem_free = json_default_free;
    return result;
}

void release(const json_settings& settings, void* ptr)
{
    if (ptr)
        settings.mem_free(ptr, settings.user_data);
}

struct json_state {
    json_settings settings;
    std::uint32_t used; // bytes allocated so far, counted only under a memory limit
    bool first_pass;
    char message[message_size];

    int line;
    const char* line_start;
    json_value* top;
    json_value* root;
    json_value* chain; // first pass: the last node allocated; second pass: the next node to take
    unsigned flags;

    char* string; // second pass: where the bytes of the string or member name being read go
    std::uint32_t string_length;

    const char* num_start;  // first pass: the number's first digit (past a '-')
    std::size_t num_digits; // in the current part: before the point, after it, or in the exponent
};

bool fail(json_state& state, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(state.message, sizeof state.message, format, args);
    va_end(args);
    return false;
}

int column(const json_state& state, const char* ptr) { return static_cast<int>(ptr - state.line_start); }

// Sizes arrive as 64 bits so that a table size computed from a 32-bit count cannot wrap before the check.
void* json_alloc(json_state& state, std::uint64_t size, int zero)
{
    if (ulong_max - state.used < size)
        return nullptr;
    if (state.settings.max_memory) {
        state.used += static_cast<std::uint32_t>(size);
        if (state.used > state.settings.max_memory)
            return nullptr;
    }
    return state.settings.mem_alloc(static_cast<std::size_t>(size), zero, state.settings.user_data);
}

// While counting, an object has no entry table yet: its table pointer carries the byte count of its member
// names (each with its NUL) until the second pass allocates the real block.
std::uintptr_t counted_name_bytes(const json_value& object)
{
    return reinterpret_cast<std::uintptr_t>(object.u.object.values);
}

void count_name_bytes(json_value& object, std::uint32_t bytes)
{
    object.u.object.values = reinterpret_cast<json_object_entry*>(counted_name_bytes(object) + bytes);
}

// Gives a node its storage at the size counted by the first pass; the length is counted again while
// filling. Pointers are cleared first so that a failed allocation leaves a node that frees cleanly.
bool allocate_storage(json_state& state, json_value& value)
{
    switch (value.type) {
    case json_array: {
        const std::uint32_t count = value.u.array.length;
        value.u.array.length = 0;
        value.u.array.values = nullptr;
        if (count == 0)
            return true;
        value.u.array.values =
            static_cast<json_value**>(json_alloc(state, std::uint64_t{count} * sizeof(json_value*), 0));
        return value.u.array.values != nullptr;
    }
    case json_object: {
        const std::uint32_t count = value.u.object.length;
        const std::uintptr_t name_bytes = counted_name_bytes(value);
        value.u.object.length = 0;
        value.u.object.values = nullptr;
        const std::uint64_t table_size = std::uint64_t{count} * sizeof(json_object_entry);
        if (table_size + name_bytes == 0)
            return true;
        void* block = json_alloc(state, table_size + name_bytes, 0);
        if (!block)
            return false;
        value.u.object.values = static_cast<json_object_entry*>(block);
        value._reserved.object_mem = static_cast<char*>(block) + table_size;
        return true;
    }
    case json_string: {
        const std::uint32_t length = value.u.string.length;
        value.u.string.length = 0;
        value.u.string.ptr = static_cast<char*>(json_alloc(state, std::uint64_t{length} + 1, 0));
        state.string = value.u.string.ptr;
        return value.u.string.ptr != nullptr;
    }
    default:
        return true;
    }
}

// Starts a value and makes it top. The first pass allocates and chains the node; the second takes the
// same nodes from the chain, in the same order, and gives them their storage.
bool new_value(json_state& state, json_type type)
{
    json_value* value;
    if (state.first_pass) {
        value = static_cast<json_value*>(json_alloc(state, sizeof(json_value), 1));
        if (!value)
            return fail(state, "Memory allocation failure");
        value->type = type;
        value->parent = state.top;
        if (state.chain)
            state.chain->_reserved.next_alloc = value;
        state.chain = value;
    } else {
        value = state.chain;
        state.chain = value->_reserved.next_alloc;
    }
    if (!state.root)
        state.root = value;
    state.top = value;
    if (!state.first_pass && !allocate_storage(state, *value))
        return fail(state, "Memory allocation failure");
    return true;
}

unsigned hex_value(char byte)
{
    if (byte >= '0' && byte <= '9')
        return static_cast<unsigned>(byte - '0');
    if (byte >= 'a' && byte <= 'f')
        return static_cast<unsigned>(byte - 'a' + 10);
    if (byte >= 'A' && byte <= 'F')
        return static_cast<unsigned>(byte - 'A' + 10);
    return 0xFF;
}

bool is_number_byte(char byte)
{
    return (byte >= '0' && byte <= '9') || byte == '+' || byte == '-' || byte == 'e' || byte == 'E' ||
           byte == '.';
}

// White space outside strings; a line feed starts a new line.
bool skip_white(json_state& state, const char* ptr, char byte)
{
    if (byte == '\n') {
        ++state.line;
        state.line_start = ptr;
        return true;
    }
    return byte == '\t' || byte == '\r' || byte == ' ';
}

// The message buffer of the host is bounded; a longer message is cut, never overrun.
void copy_message(char* buffer, std::size_t size, const char* message)
{
    if (!buffer || size == 0)
        return;
    const std::size_t length = std::min(std::strlen(message), size - 1);
    std::memcpy(buffer, message, length);
    buffer[length] = '\0';
}

// Checks the start of the text and removes comments. On success text and length describe what the scan
// reads: the caller's bytes (past a byte-order mark), or a comment-free copy that is also returned in
// copy for the caller to release.
bool json_strip_comments(json_state& state, const char*& text, std::size_t& length, char*& copy)
{
    const unsigned char first = static_cast<unsigned char>(text[0]);
    if (first != '{' && first != '/' && !std::isspace(first)) {
        if (length < 3 || std::memcmp(text, "\xEF\xBB\xBF", 3) != 0)
            return fail(state, "Line 1, char 0: Unrecognised start; not a UTF-8 BOM or brace. Is the JSON "
                               "not in UTF-8 encoding?");
        text += 3;
        length -= 3;
    }
    if (!std::memchr(text, '/', length))
        return true;

    char* out = static_cast<char*>(json_alloc(state, length, 1));
    if (!out)
        return fail(state, "Memory allocation failure");
    // text[length] is the caller's NUL, so looking one byte ahead never leaves the buffer.
    std::size_t copied = 0;
    bool in_string = false;
    bool escaped = false; // inside a string, the byte before was a backslash that escapes this one
    bool in_comment = false;
    int line = 1;
    const char* line_start = text;
    int comment_line = 0;
    int comment_char = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const char byte = text[i];
        if (byte == '\n') {
            out[copied++] = byte;
            ++line;
            escaped = false;
            if (!in_comment)
                line_start = text + i;
        } else if (in_comment) {
            // The '*' of the opening counts, so "/*/" is a whole comment.
            if (byte == '*' && text[i + 1] == '/') {
                in_comment = false;
                ++i;
            }
        } else if (in_string) {
            // A quote closes the string only after an even run of backslashes: "C:\\" ends at its
            // last quote.
            if (byte == '"' && !escaped)
                in_string = false;
            escaped = byte == '\\' && !escaped;
            out[copied++] = byte;
        } else if (byte == '"') {
            in_string = true;
            out[copied++] = byte;
        } else if (byte == '/' && text[i + 1] == '/') {
            const char* feed = static_cast<const char*>(std::memchr(text + i, '\n', length - i));
            if (!feed) {
                release(state.settings, out);
                return fail(state, "Line %d, char %d: Opened // comment but no newline encountered.", line,
                            static_cast<int>(text + i - line_start));
            }
            out[copied++] = '\r';
            out[copied++] = '\n';
            ++line;
            line_start = feed;
            i = static_cast<std::size_t>(feed - text);
        } else if (byte == '/' && text[i + 1] == '*') {
            in_comment = true;
            comment_line = line;
            comment_char = static_cast<int>(text + i - line_start);
        } else {
            out[copied++] = byte;
        }
    }
    if (in_comment) {
        release(state.settings, out);
        return fail(state, "Line %d, char %d: Opened /* */ comment without closing it.", comment_line,
                    comment_char);
    }
    if (copied == length) { // every '/' was inside a string or stood alone
        release(state.settings, out);
        return true;
    }
    // Removing a comment always shortens the text, so the NUL fits; the scan reads it as the end.
    out[copied] = '\0';
    text = out;
    length = copied + 1;
    copy = out;
    return true;
}

// Adds one byte to the string or member name being read: counted in the first pass, stored in the second.
bool append(json_state& state, const char* ptr, char byte)
{
    if (state.string_length >= uint_max)
        return fail(state, "Line %d, char %d: Too long (caught overflow)", state.line, column(state, ptr));
    if (!state.first_pass)
        state.string[state.string_length] = byte;
    ++state.string_length;
    return true;
}

// Each \u escape is encoded on its own: surrogate halves become three bytes each.
bool append_code_unit(json_state& state, const char* ptr, unsigned code)
{
    if (code < 0x80)
        return append(state, ptr, static_cast<char>(code));
    if (code < 0x800)
        return append(state, ptr, static_cast<char>(0xC0 | code >> 6)) &&
               append(state, ptr, static_cast<char>(0x80 | (code & 0x3F)));
    return append(state, ptr, static_cast<char>(0xE0 | code >> 12)) &&
           append(state, ptr, static_cast<char>(0x80 | (code >> 6 & 0x3F))) &&
           append(state, ptr, static_cast<char>(0x80 | (code & 0x3F)));
}

void end_string(json_state& state)
{
    state.flags &= ~flag_string;
    json_value& top = *state.top;
    if (!state.first_pass)
        state.string[state.string_length] = '\0';
    if (top.type == json_string) {
        top.u.string.length = state.string_length;
        state.flags |= flag_next;
        return;
    }
    // A member name: its value follows a colon.
    if (state.first_pass) {
        count_name_bytes(top, state.string_length + 1);
    } else {
        top.u.object.values[top.u.object.length].name = state.string;
        top._reserved.object_mem = state.string + state.string_length + 1;
    }
    state.flags |= flag_seek_value | flag_need_colon;
}

bool scan_string(json_state& state, const char*& ptr, const char* end, char byte)
{
    if (byte == '\0')
        return fail(state, "Unexpected EOF in string (at line %d, char %d)", state.line, column(state, ptr));
    if (state.flags & flag_escaped) {
        state.flags &= ~flag_escaped;
        switch (byte) {
        case 'b':
            return append(state, ptr, '\b');
        case 'f':
            return append(state, ptr, '\f');
        case 'n':
            return append(state, ptr, '\n');
        case 'r':
            return append(state, ptr, '\r');
        case 't':
            return append(state, ptr, '\t');
        case 'u': {
            unsigned code = 0;
            for (std::ptrdiff_t i = 1; i <= 4; ++i) {
                const unsigned digit = hex_value(end - ptr > i ? ptr[i] : '\0');
                if (digit == 0xFF)
                    return fail(state, "Invalid character value `%c` (at line %d, char %d)", byte, state.line,
                                column(state, ptr));
                code = code << 4 | digit;
            }
            if (!append_code_unit(state, ptr, code))
                return false;
            ptr += 4;
            return true;
        }
        default:
            return append(state, ptr, byte);
        }
    }
    if (byte == '\\') {
        state.flags |= flag_escaped;
        return true;
    }
    if (byte == '"') {
        end_string(state);
        return true;
    }
    return append(state, ptr, byte);
}

// true, false and null are complete at once; the scan goes on after the word.
bool scan_word(json_state& state, const char*& ptr, const char* end, char byte)
{
    const char* word = byte == 't' ? "true" : byte == 'f' ? "false" : "null";
    const std::size_t length = std::strlen(word);
    if (static_cast<std::size_t>(end - ptr) < length || std::memcmp(ptr, word, length) != 0)
        return fail(state, "Line %d, char %d: Unknown value", state.line, column(state, ptr));
    if (!new_value(state, byte == 'n' ? json_null : json_boolean))
        return false;
    state.top->u.boolean = byte == 't';
    ptr += length - 1;
    state.flags |= flag_next;
    return true;
}

bool start_number(json_state& state, const char*& ptr, const char* end, char byte)
{
    if (!new_value(state, json_integer))
        return false;
    state.flags &= ~(flag_seek_value | number_flags);
    if (!state.first_pass) {
        // Computed by the first pass: only step over it.
        while (ptr != end && is_number_byte(*ptr))
            ++ptr;
        state.flags |= flag_next | flag_reprocess;
        return true;
    }
    state.num_digits = 0;
    state.num_start = byte == '-' ? ptr + 1 : ptr;
    if (byte == '-')
        state.flags |= flag_negative;
    else
        state.flags |= flag_reprocess;
    return true;
}

bool seek_value(json_state& state, const char*& ptr, const char* end, char byte)
{
    if (skip_white(state, ptr, byte))
        return true;
    if (byte == ']') {
        // Also right after a comma: a trailing comma in an array is accepted.
        if (!state.top || state.top->type != json_array)
            return fail(state, "Line %d, char %d: Unexpected ]", state.line, column(state, ptr));
        state.flags |= flag_next;
        return true;
    }
    if (state.flags & flag_need_comma) {
        if (byte != ',')
            return fail(state, "Line %d, char %d: Expected , before %c", state.line, column(state, ptr),
                        byte);
        state.flags &= ~flag_need_comma;
        return true;
    }
    if (state.flags & flag_need_colon) {
        if (byte != ':')
            return fail(state, "Line %d, char %d: Expected : before %c", state.line, column(state, ptr),
                        byte);
        state.flags &= ~flag_need_colon;
        return true;
    }
    switch (byte) {
    case '{':
        if (!new_value(state, json_object))
            return false;
        state.flags &= ~flag_seek_value;
        return true;
    case '[':
        return new_value(state, json_array);
    case '"':
        if (!new_value(state, json_string))
            return false;
        state.flags = (state.flags & ~flag_seek_value) | flag_string;
        state.string_length = 0;
        return true;
    case 't':
    case 'f':
    case 'n':
        return scan_word(state, ptr, end, byte);
    default:
        if ((byte >= '0' && byte <= '9') || byte == '-')
            return start_number(state, ptr, end, byte);
        // At the end byte is NUL, which ends the message after "Unexpected ".
        return fail(state, "Line %d, char %d: Unexpected %c when seeking value", state.line,
                    column(state, ptr), byte);
    }
}

bool scan_object(json_state& state, const char* ptr, char byte)
{
    if (skip_white(state, ptr, byte))
        return true;
    switch (byte) {
    case '"':
        if (state.flags & flag_need_comma)
            return fail(state, "Line %d, char %d: Expected , before \"", state.line, column(state, ptr));
        state.flags |= flag_string;
        state.string_length = 0;
        if (!state.first_pass)
            state.string = state.top->_reserved.object_mem;
        return true;
    case '}': // also right after a comma
        state.flags |= flag_next;
        return true;
    case ',':
        if (!(state.flags & flag_need_comma))
            break;
        state.flags &= ~flag_need_comma;
        return true;
    case '\0':
        return fail(state, "Line %d, char %d: Unexpected `\\0` in object", state.line, column(state, ptr));
    }
    return fail(state, "Line %d, char %d: Unexpected `%c` in object", state.line, column(state, ptr), byte);
}

// The first pass computes numbers: integers in 64 bits, wrapping on overflow; doubles from their text
// once it is complete.
bool scan_number(json_state& state, const char* ptr, char byte)
{
    json_value& number = *state.top;
    if (byte >= '0' && byte <= '9') {
        ++state.num_digits;
        if (number.type != json_integer)
            return true;
        if (state.flags & flag_leading_zero)
            return fail(state, "Line %d, char %d: Unexpected `0` before `%c`", state.line, column(state, ptr),
                        byte);
        if (state.num_digits == 1 && byte == '0')
            state.flags |= flag_leading_zero;
        const std::uint64_t digit = static_cast<std::uint64_t>(byte - '0');
        number.u.integer = static_cast<json_int_t>(static_cast<std::uint64_t>(number.u.integer) * 10 + digit);
        return true;
    }
    if ((byte == '+' || byte == '-') && (state.flags & flag_exponent) && state.num_digits == 0 &&
        !(state.flags & flag_exponent_sign)) {
        state.flags |= flag_exponent_sign;
        return true;
    }
    if (byte == '.' && number.type == json_integer) {
        if (state.num_digits == 0)
            return fail(state, "Line %d, char %d: Expected digit before `.`", state.line, column(state, ptr));
        number.type = json_double;
        state.num_digits = 0;
        return true;
    }

    // Any other byte ends the number, or its part before an exponent.
    if (number.type == json_double && !(state.flags & flag_exponent) && state.num_digits == 0)
        return fail(state, "Line %d, char %d: Expected digit after `.`", state.line, column(state, ptr));
    if ((byte == 'e' || byte == 'E') && !(state.flags & flag_exponent)) {
        number.type = json_double;
        state.flags = (state.flags & ~flag_leading_zero) | flag_exponent;
        state.num_digits = 0;
        return true;
    }
    if ((state.flags & flag_exponent) && state.num_digits == 0)
        return fail(state, "Line %d, char %d: Expected digit after `e`", state.line, column(state, ptr));
    if (number.type == json_double)
        number.u.dbl = json_decimal_to_double(state.num_start, ptr);
    if (state.flags & flag_negative) {
        if (number.type == json_integer)
            number.u.integer = static_cast<json_int_t>(0u - static_cast<std::uint64_t>(number.u.integer));
        else
            number.u.dbl = -number.u.dbl;
    }
    state.flags |= flag_next | flag_reprocess;
    return true;
}

// The value at top is complete: the root ends the scan; any other value goes into its parent (in the
// second pass) and the parent becomes top again.
bool complete_value(json_state& state, const char* ptr)
{
    json_value* const value = state.top;
    json_value* const parent = value->parent;
    state.flags = (state.flags & flag_reprocess) | flag_need_comma;
    if (!parent) {
        state.flags |= flag_done;
        return true;
    }
    std::uint32_t& length = parent->type == json_array ? parent->u.array.length : parent->u.object.length;
    if (length >= uint_max)
        return fail(state, "Line %d, char %d: Too long (caught overflow)", state.line, column(state, ptr));
    if (parent->type == json_array) {
        state.flags |= flag_seek_value;
        if (!state.first_pass)
            parent->u.array.values[length] = value;
    } else if (!state.first_pass) {
        parent->u.object.values[length].value = value;
    }
    ++length;
    state.top = parent;
    return true;
}

bool scan(json_state& state, const char* text, std::size_t length)
{
    const char* const end = text + length;
    state.top = nullptr;
    state.root = nullptr;
    state.flags = flag_seek_value;
    state.line = 1;
    state.line_start = text;
    const char* ptr = text;
    for (;;) {
        const char byte = ptr == end ? '\0' : *ptr;
        bool ok;
        if (state.flags & flag_done) {
            if (byte == '\0')
                return true;
            ok = skip_white(state, ptr, byte) || fail(state, "Line %d, char %d: Trailing garbage: `%c`",
                                                      state.line, column(state, ptr), byte);
        } else if (state.flags & flag_string) {
            ok = scan_string(state, ptr, end, byte);
        } else if (state.flags & flag_seek_value) {
            ok = seek_value(state, ptr, end, byte);
        } else if (state.top->type == json_object) {
            ok = scan_object(state, ptr, byte);
        } else {
            ok = scan_number(state, ptr, byte);
        }
        if (!ok)
            return false;
        if ((state.flags & flag_next) && !complete_value(state, ptr))
            return false;
        if (state.flags & flag_reprocess)
            state.flags &= ~flag_reprocess;
        else
            ++ptr;
    }
}

// Counts in a first scan, fills in a second. On failure everything allocated is released.
json_value* parse_tree(json_state& state, const char* text, std::size_t length)
{
    state.first_pass = true;
    state.chain = nullptr;
    if (!scan(state, text, length)) {
        // No node has storage yet: the chain holds them all.
        for (json_value* node = state.root; node;) {
            json_value* const next = node->_reserved.next_alloc;
            state.settings.mem_free(node, state.settings.user_data);
            node = next;
        }
        return nullptr;
    }

    state.first_pass = false;
    state.chain = state.root;
    if (!scan(state, text, length)) {
        for (json_value* node = state.chain; node;) { // not taken yet
            json_value* const next = node->_reserved.next_alloc;
            state.settings.mem_free(node, state.settings.user_data);
            node = next;
        }
        // Values still open are not yet in their parents' tables: free each with what it holds.
        for (json_value* node = state.top; node;) {
            json_value* const parent = node->parent;
            json_value_free_ex(&state.settings, node);
            node = parent;
        }
        return nullptr;
    }
    return state.root;
}

} // namespace

json_value* json_parse_ex(json_settings* settings, char* text, std::size_t length, char* error_buf,
                          std::size_t error_buf_size)
{
    json_state state{};
    state.settings = with_defaults(settings);

    const char* scan_text = text;
    std::size_t scan_length = length;
    char* copy = nullptr;
    json_value* root = nullptr;
    if (json_strip_comments(state, scan_text, scan_length, copy))
        root = parse_tree(state, scan_text, scan_length);

    // The tree holds no pointer into the text: neither the caller's text nor the copy is needed any more.
    release(state.settings, copy);
    std::free(text);

    if (!root)
        copy_message(error_buf, error_buf_size, state.message[0] ? state.message : "Unknown error");
    return root;
}

void json_value_free(json_value* value) { json_value_free_ex(nullptr, value); }

// Walks down to the last child first and frees on the way back up, so that depth costs no stack.
void json_value_free_ex(json_settings* settings, json_value* value)
{
    if (!value)
        return;
    const json_settings use = with_defaults(settings);
    value->parent = nullptr;
    json_value* node = value;
    while (node) {
        if (node->type == json_array && node->u.array.length) {
            node = node->u.array.values[--node->u.array.length];
            continue;
        }
        if (node->type == json_object && node->u.object.length) {
            node = node->u.object.values[--node->u.object.length].value;
            continue;
        }
        if (node->type == json_array)
            release(use, node->u.array.values);
        else if (node->type == json_object)
            release(use, node->u.object.values);
        else if (node->type == json_string)
            release(use, node->u.string.ptr);
        json_value* const parent = node->parent;
        use.mem_free(node, use.user_data);
        node = parent;
    }
}

const json_value& json_value::operator[](int index) const
{
    if (type != json_array || index < 0 || static_cast<std::uint32_t>(index) >= u.array.length)
        return json_value_none;
    return *u.array.values[index];
}

const json_value& json_value::operator[](const char* name) const
{
    if (type != json_object)
        return json_value_none;
    for (std::uint32_t i = 0; i < u.object.length; ++i) {
        if (std::strcmp(u.object.values[i].name, name) == 0)
            return *u.object.values[i].value;
    }
    return json_value_none;
}

json_value::operator const char*() const { return type == json_string ? u.string.ptr : ""; }

json_value::operator json_int_t() const
{
    if (type == json_integer)
        return u.integer;
    if (type != json_double)
        return 0;
    // Beyond the 64-bit range (or NaN) the conversion is undefined in C++; answer what the x86
    // conversion instruction gives there, the smallest 64-bit integer.
    if (u.dbl >= -9223372036854775808.0 && u.dbl < 9223372036854775808.0)
        return static_cast<json_int_t>(u.dbl);
    return INT64_MIN;
}

json_value::operator bool() const { return type == json_boolean && u.boolean != 0; }
