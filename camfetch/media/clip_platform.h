// The AVI file services and file-system operations that clip conversion runs on. Two back ends
// implement them: the platform's AVIFile services (Windows, Wine) and a portable RIFF AVI
// reader and writer (other platforms, tests). Semantics follow AVIFile: positions count frames
// for video and samples (blocks of the stream's sample size) for audio; status results are 0 on
// success; releasing an object (destroying it) closes it, and a written file is complete once
// it and its streams are released.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace media {

constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}
constexpr uint32_t kStreamTypeVideo = MakeFourCC('v', 'i', 'd', 's');
constexpr uint32_t kStreamTypeAudio = MakeFourCC('a', 'u', 'd', 's');
constexpr uint32_t kKeyFrameFlag = 0x10;  // AVIIF_KEYFRAME
constexpr int32_t kAppendPosition = -1;   // write after the stream's last sample

// The clip's file record (the fields of AVIFILEINFO that conversion uses).
struct AviFileInfo {
    uint32_t streams = 0;
    uint32_t width = 0;
    uint32_t height = 0;
};

// A stream's record, field for field AVISTREAMINFO.
struct AviStreamInfo {
    uint32_t fccType = 0;
    uint32_t fccHandler = 0;
    uint32_t dwFlags = 0;
    uint32_t dwCaps = 0;
    uint16_t wPriority = 0;
    uint16_t wLanguage = 0;
    uint32_t dwScale = 0;
    uint32_t dwRate = 0;
    uint32_t dwStart = 0;
    uint32_t dwLength = 0;
    uint32_t dwInitialFrames = 0;
    uint32_t dwSuggestedBufferSize = 0;
    uint32_t dwQuality = 0;
    uint32_t dwSampleSize = 0;
    int32_t rcFrame[4] = {0, 0, 0, 0};  // left, top, right, bottom
    uint32_t dwEditCount = 0;
    uint32_t dwFormatChangeCount = 0;
    char szName[64] = {};
};

class AviStream {
public:
    virtual ~AviStream() = default;
    virtual bool Info(AviStreamInfo& info) = 0;
    virtual int32_t Start() = 0;
    virtual int32_t Length() = 0;
    // Reads `samples` samples at `position` into `buffer` (room for `capacity` bytes); with no
    // buffer only the byte size is reported. `bytes` and `samplesRead` may be null.
    virtual long Read(int32_t position, int32_t samples, void* buffer, int32_t capacity,
                      int32_t* bytes, int32_t* samplesRead) = 0;
    // With no buffer, `size` receives the format's size; otherwise up to `size` bytes are
    // copied and `size` receives the format's size.
    virtual long ReadFormat(int32_t position, void* format, int32_t* size) = 0;
    virtual long SetFormat(int32_t position, const void* format, int32_t size) = 0;
    // Writes `samples` samples at `position` (kAppendPosition: after the last one).
    virtual long Write(int32_t position, int32_t samples, const void* data, int32_t bytes,
                       uint32_t flags) = 0;
};

class AviFile {
public:
    virtual ~AviFile() = default;
    virtual bool Info(AviFileInfo& info) = 0;
    virtual std::unique_ptr<AviStream> GetStream(uint32_t index) = 0;
    virtual std::unique_ptr<AviStream> CreateStream(const AviStreamInfo& info) = 0;
};

class ClipPlatform {
public:
    virtual ~ClipPlatform() = default;
    // Opens an existing clip for reading and writing; null on failure.
    virtual std::unique_ptr<AviFile> OpenClip(const std::string& path) = 0;
    // Creates (or truncates) a clip for writing; null on failure.
    virtual std::unique_ptr<AviFile> CreateClip(const std::string& path) = 0;
    // Bytes available to the caller on the volume that holds `folder`.
    virtual bool FreeSpace(const std::string& folder, uint64_t& bytes) = 0;
    // Creates an empty file with a unique name "<prefix><number>.tmp" in `folder`.
    virtual bool MakeTempFile(const std::string& folder, const char* prefix, std::string& path) = 0;
    virtual bool RemoveFile(const std::string& path) = 0;
    // Puts `from` in the place of `to`, replacing it; `to` is untouched when this fails.
    virtual bool ReplaceFile(const std::string& from, const std::string& to) = 0;
};

}  // namespace media
