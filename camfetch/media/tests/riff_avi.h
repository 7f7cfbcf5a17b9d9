// A portable reader and writer of RIFF AVI files (AVI 1.0 with an idx1 index), behind the same
// interfaces as the platform's AVIFile services, and a file-system back end built on the C++
// library. Used where AVIFile is not available.
//
// Reading finds the chunks of each stream by walking the 'movi' lists (also those of OpenDML
// 'AVIX' extensions), so an index is not needed. Writing puts the streams' headers first, the
// chunks in the order written, then the index; all streams and formats must be set before
// the first chunk, as with AVIFile.
#pragma once

#include <memory>
#include <string>

#include "clip_platform.h"

namespace media {

std::unique_ptr<AviFile> OpenRiffAvi(const std::string& path);
std::unique_ptr<AviFile> CreateRiffAvi(const std::string& path);

// Files through <filesystem>; temporary names as "<prefix><hex number>.tmp".
class PortableClipPlatform : public ClipPlatform {
public:
    std::unique_ptr<AviFile> OpenClip(const std::string& path) override;
    std::unique_ptr<AviFile> CreateClip(const std::string& path) override;
    bool FreeSpace(const std::string& folder, uint64_t& bytes) override;
    bool MakeTempFile(const std::string& folder, const char* prefix, std::string& path) override;
    bool RemoveFile(const std::string& path) override;
    bool ReplaceFile(const std::string& from, const std::string& to) override;
};

}  // namespace media
