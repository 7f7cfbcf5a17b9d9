// The firmware download buffer: the image file's bytes behind a little-endian length word
// that counts the whole buffer including itself. For an image of L bytes the buffer holds
// T = ((L + 3) rounded down to a multiple of 4) + 7 bytes; the 3 to 6 filler bytes after the
// image are zero.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "file_source.h"

namespace camflash {

// The total buffer size for an image of imageLength bytes; 0 when it would not fit the
// 32-bit length word.
uint64_t DownloadBufferSize(uint64_t imageLength);

// Reads the image file at path into a download buffer. Returns false, leaving buffer empty,
// when the file cannot be opened, its size cannot be told, it cannot be read in full, or it
// is too large: sending part of an image to be programmed into flash would leave the camera
// unusable.
bool LoadFirmwareImage(FileOpener& opener, const std::string& path, std::vector<uint8_t>& buffer);

}  // namespace camflash
