// Files held in memory for tests, with the ways real files go wrong: a file that cannot be
// opened, an open that throws, a size the system reports wrongly or not at all, reads that deliver
// a few bytes at a time, stop early, fail with a system error or throw.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "file_source.h"

namespace camflash_test {

struct MemoryFile {
    std::string content;
    bool sizeOverridden = false;
    uint64_t reportedSize = 0;
    bool sizeFails = false;           // the system cannot tell the size
    size_t chunk = 0;                 // at most this many bytes per read; 0: no limit
    size_t deliverAtMost = SIZE_MAX;  // the reads end (as at end of file) after this many bytes
    bool readFails = false;           // the first read fails with errorText
    std::string errorText;
    bool readThrows = false;
    bool openThrows = false;
};

class MemoryFileOpener : public camflash::FileOpener {
public:
    std::map<std::string, MemoryFile> files;
    std::vector<std::string> opened;  // every path asked for, in order

    std::unique_ptr<camflash::InputFile> OpenForReading(const std::string& path) override;
};

}  // namespace camflash_test
