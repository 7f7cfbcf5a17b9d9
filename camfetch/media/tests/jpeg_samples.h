// JPEG pictures made in the test with libjpeg's compressor, and a plain reference decode.
#pragma once

#include <cstdint>
#include <vector>

namespace media_test {

struct PictureOptions {
    int quality = 85;
    unsigned restartInterval = 0;  // MCUs between restart markers; 0: none
    bool noise = false;            // every sample random, so that no neighbours are alike
    bool progressive = false;
    bool rgbCoded = false;         // components stored as R, G and B, not YCbCr
    int chromaH = 1, chromaV = 1;  // sampling factors of both chroma components
};

// A picture of gradients, hard edges and noise, so that every plane has detail.
// lumaH x lumaV is the luma sampling (2x1 = 4:2:2, 2x2 = 4:2:0, 1x1 = 4:4:4).
std::vector<uint8_t> EncodePicture(uint32_t width, uint32_t height, int lumaH, int lumaV,
                                   unsigned seed = 1, const PictureOptions& options = {});

// The same datastream without its DHT segments (the encoder uses the standard tables).
std::vector<uint8_t> StripHuffmanTables(const std::vector<uint8_t>& jpeg);

// The frame written out longhand: libjpeg's full YCbCr scanlines of the whole picture, then
// the luma samples, then for every 2 x 2 block the truncated mean of its Cb and of its Cr
// samples (an odd last column or row pairs with itself).
std::vector<uint8_t> ReferenceI420(const std::vector<uint8_t>& jpeg, uint32_t& width,
                                   uint32_t& height);

}  // namespace media_test
