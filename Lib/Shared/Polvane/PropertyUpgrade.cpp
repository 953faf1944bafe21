#include "PropertyUpgrade.h"

#include "../Tovik/Boundary.h"
#include "Globals.h"
#include "JSONValues.h"
#include "Lib/Shared/Host/HostFunctions.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "Lib/Shared/Tovik/SDK.h"
#include "Lib/Shared/Tovik/Startup.h"
#include "MsgBox.h"
#include "Properties.h"
#include "PropertyReaders.h"
#include "PropertyValues.h"
#include "Settings.h"
#include "TextConversion.h"
#include "extension/Extension.h"
#include "json/json.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace Polvane {
namespace {

using ConverterReturn = Properties::ConverterReturn;
using ConverterState = Properties::ConverterState;

constexpr std::uint32_t BlockOffset = sizeof(EditDataHeader);
constexpr std::size_t FixedSize = sizeof(EditDataHeader) + sizeof(Properties);
constexpr std::int32_t ObjectNamePropertyID = 21;
constexpr int ResizeFailedError = 12; // ENOMEM: the host could not give a record of the size built
constexpr std::string_view DefaultUpgradeBoxSetting = "for reset only, once";
constexpr std::string_view OnceEnding = ", once";

Properties::PreSmartPropertyReader preSmartReader;
Properties::SmartPropertyReader smartReader;
Properties::JSONPropertyReader jsonReader;

// The mV word at +0x34 seen by the last upgrade of an old record. Nothing is remembered before the
// first, so that a once-only box shows on the first upgrade whatever the word holds.
std::optional<std::uint32_t> rememberedUpgradeBoxKey;

struct ChainLink {
    Properties::PropertyReader* reader;
    const char* name;
};
using Chain = std::vector<ChainLink>;

// The name the author gave the object, for the upgrade box; the product's name without one.
std::wstring ObjectName(::mV* mV, EDITDATA* oldEdPtr)
{
    std::wstring name = ProjectName;
    if (oldEdPtr == nullptr)
        return name;
    Prop* value = mvGetPropValue(mV, oldEdPtr, ObjectNamePropertyID);
    if (value == nullptr)
        return name;
    const wchar_t* text =
        value->GetClassID() == Prop_WStr::ClassID ? static_cast<const Prop_WStr*>(value)->Text : nullptr;
    if (text != nullptr) {
        name = text;
        if (name != ProjectName)
            name += L" (" + ProjectName + L")";
    }
    value->Delete();
    return name;
}

// False when the record is to stay as it is: it has the current version, or the author said so.
bool VersionNeedsUpgrade(EDITDATA* oldEdPtr)
{
    const std::uint32_t version = oldEdPtr->eHeader.extVersion;
    if (version == Extension::Version)
        return false;
    if (version < Extension::Version)
        return true;
    const int answer = MsgBox::WarningYesNoCancel(
        L"Property update warning",
        L"UpdateEditStructure has current version %i and MFA has a version of %i. Select an action to "
        L"take:\nYes = run updater.\nNo = set the EDITDATA's version number to earlier version %i.\nCancel = "
        L"make no changes and ignore the difference.",
        Extension::Version, static_cast<int>(version), Extension::Version);
    if (answer == IDYES)
        return true;
    if (answer == IDNO)
        oldEdPtr->eHeader.extVersion = Extension::Version;
    return false;
}

// The record's bytes from the block on; 0 when the block's fixed part does not fit in them.
std::uint64_t BlockBytes(const EDITDATA* record, const Properties* props)
{
    const std::uint64_t offset =
        reinterpret_cast<const std::uint8_t*>(props) - reinterpret_cast<const std::uint8_t*>(record);
    const std::uint64_t total = record->eHeader.totalSize;
    return offset + sizeof(Properties) <= total ? total - offset : 0;
}

// The titles hash leaves out the properties without a value, so a block written before one of them
// was added or removed still matches it. Kept as it is, such a block would be read one entry off from
// there on: it is kept only when its entries are the definition's, position by position.
bool EntriesLineUp(const EDITDATA* record, Properties* props)
{
    const std::uint32_t numProps = ArrayLength(CurLang()["Properties"]);
    if (props->numProps != numProps)
        return false;
    const std::vector<Properties::Data*> entries = props->EntriesWithin(BlockBytes(record, props), numProps);
    if (entries.size() != numProps)
        return false;
    for (std::uint32_t i = 0; i < numProps; ++i) {
        if (entries[i]->propTypeID != PropTypeIDOf(i))
            return false;
    }
    return true;
}

Properties* BlockOf(std::vector<std::uint8_t>& record)
{
    return reinterpret_cast<Properties*>(record.data() + BlockOffset);
}

// A record of size bytes, zero but for the header of a record that replaces oldEdPtr (or none).
std::vector<std::uint8_t> NewRecord(std::size_t size, const EDITDATA* oldEdPtr)
{
    std::vector<std::uint8_t> record(size);
    auto* header = reinterpret_cast<EditDataHeader*>(record.data());
    header->totalSize = static_cast<std::uint32_t>(size);
    header->maximumSize =
        oldEdPtr != nullptr ? std::max(header->totalSize, oldEdPtr->eHeader.maximumSize) : header->totalSize;
    header->extVersion = Extension::Version;
    header->identifier = oldEdPtr != nullptr ? oldEdPtr->eHeader.identifier : 0;
    header->propertiesOffset = BlockOffset;
    return record;
}

// The record in fixed, zero-filled global memory, unlocked; null after a box.
HGLOBAL Store(const std::vector<std::uint8_t>& record)
{
    HGLOBAL memory = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, record.size());
    if (memory == nullptr) {
        MsgBox::Error(L"GlobalAlloc failed", L"Failed to allocate %zu bytes for data during upgrade.",
                      record.size());
        return nullptr;
    }
    void* bytes = GlobalLock(memory);
    if (bytes == nullptr) {
        GlobalFree(memory);
        throw std::logic_error("shouldn't fail to lock");
    }
    std::memcpy(bytes, record.data(), record.size());
    GlobalUnlock(memory);
    return memory;
}

// A block written for this very property list but at another offset: moved to offset 20 as it is,
// with everything from the block to the record's end.
HGLOBAL MoveBlock(const EDITDATA* oldEdPtr, const Properties* props)
{
    const auto* start = reinterpret_cast<const std::uint8_t*>(oldEdPtr);
    const auto* block = reinterpret_cast<const std::uint8_t*>(props);
    const std::size_t blockSize = start + oldEdPtr->eHeader.totalSize - block;
    std::vector<std::uint8_t> record = NewRecord(BlockOffset + blockSize, oldEdPtr);
    std::memcpy(record.data() + BlockOffset, block, blockSize);
    BlockOf(record)->sizeBytes = static_cast<std::uint32_t>(record.size());
    return Store(record);
}

Chain InitializeReaders(ConverterState& state)
{
    const ChainLink readers[] = {
        {&preSmartReader, "PreSmartPropertyReader"},
        {&smartReader, "SmartPropertyReader"},
        {&jsonReader, "JSONPropertyReader"},
    };
    Chain chain;
    for (const ChainLink& link : readers) {
        ConverterReturn result;
        link.reader->Initialize(state, &result);
        if (result.kind == ConverterReturn::Found)
            chain.push_back(link);
    }
    return chain;
}

// Asks the chain for property i's value until a reader finds it. A reader that is unsuitable leaves the
// chain; an error is shown and the next reader asked.
bool FindValue(Chain& chain, std::uint32_t i, ConverterReturn& result)
{
    for (std::size_t r = 0; r < chain.size();) {
        chain[r].reader->GetProperty(i, &result);
        switch (result.kind) {
        case ConverterReturn::Found:
            return true;
        case ConverterReturn::ConverterUnsuitable:
            chain.erase(chain.begin() + r);
            continue;
        case ConverterReturn::Error:
            MsgBox::WarningOK(L"Property conversion error",
                              L"%hs converter encountered a failure: %s. Delegating.", chain[r].name,
                              result.data != nullptr ? static_cast<const wchar_t*>(result.data)
                                                     : L"unknown error");
            break;
        }
        ++r;
    }
    return false;
}

// The checkbox state of property i from the first reader that has it; -1 when none has.
int FindCheckbox(Chain& chain, std::uint32_t i)
{
    for (std::size_t r = 0; r < chain.size();) {
        ConverterReturn result;
        chain[r].reader->GetPropertyCheckbox(i, &result);
        switch (result.kind) {
        case ConverterReturn::Found:
            return result.checkboxState;
        case ConverterReturn::ConverterUnsuitable:
            chain.erase(chain.begin() + r);
            continue;
        case ConverterReturn::Error:
            MsgBox::Error(L"Property conversion error",
                          L"Couldn't read check box of some properties. Delegating.");
            break;
        }
        ++r;
    }
    return -1;
}

void AppendEntry(std::string& entries, std::uint16_t typeID, std::string_view title, const void* value,
                 std::uint32_t valueSize)
{
    Properties::Data header;
    header.sizeBytes = static_cast<std::uint32_t>(sizeof(Properties::Data) + title.size() + valueSize);
    header.propTypeID = typeID;
    header.propNameSize = static_cast<std::uint8_t>(title.size());
    entries.append(reinterpret_cast<const char*>(&header), sizeof header);
    entries.append(title);
    if (value != nullptr)
        entries.append(static_cast<const char*>(value), valueSize);
}

void SetBit(std::vector<std::uint8_t>& bits, std::uint32_t i) { bits[i / 8] |= 1 << (i % 8); }

// Tells the author what the upgrade kept and what it reset, as the settings file asks.
void ShowUpgradeBox(::mV* mV, const ConverterState& state, std::uint32_t numProps, const std::wstring& name,
                    std::uint32_t oldVersion)
{
    std::string setting = GetIniSetting("SmartPropertiesUpgradeBox");
    if (setting.empty())
        setting = DefaultUpgradeBoxSetting;
    const bool never = setting == "never";
    bool once = setting.size() > OnceEnding.size() &&
                setting.compare(setting.size() - OnceEnding.size(), OnceEnding.size(), OnceEnding) == 0;
    std::string mode = once ? setting.substr(0, setting.size() - OnceEnding.size()) : setting;
    if (!never && mode != "for reset only" && mode != "always") {
        MsgBox::Error(
            L"Polvane INI error",
            L"Couldn't understand \"SmartPropertiesUpgradeBox\" setting of \"%s\". Valid values are "
            L"\"always\", \"always, once\", \"for reset only\", \"for reset only, once\", and \"never\".",
            UTF8ToTString(setting).c_str());
        mode = "for reset only";
        once = true;
    }
    const bool keyChanged = rememberedUpgradeBoxKey != mV->word34;
    rememberedUpgradeBoxKey = mV->word34;
    if (never || (once && !keyChanged))
        return;

    if (state.numPropsReset == 0) {
        if (mode != "for reset only")
            MsgBox::Info(
                L"Upgraded properties",
                L"Successfully upgraded all %u of %s object properties from ext version %lu to version %i.",
                numProps, name.c_str(), static_cast<unsigned long>(oldVersion), Extension::Version);
        return;
    }
    std::string list = state.resetPropertiesStream.str();
    list.pop_back(); // every line ends in a line feed; the box ends with the last title
    MsgBox::Info(
        L"Upgraded properties",
        L"Successfully copied %u of %s object properties from ext version %lu to %i.\n\nAlso set %zu %s to "
        L"their default settings, namely:\n%s",
        numProps - state.numPropsReset, name.c_str(), static_cast<unsigned long>(oldVersion),
        Extension::Version, static_cast<std::size_t>(state.numPropsReset),
        state.numPropsReset == 1 ? L"property" : L"properties", UTF8ToTString(list).c_str());
}

} // namespace

HGLOBAL DLL_UpdateEditStructure(::mV* mV, EDITDATA* oldEdPtr)
{
    // Without a definition there is nothing to build a record from.
    if (::SDK == nullptr)
        return nullptr;
    if (oldEdPtr != nullptr && !VersionNeedsUpgrade(oldEdPtr))
        return nullptr;
    const std::uint32_t oldVersion = oldEdPtr != nullptr ? oldEdPtr->eHeader.extVersion : 0;
    const std::wstring name = ObjectName(mV, oldEdPtr);

    // A block written for the same list of properties needs no readers.
    Properties* oldProps = nullptr;
    if (oldEdPtr != nullptr && oldEdPtr->eHeader.propertiesOffset != 0) {
        oldProps = GetPropertiesFromEditData(oldEdPtr);
        if (BlockBytes(oldEdPtr, oldProps) == 0)
            oldProps = nullptr;
        else if (oldProps->hashTitles == ~::SDK->PropertyTitlesHash && EntriesLineUp(oldEdPtr, oldProps)) {
            if (oldEdPtr->eHeader.propertiesOffset != BlockOffset)
                return MoveBlock(oldEdPtr, oldProps);
            oldEdPtr->eHeader.extVersion = Extension::Version;
            return nullptr;
        }
    }

    const json_value& jsonProps = CurLang()["Properties"];
    const std::uint32_t numProps = ArrayLength(jsonProps);
    ConverterState state(oldEdPtr, oldProps, jsonProps);
    const Chain readers = InitializeReaders(state);
    if (readers.empty()) {
        if (RunMode == MFXRunMode::QuietLoad)
            MsgBox::Error(L"Property reading error", L"Setting up %s object properties from JSON failed.",
                          ProjectName.c_str());
        else
            MsgBox::Error(
                L"Property conversion error",
                L"All %s property readers have failed. Your property data is corrupt beyond recovery or "
                L"reset. Please re-add the object to frame.",
                ProjectName.c_str());
        return nullptr;
    }

    std::vector<std::uint8_t> checkboxes(CheckboxByteCount(numProps));
    // Entry i: the checkbox of property i is still to be read.
    std::vector<bool> chkboxIndexesToRead(numProps, true);
    std::string entries;
    Chain chain = readers;
    for (std::uint32_t i = 0; i < numProps; ++i) {
        if (chain.empty())
            return nullptr;
        const json_value& property = jsonProps[static_cast<int>(i)];
        const std::uint16_t typeID = PropTypeIDOf(i);
        const std::string_view title = ClassOfPropType(typeID) == PropTypeClass::NoValue
                                           ? std::string_view()
                                           : StoredTitle(TextOf(property["Title"]));
        ConverterReturn result;
        if (FindValue(chain, i, result)) {
            AppendEntry(entries, typeID, title, result.data, result.dataSize);
            if (result.freeData != nullptr)
                result.freeData(result.data);
            if (result.checkboxState == 0 || result.checkboxState == 1) {
                if (result.checkboxState == 1)
                    SetBit(checkboxes, i);
                chkboxIndexesToRead[i] = false;
            }
            continue;
        }
        if (RunMode != MFXRunMode::QuietLoad)
            MsgBox::Error(
                L"Property conversion error",
                L"All converters have failed for property %i (%s). Your property data is corrupt beyond "
                L"recovery or reset. Please re-add the object to frame.",
                static_cast<int>(i), UTF8ToTString(TextOf(property["Title"])).c_str());
        // A zero value keeps one well-formed entry per property.
        const std::string zeros(FixedValueSize(ClassOfPropType(typeID)), '\0');
        AppendEntry(entries, typeID, title, zeros.data(), static_cast<std::uint32_t>(zeros.size()));
    }

    // Readers that left the chain for values may still know checkboxes.
    chain = readers;
    for (std::uint32_t i = 0; i < numProps; ++i) {
        if (chkboxIndexesToRead[i] && FindCheckbox(chain, i) == 1)
            SetBit(checkboxes, i);
    }

    if (oldEdPtr != nullptr)
        ShowUpgradeBox(mV, state, numProps, name, oldVersion);

    const std::size_t size = FixedSize + checkboxes.size() + entries.size();
    if (oldEdPtr == nullptr && size > MaxEditDataSize) {
        MsgBox::Error(
            L"Properties too big",
            L"New EDITDATA was too big to store all the initial properties; needed %zu bytes, but %d is the "
            L"maximum possible.",
            size, static_cast<int>(MaxEditDataSize));
        return nullptr;
    }
    std::vector<std::uint8_t> record = NewRecord(size, oldEdPtr);
    Properties* block = BlockOf(record);
    block->magic = Properties::Magic;
    block->hashTitles = ~::SDK->PropertyTitlesHash;
    block->hashTypes = ~::SDK->PropertyTypesHash;
    block->numProps = static_cast<std::uint16_t>(numProps);
    block->sizeBytes = static_cast<std::uint32_t>(size);
    std::memcpy(block->dataForProps, checkboxes.data(), checkboxes.size());
    std::memcpy(block->dataForProps + checkboxes.size(), entries.data(), entries.size());
    return Store(record);
}

std::int32_t DLL_CreateObject(::mV* mV, std::int32_t, EDITDATA* edPtr)
{
    HGLOBAL memory = DLL_UpdateEditStructure(mV, nullptr);
    if (memory == nullptr)
        return -1;
    auto* built = static_cast<EDITDATA*>(GlobalLock(memory));
    if (built == nullptr) {
        GlobalFree(memory);
        return -1;
    }
    built->eHeader.identifier = edPtr->eHeader.identifier;
    const std::uint32_t size = built->eHeader.totalSize;
    bool resizeFailed = false;
    if (size == edPtr->eHeader.totalSize)
        std::memcpy(edPtr, built, size);
    else {
        MsgBox::Error(
            L"EDITDATA size mismatch",
            L"Fusion provided an EDITDATA of %zu bytes, but GetEDITDATASizeFromJSON calculation was %hu "
            L"bytes expected.\nThis is a Polvane bug!",
            static_cast<std::size_t>(edPtr->eHeader.totalSize), GetEDITDATASizeFromJSON());
        EDITDATA* resized = mvReAllocEditData(mV, edPtr, size);
        if (resized != nullptr)
            std::memcpy(resized, built, size);
        else
            resizeFailed = true;
    }
    GlobalUnlock(memory);
    GlobalFree(memory);
    if (resizeFailed) {
        MsgBox::Error(L"Initialisation failure", L"Initialising extension failed: error %d.",
                      ResizeFailedError);
        return -1;
    }
    return 0;
}

} // namespace Polvane

HOST_EXPORT HGLOBAL HOST_STDCALL UpdateEditStructure(::mV* mV, EDITDATA* oldEdPtr)
{
    return Tovik::Guard("UpdateEditStructure", nullptr,
                        [&] { return Polvane::DLL_UpdateEditStructure(mV, oldEdPtr); });
}

HOST_EXPORT std::int32_t HOST_STDCALL CreateObject(::mV* mV, std::int32_t word, EDITDATA* edPtr)
{
    return Tovik::Guard("CreateObject", -1, [&] {
        Tovik::InitObject(mV, edPtr);
        return Polvane::DLL_CreateObject(mV, word, edPtr);
    });
}
