#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "camera_protocol.h"
#include "firmware_image.h"
#include "memory_files.h"

using camflash::LoadFirmwareImage;
using camflash_test::MemoryFileOpener;

namespace {

std::string Pattern(size_t length) {
    std::string image;
    for (size_t i = 0; i < length; ++i) image += char(0xA0 + i * 7);
    return image;
}

}  // namespace

TEST(FirmwareImage, BufferLayoutForEachLength) {
    struct Row {
        size_t length;
        size_t total;
    } rows[] = {{0, 7}, {1, 11}, {2, 11}, {3, 11}, {4, 11}, {5, 15}, {100, 107}, {101, 111}};
    for (const Row& row : rows) {
        MemoryFileOpener files;
        files.files["DUVOZE.bin"].content = Pattern(row.length);
        files.files["DUVOZE.bin"].chunk = 3;  // the file arrives in pieces
        std::vector<uint8_t> buffer;
        ASSERT_TRUE(LoadFirmwareImage(files, "DUVOZE.bin", buffer)) << "L=" << row.length;
        ASSERT_EQ(row.total, buffer.size()) << "L=" << row.length;
        EXPECT_EQ(row.total, camera::LoadU32(buffer.data())) << "L=" << row.length;
        EXPECT_EQ(Pattern(row.length),
                  std::string(buffer.begin() + 4, buffer.begin() + 4 + row.length))
            << "L=" << row.length;
        for (size_t i = 4 + row.length; i < row.total; ++i)
            EXPECT_EQ(0, buffer[i]) << "L=" << row.length << " filler byte " << i;
    }
}

TEST(FirmwareImage, NotLoaded) {
    MemoryFileOpener files;
    files.files["short"].content = Pattern(100);
    files.files["short"].deliverAtMost = 60;
    files.files["failing"].content = Pattern(100);
    files.files["failing"].readFails = true;
    // Larger than the 32-bit length word can describe: refused before any allocation.
    files.files["huge"].sizeOverridden = true;
    files.files["huge"].reportedSize = 0xFFFFFFF9u;
    files.files["unsized"].content = Pattern(100);
    files.files["unsized"].sizeFails = true;
    for (const char* path : {"", "missing", "short", "failing", "huge", "unsized"}) {
        std::vector<uint8_t> buffer(3, 1);
        EXPECT_FALSE(LoadFirmwareImage(files, path, buffer)) << path;
        EXPECT_TRUE(buffer.empty()) << path;
    }
    // The empty name is refused without trying to open anything.
    EXPECT_EQ((std::vector<std::string>{"missing", "short", "failing", "huge", "unsized"}),
              files.opened);
}

TEST(FirmwareImage, LargestSizeTheLengthWordHolds) {
    EXPECT_EQ(0xFFFFFFFFu, camflash::DownloadBufferSize(0xFFFFFFF8u));
    EXPECT_EQ(0u, camflash::DownloadBufferSize(0xFFFFFFF9u));
}
