#include "memory_files.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace camflash_test {
namespace {

class MemoryInputFile : public camflash::InputFile {
public:
    explicit MemoryInputFile(const MemoryFile& file) : file_(file) {}

    bool Size(uint64_t& size) override {
        size = file_.sizeOverridden ? file_.reportedSize : file_.content.size();
        return !file_.sizeFails;
    }

    bool Read(void* buffer, size_t size, size_t& got, std::string& errorText) override {
        got = 0;
        if (file_.readThrows) throw std::runtime_error("read");
        if (file_.readFails) {
            errorText = file_.errorText;
            return false;
        }
        size_t limit = std::min(file_.content.size(), file_.deliverAtMost);
        size_t available = position_ < limit ? limit - position_ : 0;
        got = std::min(size, available);
        if (file_.chunk) got = std::min(got, file_.chunk);
        std::memcpy(buffer, file_.content.data() + position_, got);
        position_ += got;
        return true;
    }

private:
    MemoryFile file_;
    size_t position_ = 0;
};

}  // namespace

std::unique_ptr<camflash::InputFile> MemoryFileOpener::OpenForReading(const std::string& path) {
    opened.push_back(path);
    auto it = files.find(path);
    if (it == files.end()) return nullptr;
    if (it->second.openThrows) throw std::runtime_error("open");
    return std::make_unique<MemoryInputFile>(it->second);
}

}  // namespace camflash_test
