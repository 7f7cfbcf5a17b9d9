#include "file_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace camflash {
namespace {

class StdioFile : public InputFile {
public:
    explicit StdioFile(std::FILE* file) : file_(file) {}
    ~StdioFile() override { std::fclose(file_); }

    uint64_t Size() override {
        long here = std::ftell(file_);
        if (std::fseek(file_, 0, SEEK_END) != 0) return 0;
        long end = std::ftell(file_);
        std::fseek(file_, here, SEEK_SET);
        return end < 0 ? 0 : uint64_t(end);
    }

    bool Read(void* buffer, size_t size, size_t& got, std::string& errorText) override {
        got = std::fread(buffer, 1, size, file_);
        if (got < size && std::ferror(file_)) {
            errorText = std::strerror(errno);
            return false;
        }
        return true;
    }

private:
    std::FILE* file_;
};

}  // namespace

std::unique_ptr<InputFile> StdioFileOpener::OpenForReading(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return nullptr;
    return std::make_unique<StdioFile>(file);
}

}  // namespace camflash
