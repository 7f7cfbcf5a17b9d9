#include "chroma_means.h"

namespace media {
namespace {

// Horizontal-only 2:1 rule: the left and right upsampled samples of raw sample c, with its
// left neighbour l and right neighbour r (rounding alternates between the two).
inline unsigned H2v1Left(unsigned l, unsigned c) { return (3 * c + l + 1) >> 2; }
inline unsigned H2v1Right(unsigned c, unsigned r) { return (3 * c + r + 2) >> 2; }

// 2:1 both ways: the same on column sums, 3 x the nearer row + the farther row.
inline unsigned H2v2Left(unsigned l, unsigned c) { return (3 * c + l + 8) >> 4; }
inline unsigned H2v2Right(unsigned c, unsigned r) { return (3 * c + r + 7) >> 4; }

}  // namespace

void ChromaMeansH2V1(const uint8_t* __restrict a, const uint8_t* __restrict b, uint32_t chromaWidth,
                     uint32_t width, uint8_t* __restrict out) {
    if (chromaWidth <= 2) {
        for (uint32_t i = 0; i < chromaWidth; ++i) out[i] = uint8_t((2 * a[i] + 2 * b[i]) >> 2);
        return;
    }
    const uint32_t last = chromaWidth - 1;
    auto block = [&](uint32_t l, uint32_t i, uint32_t r) {
        return uint8_t((H2v1Left(a[l], a[i]) + H2v1Right(a[i], a[r]) + H2v1Left(b[l], b[i]) +
                        H2v1Right(b[i], b[r])) >>
                       2);
    };
    out[0] = block(0, 0, 1);
    // Written out for the compiler to vectorise.
    for (uint32_t i = 1; i < last; ++i) {
        const unsigned sa = H2v1Left(a[i - 1], a[i]) + H2v1Right(a[i], a[i + 1]);
        const unsigned sb = H2v1Left(b[i - 1], b[i]) + H2v1Right(b[i], b[i + 1]);
        out[i] = uint8_t((sa + sb) >> 2);
    }
    if (width % 2 == 0)
        out[last] = block(last - 1, last, last);
    else
        out[last] =
            uint8_t((2 * H2v1Left(a[last - 1], a[last]) + 2 * H2v1Left(b[last - 1], b[last])) >> 2);
}

void ChromaMeansH2V2(const uint8_t* __restrict above, const uint8_t* __restrict row,
                     const uint8_t* __restrict below, bool lone, uint32_t chromaWidth,
                     uint32_t width, uint8_t* __restrict out) {
    if (chromaWidth <= 2) {  // repetition both ways: all four samples are the raw one
        for (uint32_t i = 0; i < chromaWidth; ++i) out[i] = row[i];
        return;
    }
    // A lone upper row counts twice, as the block's two rows.
    if (lone) below = above;
    const uint32_t last = chromaWidth - 1;
    auto up = [&](uint32_t i) { return 3u * row[i] + above[i]; };
    auto down = [&](uint32_t i) { return 3u * row[i] + below[i]; };
    auto block = [&](uint32_t l, uint32_t i, uint32_t r) {
        return uint8_t((H2v2Left(up(l), up(i)) + H2v2Right(up(i), up(r)) +
                        H2v2Left(down(l), down(i)) + H2v2Right(down(i), down(r))) >>
                       2);
    };
    out[0] = block(0, 0, 1);
    for (uint32_t i = 1; i < last; ++i) {
        const unsigned su = H2v2Left(up(i - 1), up(i)) + H2v2Right(up(i), up(i + 1));
        const unsigned sd = H2v2Left(down(i - 1), down(i)) + H2v2Right(down(i), down(i + 1));
        out[i] = uint8_t((su + sd) >> 2);
    }
    if (width % 2 == 0)
        out[last] = block(last - 1, last, last);
    else
        out[last] = uint8_t(
            (2 * H2v2Left(up(last - 1), up(last)) + 2 * H2v2Left(down(last - 1), down(last))) >> 2);
}

}  // namespace media
