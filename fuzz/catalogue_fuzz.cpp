// Catalogue blocks from the camera: entries, CountKnownEntries, sorting by each column, and
// the safe-file-name check on the names they carry. Sorting must keep the items and order
// them by the column; a name that passes the check must give a plain file name directly
// inside the dated folder.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "catalogue.h"
#include "folders.h"
#include "fuzz_check.h"

using camfetch::CatalogueItem;

namespace {

std::string Key(const CatalogueItem& item) {
    return item.name + '/' + item.extension + '/' + std::to_string(item.size);
}

void CheckSorted(const std::vector<CatalogueItem>& items, int column, bool descending) {
    for (size_t i = 1; i < items.size(); ++i) {
        const CatalogueItem& a = descending ? items[i] : items[i - 1];
        const CatalogueItem& b = descending ? items[i - 1] : items[i];
        bool ordered = column == 0   ? a.name.compare(b.name) <= 0
                       : column == 1 ? a.extension.compare(b.extension) <= 0
                       : column == 2 ? a.size <= b.size
                                     : true;
        FUZZ_CHECK(ordered, "column " + std::to_string(column) + " row " + std::to_string(i));
    }
}

void CheckFileName(const std::string& name, const std::string& extension) {
    const std::string download = "C:\\Users\\me\\Pictures";
    const std::string dated = "12-07-2026_08-42";
    std::string fileName, folder, path;
    const bool safe = camfetch::MakeDownloadFileName(name, extension, fileName);
    const bool built = camfetch::BuildDownloadPaths(download, dated, name, extension, folder, path);
    FUZZ_CHECK(safe || !built, "an unsafe name builds no path");
    if (!safe) return;
    FUZZ_CHECK(fileName == name + "." + extension, fileName);
    FUZZ_CHECK(fileName.find_first_of("\\/:") == std::string::npos, fileName);
    FUZZ_CHECK(name != "." && name != ".." && !name.empty(), fileName);
    FUZZ_CHECK(fileName.back() != '.' && fileName.back() != ' ', fileName);
    if (!built) return;  // too long for the platform's paths
    FUZZ_CHECK(folder == download + "\\" + dated, folder);
    FUZZ_CHECK(path == folder + "\\" + fileName, path);
    FUZZ_CHECK(path.size() < camfetch::kMaxPath, path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const int column = input.ConsumeIntegralInRange<int>(-1, 3);
    const bool descending = input.ConsumeBool();
    const std::string looseName = input.ConsumeRandomLengthString(16);
    const std::string looseExtension = input.ConsumeRandomLengthString(8);
    CheckFileName(looseName, looseExtension);
    const std::vector<uint8_t> block = input.ConsumeRemainingBytes<uint8_t>();

    std::vector<CatalogueItem> items(1);
    items[0].name = "kept";
    const size_t added = camfetch::AppendBlockEntries(block.data(), block.size(), items);
    FUZZ_CHECK(added == camfetch::CountKnownEntries(block.data(), block.size()), "known entries");
    FUZZ_CHECK(items.size() == added + 1 && items[0].name == "kept", "appended after the items");
    size_t known = 0;
    for (size_t at = 0; at + camfetch::kCatalogueEntrySize <= block.size();
         at += camfetch::kCatalogueEntrySize) {
        CatalogueItem item;
        if (!camfetch::ParseCatalogueEntry(block.data() + at, item)) continue;
        ++known;
        FUZZ_CHECK(Key(item) == Key(items[known]), "entry " + std::to_string(at / 32));
        FUZZ_CHECK(item.name.size() <= 8 && item.extension.size() <= 3, Key(item));
        CheckFileName(item.name, item.extension);
    }

    std::vector<std::string> before;
    for (const CatalogueItem& item : items) before.push_back(Key(item));
    camfetch::SortItems(items, column, descending);
    CheckSorted(items, column, descending);
    std::vector<std::string> after;
    for (const CatalogueItem& item : items) after.push_back(Key(item));
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    FUZZ_CHECK(before == after, "sorting keeps every item");
    return 0;
}
