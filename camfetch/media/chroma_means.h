// The chroma samples of an I420 frame computed straight from a JPEG frame's raw (half-width)
// chroma rows. Each result equals what the reference decode gives: the truncated mean of the
// 2 x 2 block of chroma after libjpeg's smooth upsampling, which interpolates each pair of
// upsampled samples from a raw sample and its neighbours with fixed integer rules (libjpeg-turbo
// "fancy" upsampling: one rule for horizontal-only 2:1, another for 2:1 both ways; an edge
// sample stands in for its missing neighbour). A row of at most two chroma samples is
// upsampled by plain repetition instead, as libjpeg does.
//
// `chromaWidth` is the number of raw chroma samples in a row ((width + 1) / 2), `width` the
// picture's width: with an odd width the last block has one column, which counts twice.
#pragma once

#include <cstdint>

namespace media {

// 4:2:2 (chroma at full height): one row of means from the chroma rows of a pair of picture
// rows (`lower` equal to `upper` for a lone last picture row).
void ChromaMeansH2V1(const uint8_t* upper, const uint8_t* lower, uint32_t chromaWidth,
                     uint32_t width, uint8_t* out);

// 4:2:0: one row of means from chroma row `row`, which covers two picture rows, with its
// neighbours `above` and `below` (`row` itself at the top and bottom of the picture). `lone`
// when the picture has only the upper of the two rows (odd height, last row).
void ChromaMeansH2V2(const uint8_t* above, const uint8_t* row, const uint8_t* below, bool lone,
                     uint32_t chromaWidth, uint32_t width, uint8_t* out);

}  // namespace media
