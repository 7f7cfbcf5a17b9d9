#include "catalogue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "camera_protocol.h"

namespace camfetch {
namespace {

// Characters up to the first zero byte, at most `max`: an 8-character name has no terminator.
std::string FieldText(const uint8_t* field, size_t max) {
    size_t n = 0;
    while (n < max && field[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(field), n);
}

bool EqualsIgnoringCase(const std::string& text, const char* lower) {
    size_t n = std::strlen(lower);
    if (text.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return true;
}

// 0 when the extension is none of the listed kinds.
int KindOf(const std::string& extension) {
    if (EqualsIgnoringCase(extension, "jpg")) return kKindJpeg;
    if (EqualsIgnoringCase(extension, "avi")) return kKindAvi;
    if (EqualsIgnoringCase(extension, "wav")) return kKindWav;
    return 0;
}

}  // namespace

bool ParseCatalogueEntry(const uint8_t* entry, CatalogueItem& item) {
    std::string extension = FieldText(entry + 8, 3);
    int kind = KindOf(extension);
    if (kind == 0) return false;
    CatalogueItem made;
    made.name = FieldText(entry, 8);
    made.extension = extension;
    made.kind = kind;
    made.typeText = kind == kKindJpeg ? "Jpeg" : kind == kKindAvi ? "Avi" : "Wav";
    made.size = camera::LoadU32(entry + 28);
    made.writeTime = uint16_t(entry[22] | entry[23] << 8);
    made.writeDate = uint16_t(entry[24] | entry[25] << 8);
    char text[16];
    std::snprintf(text, sizeof text, "%uKB", unsigned(made.size / 1024));
    made.sizeText = text;
    item = std::move(made);
    return true;
}

bool IsValidFatTimestamp(uint16_t date, uint16_t time) {
    int year = 1980 + (date >> 9), month = (date >> 5) & 15, day = date & 31;
    int hours = time >> 11, minutes = (time >> 5) & 63, twoSeconds = time & 31;
    static const int kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12 || day < 1) return false;
    bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    if (day > kDaysInMonth[month - 1] + (month == 2 && leap)) return false;
    return hours < 24 && minutes < 60 && twoSeconds < 30;
}

size_t CountKnownEntries(const uint8_t* block, size_t length) {
    size_t count = 0;
    for (size_t i = 0; i < length / kCatalogueEntrySize; ++i)
        if (KindOf(FieldText(block + i * kCatalogueEntrySize + 8, 3)) != 0) ++count;
    return count;
}

size_t AppendBlockEntries(const uint8_t* block, size_t length, std::vector<CatalogueItem>& items) {
    size_t added = 0;
    for (size_t i = 0; i < length / kCatalogueEntrySize; ++i) {
        CatalogueItem item;
        if (!ParseCatalogueEntry(block + i * kCatalogueEntrySize, item)) continue;
        items.push_back(std::move(item));
        ++added;
    }
    return added;
}

const char* StatusWord(uint32_t flags) {
    if (flags & flagDownloading) return "Downloading";
    if (flags & flagDeleting) return "Deleting";
    if (flags & flagDeleted) return "Deleted";
    if (flags & flagSaved) return "Saved";
    if (flags & flagFailed) return "Error!";
    return "";
}

void SortItems(std::vector<CatalogueItem>& items, int column, bool descending) {
    auto byText = [descending](const std::string& a, const std::string& b) {
        return descending ? b.compare(a) < 0 : a.compare(b) < 0;
    };
    switch (column) {
    case 0:
        std::sort(items.begin(), items.end(), [&](const CatalogueItem& a, const CatalogueItem& b) {
            return byText(a.name, b.name);
        });
        break;
    case 1:
        std::sort(items.begin(), items.end(), [&](const CatalogueItem& a, const CatalogueItem& b) {
            return byText(a.extension, b.extension);
        });
        break;
    case 2:
        std::sort(items.begin(), items.end(),
                  [descending](const CatalogueItem& a, const CatalogueItem& b) {
                      return descending ? b.size < a.size : a.size < b.size;
                  });
        break;
    default: break;  // every item compares equal: nothing to reorder
    }
}

}  // namespace camfetch
