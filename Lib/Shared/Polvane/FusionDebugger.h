// The per-object list of items that Fusion's debugger shows while an application runs: the host asks
// for the tree of item ids, then for each item's text, and may let the user edit an item.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Extension;

class FusionDebugger {
public:
    struct DebugItem {
        std::uint8_t isInt = 0; // otherwise a text item
        std::int32_t cachedInt = 0;
        std::wstring cachedText;     // what the host is shown for the item
        std::uint64_t refreshMs = 0; // 0: read afresh on every request
        std::uint64_t nextRefreshTick = 0;
        std::int32_t (*getInt)(Extension*) = nullptr;
        bool (*editInt)(Extension*, std::int32_t) = nullptr;
        void (*getText)(Extension*, std::wstring*) = nullptr;
        bool (*editText)(Extension*, std::wstring*) = nullptr;
    };

    explicit FusionDebugger(Extension* owner);

    // How an extension adds an item: the item's id is its index, and it is shown after the items
    // added before it. Throws std::length_error past 0xFFFF items, as 0xFFFF ends the host's tree.
    void AddItem(const DebugItem& item);

    // The ids of the items shown, ending with 0xFFFF.
    std::uint16_t* GetDebugTree();
    // Writes the item's text into the host's buffer of 256 characters.
    void GetDebugItem(wchar_t* buffer, int id);
    // Lets the user edit the item through the host's edit dialog.
    void EditDebugItem(int id);

private:
    DebugItem& Find(int id);

    Extension* owner;
    // Declared before the tree so that the tree goes first on destruction.
    std::vector<DebugItem> items;
    std::vector<std::uint16_t> tree;
};
