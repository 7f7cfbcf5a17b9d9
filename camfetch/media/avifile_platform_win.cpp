#include <windows.h>
#include <vfw.h>

#include <cstring>

#include "media_win.h"
#include "scoped_win.h"
#include "wide_string_win.h"

namespace media {
namespace {

void ToPlatform(const AviStreamInfo& in, AVISTREAMINFOA& out) {
    std::memset(&out, 0, sizeof out);
    out.fccType = in.fccType;
    out.fccHandler = in.fccHandler;
    out.dwFlags = in.dwFlags;
    out.dwCaps = in.dwCaps;
    out.wPriority = in.wPriority;
    out.wLanguage = in.wLanguage;
    out.dwScale = in.dwScale;
    out.dwRate = in.dwRate;
    out.dwStart = in.dwStart;
    out.dwLength = in.dwLength;
    out.dwInitialFrames = in.dwInitialFrames;
    out.dwSuggestedBufferSize = in.dwSuggestedBufferSize;
    out.dwQuality = in.dwQuality;
    out.dwSampleSize = in.dwSampleSize;
    out.rcFrame.left = in.rcFrame[0];
    out.rcFrame.top = in.rcFrame[1];
    out.rcFrame.right = in.rcFrame[2];
    out.rcFrame.bottom = in.rcFrame[3];
    out.dwEditCount = in.dwEditCount;
    out.dwFormatChangeCount = in.dwFormatChangeCount;
    std::memcpy(out.szName, in.szName, sizeof out.szName);
    out.szName[sizeof out.szName - 1] = '\0';
}

void FromPlatform(const AVISTREAMINFOA& in, AviStreamInfo& out) {
    out.fccType = in.fccType;
    out.fccHandler = in.fccHandler;
    out.dwFlags = in.dwFlags;
    out.dwCaps = in.dwCaps;
    out.wPriority = in.wPriority;
    out.wLanguage = in.wLanguage;
    out.dwScale = in.dwScale;
    out.dwRate = in.dwRate;
    out.dwStart = in.dwStart;
    out.dwLength = in.dwLength;
    out.dwInitialFrames = in.dwInitialFrames;
    out.dwSuggestedBufferSize = in.dwSuggestedBufferSize;
    out.dwQuality = in.dwQuality;
    out.dwSampleSize = in.dwSampleSize;
    out.rcFrame[0] = in.rcFrame.left;
    out.rcFrame[1] = in.rcFrame.top;
    out.rcFrame[2] = in.rcFrame.right;
    out.rcFrame[3] = in.rcFrame.bottom;
    out.dwEditCount = in.dwEditCount;
    out.dwFormatChangeCount = in.dwFormatChangeCount;
    std::memcpy(out.szName, in.szName, sizeof out.szName);
    out.szName[sizeof out.szName - 1] = '\0';
}

class AviFileStream : public AviStream {
public:
    explicit AviFileStream(camtools::ScopedAviStream stream) : stream_(std::move(stream)) {}

    bool Info(AviStreamInfo& info) override {
        AVISTREAMINFOA platform;
        if (AVIStreamInfoA(stream_.Get(), &platform, sizeof platform) != 0) return false;
        FromPlatform(platform, info);
        return true;
    }
    int32_t Start() override { return AVIStreamStart(stream_.Get()); }
    int32_t Length() override { return AVIStreamLength(stream_.Get()); }
    long Read(int32_t position, int32_t samples, void* buffer, int32_t capacity, int32_t* bytes,
              int32_t* samplesRead) override {
        LONG gotBytes = 0, gotSamples = 0;
        const HRESULT hr = AVIStreamRead(stream_.Get(), position, samples, buffer, capacity,
                                         &gotBytes, &gotSamples);
        if (bytes) *bytes = gotBytes;
        if (samplesRead) *samplesRead = gotSamples;
        return hr;
    }
    long ReadFormat(int32_t position, void* format, int32_t* size) override {
        LONG platformSize = size ? *size : 0;
        const HRESULT hr = AVIStreamReadFormat(stream_.Get(), position, format, &platformSize);
        if (size) *size = platformSize;
        return hr;
    }
    long SetFormat(int32_t position, const void* format, int32_t size) override {
        return AVIStreamSetFormat(stream_.Get(), position, const_cast<void*>(format), size);
    }
    long Write(int32_t position, int32_t samples, const void* data, int32_t bytes,
               uint32_t flags) override {
        return AVIStreamWrite(stream_.Get(), position, samples, const_cast<void*>(data), bytes,
                              flags, nullptr, nullptr);
    }

private:
    camtools::ScopedAviStream stream_;
};

class AviFileFile : public AviFile {
public:
    explicit AviFileFile(camtools::ScopedAviFile file) : file_(std::move(file)) {}

    bool Info(AviFileInfo& info) override {
        AVIFILEINFOA platform;
        if (AVIFileInfoA(file_.Get(), &platform, sizeof platform) != 0) return false;
        info.streams = platform.dwStreams;
        info.width = platform.dwWidth;
        info.height = platform.dwHeight;
        return true;
    }
    std::unique_ptr<AviStream> GetStream(uint32_t index) override {
        camtools::ScopedAviStream stream;
        if (AVIFileGetStream(file_.Get(), stream.Out(), 0, LONG(index)) != 0 || !stream)
            return nullptr;
        return std::make_unique<AviFileStream>(std::move(stream));
    }
    std::unique_ptr<AviStream> CreateStream(const AviStreamInfo& info) override {
        AVISTREAMINFOA platform;
        ToPlatform(info, platform);
        camtools::ScopedAviStream stream;
        if (AVIFileCreateStreamA(file_.Get(), stream.Out(), &platform) != 0 || !stream)
            return nullptr;
        return std::make_unique<AviFileStream>(std::move(stream));
    }

private:
    camtools::ScopedAviFile file_;
};

class AviFilePlatform : public ClipPlatform {
public:
    AviFilePlatform() { AVIFileInit(); }
    ~AviFilePlatform() override { AVIFileExit(); }

    // The clip is only read: opening it for writing as well would let AVIFile rewrite it.
    std::unique_ptr<AviFile> OpenClip(const std::string& path) override {
        return Open(path, OF_READ | OF_SHARE_DENY_WRITE);
    }
    std::unique_ptr<AviFile> CreateClip(const std::string& path) override {
        return Open(path, OF_CREATE | OF_WRITE);
    }
    bool FreeSpace(const std::string& folder, uint64_t& bytes) override {
        ULARGE_INTEGER available;
        const camtools::WString wide = camtools::WidenPath(folder);
        if (!GetDiskFreeSpaceExW(folder.empty() ? nullptr : wide.c_str(), &available, nullptr,
                                 nullptr))
            return false;
        bytes = available.QuadPart;
        return true;
    }
    bool MakeTempFile(const std::string& folder, const char* prefix, std::string& path) override {
        WCHAR name[MAX_PATH];
        if (!GetTempFileNameW(camtools::WidenPath(folder.empty() ? "." : folder).c_str(),
                              camtools::WidenPath(prefix).c_str(), 0, name))
            return false;
        path = camtools::NarrowPath(name);
        return true;
    }
    bool RemoveFile(const std::string& path) override {
        return DeleteFileW(camtools::WidenPath(path).c_str()) != 0;
    }
    // The converted clip may be the user's only copy once the camera's is deleted: its data
    // is flushed to the disk before it takes the clip's name, and the move writes through.
    bool ReplaceFile(const std::string& from, const std::string& to) override {
        const camtools::WString wideFrom = camtools::WidenPath(from);
        camtools::ScopedHandle file(CreateFileW(wideFrom.c_str(), GENERIC_WRITE, 0, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        const bool flushed = FlushFileBuffers(file.Get()) != 0;
        if (!file.Close() || !flushed) return false;
        return MoveFileExW(wideFrom.c_str(), camtools::WidenPath(to).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }

private:
    static std::unique_ptr<AviFile> Open(const std::string& path, UINT mode) {
        camtools::ScopedAviFile file;
        if (AVIFileOpenW(file.Out(), camtools::WidenPath(path).c_str(), mode, nullptr) != 0 ||
            !file)
            return nullptr;
        return std::make_unique<AviFileFile>(std::move(file));
    }
};

}  // namespace

std::unique_ptr<ClipPlatform> CreateAviFilePlatform() {
    return std::make_unique<AviFilePlatform>();
}

}  // namespace media
