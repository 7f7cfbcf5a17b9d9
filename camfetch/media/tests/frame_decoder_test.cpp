#include "frame_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "jpeg_samples.h"

namespace {

using media::DecodeResult;
using media::FrameDecoder;
using media_test::EncodePicture;

std::string Describe(uint32_t w, uint32_t h, int lumaH, int lumaV) {
    return std::to_string(w) + "x" + std::to_string(h) + " luma " + std::to_string(lumaH) + "x" +
           std::to_string(lumaV);
}

DecodeResult Decode(FrameDecoder& decoder, const std::vector<uint8_t>& jpeg,
                    std::vector<uint8_t>& out, uint32_t w = 0, uint32_t h = 0) {
    return decoder.DecodeFrameToI420(jpeg.data(), jpeg.size(), out.data(), out.size(), w, h);
}

TEST(FrameDecoder, MatchesTheLonghandFrameByteForByte) {
    struct Row {
        uint32_t w, h;
        int lumaH, lumaV;
    };
    const Row rows[] = {
        {320, 240, 2, 1}, {320, 240, 2, 2}, {640, 480, 2, 1}, {640, 480, 2, 2},
        {96, 64, 1, 1},   {96, 64, 1, 2},   {40, 22, 2, 1},   {18, 6, 2, 2},
    };
    FrameDecoder decoder;
    for (const Row& row : rows) {
        SCOPED_TRACE(Describe(row.w, row.h, row.lumaH, row.lumaV));
        const std::vector<uint8_t> jpeg = EncodePicture(row.w, row.h, row.lumaH, row.lumaV);
        uint32_t w = 0, h = 0;
        const std::vector<uint8_t> expected = media_test::ReferenceI420(jpeg, w, h);
        std::vector<uint8_t> out(size_t(row.w) * row.h * 3, 0xEE);
        const DecodeResult result = Decode(decoder, jpeg, out);
        ASSERT_EQ(result.error, 0) << decoder.LastMessage();
        ASSERT_EQ(result.length, size_t(row.w) * row.h * 3 / 2);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
        EXPECT_EQ(out[result.length], 0xEE) << "wrote past the frame";
    }
}

TEST(FrameDecoder, PlacesThePlanesOfA320x240Frame) {
    FrameDecoder decoder;
    const std::vector<uint8_t> jpeg = EncodePicture(320, 240, 2, 1);
    uint32_t w, h;
    const std::vector<uint8_t> expected = media_test::ReferenceI420(jpeg, w, h);
    std::vector<uint8_t> out(115200);
    const DecodeResult result = Decode(decoder, jpeg, out, 320, 240);
    ASSERT_EQ(result.error, 0);
    EXPECT_EQ(result.length, 115200u);
    // The first sample and the last sample of each plane, at the offsets of the I420 layout.
    for (size_t offset :
         {size_t(0), size_t(76799), size_t(76800), size_t(95999), size_t(96000), size_t(115199)})
        EXPECT_EQ(out[offset], expected[offset]) << "byte " << offset;
}

// The same picture sampled 4:2:2 and 4:2:0 gives the same layout, the same luma, and chroma
// that differs only by the coarser vertical sampling.
TEST(FrameDecoder, FourTwoTwoAndFourTwoZeroGiveTheSameFrame) {
    FrameDecoder decoder;
    std::vector<uint8_t> a(115200), b(115200);
    const DecodeResult ra = Decode(decoder, EncodePicture(320, 240, 2, 1), a);
    const DecodeResult rb = Decode(decoder, EncodePicture(320, 240, 2, 2), b);
    ASSERT_EQ(ra.error, 0);
    ASSERT_EQ(rb.error, 0);
    ASSERT_EQ(ra.length, rb.length);
    EXPECT_TRUE(std::equal(a.begin(), a.begin() + 76800, b.begin()));
    double squared = 0;
    for (size_t i = 76800; i < a.size(); ++i) squared += (a[i] - b[i]) * (a[i] - b[i]);
    const double psnr = 10 * std::log10(255.0 * 255.0 / (squared / (a.size() - 76800)));
    EXPECT_GT(psnr, 30.0);
}

// Motion-JPEG frames usually leave out their Huffman tables; they decode with the standard ones.
TEST(FrameDecoder, DecodesFramesWithoutHuffmanTables) {
    FrameDecoder decoder;
    for (int lumaV : {1, 2}) {
        SCOPED_TRACE(lumaV);
        const std::vector<uint8_t> jpeg = EncodePicture(160, 120, 2, lumaV);
        const std::vector<uint8_t> bare = media_test::StripHuffmanTables(jpeg);
        ASSERT_LT(bare.size(), jpeg.size());
        std::vector<uint8_t> withTables(28800), without(28800);
        ASSERT_EQ(Decode(decoder, jpeg, withTables).error, 0);
        const DecodeResult result = Decode(decoder, bare, without);
        ASSERT_EQ(result.error, 0) << decoder.LastMessage();
        EXPECT_EQ(result.length, 28800u);
        EXPECT_EQ(withTables, without);
    }
}

TEST(FrameDecoder, ReportsFramesItCannotDecode) {
    const std::vector<uint8_t> good = EncodePicture(64, 48, 2, 1);
    std::vector<uint8_t> garbage(500, 0x5A);
    std::vector<uint8_t> tablesOnly(good.begin(), good.begin() + 2);
    std::vector<uint8_t> frameHeaderOnly = tablesOnly;
    // SOI, then the segments before the start of scan, then EOI: an abbreviated datastream
    // of tables only (no frame header), and one with its frame header but no scan.
    for (size_t at = 2; at + 4 <= good.size() && !(good[at] == 0xFF && good[at + 1] == 0xDA);) {
        const size_t length = size_t(good[at + 2]) << 8 | good[at + 3];
        if (good[at + 1] != 0xC0)
            tablesOnly.insert(tablesOnly.end(), good.begin() + at, good.begin() + at + 2 + length);
        frameHeaderOnly.insert(frameHeaderOnly.end(), good.begin() + at,
                               good.begin() + at + 2 + length);
        at += 2 + length;
    }
    frameHeaderOnly.push_back(0xFF);
    frameHeaderOnly.push_back(0xD9);
    tablesOnly.push_back(0xFF);
    tablesOnly.push_back(0xD9);
    std::vector<uint8_t> headerCut(good.begin(), good.begin() + 100);
    std::vector<uint8_t> badPrecision = good;
    for (size_t i = 0; i + 4 < badPrecision.size(); ++i) {
        if (badPrecision[i] == 0xFF && badPrecision[i + 1] == 0xC0) {
            badPrecision[i + 4] = 12;  // sample precision 12: not baseline
            break;
        }
    }
    struct Row {
        const char* name;
        std::vector<uint8_t> data;
        int error;  // 0: any non-zero code
    };
    const Row rows[] = {
        {"empty frame", {}, media::kErrorEmptyInput},
        {"not a JPEG", garbage, 0},
        {"tables, no image", tablesOnly, media::kErrorNoImage},
        {"header cut short", headerCut, media::kErrorNoImage},
        {"frame header, no scan", frameHeaderOnly, 0},
        {"12-bit samples", badPrecision, 0},
    };
    FrameDecoder decoder;
    std::vector<uint8_t> out(64 * 48 * 3 / 2);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const DecodeResult result = Decode(decoder, row.data, out);
        EXPECT_NE(result.error, 0);
        if (row.error) {
            EXPECT_EQ(result.error, row.error);
        }
        EXPECT_EQ(result.length, 0u);
        EXPECT_FALSE(decoder.LastMessage().empty());
        // The decoder is whole again for the next frame.
        EXPECT_EQ(Decode(decoder, good, out).error, 0);
    }
}

TEST(FrameDecoder, CompletesAFrameCutShortInItsScan) {
    const std::vector<uint8_t> jpeg = EncodePicture(320, 240, 2, 1);
    std::vector<uint8_t> cut(jpeg.begin(), jpeg.begin() + jpeg.size() / 2);
    FrameDecoder decoder;
    std::vector<uint8_t> full(115200), partial(115200);
    ASSERT_EQ(Decode(decoder, jpeg, full).error, 0);
    const DecodeResult result = Decode(decoder, cut, partial);
    EXPECT_EQ(result.error, 0);
    EXPECT_EQ(result.length, 115200u);
    EXPECT_NE(decoder.LastMessage().find("Premature end"), std::string::npos);
    // The top rows came from the data that was there.
    EXPECT_TRUE(std::equal(full.begin(), full.begin() + 320 * 16, partial.begin()));
}

// A frame that does not fit the clip is refused before anything is written.
TEST(FrameDecoder, RefusesFramesThatDoNotFit) {
    const std::vector<uint8_t> jpeg = EncodePicture(64, 48, 2, 2);
    struct Row {
        const char* name;
        size_t capacity;
        uint32_t w, h;
        int error;
    };
    const Row rows[] = {
        {"clip of the frame's size", 4608, 64, 48, 0},
        {"no size given", 4608, 0, 0, 0},
        {"clip narrower", 4608, 32, 48, media::kErrorFrameDoesNotFit},
        {"clip wider", 20000, 128, 48, media::kErrorFrameDoesNotFit},
        {"clip taller", 20000, 64, 96, media::kErrorFrameDoesNotFit},
        {"buffer one byte short", 4607, 0, 0, media::kErrorFrameDoesNotFit},
    };
    FrameDecoder decoder;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<uint8_t> out(row.capacity + 16, 0xEE);
        const DecodeResult result = decoder.DecodeFrameToI420(jpeg.data(), jpeg.size(), out.data(),
                                                              row.capacity, row.w, row.h);
        EXPECT_EQ(result.error, row.error);
        EXPECT_EQ(result.length, row.error ? 0u : 4608u);
        if (row.error) {
            EXPECT_EQ(std::count(out.begin(), out.end(), 0xEE), long(out.size()));
        }
    }
}

// Odd sizes give the usual I420 layout with rounded-up chroma planes, the last column or row
// standing in for its missing neighbour.
TEST(FrameDecoder, DecodesOddSizesWithinTheirFrame) {
    struct Row {
        uint32_t w, h;
        int lumaH, lumaV;
    };
    const Row rows[] = {{33, 17, 2, 2}, {33, 18, 2, 1}, {34, 17, 2, 1}, {7, 5, 1, 1}, {1, 1, 2, 2}};
    FrameDecoder decoder;
    for (const Row& row : rows) {
        SCOPED_TRACE(Describe(row.w, row.h, row.lumaH, row.lumaV));
        const std::vector<uint8_t> jpeg = EncodePicture(row.w, row.h, row.lumaH, row.lumaV);
        const size_t size = media::I420FrameSize(row.w, row.h);
        EXPECT_EQ(size, size_t(row.w) * row.h + 2 * size_t((row.w + 1) / 2) * ((row.h + 1) / 2));
        std::vector<uint8_t> out(size);  // exactly the frame: the sanitizers see any overrun
        const DecodeResult result = Decode(decoder, jpeg, out, row.w, row.h);
        ASSERT_EQ(result.error, 0) << decoder.LastMessage();
        EXPECT_EQ(result.length, size);
        uint32_t rw, rh;
        EXPECT_EQ(media_test::ReferenceI420(jpeg, rw, rh), out);
    }
}

// The fast way gives the reference way's bytes, frame by frame: random content at several
// qualities, 4:2:2 and 4:2:0 (with the factors ffmpeg and others write them), odd and even
// sizes down to 1x1, restart markers, frames without Huffman tables, progressive frames and
// frames cut short. Layouts the fast way does not take go the reference way, with the same
// result (an error for a frame coded as RGB).
TEST(FrameDecoder, FastPathGivesTheReferenceBytes) {
    struct Layout {
        int lumaH, lumaV, chromaH, chromaV;
        bool fast;  // a layout the fast way takes
    };
    const Layout layouts[] = {
        {2, 1, 1, 1, true}, {2, 2, 1, 1, true}, {2, 2, 1, 2, true}, {4, 1, 2, 1, true}};
    struct Frame {
        std::string name;
        std::vector<uint8_t> jpeg;
        bool fast;
    };
    std::vector<Frame> frames;
    auto add = [&](uint32_t w, uint32_t h, const Layout& l, unsigned seed,
                   media_test::PictureOptions o, bool bare = false, bool cut = false) {
        o.chromaH = l.chromaH;
        o.chromaV = l.chromaV;
        std::vector<uint8_t> jpeg = EncodePicture(w, h, l.lumaH, l.lumaV, seed, o);
        if (bare) jpeg = media_test::StripHuffmanTables(jpeg);
        if (cut) {  // in the middle of the scan data
            size_t scan = 2;
            while (!(jpeg[scan] == 0xFF && jpeg[scan + 1] == 0xDA)) ++scan;
            jpeg.resize(scan + (jpeg.size() - scan) / 2);
        }
        const std::string name = Describe(w, h, l.lumaH, l.lumaV) + " chroma " +
                                 std::to_string(l.chromaH) + "x" + std::to_string(l.chromaV) +
                                 " q" + std::to_string(o.quality) + " seed " +
                                 std::to_string(seed) + (o.noise ? " noise" : "") +
                                 (o.restartInterval ? " restarts" : "") + (bare ? " no DHT" : "") +
                                 (o.progressive ? " progressive" : "") + (cut ? " cut" : "") +
                                 (o.rgbCoded ? " RGB" : "");
        frames.push_back({name, jpeg, l.fast && !o.rgbCoded});
    };
    const uint32_t sizes[][2] = {{1, 1},   {2, 2},   {3, 1},   {1, 3},    {17, 3},  {4, 4},
                                 {5, 5},   {6, 3},   {7, 2},   {16, 16},  {33, 17}, {34, 18},
                                 {48, 31}, {63, 64}, {65, 15}, {640, 480}};
    for (const auto& size : sizes)
        for (const Layout& layout : layouts)
            for (int quality : {50, 95, 100})
                add(size[0], size[1], layout, unsigned(quality), {quality, 0, true});
    unsigned random = 12345;
    auto next = [&](unsigned n) {
        random = random * 1103515245u + 12345u;
        return (random >> 8) % n;
    };
    for (unsigned seed = 1; seed <= 160; ++seed) {
        media_test::PictureOptions o;
        o.quality = int(30 + next(71));
        o.restartInterval = next(3) == 0 ? 1 + next(4) : 0;
        o.noise = next(2) == 0;
        o.progressive = next(8) == 0;
        const Layout& layout = layouts[next(4)];
        add(1 + next(90), 1 + next(70), layout, seed, o, !o.progressive && next(4) == 0,
            !o.progressive && next(10) == 0);
    }
    for (const Layout& layout : layouts) {
        add(320, 240, layout, 7, {75, 0, false}, true);
        add(320, 240, layout, 7, {75, 0, false}, false, true);
    }
    for (const Layout& layout : {Layout{1, 1, 1, 1, false}, Layout{1, 2, 1, 1, false},
                                 Layout{2, 2, 2, 1, false}, Layout{4, 2, 1, 1, false}})
        add(40, 22, layout, 3, {90, 0, true});
    add(40, 22, layouts[0], 3, {90, 0, true, false, true});

    FrameDecoder fast;
    FrameDecoder reference(media::DecodePath::kReference);
    std::vector<uint8_t> a, b;
    for (const Frame& frame : frames) {
        SCOPED_TRACE(frame.name);
        a.assign(640 * 480 * 3 / 2 + 1, 0xEE);
        b.assign(a.size(), 0xEE);
        const DecodeResult ra = Decode(fast, frame.jpeg, a);
        const DecodeResult rb = Decode(reference, frame.jpeg, b);
        EXPECT_EQ(fast.LastPath(),
                  frame.fast ? media::DecodePath::kFast : media::DecodePath::kReference);
        EXPECT_EQ(reference.LastPath(), media::DecodePath::kReference);
        ASSERT_EQ(ra.error, rb.error) << fast.LastMessage();
        ASSERT_EQ(ra.length, rb.length);
        if (frame.fast) {
            ASSERT_NE(ra.length, 0u) << fast.LastMessage();
        }
        ASSERT_TRUE(a == b);
    }
    EXPECT_GT(frames.size(), 350u);
}

// Mirroring reverses every row of every plane, whatever the row length.
TEST(MirrorI420Frame, ReversesEveryRowExactly) {
    struct Row {
        uint32_t w, h;
    };
    const Row rows[] = {{16, 2}, {32, 4}, {320, 240}, {10, 4}, {6, 2},
                        {2, 2},  {24, 6}, {33, 17},   {3, 1}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.w) + "x" + std::to_string(row.h));
        const size_t size = media::I420FrameSize(row.w, row.h);
        std::vector<uint8_t> frame(size);
        for (size_t i = 0; i < size; ++i) frame[i] = uint8_t(i * 7 + i / 251);
        std::vector<uint8_t> mirrored = frame;
        media::MirrorI420Frame(mirrored.data(), row.w, row.h, row.w);
        const uint32_t cw = (row.w + 1) / 2, ch = (row.h + 1) / 2;
        struct Plane {
            size_t start;
            uint32_t width, rows;
        };
        const Plane planes[] = {{0, row.w, row.h},
                                {size_t(row.w) * row.h, cw, ch},
                                {size_t(row.w) * row.h + size_t(cw) * ch, cw, ch}};
        for (const Plane& plane : planes) {
            for (uint32_t r = 0; r < plane.rows; ++r) {
                const size_t at = plane.start + size_t(r) * plane.width;
                std::vector<uint8_t> expected(frame.begin() + at, frame.begin() + at + plane.width);
                std::reverse(expected.begin(), expected.end());
                ASSERT_TRUE(std::equal(expected.begin(), expected.end(), mirrored.begin() + at))
                    << "plane at " << plane.start << ", row " << r;
            }
        }
    }
}

}  // namespace
