// The frame decoder over any bytes, with an output buffer of exactly the frame's I420 size
// (taken from the frame's own start-of-frame segment), so that a single byte written beyond
// the frame is caught; then the mirror, which applied twice must give the frame back.
#include <algorithm>
#include <memory>
#include <vector>

#include "frame_decoder.h"
#include "fuzz_check.h"

namespace {

// The picture size of the first baseline, extended or progressive start-of-frame segment.
bool FrameSize(const uint8_t* data, size_t size, uint32_t& width, uint32_t& height) {
    for (size_t i = 0; i + 9 <= size; ++i) {
        if (data[i] == 0xFF && data[i + 1] >= 0xC0 && data[i + 1] <= 0xC2) {
            height = uint32_t(data[i + 5]) << 8 | data[i + 6];
            width = uint32_t(data[i + 7]) << 8 | data[i + 8];
            return true;
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static media::FrameDecoder decoder;
    uint32_t width = 0, height = 0;
    if (!FrameSize(data, size, width, height)) width = height = 16;
    const size_t frameSize = media::I420FrameSize(width, height);
    if (frameSize > (8u << 20)) return 0;  // beyond what the fuzzer's memory limit allows
    std::unique_ptr<uint8_t[]> frame(new uint8_t[frameSize ? frameSize : 1]);

    // Once with the size named, once without: both must stay inside the same buffer.
    for (bool named : {true, false}) {
        const media::DecodeResult result = decoder.DecodeFrameToI420(
            data, size, frame.get(), frameSize, named ? width : 0, named ? height : 0);
        FUZZ_CHECK(result.error == 0 || result.length == 0, "a failed decode has no length");
        FUZZ_CHECK(result.length <= frameSize, "decoded length");
        // Without a size the decoder may find another picture than the first marker names.
        if (!named || result.error != 0 || width == 0 || height == 0) continue;
        FUZZ_CHECK(result.length == frameSize, "decoded length");
        const std::vector<uint8_t> decoded(frame.get(), frame.get() + frameSize);
        media::MirrorI420Frame(frame.get(), width, height, width);
        media::MirrorI420Frame(frame.get(), width, height, width);
        FUZZ_CHECK(std::equal(decoded.begin(), decoded.end(), frame.get()), "mirrored twice");
    }
    return 0;
}
