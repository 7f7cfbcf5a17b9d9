// Downloaded files through the Win32 file functions.
#pragma once

#include <windows.h>

#include "fetch_view.h"
#include "scoped_win.h"

namespace camfetch {

class Win32DownloadStore : public DownloadStore {
public:
    ~Win32DownloadStore() override { Close(); }
    bool CreateFolder(const std::string& folder) override;
    bool CreateOutput(const std::string& path) override;
    bool Write(const uint8_t* data, size_t size) override;
    bool Close() override;
    bool MoveIntoPlace(const std::string& from, const std::string& to) override;
    bool Remove(const std::string& path) override;
    void SetWriteTime(const std::string& path, uint16_t fatDate, uint16_t fatTime) override;
    bool SamePath(const std::string& a, const std::string& b) override;

private:
    camtools::ScopedHandle file_;
};

// The clip conversion as the download run starts it, beside the window; in a build without the
// JPEG decoder it fails, so that no clip is ever marked saved unconverted when conversion was
// asked.
std::unique_ptr<media::ConversionJob> StartDownloadedClipConversion(const std::string& path);

}  // namespace camfetch
