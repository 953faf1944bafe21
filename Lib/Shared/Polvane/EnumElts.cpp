// Offers the font and image ids stored in an object's properties to the host, which keeps a project's
// fonts and images and may renumber them. All or nothing: after a refusal the accepted ids are undone.
#include "../Tovik/Boundary.h"
#include "Lib/Shared/Tovik/Exports.h"
#include "MsgBox.h"
#include "Properties.h"
#include "TextConversion.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr std::int32_t ImageKind = 0;
constexpr std::int32_t FontKind = 1;
constexpr std::uint64_t BlockOffset = sizeof(EditDataHeader);

class Enumeration {
public:
    Enumeration(HostEnumRoutine enumerate, std::int32_t w1, std::int32_t w2)
        : enumerate(enumerate), w1(w1), w2(w2)
    {
    }

    // Offers one id; on a refusal reports it with that message and answers false.
    bool Offer(std::uint8_t* idBytes, std::int32_t kind, const wchar_t* refusal, const std::string& title)
    {
        std::uint16_t id;
        std::memcpy(&id, idBytes, sizeof id);
        auto* idPointer = reinterpret_cast<std::uint16_t*>(idBytes);
        result = enumerate(idPointer, kind, w1, w2);
        if (result != 0) {
            Polvane::MsgBox::Error(L"EnumElts", refusal, Polvane::UTF8ToTString(title).c_str(), id,
                                   static_cast<int>(result));
            return false;
        }
        accepted.push_back({idPointer, kind});
        return true;
    }

    // The last accepted first, as a stack of changes is unwound.
    void UndoAccepted(HostEnumRoutine undo) const
    {
        for (auto it = accepted.rbegin(); it != accepted.rend(); ++it)
            undo(it->id, it->kind, w1, w2);
    }

    std::int32_t Result() const { return result; }

private:
    struct Accepted {
        std::uint16_t* id;
        std::int32_t kind;
    };

    HostEnumRoutine enumerate;
    std::int32_t w1;
    std::int32_t w2;
    std::vector<Accepted> accepted;
    std::int32_t result = 0;
};

// Offers the ids of one entry; false when one was refused.
bool OfferEntry(Enumeration& enumeration, Polvane::Properties::Data& data)
{
    using namespace Polvane;
    const std::uint32_t valueSize = data.ReadPropValueSize();
    std::uint8_t* value = data.ReadPropValue();
    if (data.propTypeID == PropTypeID::Font)
        return valueSize < 2 ||
               enumeration.Offer(value, FontKind, L"Adding font property %s, font ID %hu failed! Error %d.\n",
                                 data.ReadPropName());
    if (data.propTypeID != PropTypeID::ImageList || valueSize < 2)
        return true;
    std::uint16_t count;
    std::memcpy(&count, value, sizeof count);
    // A count that claims more ids than the entry holds is believed only as far as the entry goes.
    const std::uint32_t held = (valueSize - 2) / 2;
    for (std::uint32_t i = 0; i < count && i < held; ++i) {
        if (!enumeration.Offer(value + 2 + 2 * i, ImageKind,
                               L"Adding image of property %s, ID %hu failed! Error %d.\n",
                               data.ReadPropName()))
            return false;
    }
    return true;
}

} // namespace

// The stored block comes from the project file: every entry is checked to lie inside the record before
// it is read, and the walk ends at the first that does not.
HOST_EXPORT std::int32_t HOST_STDCALL EnumElts(::mV*, EDITDATA* edPtr, HostEnumRoutine enumerate,
                                               HostEnumRoutine undo, std::int32_t w1, std::int32_t w2)
{
    return Tovik::Guard("EnumElts", 0, [&] {
        using Polvane::Properties;
        if (edPtr == nullptr || enumerate == nullptr || undo == nullptr)
            return 0;
        const std::uint64_t recordSize = edPtr->eHeader.totalSize;
        if (recordSize < BlockOffset + sizeof(Properties))
            return 0;
        auto* record = reinterpret_cast<std::uint8_t*>(edPtr);
        auto* props = reinterpret_cast<Properties*>(record + BlockOffset);
        // A record of the old layout has no block at all: its bytes at that offset are not ids, and the
        // host would rewrite them in place.
        if (edPtr->eHeader.propertiesOffset != BlockOffset || props->magic != Properties::Magic)
            return 0;
        std::uint64_t offset = BlockOffset + sizeof(Properties) + (props->numProps + 7u) / 8u;

        Enumeration enumeration(enumerate, w1, w2);
        for (std::uint32_t i = 0; i < props->numProps; ++i) {
            if (offset + sizeof(Properties::Data) > recordSize)
                break;
            auto* data = reinterpret_cast<Properties::Data*>(record + offset);
            if (data->sizeBytes < sizeof(Properties::Data) + data->propNameSize ||
                offset + data->sizeBytes > recordSize)
                break;
            if (!OfferEntry(enumeration, *data)) {
                enumeration.UndoAccepted(undo);
                break;
            }
            offset += data->sizeBytes;
        }
        return enumeration.Result();
    });
}
