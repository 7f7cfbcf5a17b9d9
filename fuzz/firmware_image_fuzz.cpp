// The firmware image loader over image files that deliver their bytes in pieces, stop early,
// fail, or whose reported size differs from what they hold. It succeeds exactly when every
// byte of the reported size arrived, and then the buffer is the length word, the image and
// zero filler; otherwise the buffer is empty.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <vector>

#include "camera_protocol.h"
#include "firmware_image.h"
#include "fuzz_check.h"
#include "memory_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    camflash_test::MemoryFile file;
    file.chunk = input.ConsumeIntegralInRange<size_t>(0, 64);
    file.readFails = input.ConsumeIntegralInRange<int>(0, 15) == 0;
    const bool stopsEarly = input.ConsumeBool();
    const size_t stopAfter = input.ConsumeIntegralInRange<size_t>(0, 4096);
    file.sizeOverridden = input.ConsumeBool();
    const size_t reported = input.ConsumeIntegralInRange<size_t>(0, 4096);
    file.content = input.ConsumeRemainingBytesAsString();
    if (stopsEarly) file.deliverAtMost = stopAfter;
    file.reportedSize = std::min(reported, file.content.size() + 64);

    camflash_test::MemoryFileOpener opener;
    opener.files["DUVOZE.bin"] = file;
    std::vector<uint8_t> buffer(3, 0xAA);
    const bool loaded = camflash::LoadFirmwareImage(opener, "DUVOZE.bin", buffer);

    const size_t length = file.sizeOverridden ? file.reportedSize : file.content.size();
    const size_t delivered = std::min(file.content.size(), file.deliverAtMost);
    const bool whole = delivered >= length && (!file.readFails || length == 0);
    FUZZ_CHECK(loaded == whole, "loaded exactly when the whole image arrived");
    if (!loaded) {
        FUZZ_CHECK(buffer.empty(), "a failed load leaves no buffer");
        return 0;
    }
    FUZZ_CHECK(buffer.size() == camflash::DownloadBufferSize(length), "buffer size");
    FUZZ_CHECK(camera::LoadU32(buffer.data()) == buffer.size(), "length word");
    FUZZ_CHECK(std::string(buffer.begin() + 4, buffer.begin() + 4 + ptrdiff_t(length)) ==
                   file.content.substr(0, length),
               "image bytes");
    FUZZ_CHECK(std::all_of(buffer.begin() + 4 + ptrdiff_t(length), buffer.end(),
                           [](uint8_t b) { return b == 0; }),
               "zero filler");
    return 0;
}
