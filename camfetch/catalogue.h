// The camera's catalogue of stored files and the program's own list of them.
//
// Glossary:
//   block  a run of bytes fetched from camera memory after catalogue start (39) or next (40);
//          it holds length / 32 entries, a shorter remainder is ignored
//   entry  32 bytes laid out like a FAT short-name directory entry: name (0-7), extension
//          (8-10), last-write time (22-23) and date (24-25) in FAT's packed form, size (28-31),
//          all little-endian; the other bytes are not read
//   item   one listed file (CatalogueItem); item i of the catalogue is always row i of the list
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace camfetch {

constexpr size_t kCatalogueEntrySize = 32;

// Item flags, set by the download and delete runs.
constexpr uint32_t flagSaved = 0x01;
constexpr uint32_t flagDownloading = 0x02;
constexpr uint32_t flagDeleting = 0x04;
constexpr uint32_t flagDeleted = 0x08;
constexpr uint32_t flagFailed = 0x10;  // its download or delete failed: the row shows "Error!"

// Row states as the list view keeps them, copied into listState around sorting and runs.
constexpr uint32_t listStateFocused = 0x01;
constexpr uint32_t listStateSelected = 0x02;

enum FileKind { kKindJpeg = 1, kKindAvi = 2, kKindWav = 3 };

struct CatalogueItem {
    std::string name;       // as stored: case and trailing spaces kept
    std::string extension;  // as stored
    std::string typeText;   // "Jpeg", "Avi" or "Wav"
    std::string sizeText;   // whole kilobytes, rounded down: "%dKB"
    uint32_t size = 0;
    uint16_t writeTime = 0;  // FAT packed: hours, minutes, two-second units
    uint16_t writeDate = 0;  // FAT packed: years since 1980, month, day
    int kind = 0;
    uint32_t flags = 0;
    uint32_t listState = 0;
    std::string savedPath;  // the file flagSaved vouches for, while flagSaved is set
};

// Reads one 32-byte entry. Returns false, leaving item untouched, when its extension is not
// jpg, avi or wav (in any letter case): such entries are not listed.
bool ParseCatalogueEntry(const uint8_t* entry, CatalogueItem& item);

// Whether a FAT date and time name a real moment: years 1980 to 2107, months 1 to 12, a day
// that exists in its month, hours below 24, minutes below 60, two-second units below 30.
bool IsValidFatTimestamp(uint16_t date, uint16_t time);

// Number of entries of a known kind in a block of `length` bytes.
size_t CountKnownEntries(const uint8_t* block, size_t length);

// Appends the known entries of a block to `items`, in block order; returns how many.
size_t AppendBlockEntries(const uint8_t* block, size_t length, std::vector<CatalogueItem>& items);

// The Status column's word for an item's flags (the first rule that holds wins).
const char* StatusWord(uint32_t flags);

// Orders items by a column of the list: 0 name, 1 extension (bytewise, case-sensitive),
// 2 size (unsigned); descending when asked. Any other column leaves the order to the sort
// (all items equal). Not stable: items that compare equal may change places.
void SortItems(std::vector<CatalogueItem>& items, int column, bool descending);

}  // namespace camfetch
