// The main dialog's camera work, apart from any window: the storage connection driven by
// timer 100, the catalogue listing, the end message with its countdown on timer 101, and the
// catalogue's sorting. A window timer handler only calls ConnectionStep or CountdownStep; the
// session talks to the camera through the CameraChannel and to the dialog through FetchView.
//
// Glossary:
//   status        the SystemInfo record of property 34; `error` is tested before `ready`
//   presence word 4 bytes at the status address after the storage query (49); bit 0 set
//                 means the flash memory holds a readable catalogue
//   scan          states 2 and 3: read catalogue blocks only until one holds a known file
//   listing       StartListing and ListingStep: read the whole catalogue again, one block
//                 per tick, into the catalogue
//   run           a download or delete over the rows selected when its button was pressed,
//                 one camera exchange or one data block per tick
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "camera_channel.h"
#include "catalogue.h"

namespace camfetch {

// Which controls of the main dialog are enabled.
enum ControlMode {
    kModeConnecting = 0,
    kModeListing = 1,
    kModeReady = 2,
    kModeDownloadRunning = 3,
    kModeDeleteRunning = 4,
};

enum ConnectionState {
    Starting = 0,
    CheckingStorage = 1,
    OpeningCatalogue = 2,
    ScanningCatalogue = 3,
    Connected = 4,
    Serving = 5,
    NoImages = 6,
    Failed = 7,
};

// Strings of the message area.
constexpr int kStringAbout = 101;
constexpr int kStringConnecting = 102;
constexpr int kStringNoImages = 103;
constexpr int kStringFailed = 104;
constexpr int kStringConnected = 61221;
constexpr int kStringChooseDirectory = 61222;

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
    virtual void ShowMessage(int stringId) = 0;       // message area
    virtual void ApplyControlMode(ControlMode mode) = 0;
    virtual void ShowCountdown(int seconds) = 0;      // the countdown field's number
    virtual void RevealCountdownLine() = 0;           // unhides the countdown line
    virtual void StartCountdownTimer() = 0;           // timer 101
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
    virtual void SuspendRedraw() = 0;                 // before the catalogue is reordered
    virtual void RedrawRows() = 0;                    // after: resumes drawing, redraws all rows
    // The runs' fields: status line, percent field, progress bar (0-100), remaining count.
    virtual void ShowStatusLine(const std::string& text) = 0;
    virtual void ShowPercent(const std::string& text) = 0;
    virtual void SetProgress(int percent) = 0;
    virtual void ShowRemaining(const std::string& text) = 0;
    virtual void RefreshRow(size_t row) = 0;          // the item's flags changed
    virtual void EnsureRowVisible(size_t row) = 0;
    virtual bool IsConvertAviChecked() = 0;
};

// The files a download run writes. One output file is open at a time; paths are the
// platform's (backslash-separated).
class DownloadStore {
public:
    virtual ~DownloadStore() = default;
    // Makes the last level of the folder; a failure (for instance: it exists) is not reported.
    virtual void CreateFolder(const std::string& folder) = 0;
    // Creates the file for writing, replacing any file of that name.
    virtual bool CreateOutput(const std::string& path) = 0;
    // Appends to the open file; false when not every byte was written (a full disk).
    virtual bool Write(const uint8_t* data, size_t size) = 0;
    // Closes the open file, if any; false when its data could not be completed.
    virtual bool Close() = 0;
    virtual bool Remove(const std::string& path) = 0;
    // Gives a closed file a last-write time (FAT's packed local date and time, valid); a
    // file whose time cannot be set keeps the time it was written at.
    virtual void SetWriteTime(const std::string& path, uint16_t fatDate, uint16_t fatTime) = 0;
    // Whether two paths name the same file. The platform's file names ignore letter case, so
    // "abc.jpg" and "ABC.JPG" are one file; this default folds ASCII letters only.
    virtual bool SamePath(const std::string& a, const std::string& b);
};

// Rewrites a saved clip in place; 0 on success, a non-zero step code on failure.
using ClipConverter = std::function<int(const std::string& path)>;

// The outcomes of one status poll.
enum class StatusPoll { ReadFailed, Error, Busy, Ready };

class FetchSession {
public:
    FetchSession(camera::CameraChannel& camera, FetchView& view) : camera_(camera), view_(view) {}

    // Timer 100: advances the connection; several states may be handled in one tick.
    void ConnectionStep();
    // Timer 101: counts down and ends the dialog at 0.
    void CountdownStep();

    void FailConnection();
    void ShowEndMessage();

    bool StartListing();
    bool ListingStep();
    void ClearCatalogue();
    void PurgeDeleted();

    // Where downloads go and what writes them; set by the dialog.
    void SetDownloadStore(DownloadStore* store) { store_ = store; }
    void SetClipConverter(ClipConverter converter) { converter_ = std::move(converter); }

    // Download, Delete and Cancel. The runs then advance on the connection's ticks; a false
    // step fails the connection.
    void StartDownloadRun();
    bool DownloadStep();
    void AbortTransfer();
    void StartDeleteRun();
    bool DeleteStep();
    void CancelRuns();

    // Orders the catalogue by sortColumn in that column's direction; rows keep their
    // selection and focus with their items.
    void SortCatalogue();
    // A click on a column heading: columns 0-2 become the sort column and flip their own
    // direction; any other column sorts again as before.
    void ColumnClick(int column);
    void SaveListStates();
    void RestoreListStates();

    void SetControlMode(ControlMode mode);
    // The storage source box accepted a selection with this item data.
    void StorageSourceChanged(int source);

    // Source-guarded storage commands: only the flash memory (source 1) is reachable.
    bool SendCatalogueStart();
    bool SendCatalogueNext();
    bool SendFileOpen(const CatalogueItem& item);
    bool SendFileNext();
    bool SendFileDelete(const CatalogueItem& item);

    StatusPoll PollStatus(camera::SystemInfo& info);

    // State, read by the dialog and by tests.
    std::vector<CatalogueItem> catalogue;
    bool listingActive = false;
    int connectionState = Starting;
    int countdown = 0;
    uint32_t presenceWord = 0;
    bool flashPresent = false;
    int storageSource = 0;
    int controlMode = kModeConnecting;
    int sortColumn = 0;
    int sortDescending[3] = {1, 1, 1};
    std::string downloadFolder;    // the folder the user chose
    std::string datedFolderName;   // from the time the dialog opened

    int downloadState = 0;
    size_t downloadIndex = 0;
    int downloadTotal = 0;
    int downloadDone = 0;
    uint64_t bytesReceived = 0;
    bool convertAvi = false;
    std::string outputPath;        // the file being written while downloadState is 2
    bool outputOpen = false;

    int deleteState = 0;
    size_t deleteIndex = 0;
    int deleteTotal = 0;
    int deleteDone = 0;

private:
    // The storage check of state 1; false when the connection has left state 1.
    void CheckStorage();
    void ScanCatalogue();
    bool SetUpSource();
    // Reads a block named by a ready status; an empty result for length <= 0.
    enum class BlockRead { Ok, Failed, TooLarge };
    BlockRead ReadBlock(const camera::SystemInfo& info, std::vector<uint8_t>& block);
    // Copies the rows' states into the items and counts the selected ones.
    int LatchSelection();
    bool SelectNextDownload();
    bool TransferBlock();
    bool DownloadFailed();
    // Takes the saved mark off every item whose file is about to be replaced at `path`.
    void ForgetCopiesAt(const std::string& path);
    bool DeleteFailed();
    void ShowRemainingCount(int count);

    camera::CameraChannel& camera_;
    FetchView& view_;
    DownloadStore* store_ = nullptr;
    ClipConverter converter_;
};

}  // namespace camfetch
