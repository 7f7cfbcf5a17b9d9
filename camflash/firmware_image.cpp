#include "firmware_image.h"

#include <new>

#include "camera_protocol.h"

namespace camflash {

uint64_t DownloadBufferSize(uint64_t imageLength) {
    uint64_t total = ((imageLength + 3) & ~uint64_t(3)) + 7;
    return total > 0xFFFFFFFFu ? 0 : total;
}

namespace {

// Sizes the buffer for the image and writes the length word; the filler stays zero.
bool PrepareBuffer(uint64_t imageLength, std::vector<uint8_t>& buffer) {
    buffer.clear();
    uint64_t total = DownloadBufferSize(imageLength);
    if (total == 0) return false;
    try {
        buffer.assign(size_t(total), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    camera::StoreU32(buffer.data(), uint32_t(total));
    return true;
}

}  // namespace

bool LoadFirmwareImage(FileOpener& opener, const std::string& path, std::vector<uint8_t>& buffer) {
    buffer.clear();
    if (path.empty()) return false;
    std::unique_ptr<InputFile> file = opener.OpenForReading(path);
    if (!file) return false;
    // An image of unknown size is not loaded: taken as empty, it would be flashed as such.
    uint64_t length = 0;
    if (!file->Size(length) || !PrepareBuffer(length, buffer)) return false;
    size_t total = 0;
    while (total < length) {
        size_t got = 0;
        std::string errorText;
        if (!file->Read(buffer.data() + 4 + total, size_t(length) - total, got, errorText) ||
            got == 0)
            break;
        total += got;
    }
    if (total != length) {
        buffer.clear();
        return false;
    }
    return true;
}

}  // namespace camflash
