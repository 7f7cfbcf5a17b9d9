// The download run: one selected item after another, each written block by block to a partial
// file in the dated folder, moved under its real name once complete and on the disk, and only
// then marked saved.
#include <cstdio>

#include "fetch_session.h"
#include "folders.h"

namespace camfetch {
namespace {

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

bool IsAviFileName(const std::string& fileName) {
    if (fileName.size() < 3) return false;
    std::string tail = fileName.substr(fileName.size() - 3);
    for (char& c : tail) c = FoldAscii(c);
    return tail == "AVI";
}

std::string FormatCount(long long value, const char* suffix = "") {
    char text[32];
    std::snprintf(text, sizeof text, "%lld%s", value, suffix);
    return text;
}

}  // namespace

bool DownloadStore::SamePath(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    return true;
}

int FetchSession::LatchSelection() {
    SaveListStates();
    int selected = 0;
    for (const CatalogueItem& item : catalogue_)
        selected += (item.listState & listStateSelected) != 0;
    return selected;
}

size_t FetchSession::NextSelectedItem(size_t from) const {
    while (from < catalogue_.size() && !(catalogue_[from].listState & listStateSelected)) ++from;
    return from;
}

void FetchSession::ShowRemainingCount(int count) { view_.ShowRemaining(FormatCount(count)); }

void FetchSession::StartDownloadRun() {
    bool checked = view_.IsConvertAviChecked();
    int selected = LatchSelection();
    if (selected == 0) return;
    convertAvi_ = checked;
    downloadTotal_ = selected;
    downloadDone_ = 0;
    SetControlMode(kModeDownloadRunning);
    ShowRemainingCount(downloadTotal_ - downloadDone_);
    downloadIndex_ = 0;
    downloadState_ = RunState::NextItem;
}

StepResult FetchSession::DownloadStep() {
    if (downloadState_ == RunState::NextItem && !SelectNextDownload()) return DownloadFailed();
    StepResult result = StepResult::Rested;  // the run has ended
    if (downloadState_ == RunState::InProgress)
        result = TransferBlock();
    else if (downloadState_ == RunState::Converting)
        result = ConversionStep();
    return result == StepResult::Failed ? DownloadFailed() : result;
}

// Opens the next selected item's partial file and asks the camera for the file.
bool FetchSession::SelectNextDownload() {
    const size_t i = NextSelectedItem(downloadIndex_);
    if (i >= catalogue_.size()) {
        downloadState_ = RunState::Idle;
        SetControlMode(kModeReady);
        return true;
    }
    downloadIndex_ = i;
    bytesReceived_ = 0;
    CatalogueItem& item = catalogue_[i];
    // The name comes from the camera: one that is not a plain file name inside the dated
    // folder never reaches the file system.
    if (!store_) return Failure("no download store");
    std::string folder, path, partial;
    if (!BuildDownloadPaths(downloadFolder_, datedFolderName_, item.name, item.extension, folder,
                            path) ||
        !BuildPartialPath(folder, item.name, item.extension, partial))
        return Failure("the camera's file name is not a safe file name: " + item.name);
    outputFolder_ = folder;
    if (!store_->CreateFolder(folder))
        return DiskFailure(kStringFolderNotMade, "the folder could not be made: " + folder);
    if (!store_->CreateOutput(partial))
        return DiskFailure(kStringFileNotCreated, "the file could not be created: " + partial);
    outputPath_ = path;
    partialPath_ = partial;
    outputOpen_ = true;
    downloadState_ = RunState::InProgress;  // a file exists that a failure must remove

    view_.ShowStatusLine("Downloading " + item.name + "." + item.extension);
    view_.ShowPercent("0%");
    view_.SetProgress(0);
    // An earlier copy, here or in another folder, stays saved until this one replaces it.
    item.flags = (item.flags & ~flagFailed) | flagDownloading;
    view_.RefreshRow(i);
    view_.EnsureRowVisible(i);
    // A refused open leaves the status describing the previous command's block, which would be
    // saved under this file's name.
    return SendFileOpen(item) || Failure("the file open was refused");
}

void FetchSession::ForgetCopiesAt(const std::string& path) {
    for (size_t j = 0; j < catalogue_.size(); ++j) {
        CatalogueItem& other = catalogue_[j];
        if (!(other.flags & flagSaved) || !store_->SamePath(other.savedPath, path)) continue;
        other.flags &= ~flagSaved;
        view_.RefreshRow(j);
    }
}

// One status poll and at most one block.
StepResult FetchSession::TransferBlock() {
    camera::SystemInfo info;
    Poll poll = PollCamera(info);
    if (poll == Poll::Failed) return StepResult::Failed;
    if (poll == Poll::Busy) return StepResult::Rested;
    CatalogueItem& item = catalogue_[downloadIndex_];
    // Above the guard is also every length that is negative as signed: skipping such a block
    // as empty would save the file short.
    if (info.length > kMaxBlockLength)
        return StepFailure("the camera named a block longer than the limit");
    uint32_t length = info.length;
    if (length > 0) {
        uint32_t fetched = (length + 3u) & ~3u;
        std::vector<uint8_t> block(fetched);
        if (!camera_.ReadMemory(info.address, fetched, block.data()))
            return StepFailure("the block could not be read");
        if (!store_->Write(block.data(), size_t(length))) {
            DiskFailure(kStringFileNotWritten, "the block could not be written: " + partialPath_);
            return StepResult::Failed;
        }
        bytesReceived_ += length;
        // An empty catalogue size cannot scale anything: its file shows 100% once done.
        uint64_t percent = item.size ? bytesReceived_ * 100 / item.size : 0;
        view_.ShowPercent(FormatCount((long long)percent, "%"));
        view_.SetProgress(percent > 0x7fffffff ? 0x7fffffff : int(percent));
    }
    if (info.flags & camera::kStatusLast)
        return FinishDownload(item) ? StepResult::Moved : StepResult::Failed;
    // A refused file next leaves the status on this block, which would be appended again.
    if (!SendFileNext()) return StepFailure("the file next was refused");
    return StepResult::Moved;
}

// The last block is written: puts the file on the disk, and starts its conversion if asked or
// moves it into its place and marks the item saved.
bool FetchSession::FinishDownload(CatalogueItem& item) {
    outputOpen_ = false;
    if (!store_->Close())
        return DiskFailure(kStringFileNotCompleted,
                           "the file could not be completed: " + partialPath_);
    if (item.size == 0) {
        view_.ShowPercent("100%");
        view_.SetProgress(100);
    }
    if (convertAvi_ && IsAviFileName(outputPath_)) {
        if (!converter_) return Failure("no clip conversion");
        conversion_ = converter_(partialPath_);
        downloadState_ = RunState::Converting;
        view_.ShowStatusLine("Converting " + item.name + "." + item.extension);
        view_.ShowPercent("0%");
        view_.SetProgress(0);
        return true;
    }
    return MarkSaved(item);
}

// Follows the clip's conversion, which works on threads of its own: the percent of its frames
// written, and once it has ended its result. No camera request is made meanwhile.
StepResult FetchSession::ConversionStep() {
    const int32_t total = conversion_->FramesTotal();
    const int32_t done = conversion_->FramesDone();
    const int percent = total > 0 ? int(int64_t(done) * 100 / total) : 0;
    if (!conversion_->Ended()) {
        view_.ShowPercent(FormatCount(percent, "%"));
        view_.SetProgress(percent);
        return StepResult::Rested;
    }
    const media::ConvertResult result = conversion_->Result();
    conversion_.reset();
    if (result != media::ConvertResult::Converted)
        return StepFailure(std::string("the clip conversion failed: ") +
                           media::ConvertResultText(result));
    view_.ShowPercent("100%");
    view_.SetProgress(100);
    return MarkSaved(catalogue_[downloadIndex_]) ? StepResult::Moved : StepResult::Failed;
}

// The item's partial file is whole, on the disk and the camera's (converted, when it was to
// be): it moves into its place, and the item is saved.
bool FetchSession::MarkSaved(CatalogueItem& item) {
    // The camera's time of the picture, so that files sort by when they were taken.
    if (IsValidFatTimestamp(item.writeDate, item.writeTime))
        store_->SetWriteTime(partialPath_, item.writeDate, item.writeTime);
    if (!store_->MoveIntoPlace(partialPath_, outputPath_))
        return DiskFailure(kStringFileNotPlaced,
                           "the file could not be put in its place: " + outputPath_);
    ForgetCopiesAt(outputPath_);  // an earlier copy there is gone now
    ++downloadDone_;
    item.flags = (item.flags & ~flagDownloading) | flagSaved;
    item.savedPath = outputPath_;
    view_.RefreshRow(downloadIndex_);
    ShowRemainingCount(downloadTotal_ - downloadDone_);
    outputPath_.clear();
    partialPath_.clear();
    ++downloadIndex_;
    downloadState_ = RunState::NextItem;
    return true;
}

void FetchSession::AbortTransfer() {
    conversion_.reset();  // stops it and waits for its threads
    if (downloadState_ == RunState::InProgress || downloadState_ == RunState::Converting) {
        if (outputOpen_) store_->Close();
        outputOpen_ = false;
        // Should the partial file stay (another program holds it), its name still says so, and
        // an earlier copy under the real name is untouched.
        store_->Remove(partialPath_);
        outputPath_.clear();
        partialPath_.clear();
    }
    downloadState_ = RunState::Idle;
}

bool FetchSession::DiskFailure(int stringId, const std::string& reason) {
    diskFailure_ = stringId;
    return Failure(reason);
}

// The item that failed shows "Error!": its partial file, if any, is gone. A failure of the
// disk ends the run with its own message; the camera is fine, so the connection goes on and the
// user may choose another folder.
StepResult FetchSession::DownloadFailed() {
    if (downloadIndex_ < catalogue_.size()) {
        CatalogueItem& item = catalogue_[downloadIndex_];
        item.flags = (item.flags & ~(flagDownloading | flagSaved)) | flagFailed;
        view_.RefreshRow(downloadIndex_);
    }
    AbortTransfer();
    SetControlMode(kModeReady);
    if (diskFailure_ == 0) return StepResult::Failed;
    view_.ShowFolderMessage(diskFailure_, outputFolder_);
    diskFailure_ = 0;
    return StepResult::Rested;
}

void FetchSession::CancelRuns() {
    if (downloadState_ == RunState::Converting) {
        // The conversion stops at its next frame and leaves the downloaded clip as it was,
        // whole and the camera's (or, if it had just replaced it, converted): saved either way.
        conversion_.reset();  // cancels it and waits for its threads
        if (MarkSaved(catalogue_[downloadIndex_]))
            downloadState_ = RunState::Idle;  // nothing left to undo
        else
            diskFailure_ = 0;  // it goes as a cancelled download's does
    }
    if (downloadState_ != RunState::Idle) {
        if (downloadIndex_ < catalogue_.size()) {
            catalogue_[downloadIndex_].flags &= ~flagDownloading;
            view_.RefreshRow(downloadIndex_);
        }
        AbortTransfer();
    }
    if (deleteState_ != RunState::Idle) {
        if (deleteState_ == RunState::InProgress && deleteIndex_ < catalogue_.size()) {
            CatalogueItem& item = catalogue_[deleteIndex_];
            item.flags = (item.flags & ~flagDeleting) | flagDeleted;
            view_.RefreshRow(deleteIndex_);
        }
        deleteState_ = RunState::Idle;
        PurgeDeleted();
    }
    SetControlMode(kModeReady);
}

}  // namespace camfetch
