// EnumElts: the font and image ids of the stored properties offered to the host, undone on a refusal.
#include "InProcess.h"

#include "Lib/Shared/Polvane/Properties.h"
#include "Lib/Shared/Tovik/Exports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

struct Call {
    std::uint16_t id;
    std::int32_t kind;
    std::int32_t w1;
    std::int32_t w2;
    std::uint16_t* where;

    bool operator==(const Call& other) const
    {
        return id == other.id && kind == other.kind && w1 == other.w1 && w2 == other.w2 &&
               where == other.where;
    }
};

std::ostream& operator<<(std::ostream& out, const Call& call)
{
    return out << "(id " << call.id << ", kind " << call.kind << ", " << call.w1 << ", " << call.w2 << ")";
}

// What the host saw, and how it answers: a refused id gets its code, a renumbered id is rewritten.
std::vector<Call> enumerated;
std::vector<Call> undone;
std::map<std::uint16_t, std::int32_t> refusals;
std::map<std::uint16_t, std::uint16_t> renumbering;

std::int32_t HOST_STDCALL Enumerate(std::uint16_t* id, std::int32_t kind, std::int32_t w1, std::int32_t w2)
{
    enumerated.push_back({*id, kind, w1, w2, id});
    auto refusal = refusals.find(*id);
    if (refusal != refusals.end())
        return refusal->second;
    auto renumbered = renumbering.find(*id);
    if (renumbered != renumbering.end())
        *id = renumbered->second;
    return 0;
}

std::int32_t HOST_STDCALL Undo(std::uint16_t* id, std::int32_t kind, std::int32_t w1, std::int32_t w2)
{
    undone.push_back({*id, kind, w1, w2, id});
    return 0;
}

constexpr std::int32_t W1 = 0x1111;
constexpr std::int32_t W2 = -7;

struct Entry {
    std::uint16_t type;
    std::string title;
    std::string value;
};

std::string U16(std::uint16_t v)
{
    return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

std::string U32(std::uint32_t v)
{
    return U16(static_cast<std::uint16_t>(v)) + U16(static_cast<std::uint16_t>(v >> 16));
}

std::string FontValue(std::uint16_t id) { return U16(id) + std::string(10, '\x7F'); }

std::string ImageListValue(const std::vector<std::uint16_t>& ids)
{
    std::string value = U16(static_cast<std::uint16_t>(ids.size()));
    for (std::uint16_t id : ids)
        value += U16(id);
    return value;
}

std::string EntryBytes(const Entry& e)
{
    return U32(static_cast<std::uint32_t>(7 + e.title.size() + e.value.size())) + U16(e.type) +
           static_cast<char>(e.title.size()) + e.title + e.value;
}

// A whole EDITDATA: the host's header, the block's header, the checkbox bytes and the entries.
class Record {
public:
    Record(const std::vector<Entry>& entries, std::uint16_t numProps) : Record(Entries(entries), numProps) {}
    explicit Record(const std::vector<Entry>& entries)
        : Record(entries, static_cast<std::uint16_t>(entries.size()))
    {
    }
    // Raw entry bytes, for blocks that are not what they claim.
    Record(const std::string& entryBytes, std::uint16_t numProps)
    {
        const std::string checkboxes((numProps + 7) / 8, '\0');
        const std::uint32_t size = static_cast<std::uint32_t>(40 + checkboxes.size() + entryBytes.size());
        const std::string block = "1NVP" + U32(~1u) + U32(~2u) + U16(numProps) + U16(0) + U32(size);
        bytes = U32(size) + U32(size) + U32(1) + "TEST" + U32(20) + block + checkboxes + entryBytes;
    }

    static std::string Entries(const std::vector<Entry>& entries)
    {
        std::string all;
        for (const Entry& e : entries)
            all += EntryBytes(e);
        return all;
    }

    EDITDATA* EditData() { return reinterpret_cast<EDITDATA*>(bytes.data()); }
    std::uint16_t* At(std::size_t offset) { return reinterpret_cast<std::uint16_t*>(bytes.data() + offset); }
    std::size_t Find(const std::string& text) const { return bytes.find(text); }
    std::uint16_t IdAt(std::size_t offset) const
    {
        std::uint16_t id;
        std::memcpy(&id, bytes.data() + offset, 2);
        return id;
    }
    void SetTotalSize(std::uint32_t size) { std::memcpy(bytes.data(), U32(size).data(), 4); }
    void SetWord(std::size_t offset, std::uint32_t value) { std::memcpy(bytes.data() + offset, U32(value).data(), 4); }

private:
    std::string bytes;
};

class EnumEltsTest : public testing::Test {
protected:
    InProcess::BoxRecorder boxes;

    void SetUp() override { Reset(); }

    void Reset()
    {
        boxes.boxes.clear();
        enumerated.clear();
        undone.clear();
        refusals.clear();
        renumbering.clear();
    }

    std::int32_t Run(Record& record) { return EnumElts(nullptr, record.EditData(), Enumerate, Undo, W1, W2); }
};

using Polvane::PropTypeID::EditboxNumber;
using Polvane::PropTypeID::EditboxString;
using Polvane::PropTypeID::Font;
using Polvane::PropTypeID::ImageList;
using Polvane::PropTypeID::Text;

// Version (no value), Font id 5, a number whose bytes look like an id, Images 7 and 9.
std::vector<Entry> FontAndImages()
{
    return {
        {Text, "", ""},
        {Font, "Font", FontValue(5)},
        {EditboxNumber, "Count", U32(6)},
        {ImageList, "Images", ImageListValue({7, 9})},
    };
}

// Offsets of the ids in FontAndImages' record: header 20, block 20, one checkbox byte, then entries.
constexpr std::size_t FontIdAt = 41 + 7 + 7 + 4;
constexpr std::size_t Image7At = FontIdAt + 12 + 7 + 5 + 4 + 7 + 6 + 2;
constexpr std::size_t Image9At = Image7At + 2;

} // namespace

TEST_F(EnumEltsTest, OffersFontsAndImagesInOrderWithTheHostsWords)
{
    Record record(FontAndImages());
    EXPECT_EQ(Run(record), 0);
    const std::vector<Call> expected = {
        {5, 1, W1, W2, record.At(FontIdAt)},
        {7, 0, W1, W2, record.At(Image7At)},
        {9, 0, W1, W2, record.At(Image9At)},
    };
    EXPECT_EQ(enumerated, expected);
    EXPECT_TRUE(undone.empty());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(EnumEltsTest, RefusedImageUndoesTheAcceptedLastFirst)
{
    Record record(FontAndImages());
    refusals[9] = 3;
    EXPECT_EQ(Run(record), 3);
    ASSERT_EQ(enumerated.size(), 3u);
    const std::vector<Call> expected = {
        {7, 0, W1, W2, record.At(Image7At)},
        {5, 1, W1, W2, record.At(FontIdAt)},
    };
    EXPECT_EQ(undone, expected);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].title, L"EnumElts - Morvalex");
    EXPECT_EQ(boxes.boxes[0].text, L"Adding image of property Images, ID 9 failed! Error 3.\n");
    EXPECT_EQ(boxes.boxes[0].style & MB_ICONMASK, static_cast<unsigned>(MB_ICONERROR));
}

TEST_F(EnumEltsTest, RefusalStopsTheWalk)
{
    const struct {
        const char* name;
        std::uint16_t refused;
        std::int32_t code;
        std::size_t offered;
        std::vector<std::uint16_t> undoneIds;
        const wchar_t* text;
    } cases[] = {
        {"font", 5, -2, 1, {}, L"Adding font property Font, font ID 5 failed! Error -2.\n"},
        {"first image", 7, 1, 2, {5}, L"Adding image of property Images, ID 7 failed! Error 1.\n"},
        {"last image",
         9,
         0x10000,
         3,
         {7, 5},
         L"Adding image of property Images, ID 9 failed! Error 65536.\n"},
    };
    for (const auto& c : cases) {
        Reset();
        Record record(FontAndImages());
        refusals[c.refused] = c.code;
        EXPECT_EQ(Run(record), c.code) << c.name;
        EXPECT_EQ(enumerated.size(), c.offered) << c.name;
        std::vector<std::uint16_t> undoneIds;
        for (const Call& call : undone)
            undoneIds.push_back(call.id);
        EXPECT_EQ(undoneIds, c.undoneIds) << c.name;
        ASSERT_EQ(boxes.boxes.size(), 1u) << c.name;
        EXPECT_EQ(boxes.boxes[0].text, c.text) << c.name;
    }
}

TEST_F(EnumEltsTest, TitleIsShownFromUTF8)
{
    Record record({{Font,
                    "Gr\xC3\xB6\xC3\x9F"
                    "e",
                    FontValue(12)}});
    refusals[12] = 4;
    EXPECT_EQ(Run(record), 4);
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].text, L"Adding font property Gr\u00F6\u00DFe, font ID 12 failed! Error 4.\n");
}

TEST_F(EnumEltsTest, TheHostRenumbersIdsInTheStoredBlock)
{
    Record record(FontAndImages());
    renumbering[5] = 50;
    renumbering[9] = 900;
    EXPECT_EQ(Run(record), 0);
    EXPECT_EQ(record.IdAt(FontIdAt), 50);
    EXPECT_EQ(record.IdAt(Image7At), 7);
    EXPECT_EQ(record.IdAt(Image9At), 900);
}

TEST_F(EnumEltsTest, BlocksWithoutIdsOfferNothing)
{
    const struct {
        const char* name;
        std::vector<Entry> entries;
    } cases[] = {
        {"no properties", {}},
        {"other types only",
         {{Text, "", ""}, {EditboxString, "Name", "\x05\x00"s}, {EditboxNumber, "N", U32(5)}}},
        {"an empty image list", {{ImageList, "Images", ImageListValue({})}}},
    };
    for (const auto& c : cases) {
        enumerated.clear();
        Record record(c.entries);
        EXPECT_EQ(Run(record), 0) << c.name;
        EXPECT_TRUE(enumerated.empty()) << c.name;
    }
    EXPECT_TRUE(undone.empty());
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(EnumEltsTest, EntriesStartAfterTheCheckboxBytes)
{
    // Nine properties take two checkbox bytes.
    std::vector<Entry> entries(8, Entry{Text, "", ""});
    entries.push_back({Font, "Font", FontValue(31)});
    Record record(entries);
    EXPECT_EQ(Run(record), 0);
    ASSERT_EQ(enumerated.size(), 1u);
    EXPECT_EQ(enumerated[0].id, 31);
    EXPECT_EQ(enumerated[0].where, record.At(40 + 2 + 8 * 7 + 7 + 4));
}

// Stored data comes from project files: nothing outside the record is read, whatever it claims.
TEST_F(EnumEltsTest, DamagedBlocksAreReadOnlyInsideTheRecord)
{
    const std::string font = EntryBytes({Font, "Font", FontValue(5)});
    const std::string images = EntryBytes({ImageList, "Images", ImageListValue({7, 9})});
    std::string tooLong = EntryBytes({Font, "F", FontValue(6)});
    tooLong[0] = 100;
    std::string tooShort = EntryBytes({Font, "F", FontValue(6)});
    tooShort[0] = 7; // less than its header and title
    const std::string overcounted = EntryBytes({ImageList, "I", U16(5) + U16(7) + U16(8)});
    const struct {
        const char* name;
        std::string entryBytes;
        std::uint16_t numProps;
        std::vector<std::uint16_t> offered;
    } cases[] = {
        {"an entry running past the record", font + tooLong + images, 3, {5}},
        {"an entry shorter than its title", font + tooShort + images, 3, {5}},
        {"more properties than entries", font + images, 40, {5, 7, 9}},
        {"an entry header cut by the record's end", font + images + "\x20\x00"s, 3, {5, 7, 9}},
        {"an image count larger than the entry", overcounted + font, 2, {7, 8, 5}},
        {"a font entry too short for its id", EntryBytes({Font, "F", "\x01"}) + images, 2, {7, 9}},
        {"entries beginning at the record's end", "", 0xFFFF, {}},
    };
    for (const auto& c : cases) {
        enumerated.clear();
        Record record(c.entryBytes, c.numProps);
        EXPECT_EQ(Run(record), 0) << c.name;
        std::vector<std::uint16_t> ids;
        for (const Call& call : enumerated)
            ids.push_back(call.id);
        EXPECT_EQ(ids, c.offered) << c.name;
    }
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(EnumEltsTest, ARecordTooSmallForTheBlockOffersNothing)
{
    for (std::uint32_t size : {0u, 20u, 39u}) {
        enumerated.clear();
        Record record(FontAndImages());
        record.SetTotalSize(size);
        EXPECT_EQ(Run(record), 0) << size;
        EXPECT_TRUE(enumerated.empty()) << size;
    }
}

// A record of the old layout has no block: whatever lies where a block would be is not offered.
TEST_F(EnumEltsTest, OnlyABlockWithItsMagicAtTheOffsetWordOffersIds)
{
    const struct {
        const char* name;
        std::size_t at;
        std::uint32_t value;
    } cases[] = {{"offset word 0", 16, 0}, {"offset word 24", 16, 24}, {"magic 1NVQ", 20, 0x51564E31}};
    for (const auto& c : cases) {
        enumerated.clear();
        Record record(FontAndImages());
        record.SetWord(c.at, c.value);
        EXPECT_EQ(Run(record), 0) << c.name;
        EXPECT_TRUE(enumerated.empty()) << c.name;
    }
    EXPECT_TRUE(boxes.boxes.empty());
}
