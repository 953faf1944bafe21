// Image List properties are edited in the host's own image editors: one image, or several with a
// maximum count. The editors fill in the image ids, which are stored as a u16 count and the ids.
#include "JSONValues.h"
#include "MsgBox.h"
#include "Properties.h"
#include "PropertyExports.h"
#include "TextConversion.h"
#include "json/json.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace Polvane {
namespace {

// The stored count is 16 bits wide: no list can hold more images.
constexpr std::uint32_t MostImages = 0xFFFF;

struct EditorSettings {
    std::wstring windowTitle;
    std::uint32_t maxImages;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t options;

    const wchar_t* WindowTitle() const { return windowTitle.empty() ? nullptr : windowTitle.c_str(); }
};

// At least 1, read from the low 32 bits as unsigned.
std::uint32_t AtLeastOne(const json_value& value)
{
    return std::max<std::uint32_t>(1, static_cast<std::uint32_t>(static_cast<json_int_t>(value)));
}

EditorSettings ReadSettings(const json_value& property)
{
    EditorSettings settings;
    settings.windowTitle = UTF8ToTString(TextOf(property["WindowTitle"]));
    settings.maxImages = std::min(AtLeastOne(property["MaxNumImages"]), MostImages);
    settings.width = AtLeastOne(property["ImageSize"][0]);
    settings.height = AtLeastOne(property["ImageSize"][1]);
    const struct {
        const char* key;
        std::uint32_t option;
    } flags[] = {
        {"FixedImageSize", ImageEditorOption::FixedImageSize},
        {"HotSpotAndActionPoint", ImageEditorOption::HotSpotAndActionPoint},
        {"16Colors", ImageEditorOption::SixteenColors},
        {"FixedNumOfImages", ImageEditorOption::FixedNumOfImages},
        {"NoTransparentColor", ImageEditorOption::NoTransparentColor},
        {"NoAlphaChannel", ImageEditorOption::NoAlphaChannel},
        {"AllowEmpty", ImageEditorOption::AllowEmpty},
    };
    settings.options = settings.maxImages == 1 ? ImageEditorOption::FixedNumOfImages : 0;
    for (const auto& flag : flags) {
        if (static_cast<bool>(property[flag.key]))
            settings.options |= flag.option;
    }
    return settings;
}

// The stored ids; a count that claims more ids than the entry holds is believed only as far as it goes.
std::vector<std::uint16_t> StoredImages(const Properties::Data& data)
{
    const std::uint32_t size = data.ReadPropValueSize();
    if (size < 2)
        return {};
    std::uint16_t count;
    std::memcpy(&count, data.ReadPropValue(), sizeof count);
    std::vector<std::uint16_t> ids(std::min<std::uint32_t>(count, (size - 2) / 2));
    std::memcpy(ids.data(), data.ReadPropValue() + 2, ids.size() * sizeof(std::uint16_t));
    return ids;
}

// Each title's text with its NUL, one after another, and the pointers to them closed by a null.
class ImageTitles {
public:
    explicit ImageTitles(const json_value& titles)
    {
        if (titles.type != json_array)
            return;
        std::vector<std::size_t> starts;
        for (std::uint32_t i = 0; i < titles.u.array.length; ++i) {
            starts.push_back(texts.size());
            texts += UTF8ToTString(TextOf(titles[static_cast<int>(i)]));
            texts += L'\0';
        }
        for (std::size_t start : starts)
            pointers.push_back(texts.c_str() + start);
        pointers.push_back(nullptr);
    }

    const wchar_t* const* Pointers() const { return pointers.empty() ? nullptr : pointers.data(); }

private:
    std::wstring texts;
    std::vector<const wchar_t*> pointers;
};

BOOL EditOneImage(::mV* mV, EDITDATA* edPtr, std::uint32_t i, const EditorSettings& settings,
                  const std::vector<std::uint16_t>& stored)
{
    if (mV->imageEditor == nullptr)
        return FALSE;
    HostImageEditRecord record{sizeof(HostImageEditRecord),
                               settings.WindowTitle(),
                               stored.empty() ? std::uint16_t(0) : stored[0],
                               0,
                               settings.options,
                               settings.width,
                               settings.height};
    const std::int32_t result = mV->imageEditor(edPtr, &record, mV->word14);
    if (result == 1) {
        const std::uint16_t value[2] = {1, record.imageID};
        Properties::Internal_PropChange(mV, &edPtr, i, value, sizeof value);
    }
    return result;
}

BOOL EditImages(::mV* mV, EDITDATA* edPtr, std::uint32_t i, const json_value& property,
                const EditorSettings& settings, const std::vector<std::uint16_t>& stored)
{
    if (stored.size() > settings.maxImages || mV->imageListEditor == nullptr)
        return FALSE;
    const ImageTitles titles(property["ImageTitles"]);
    // Element 0 takes the count when the list is stored; the editor sees the ids from element 1.
    std::vector<std::uint16_t> ids(settings.maxImages + 1, 0);
    std::copy(stored.begin(), stored.end(), ids.begin() + 1);
    HostImageListEditRecord record{sizeof(HostImageListEditRecord),
                                   settings.WindowTitle(),
                                   static_cast<std::uint32_t>(stored.size()),
                                   settings.maxImages,
                                   0,
                                   ids.data() + 1,
                                   titles.Pointers(),
                                   settings.options,
                                   settings.width,
                                   settings.height};
    const std::int32_t result = mV->imageListEditor(edPtr, &record, mV->word14);
    if (result == 1) {
        // The array has room for the maximum only, whatever count the editor gives back.
        const std::uint32_t count = std::min(record.count, settings.maxImages);
        ids[0] = static_cast<std::uint16_t>(count);
        Properties::Internal_PropChange(mV, &edPtr, i, ids.data(), 2 + 2 * count);
    }
    return result;
}

} // namespace

BOOL DLL_EditProp(::mV* mV, EDITDATA* edPtr, std::uint32_t id)
{
    const std::uint32_t i = PropIndexFromHostID(id);
    const json_value* property = PropertyDefinition(i);
    if (property == nullptr)
        return FALSE;
    Properties& block = *StoredBlock(edPtr);
    const std::uint32_t blockBytes = StoredBlockBytes(edPtr);
    if (property->type != json_object) {
        // Named by the title stored at its position, whatever that entry is.
        const std::vector<Properties::Data*> entries = block.EntriesWithin(blockBytes, i + 1);
        const std::string title = entries.size() == std::size_t(i) + 1 ? entries.back()->ReadPropName() : "";
        MsgBox::Error(L"Property error", L"Property ID %u (%s) is not correctly formatted.", i,
                      UTF8ToTString(title).c_str());
        return FALSE;
    }
    if (PropTypeIDOf(i) != PropTypeID::ImageList)
        return FALSE;
    Properties::Data* data = DataWithin(block, blockBytes, i);
    if (data == nullptr) {
        CorruptPropertiesWarning();
        return FALSE;
    }
    const EditorSettings settings = ReadSettings(*property);
    const std::vector<std::uint16_t> stored = StoredImages(*data);
    if (settings.maxImages == 1)
        return EditOneImage(mV, edPtr, i, settings, stored);
    return EditImages(mV, edPtr, i, *property, settings, stored);
}

} // namespace Polvane
