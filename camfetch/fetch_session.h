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
//   run           a download or delete over the rows selected when its button was pressed
//   conversion    a downloaded clip's rewrite (Convert AVI), on threads of its own; the download
//                 run asks it on each tick how far it is and moves on once it has ended
//   round         each state's work once, in ascending order; in the serving state one
//                 step of the listing, of the download run and of the delete run (a status
//                 poll and at most one block or one command each)
//   tick          one call of ConnectionStep: rounds for as long as the camera answers
//                 `ready` and the tick's budget lasts; an activity whose poll finds the camera
//                 busy rests until the next tick
//   failure       why the connection or a run failed, in words (`failure()`), for the tests'
//                 messages; the dialog shows only its fixed texts
#pragma once

#include <cstdint>
#include <functional>
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
    Converting,  // a download's file is complete and its clip conversion runs; the run moves
                 // on once it has ended
};

// What one step of an activity did.
enum class StepResult {
    Failed,  // the activity failed and has cleaned up; the connection fails
    Rested,  // nothing more this tick: the activity is idle, or the camera answered busy
    Moved,   // the camera was ready and the activity moved on; it may move again this tick
};

// How long a tick may work. The session reads time from `clockUs` (microseconds, any origin):
// another round starts only while the tick's time so far plus its longest round stays within
// `budgetUs`, so a tick runs longer than the budget only when one round does. A budget of 0
// gives one round per tick. `inputWaiting` ends the tick between two rounds as soon as the
// window has input to answer.
struct TickBudget {
    uint64_t budgetUs = 0;
    std::function<uint64_t()> clockUs;
    std::function<bool()> inputWaiting;
};

class FetchSession {
public:
    FetchSession(camera::CameraChannel& camera, FetchView& view) : camera_(camera), view_(view) {}

    // Timer 100: advances the connection, in rounds while the budget lasts. True when the tick
    // stopped with the camera ready for more (the budget ran out, or input is waiting): the
    // caller then runs the next tick as soon as the window has answered its messages, without
    // waiting for the timer.
    bool ConnectionStep();
    void SetTickBudget(TickBudget budget) { budget_ = std::move(budget); }
    // Timer 101: counts down and ends the dialog at 0.
    void CountdownStep();

    // Ends the connection with the failure text. A step that failed has kept its reason
    // already; other callers give one.
    void FailConnection(const char* reason = nullptr);
    void ShowEndMessage();

    bool StartListing();
    StepResult ListingStep();
    void ClearCatalogue();
    void PurgeDeleted();

    // Where downloads go and what writes them; set by the dialog.
    void SetDownloadStore(DownloadStore* store) { store_ = store; }
    void SetClipConverter(ClipConverter converter) { converter_ = std::move(converter); }
    void SetDownloadFolder(const std::string& folder) { downloadFolder_ = folder; }  // the user's
    void SetDatedFolderName(const std::string& name) { datedFolderName_ = name; }    // at open

    // Download, Delete and Cancel. The runs then advance on the connection's ticks; a false
    // step fails the connection.
    void StartDownloadRun();
    StepResult DownloadStep();
    void AbortTransfer();
    void StartDeleteRun();
    StepResult DeleteStep();
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

    // State, read by the dialog and the run indicator.
    const std::vector<CatalogueItem>& catalogue() const { return catalogue_; }
    ConnectionState connectionState() const { return connectionState_; }
    ControlMode controlMode() const { return controlMode_; }

    RunState downloadState() const { return downloadState_; }
    size_t downloadIndex() const { return downloadIndex_; }  // the item in transfer
    int downloadTotal() const { return downloadTotal_; }
    int downloadDone() const { return downloadDone_; }
    uint64_t bytesReceived() const { return bytesReceived_; }  // of the item in transfer
    // The clip's conversion while the download is Converting; null otherwise.
    const media::ConversionJob* conversion() const { return conversion_.get(); }

    RunState deleteState() const { return deleteState_; }
    int deleteTotal() const { return deleteTotal_; }
    int deleteDone() const { return deleteDone_; }

private:
    // What tests see beyond the interfaces (camfetch/tests/session_peer.h; the benchmarks have
    // their own, which stages a catalogue).
    friend struct FetchSessionPeer;

    // One status poll; on Failed the reason is kept.
    Poll PollCamera(camera::SystemInfo& info) { return PollStatus(camera_, info, failure_); }
    bool Failure(const std::string& reason) {  // keeps the reason; false
        failure_ = reason;
        return false;
    }
    StepResult StepFailure(const std::string& reason) {  // keeps the reason; Failed
        failure_ = reason;
        return StepResult::Failed;
    }
    // A failure of the download's disk, with the message that names it; false.
    bool DiskFailure(int stringId, const std::string& reason);
    // Bits of the activities that rest for the rest of this tick.
    enum Activity : unsigned { kListing = 1, kDownload = 2, kDelete = 4 };
    uint64_t NowUs() const { return budget_.clockUs ? budget_.clockUs() : 0; }
    // One round; true when an activity moved and may move again.
    bool StepRound();
    // One step of a serving activity, unless it rests this tick; true when it moved.
    bool Serve(Activity activity, StepResult (FetchSession::*step)());
    void CheckStorage();
    bool ScanCatalogue();
    bool SetUpSource();
    // Copies the rows' states into the items and counts the selected ones.
    int LatchSelection();
    // The first latched-selected item at or after `from`; catalogue_.size() when none is.
    size_t NextSelectedItem(size_t from) const;
    bool SelectNextDownload();
    StepResult TransferBlock();
    bool FinishDownload(CatalogueItem& item);
    StepResult ConversionStep();
    bool MarkSaved(CatalogueItem& item);
    StepResult DownloadFailed();
    // Takes the saved mark off every item whose file at `path` has just been replaced.
    void ForgetCopiesAt(const std::string& path);
    bool SelectNextDelete();
    StepResult ConfirmDelete();
    StepResult DeleteFailed();
    void ShowRemainingCount(int count);

    camera::CameraChannel& camera_;
    FetchView& view_;
    DownloadStore* store_ = nullptr;
    ClipConverter converter_;
    TickBudget budget_;
    unsigned resting_ = 0;  // Activity bits

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
    std::string failure_;  // the last failure's reason, in words, for the tests' messages

    RunState downloadState_ = RunState::Idle;
    size_t downloadIndex_ = 0;
    int downloadTotal_ = 0;
    int downloadDone_ = 0;
    uint64_t bytesReceived_ = 0;
    bool convertAvi_ = false;
    // While a download is InProgress or Converting: its file's place, the partial file being
    // written (or converted), and their folder.
    std::string outputPath_;
    std::string partialPath_;
    std::string outputFolder_;
    bool outputOpen_ = false;
    int diskFailure_ = 0;  // the message of the download's disk failure, if it had one
    std::unique_ptr<media::ConversionJob> conversion_;  // while the download is Converting

    RunState deleteState_ = RunState::Idle;
    size_t deleteIndex_ = 0;
    int deleteTotal_ = 0;
    int deleteDone_ = 0;
};

}  // namespace camfetch
