// The main dialog's camera work, apart from any window: the storage connection driven by
// timer 100, the catalogue listing, the end message with its countdown on timer 101, the
// catalogue's sorting, and the download and delete runs. A window timer handler only calls
// ConnectionStep or CountdownStep; the session talks to the camera through the CameraChannel
// and to the dialog through FetchView (fetch_view.h).
//
// The parts live in files of their own: fetch_session.cpp (connection, listing, sorting),
// download_run.cpp, delete_run.cpp, over the status poll of status_poll.h.
//
// Glossary:
//   status        the SystemInfo record of property 34; `error` is tested before `ready`
//   presence word 4 bytes at the status address after the storage query (49); bit 0 set
//                 means the flash memory holds a readable catalogue
//   scan          OpeningCatalogue and ScanningCatalogue: read catalogue blocks only until one
//                 holds a known file
//   listing       StartListing and ListingStep: read the whole catalogue again, one block
//                 per tick, into the catalogue
//   run           a download or delete over the rows selected when its button was pressed,
//                 one camera exchange or one data block per tick
//   failure       why the connection or a run failed, in words (`failure()`), for the tests'
//                 messages; the dialog shows only its fixed texts
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "camera_channel.h"
#include "catalogue.h"
#include "fetch_view.h"
#include "status_poll.h"

namespace camfetch {

enum class ConnectionState {
    Starting,           // the storage query (49) is sent on the first tick
    CheckingStorage,    // waiting for the presence word
    OpeningCatalogue,   // the catalogue start (39) is sent
    ScanningCatalogue,  // reading blocks until one holds a known file
    Connected,          // the source box is filled and the listing starts
    Serving,            // listing, and the runs, advance on each tick
    NoImages,           // ended: the end message and its countdown are shown
    Failed,             // ended the same way, with the failure text
};

// Where a download or delete run stands.
enum class RunState {
    Idle,
    NextItem,    // this tick picks the next selected item and sends its command
    InProgress,  // the item's command was sent: a download's file is open (a failure must
                 // remove it), a delete waits for the camera to confirm
};

class FetchSession {
public:
    FetchSession(camera::CameraChannel& camera, FetchView& view) : camera_(camera), view_(view) {}

    // Timer 100: advances the connection; several states may be handled in one tick.
    void ConnectionStep();
    // Timer 101: counts down and ends the dialog at 0.
    void CountdownStep();

    // Ends the connection with the failure text. A step that failed has kept its reason
    // already; other callers give one.
    void FailConnection(const char* reason = nullptr);
    void ShowEndMessage();

    bool StartListing();
    bool ListingStep();
    void ClearCatalogue();
    void PurgeDeleted();
    // Puts these items in the catalogue as a listing would, without rows in the view (tests
    // and benchmarks add the rows themselves).
    void StageCatalogue(std::vector<CatalogueItem> items) { catalogue_ = std::move(items); }

    // Where downloads go and what writes them; set by the dialog.
    void SetDownloadStore(DownloadStore* store) { store_ = store; }
    void SetClipConverter(ClipConverter converter) { converter_ = std::move(converter); }
    void SetDownloadFolder(const std::string& folder) { downloadFolder_ = folder; }  // the user's
    void SetDatedFolderName(const std::string& name) { datedFolderName_ = name; }    // at open

    // Download, Delete and Cancel. The runs then advance on the connection's ticks; a false
    // step fails the connection.
    void StartDownloadRun();
    bool DownloadStep();
    void AbortTransfer();
    void StartDeleteRun();
    bool DeleteStep();
    void CancelRuns();

    // Orders the catalogue by the sort column in that column's direction; rows keep their
    // selection and focus with their items. Name, descending, until a heading is clicked.
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

    // State, read by the dialog, the run indicator and the tests.
    const std::vector<CatalogueItem>& catalogue() const { return catalogue_; }
    ConnectionState connectionState() const { return connectionState_; }
    bool listingActive() const { return listingActive_; }
    ControlMode controlMode() const { return controlMode_; }
    int storageSource() const { return storageSource_; }
    const std::string& datedFolderName() const { return datedFolderName_; }
    // Empty until something fails; then the last failure's reason.
    const std::string& failure() const { return failure_; }

    RunState downloadState() const { return downloadState_; }
    size_t downloadIndex() const { return downloadIndex_; }  // the item in transfer
    int downloadTotal() const { return downloadTotal_; }
    int downloadDone() const { return downloadDone_; }
    uint64_t bytesReceived() const { return bytesReceived_; }  // of the item in transfer
    const std::string& outputPath() const { return outputPath_; }
    bool outputOpen() const { return outputOpen_; }

    RunState deleteState() const { return deleteState_; }
    int deleteTotal() const { return deleteTotal_; }
    int deleteDone() const { return deleteDone_; }

private:
    // One status poll; on Failed the reason is kept.
    Poll PollCamera(camera::SystemInfo& info) { return PollStatus(camera_, info, failure_); }
    bool Failure(const std::string& reason) {  // keeps the reason; false
        failure_ = reason;
        return false;
    }
    void CheckStorage();
    void ScanCatalogue();
    bool SetUpSource();
    // Copies the rows' states into the items and counts the selected ones.
    int LatchSelection();
    // The first latched-selected item at or after `from`; catalogue_.size() when none is.
    size_t NextSelectedItem(size_t from) const;
    bool SelectNextDownload();
    bool TransferBlock();
    bool FinishDownload(CatalogueItem& item);
    bool DownloadFailed();
    // Takes the saved mark off every item whose file is about to be replaced at `path`.
    void ForgetCopiesAt(const std::string& path);
    bool SelectNextDelete();
    bool ConfirmDelete();
    bool DeleteFailed();
    void ShowRemainingCount(int count);

    camera::CameraChannel& camera_;
    FetchView& view_;
    DownloadStore* store_ = nullptr;
    ClipConverter converter_;

    std::vector<CatalogueItem> catalogue_;
    bool listingActive_ = false;
    ConnectionState connectionState_ = ConnectionState::Starting;
    int countdown_ = 0;
    uint32_t presenceWord_ = 0;
    bool flashPresent_ = false;
    int storageSource_ = 0;
    ControlMode controlMode_ = kModeConnecting;
    int sortColumn_ = 0;
    bool sortDescending_[3] = {true, true, true};
    std::string downloadFolder_;
    std::string datedFolderName_;
    std::string failure_;

    RunState downloadState_ = RunState::Idle;
    size_t downloadIndex_ = 0;
    int downloadTotal_ = 0;
    int downloadDone_ = 0;
    uint64_t bytesReceived_ = 0;
    bool convertAvi_ = false;
    std::string outputPath_;  // the file being written while the download is InProgress
    bool outputOpen_ = false;

    RunState deleteState_ = RunState::Idle;
    size_t deleteIndex_ = 0;
    int deleteTotal_ = 0;
    int deleteDone_ = 0;
};

}  // namespace camfetch
