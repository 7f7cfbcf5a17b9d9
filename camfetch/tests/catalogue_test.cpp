#include <gtest/gtest.h>

#include <algorithm>

#include "catalogue.h"
#include "scripted_camera.h"

using namespace camfetch;

TEST(CatalogueEntry, NamesExtensionsAndSizes) {
    struct Row {
        const char* what;
        std::vector<uint8_t> entry;
        bool listed;
        std::string name, extension, typeText, sizeText;
        int kind;
    };
    std::vector<uint8_t> eightChars = Entry("ABCDEFGH", "jpg", 0);
    std::vector<uint8_t> garbageAfterZero = Entry("AB", "avi", 10);
    garbageAfterZero[3] = 'Z';  // bytes after the terminator are not part of the name
    std::vector<uint8_t> deletedMarker = Entry(
        "\xE5"
        "BC",
        "wav", 0);
    std::vector<uint8_t> oddAttributes = Entry("ATTR", "jpg", 5000);
    for (int i = 11; i < 28; ++i) oddAttributes[size_t(i)] = 0xFF;  // not interpreted
    const Row rows[] = {
        {"short name", Entry("IMG1", "jpg", 100), true, "IMG1", "jpg", "Jpeg", "0KB", 1},
        {"8 chars without terminator", eightChars, true, "ABCDEFGH", "jpg", "Jpeg", "0KB", 1},
        {"padded with spaces", Entry("PIC     ", "JPG", 2048), true, "PIC     ", "JPG", "Jpeg",
         "2KB", 1},
        {"Jpg", Entry("a", "Jpg", 0), true, "a", "Jpg", "Jpeg", "0KB", 1},
        {"AVI", Entry("CLIP0001", "AVI", 1u << 20), true, "CLIP0001", "AVI", "Avi", "1024KB", 2},
        {"wav", Entry("SND", "wav", 0), true, "SND", "wav", "Wav", "0KB", 3},
        {"1023 bytes", Entry("S", "jpg", 1023), true, "S", "jpg", "Jpeg", "0KB", 1},
        {"1024 bytes", Entry("S", "jpg", 1024), true, "S", "jpg", "Jpeg", "1KB", 1},
        {"2047 bytes", Entry("S", "jpg", 2047), true, "S", "jpg", "Jpeg", "1KB", 1},
        {"largest size", Entry("S", "jpg", 0xFFFFFFFF), true, "S", "jpg", "Jpeg", "4194303KB", 1},
        {"bytes after terminator", garbageAfterZero, true, "AB", "avi", "Avi", "0KB", 2},
        {"deleted marker kept", deletedMarker, true,
         "\xE5"
         "BC",
         "wav", "Wav", "0KB", 3},
        {"other fields ignored", oddAttributes, true, "ATTR", "jpg", "Jpeg", "4KB", 1},
        {"txt skipped", Entry("README", "txt", 10), false, "", "", "", "", 0},
        {"jp skipped", Entry("X", "jp", 10), false, "", "", "", "", 0},
        {"empty entry skipped", std::vector<uint8_t>(32, 0), false, "", "", "", "", 0},
    };
    for (const Row& row : rows) {
        CatalogueItem item;
        item.name = "untouched";
        EXPECT_EQ(row.listed, ParseCatalogueEntry(row.entry.data(), item)) << row.what;
        if (!row.listed) {
            EXPECT_EQ("untouched", item.name) << row.what;
            continue;
        }
        EXPECT_EQ(row.name, item.name) << row.what;
        EXPECT_EQ(row.extension, item.extension) << row.what;
        EXPECT_EQ(row.typeText, item.typeText) << row.what;
        EXPECT_EQ(row.sizeText, item.sizeText) << row.what;
        EXPECT_EQ(row.kind, item.kind) << row.what;
        EXPECT_EQ(0u, item.flags) << row.what;
    }
}

TEST(CatalogueEntry, WriteTimesAndTheirValidity) {
    std::vector<uint8_t> entry = Entry("DSCF0001", "JPG", 1);
    entry[22] = 0xA5, entry[23] = 0x6D, entry[24] = 0x91, entry[25] = 0x58;
    CatalogueItem item;
    ASSERT_TRUE(ParseCatalogueEntry(entry.data(), item));
    EXPECT_EQ(0x6DA5, item.writeTime);
    EXPECT_EQ(0x5891, item.writeDate);

    auto date = [](int year, int month, int day) {
        return uint16_t((year - 1980) << 9 | month << 5 | day);
    };
    auto time = [](int h, int m, int twoSeconds) {
        return uint16_t(h << 11 | m << 5 | twoSeconds);
    };
    const struct {
        const char* what;
        uint16_t date, time;
        bool valid;
    } rows[] = {
        {"2024-04-17 13:45:10", 0x5891, 0x6DA5, true},
        {"zero date", 0, 0, false},
        {"first moment", date(1980, 1, 1), 0, true},
        {"last moment", date(2107, 12, 31), time(23, 59, 29), true},
        {"month 0", date(2020, 0, 1), 0, false},
        {"month 13", date(2020, 13, 1), 0, false},
        {"day 0", date(2020, 5, 0), 0, false},
        {"April 31", date(2021, 4, 31), 0, false},
        {"February 29 of a leap year", date(2024, 2, 29), 0, true},
        {"February 29 of a common year", date(2023, 2, 29), 0, false},
        {"February 29, 2100", date(2100, 2, 29), 0, false},
        {"February 29, 2000", date(2000, 2, 29), 0, true},
        {"hour 24", date(2020, 1, 1), time(24, 0, 0), false},
        {"minute 60", date(2020, 1, 1), time(0, 60, 0), false},
        {"30 two-second units", date(2020, 1, 1), time(0, 0, 30), false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.valid, IsValidFatTimestamp(row.date, row.time)) << row.what;
}

TEST(CatalogueBlock, OnlyWholeEntriesOfKnownKindsCount) {
    std::vector<uint8_t> three =
        Block({Entry("A", "jpg", 1), Entry("B", "txt", 2), Entry("C", "wav", 3)});
    struct Row {
        const char* what;
        size_t length;
        size_t known;
    };
    const Row rows[] = {
        {"empty", 0, 0},      {"31 bytes", 31, 0},
        {"one entry", 32, 1}, {"95 bytes: two entries and a remainder", 95, 1},
        {"96 bytes", 96, 2},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.known, CountKnownEntries(three.data(), row.length)) << row.what;
        std::vector<CatalogueItem> items(1);
        EXPECT_EQ(row.known, AppendBlockEntries(three.data(), row.length, items)) << row.what;
        EXPECT_EQ(row.known + 1, items.size()) << row.what;
    }
    std::vector<CatalogueItem> items;
    AppendBlockEntries(three.data(), three.size(), items);
    ASSERT_EQ(2u, items.size());
    EXPECT_EQ("A", items[0].name);  // block order kept
    EXPECT_EQ("C", items[1].name);
}

TEST(CatalogueStatus, FirstMatchingRuleWins) {
    struct Row {
        uint32_t flags;
        const char* word;
    };
    const Row rows[] = {
        {0, ""},
        {flagSaved, "Saved"},
        {flagDeleted, "Deleted"},
        {flagDeleting, "Deleting"},
        {flagDownloading, "Downloading"},
        {flagSaved | flagDownloading, "Downloading"},
        {flagSaved | flagDeleted, "Deleted"},
        {flagDeleting | flagDeleted, "Deleting"},
        {flagFailed, "Error!"},
        {flagSaved | flagFailed, "Saved"},
        {0xE0, ""},
    };
    for (const Row& row : rows)
        EXPECT_STREQ(row.word, StatusWord(row.flags)) << "flags " << row.flags;
}

namespace {
std::vector<CatalogueItem> Items(
    std::initializer_list<std::pair<const char*, const char*>> namesExts,
    std::initializer_list<uint32_t> sizes) {
    std::vector<CatalogueItem> items;
    auto size = sizes.begin();
    for (auto& ne : namesExts) {
        CatalogueItem item;
        item.name = ne.first;
        item.extension = ne.second;
        item.size = *size++;
        items.push_back(item);
    }
    return items;
}
std::string Names(const std::vector<CatalogueItem>& items) {
    std::string out;
    for (auto& i : items) out += (out.empty() ? "" : ",") + i.name;
    return out;
}
}  // namespace

TEST(CatalogueSort, EachColumnInBothDirections) {
    // Names compare bytewise and case-sensitively: "B" < "a" < "b" < "\xE5".
    auto base = Items({{"a", "wav"}, {"B", "jpg"}, {"\xE5x", "AVI"}, {"b", "avi"}},
                      {10, 4000000000u, 7, 300});
    struct Row {
        int column;
        bool descending;
        const char* order;
    };
    const Row rows[] = {
        {0, false, "B,a,b,\xE5x"},
        {0, true, "\xE5x,b,a,B"},
        {1, false, "\xE5x,b,B,a"},  // AVI < avi < jpg < wav: the extension as stored
        {1, true, "a,B,b,\xE5x"},
        {2, false, "\xE5x,a,b,B"},  // sizes unsigned: 4000000000 is the largest
        {2, true, "B,b,a,\xE5x"},
    };
    for (const Row& row : rows) {
        auto items = base;
        SortItems(items, row.column, row.descending);
        EXPECT_EQ(row.order, Names(items))
            << "column " << row.column << (row.descending ? " desc" : " asc");
    }
    auto items = base;
    SortItems(items, 3, true);
    EXPECT_EQ(4u, items.size());  // an unknown column loses nothing
}

TEST(CatalogueSort, ManyEqualKeysKeepEveryItem) {
    // 37 of 40 items compare equal in the sorted column: a comparator that is not a strict
    // order runs off the array once 17 or more items are equal.
    for (int column = 0; column < 3; ++column) {
        for (bool descending : {false, true}) {
            std::vector<CatalogueItem> items(40);
            for (size_t i = 0; i < items.size(); ++i) {
                bool differs = i % 13 == 5;
                items[i].name = column == 0 && !differs ? "SAME" : "N" + std::to_string(i);
                items[i].extension = column == 1 && !differs ? "jpg" : "e" + std::to_string(i);
                items[i].size = column == 2 && !differs ? 100 : uint32_t(i);
                items[i].sizeText = std::to_string(i);  // which item it is
            }
            SortItems(items, column, descending);
            std::vector<int> ids;
            for (const CatalogueItem& item : items) ids.push_back(std::stoi(item.sizeText));
            std::sort(ids.begin(), ids.end());
            std::vector<int> expected(40);
            for (int i = 0; i < 40; ++i) expected[i] = i;
            EXPECT_EQ(expected, ids) << "column " << column << (descending ? " desc" : " asc");
        }
    }
}
