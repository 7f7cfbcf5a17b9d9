#include "jpeg_samples.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

extern "C" {
#include <jpeglib.h>
}

namespace media_test {

std::vector<uint8_t> EncodePicture(uint32_t width, uint32_t height, int lumaH, int lumaV,
                                   unsigned seed, const PictureOptions& options) {
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    unsigned noise = seed * 2654435761u;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            noise = noise * 1103515245u + 12345u;
            uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
            p[0] = uint8_t(x * 255 / width);
            p[1] = uint8_t(y * 255 / height + ((noise >> 16) & 15));
            p[2] = ((x / 7 + y / 5 + seed) & 1) ? 220 : 40;
            if (options.noise) {
                for (int c = 0; c < 3; ++c) p[c] = uint8_t(noise >> (8 + 8 * c));
                noise = noise * 1103515245u + 12345u;
            }
        }
    }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (options.rgbCoded) jpeg_set_colorspace(&cinfo, JCS_RGB);
    if (options.progressive) jpeg_simple_progression(&cinfo);
    cinfo.restart_interval = options.restartInterval;
    cinfo.comp_info[0].h_samp_factor = lumaH;
    cinfo.comp_info[0].v_samp_factor = lumaV;
    for (int c = 1; c < 3; ++c) {
        cinfo.comp_info[c].h_samp_factor = options.chromaH;
        cinfo.comp_info[c].v_samp_factor = options.chromaV;
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < height) {
        JSAMPROW row = &rgb[size_t(cinfo.next_scanline) * width * 3];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> jpeg(out, out + outSize);
    std::free(out);
    return jpeg;
}

std::vector<uint8_t> StripHuffmanTables(const std::vector<uint8_t>& jpeg) {
    std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at] == 0xFF) {
        const uint8_t marker = jpeg[at + 1];
        const size_t length = size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        if (marker == 0xDA) break;  // start of scan: the rest is copied whole
        if (marker != 0xC4)
            out.insert(out.end(), jpeg.begin() + at, jpeg.begin() + at + 2 + length);
        at += 2 + length;
    }
    out.insert(out.end(), jpeg.begin() + at, jpeg.end());
    return out;
}

std::vector<uint8_t> ReferenceI420(const std::vector<uint8_t>& jpeg, uint32_t& width,
                                   uint32_t& height) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), jpeg.size());
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_YCbCr;
    jpeg_start_decompress(&cinfo);
    width = cinfo.output_width;
    height = cinfo.output_height;
    std::vector<uint8_t> ycc(size_t(width) * height * 3);
    while (cinfo.output_scanline < height) {
        JSAMPROW row = &ycc[size_t(cinfo.output_scanline) * width * 3];
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);

    auto at = [&](uint32_t x, uint32_t y, int c) { return ycc[(size_t(y) * width + x) * 3 + c]; };
    std::vector<uint8_t> i420;
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) i420.push_back(at(x, y, 0));
    for (int c = 1; c <= 2; ++c)
        for (uint32_t y = 0; y < height; y += 2)
            for (uint32_t x = 0; x < width; x += 2) {
                // An odd last column or row stands in for its missing neighbour.
                const uint32_t x1 = std::min(x + 1, width - 1), y1 = std::min(y + 1, height - 1);
                i420.push_back(
                    uint8_t((at(x, y, c) + at(x1, y, c) + at(x, y1, c) + at(x1, y1, c)) / 4));
            }
    return i420;
}

}  // namespace media_test
