// The camera's catalogue of stored files and the program's own list of them.
//
// Glossary:
//   block  a run of bytes fetched from camera memory after catalogue start (39) or next (40);
//          it holds length / 32 entries, a shorter remainder is ignored
//   entry  32 bytes laid out like a FAT short-name directory entry: name (0-7), extension
//          (8-10), size (28-31, little-endian); the other bytes are not read
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
    std::string statusText; // filled from flags when the row is drawn
    uint32_t size = 0;
    int kind = 0;
    uint32_t flags = 0;
    uint32_t listState = 0;
    std::string savedPath;  // the file flagSaved vouches for, while flagSaved is set
};

// Reads one 32-byte entry. Returns false, leaving item untouched, when its extension is not
// jpg, avi or wav (in any letter case): such entries are not listed.
bool ParseCatalogueEntry(const uint8_t* entry, CatalogueItem& item);

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
