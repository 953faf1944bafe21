#include "FusionDebugger.h"

#include "../Host/Seam.h"
#include "../Tovik/Boundary.h"
#include "../Tovik/Exports.h"
#include "../Tovik/ObjectLife.h"
#include "extension/Extension.h"

#include <cwchar>
#include <stdexcept>

namespace {

constexpr std::uint16_t EndOfTree = 0xFFFF;
// The host's item buffer holds 255 characters and the NUL.
constexpr std::size_t HostBufferSize = 256;
constexpr std::size_t MaxShownLength = HostBufferSize - 1;

} // namespace

FusionDebugger::FusionDebugger(Extension* owner) : owner(owner)
{
    items.reserve(128);
    tree.reserve(129);
    tree.push_back(EndOfTree);
}

void FusionDebugger::AddItem(const DebugItem& item)
{
    if (items.size() >= EndOfTree)
        throw std::length_error("Too many debug items.");
    tree.insert(tree.end() - 1, static_cast<std::uint16_t>(items.size()));
    items.push_back(item);
}

std::uint16_t* FusionDebugger::GetDebugTree() { return tree.data(); }

FusionDebugger::DebugItem& FusionDebugger::Find(int id)
{
    if (id < 0 || static_cast<std::size_t>(id) >= items.size())
        throw std::runtime_error("Couldn't find debug ID in Fusion debugger list.");
    return items[static_cast<std::size_t>(id)];
}

void FusionDebugger::GetDebugItem(wchar_t* buffer, int id)
{
    DebugItem& item = Find(id);
    const bool hasReader = item.isInt ? item.getInt != nullptr : item.getText != nullptr;
    if (hasReader && (item.refreshMs == 0 || Host::Seam.GetTickCount64() >= item.nextRefreshTick)) {
        if (item.isInt) {
            item.cachedInt = item.getInt(owner);
        } else {
            item.getText(owner, &item.cachedText);
            if (item.cachedText.size() > MaxShownLength) {
                item.cachedText.resize(MaxShownLength - 1);
                item.cachedText += L'\u2026';
            }
        }
        if (item.refreshMs != 0)
            item.nextRefreshTick = Host::Seam.GetTickCount64() + item.refreshMs;
    }
    // A text set by an edit or by the extension can be longer than the buffer: show its start rather
    // than fail the copy.
    wcsncpy_s(buffer, HostBufferSize, item.cachedText.c_str(), _TRUNCATE);
}

void FusionDebugger::EditDebugItem(int id)
{
    DebugItem& item = Find(id);
    HostEditRecord record{};
    if (item.isInt) {
        if (item.editInt == nullptr)
            throw std::runtime_error("Item not editable.");
        record.integer = item.cachedInt;
        if (owner->Runtime.EditInteger(&record) != 1)
            return;
        const std::int32_t previous = item.cachedInt;
        item.cachedInt = record.integer;
        if (!item.editInt(owner, item.cachedInt)) {
            item.cachedInt = previous;
            item.nextRefreshTick = Host::Seam.GetTickCount64();
        }
        return;
    }
    if (item.editText == nullptr)
        throw std::runtime_error("Item not editable.");
    item.cachedText.resize(std::wcslen(item.cachedText.c_str()));
    // Kept before the dialog: the host may write the new text into the buffer it is handed.
    const std::wstring previous = item.cachedText;
    record.text = item.cachedText.data();
    record.textLength = static_cast<std::uint32_t>(item.cachedText.size());
    if (owner->Runtime.EditText(&record) != 1 || record.text == nullptr)
        return;
    item.cachedText = std::wstring(record.text);
    if (!item.editText(owner, &item.cachedText)) {
        item.cachedText = previous;
        item.nextRefreshTick = Host::Seam.GetTickCount64();
    }
}

// An object that was never built, or is already destroyed, shows an empty tree and has no items.
HOST_EXPORT std::uint16_t* HOST_STDCALL GetDebugTree(RUNDATA* rdPtr)
{
    static std::uint16_t noItems[] = {EndOfTree};
    return Tovik::Guard("GetDebugTree", noItems, [&] {
        Extension* ext = GetExtension(rdPtr);
        return ext != nullptr ? ext->Debugger.GetDebugTree() : noItems;
    });
}

HOST_EXPORT void HOST_STDCALL GetDebugItem(wchar_t* buffer, RUNDATA* rdPtr, std::int32_t id)
{
    Tovik::GuardVoid("GetDebugItem", [&] {
        if (Extension* ext = GetExtension(rdPtr))
            ext->Debugger.GetDebugItem(buffer, id);
    });
}

HOST_EXPORT void HOST_STDCALL EditDebugItem(RUNDATA* rdPtr, std::int32_t id)
{
    Tovik::GuardVoid("EditDebugItem", [&] {
        if (Extension* ext = GetExtension(rdPtr))
            ext->Debugger.EditDebugItem(id);
    });
}
