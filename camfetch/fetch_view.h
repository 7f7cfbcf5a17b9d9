// What the download session needs from outside itself: the main dialog's controls (FetchView),
// the files a download writes (DownloadStore) and the clip conversion (ClipConverter), with
// the ids and limits they share.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "conversion_job.h"
#include "convert_result.h"

namespace camfetch {

// Which controls of the main dialog are enabled.
enum ControlMode {
    kModeConnecting = 0,
    kModeListing = 1,
    kModeReady = 2,
    kModeDownloadRunning = 3,
    kModeDeleteRunning = 4,
};

// Strings of the message area.
constexpr int kStringAbout = 101;
constexpr int kStringConnecting = 102;
constexpr int kStringNoImages = 103;
constexpr int kStringFailed = 104;
constexpr int kStringConnected = 61221;
constexpr int kStringChooseDirectory = 61222;
// A download that failed on this machine's disk, not in the camera; each names the folder.
constexpr int kStringFolderNotMade = 105;
constexpr int kStringFileNotCreated = 106;
constexpr int kStringFileNotWritten = 107;
constexpr int kStringFileNotCompleted = 108;
constexpr int kStringFileNotPlaced = 109;

constexpr int kStorageSourceFlash = 1;
constexpr int kCountdownSeconds = 15;

// A block the camera asks us to fetch may be no longer than this. The camera is untrusted:
// a status record naming a larger block fails the connection instead of allocating it.
constexpr uint32_t kMaxBlockLength = 16u * 1024 * 1024;
// The most rows a listing keeps: a FAT directory holds at most 65,536 entries. A camera that
// lists more (one that never marks a block as the last) fails the connection.
constexpr size_t kMaxCatalogueItems = 65536;

// What the session needs from the dialog. Rows of the file list hold no data of their own:
// row i shows catalogue item i.
class FetchView {
public:
    virtual ~FetchView() = default;
    virtual void ShowMessage(int stringId) = 0;  // message area
    // The message area: a string whose "%s" is the folder.
    virtual void ShowFolderMessage(int stringId, const std::string& folder) = 0;
    virtual void ApplyControlMode(ControlMode mode) = 0;
    virtual void ShowCountdown(int seconds) = 0;  // the countdown field's number
    virtual void RevealCountdownLine() = 0;       // unhides the countdown line
    virtual void StartCountdownTimer() = 0;       // timer 101
    virtual void EndDialogAsCancel() = 0;
    virtual void AddStorageSource(const char* text, int data) = 0;
    // Selects entry 0 of the storage source box and returns its item data (-1 if empty).
    virtual int SelectFirstStorageSource() = 0;
    virtual void DeleteAllRows() = 0;
    virtual void AppendRows(size_t count) = 0;
    virtual void DeleteRow(size_t row) = 0;
    // Every row's listStateSelected | listStateFocused bits, in row order, and back.
    virtual void ReadRowStates(std::vector<uint32_t>& states) = 0;
    virtual void WriteRowStates(const std::vector<uint32_t>& states) = 0;
    virtual void SuspendRedraw() = 0;  // before the catalogue is reordered
    virtual void RedrawRows() = 0;     // after: resumes drawing, redraws all rows
    // The runs' fields: status line, percent field, progress bar (0-100), remaining count.
    virtual void ShowStatusLine(const std::string& text) = 0;
    virtual void ShowPercent(const std::string& text) = 0;
    virtual void SetProgress(int percent) = 0;
    virtual void ShowRemaining(const std::string& text) = 0;
    virtual void RefreshRow(size_t row) = 0;  // the item's flags changed
    virtual void EnsureRowVisible(size_t row) = 0;
    virtual bool IsConvertAviChecked() = 0;
};

// The files a download run writes. One output file is open at a time; paths are the
// platform's (backslash-separated). A download is written under a partial name and moved into
// its place only once it is complete and on the disk.
class DownloadStore {
public:
    virtual ~DownloadStore() = default;
    // Makes the last level of the folder; true when the folder exists afterwards.
    virtual bool CreateFolder(const std::string& folder) = 0;
    // Creates the file for writing, replacing any file of that name.
    virtual bool CreateOutput(const std::string& path) = 0;
    // Appends to the open file; false when not every byte was written (a full disk).
    virtual bool Write(const uint8_t* data, size_t size) = 0;
    // Writes the open file's data through to the disk and closes it; false when its data could
    // not be completed. A file that is not open closes without error.
    virtual bool Close() = 0;
    // Puts the closed file `from` in the place of `to`, replacing any file there, and has the
    // new name on the disk before it returns; `to` is untouched when this fails.
    virtual bool MoveIntoPlace(const std::string& from, const std::string& to) = 0;
    virtual bool Remove(const std::string& path) = 0;
    // Gives a closed file a last-write time (FAT's packed local date and time, valid); a
    // file whose time cannot be set keeps the time it was written at.
    virtual void SetWriteTime(const std::string& path, uint16_t fatDate, uint16_t fatTime) = 0;
    // Whether two paths name the same file. The platform's file names ignore letter case, so
    // "abc.jpg" and "ABC.JPG" are one file; this default folds ASCII letters only.
    virtual bool SamePath(const std::string& a, const std::string& b);
};

// Starts rewriting a saved clip in place, beside the window's thread; the session follows the
// job on its ticks. Never null.
using ClipConverter = std::function<std::unique_ptr<media::ConversionJob>(const std::string& path)>;

}  // namespace camfetch
