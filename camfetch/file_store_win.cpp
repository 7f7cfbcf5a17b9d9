#include "file_store_win.h"

#include "scoped_win.h"
#include "wide_string_win.h"

#ifdef CAMFETCH_HAS_CLIP_CONVERSION
#include "media_win.h"
#endif

namespace camfetch {

bool Win32DownloadStore::CreateFolder(const std::string& folder) {
    const camtools::WString wide = camtools::WidenPath(folder);
    if (CreateDirectoryW(wide.c_str(), nullptr)) return true;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool Win32DownloadStore::CreateOutput(const std::string& path) {
    Close();
    file_.Reset(CreateFileW(camtools::WidenPath(path).c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    return bool(file_);
}

bool Win32DownloadStore::Write(const uint8_t* data, size_t size) {
    if (!file_) return false;
    while (size > 0) {
        DWORD chunk = size > 0x40000000 ? 0x40000000 : DWORD(size);
        DWORD written = 0;
        if (!WriteFile(file_.Get(), data, chunk, &written, nullptr) || written != chunk)
            return false;
        data += chunk;
        size -= chunk;
    }
    return true;
}

// The data goes to the disk before the file may be called saved: the user may delete the
// camera's copy next. A failed flush or close may have lost the last writes.
bool Win32DownloadStore::Close() {
    if (!file_) return true;
    const bool flushed = FlushFileBuffers(file_.Get()) != FALSE;
    return file_.Close() && flushed;
}

bool Win32DownloadStore::MoveIntoPlace(const std::string& from, const std::string& to) {
    return MoveFileExW(camtools::WidenPath(from).c_str(), camtools::WidenPath(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}

bool Win32DownloadStore::Remove(const std::string& path) {
    return DeleteFileW(camtools::WidenPath(path).c_str()) != FALSE;
}

// FAT times are local: converted as Windows converts them for a FAT volume's files.
void Win32DownloadStore::SetWriteTime(const std::string& path, uint16_t fatDate, uint16_t fatTime) {
    FILETIME local, utc;
    if (!DosDateTimeToFileTime(fatDate, fatTime, &local) || !LocalFileTimeToFileTime(&local, &utc))
        return;
    camtools::ScopedHandle file(
        CreateFileW(camtools::WidenPath(path).c_str(), FILE_WRITE_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) SetFileTime(file.Get(), nullptr, nullptr, &utc);
}

// The platform's own upper-casing, so that letters beyond ASCII ("\xE9" and "\xC9" in the
// Western code page) match as the file system matches them.
bool Win32DownloadStore::SamePath(const std::string& a, const std::string& b) {
    camtools::WString wideA = camtools::WidenPath(a), wideB = camtools::WidenPath(b);
    if (wideA.size() != wideB.size()) return false;
    if (wideA.empty()) return a == b;
    CharUpperBuffW(&wideA[0], DWORD(wideA.size()));
    CharUpperBuffW(&wideB[0], DWORD(wideB.size()));
    return wideA == wideB;
}

std::unique_ptr<media::ConversionJob> StartDownloadedClipConversion(const std::string& path) {
#ifdef CAMFETCH_HAS_CLIP_CONVERSION
    return media::StartClipConversion(path);
#else
    (void)path;
    return std::make_unique<media::ConversionJob>(
        [](media::ConvertControl&) { return media::ConvertResult::CannotOpen; });
#endif
}

}  // namespace camfetch
