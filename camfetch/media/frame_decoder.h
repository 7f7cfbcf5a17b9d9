// Decoding of one clip frame (a baseline JPEG image held in memory) into an I420 frame, and
// mirroring of I420 frames.
//
// I420 frame of W x H pixels: the Y plane (H rows of W bytes), then the Cb plane and the Cr
// plane (each (H + 1) / 2 rows of (W + 1) / 2 bytes), top row first, no gaps between rows or
// planes. For even W and H that is W x H x 3 / 2 bytes. The samples are the JPEG image's own
// Y, Cb and Cr values; each chroma sample is the truncated mean of the 2 x 2 block of
// upsampled chroma samples it covers (an odd last column or row repeats itself).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace media {

// Error codes besides libjpeg's own message codes.
constexpr int kErrorNoImage = 51;  // datastream ends before a start-of-scan (libjpeg's "no image")
constexpr int kErrorEmptyInput = 42;  // zero-length frame (libjpeg's "empty input file")
constexpr int kErrorFrameDoesNotFit =
    -1;  // frame size differs from the clip's, or too big for the buffer

// Bytes of an I420 frame of the given size.
size_t I420FrameSize(uint32_t width, uint32_t height);

// How a frame is decoded. Both ways give the same bytes.
//   kReference: libjpeg's full-resolution YCbCr scanlines (smooth chroma upsampling), repacked
//               with the truncated mean of each 2 x 2 block of chroma.
//   kFast:      for 4:2:2 and 4:2:0 frames, libjpeg's raw component planes, luma copied row by
//               row and each chroma mean computed straight from the raw chroma samples with the
//               upsampling's integer rules; every other frame takes the reference way.
enum class DecodePath { kFast, kReference };

struct DecodeResult {
    size_t length = 0;  // bytes written to the output; 0 when the frame could not be decoded
    int error = 0;      // 0, or libjpeg's message code, or one of the codes above
};

// One decoder; each call decodes one frame with a fresh libjpeg decompression object. Fatal
// libjpeg errors unwind to the call and come back as its message code; warnings (for example
// a frame cut short, which is completed with an end-of-image marker) do not stop the decode.
class FrameDecoder {
public:
    explicit FrameDecoder(DecodePath path = DecodePath::kFast);
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder&) = delete;
    FrameDecoder& operator=(const FrameDecoder&) = delete;

    // Decodes `length` bytes at `data` into `out` (room for `capacity` bytes). When width and
    // height are non-zero, a frame of any other size is refused with kErrorFrameDoesNotFit, as
    // is a frame whose I420 size exceeds the capacity.
    DecodeResult DecodeFrameToI420(const uint8_t* data, size_t length, uint8_t* out,
                                   size_t capacity, uint32_t width = 0, uint32_t height = 0);

    // libjpeg's text of the last error or warning of the most recent decode ("" when none).
    const std::string& LastMessage() const;
    // The way the most recent frame went (kReference for a frame the fast way does not take).
    DecodePath LastPath() const;

    struct State;

private:
    std::unique_ptr<State> state_;
};

// Mirrors an I420 frame left to right in place. Width and stride are those of a luma row in
// bytes, height in rows; the chroma planes follow the luma plane as laid out above (with
// stride in place of width).
void MirrorI420Frame(uint8_t* frame, uint32_t width, uint32_t height, uint32_t stride);

}  // namespace media
