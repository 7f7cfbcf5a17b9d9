#include "fetch_session.h"

#include <cstdio>

#include "folders.h"

namespace camfetch {

StatusPoll FetchSession::PollStatus(camera::SystemInfo& info) {
    if (!camera_.GetSystemInfo(info)) return StatusPoll::ReadFailed;
    if (info.flags & camera::kStatusError) return StatusPoll::Error;
    if (!(info.flags & camera::kStatusReady)) return StatusPoll::Busy;
    return StatusPoll::Ready;
}

FetchSession::BlockRead FetchSession::ReadBlock(const camera::SystemInfo& info,
                                                std::vector<uint8_t>& block) {
    block.clear();
    int32_t length = int32_t(info.length);  // signed: zero or negative means no data
    if (length <= 0) return BlockRead::Ok;
    if (uint32_t(length) > kMaxBlockLength) return BlockRead::TooLarge;
    block.resize(size_t(length));
    if (!camera_.ReadMemory(info.address, uint32_t(length), block.data())) return BlockRead::Failed;
    return BlockRead::Ok;
}

void FetchSession::ConnectionStep() {
    if (connectionState == Starting) {
        if (!camera_.RequestSystemInfo()) return FailConnection();
        connectionState = CheckingStorage;
    }
    if (connectionState == CheckingStorage) CheckStorage();
    if (connectionState == OpeningCatalogue) {
        if (!camera_.OpenCatalogue(0)) return FailConnection();
        connectionState = ScanningCatalogue;
    }
    if (connectionState == ScanningCatalogue) ScanCatalogue();
    if (connectionState == Connected) {
        if (!SetUpSource()) return FailConnection();
        SetControlMode(kModeListing);
        connectionState = Serving;
    }
    if (connectionState == Serving) {
        if (!ListingStep()) return FailConnection();
        if (connectionState == Serving && !DownloadStep()) return FailConnection();
        if (connectionState == Serving && !DeleteStep()) return FailConnection();
    }
}

void FetchSession::CheckStorage() {
    camera::SystemInfo info;
    switch (PollStatus(info)) {
    case StatusPoll::ReadFailed:
    case StatusPoll::Error:
        return FailConnection();
    case StatusPoll::Busy:
        return;
    case StatusPoll::Ready:
        break;
    }
    if (info.length < 4) return FailConnection();  // unsigned: the word must be there
    uint8_t word[4] = {};
    if (!camera_.ReadMemory(info.address, 4, word)) return FailConnection();
    presenceWord = camera::LoadU32(word);
    if (presenceWord & 1) {
        flashPresent = true;
        connectionState = OpeningCatalogue;
    } else {
        connectionState = NoImages;
        ShowEndMessage();
    }
}

void FetchSession::ScanCatalogue() {
    camera::SystemInfo info;
    switch (PollStatus(info)) {
    case StatusPoll::ReadFailed:
    case StatusPoll::Error:
        return FailConnection();
    case StatusPoll::Busy:
        return;
    case StatusPoll::Ready:
        break;
    }
    {
        std::vector<uint8_t> block;
        if (ReadBlock(info, block) != BlockRead::Ok) return FailConnection();
        if (CountKnownEntries(block.data(), block.size()) > 0) {
            connectionState = Connected;
            return;
        }
    }
    if (info.flags & camera::kStatusLast) {
        connectionState = NoImages;
        ShowEndMessage();
        return;
    }
    if (!camera_.NextCatalogueBlock()) return FailConnection();
}

bool FetchSession::SetUpSource() {
    view_.ShowMessage(kStringConnected);
    if (flashPresent) view_.AddStorageSource("Flash Memory", kStorageSourceFlash);
    storageSource = view_.SelectFirstStorageSource();
    return StartListing();
}

void FetchSession::FailConnection() {
    connectionState = Failed;
    ShowEndMessage();
}

void FetchSession::ShowEndMessage() {
    view_.ShowMessage(connectionState == NoImages ? kStringNoImages : kStringFailed);
    countdown = kCountdownSeconds;
    view_.ShowCountdown(countdown);
    view_.RevealCountdownLine();
    view_.StartCountdownTimer();
}

void FetchSession::CountdownStep() {
    if (countdown <= 0) return;  // the dialog is already ending
    --countdown;
    view_.ShowCountdown(countdown);
    if (countdown == 0) view_.EndDialogAsCancel();
}

bool FetchSession::SendCatalogueStart() {
    return storageSource == kStorageSourceFlash && camera_.OpenCatalogue(0);
}

bool FetchSession::SendCatalogueNext() {
    return storageSource == kStorageSourceFlash && camera_.NextCatalogueBlock();
}

bool FetchSession::SendFileOpen(const CatalogueItem& item) {
    return storageSource == kStorageSourceFlash && camera_.OpenStoredFile(item.name, item.extension);
}

bool FetchSession::SendFileNext() {
    return storageSource == kStorageSourceFlash && camera_.NextFileBlock();
}

bool FetchSession::SendFileDelete(const CatalogueItem& item) {
    return storageSource == kStorageSourceFlash &&
           camera_.DeleteStoredFile(item.name, item.extension);
}

bool FetchSession::StartListing() {
    ClearCatalogue();
    if (!SendCatalogueStart()) return false;
    listingActive = true;
    return true;
}

bool FetchSession::ListingStep() {
    if (!listingActive) return true;
    camera::SystemInfo info;
    switch (PollStatus(info)) {
    case StatusPoll::ReadFailed:
    case StatusPoll::Error:
        listingActive = false;
        return false;
    case StatusPoll::Busy:
        return true;
    case StatusPoll::Ready:
        break;
    }
    {
        std::vector<uint8_t> block;
        if (ReadBlock(info, block) != BlockRead::Ok) {
            listingActive = false;
            return false;
        }
        if (CountKnownEntries(block.data(), block.size()) > kMaxCatalogueItems - catalogue.size()) {
            listingActive = false;  // the rows read so far stay
            return false;
        }
        size_t added = AppendBlockEntries(block.data(), block.size(), catalogue);
        if (added > 0) view_.AppendRows(added);
    }
    if (info.flags & camera::kStatusLast) {
        listingActive = false;
        SortCatalogue();
        SetControlMode(kModeReady);
        return true;
    }
    if (!SendCatalogueNext()) {
        listingActive = false;
        return false;
    }
    return true;
}

void FetchSession::ClearCatalogue() {
    catalogue.clear();
    view_.DeleteAllRows();
}

void FetchSession::PurgeDeleted() {
    for (size_t i = catalogue.size(); i-- > 0;) {
        if (!(catalogue[i].flags & flagDeleted)) continue;
        catalogue.erase(catalogue.begin() + ptrdiff_t(i));
        view_.DeleteRow(i);
    }
}

void FetchSession::SaveListStates() {
    std::vector<uint32_t> states;
    view_.ReadRowStates(states);
    for (size_t i = 0; i < catalogue.size(); ++i)
        catalogue[i].listState = i < states.size() ? states[i] & (listStateSelected | listStateFocused) : 0;
}

void FetchSession::RestoreListStates() {
    std::vector<uint32_t> states(catalogue.size());
    for (size_t i = 0; i < catalogue.size(); ++i) states[i] = catalogue[i].listState;
    view_.WriteRowStates(states);
}

void FetchSession::SortCatalogue() {
    view_.SuspendRedraw();
    SaveListStates();
    int column = sortColumn;
    bool descending = column >= 0 && column < 3 && sortDescending[column] != 0;
    SortItems(catalogue, column, descending);
    RestoreListStates();
    view_.RedrawRows();
}

void FetchSession::ColumnClick(int column) {
    if (column >= 0 && column < 3) {
        sortColumn = column;
        sortDescending[column] = sortDescending[column] ? 0 : 1;
    }
    SortCatalogue();
}

void FetchSession::SetControlMode(ControlMode mode) {
    controlMode = mode;
    view_.ApplyControlMode(mode);
}

void FetchSession::StorageSourceChanged(int source) {
    if (source == storageSource) return;
    storageSource = source;
    SetControlMode(kModeListing);
    StartListing();  // a failure shows up as an empty list; nothing more is done here
}

}  // namespace camfetch

namespace camfetch {
namespace {

char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

bool IsAviFileName(const std::string& fileName) {
    if (fileName.size() < 3) return false;
    std::string tail = fileName.substr(fileName.size() - 3);
    for (char& c : tail)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    return tail == "AVI";
}

std::string FormatInt(long long value, const char* suffix = "") {
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
    for (const CatalogueItem& item : catalogue) selected += (item.listState & listStateSelected) != 0;
    return selected;
}

void FetchSession::ShowRemainingCount(int count) { view_.ShowRemaining(FormatInt(count)); }

void FetchSession::StartDownloadRun() {
    bool checked = view_.IsConvertAviChecked();
    int selected = LatchSelection();
    if (selected == 0) return;
    convertAvi = checked;
    downloadTotal = selected;
    downloadDone = 0;
    SetControlMode(kModeDownloadRunning);
    ShowRemainingCount(downloadTotal - downloadDone);
    downloadIndex = 0;
    downloadState = 1;
}

bool FetchSession::DownloadStep() {
    if (downloadState == 1 && !SelectNextDownload()) return DownloadFailed();
    if (downloadState == 2 && !TransferBlock()) return DownloadFailed();
    return true;
}

// State 1: opens the next selected item's output file and asks the camera for the file.
bool FetchSession::SelectNextDownload() {
    size_t i = downloadIndex;
    while (i < catalogue.size() && !(catalogue[i].listState & listStateSelected)) ++i;
    if (i >= catalogue.size()) {
        downloadState = 0;
        SetControlMode(kModeReady);
        return true;
    }
    downloadIndex = i;
    bytesReceived = 0;
    CatalogueItem& item = catalogue[i];
    // The name comes from the camera: one that is not a plain file name inside the dated
    // folder never reaches the file system.
    std::string folder, path;
    if (!store_ || !BuildDownloadPaths(downloadFolder, datedFolderName, item.name, item.extension,
                                       folder, path))
        return false;
    store_->CreateFolder(folder);
    ForgetCopiesAt(path);
    if (!store_->CreateOutput(path)) return false;
    outputPath = path;
    outputOpen = true;
    downloadState = 2;  // a file exists that a failure must remove

    view_.ShowStatusLine("Downloading " + item.name + "." + item.extension);
    view_.ShowPercent("0%");
    view_.SetProgress(0);
    // The earlier copy, if any, has just been replaced: until this one is complete the item
    // is not saved.
    item.flags = (item.flags & ~(flagSaved | flagFailed)) | flagDownloading;
    view_.RefreshRow(i);
    view_.EnsureRowVisible(i);
    // A refused open leaves the status describing the previous command's block, which would
    // be saved under this file's name.
    return SendFileOpen(item);
}

void FetchSession::ForgetCopiesAt(const std::string& path) {
    for (size_t j = 0; j < catalogue.size(); ++j) {
        CatalogueItem& other = catalogue[j];
        if (!(other.flags & flagSaved) || !store_->SamePath(other.savedPath, path)) continue;
        other.flags &= ~flagSaved;
        view_.RefreshRow(j);
    }
}

// State 2: one status poll and at most one block.
bool FetchSession::TransferBlock() {
    camera::SystemInfo info;
    switch (PollStatus(info)) {
    case StatusPoll::ReadFailed:
    case StatusPoll::Error:
        return false;
    case StatusPoll::Busy:
        return true;
    case StatusPoll::Ready:
        break;
    }
    CatalogueItem& item = catalogue[downloadIndex];
    // Above the guard is also every length that is negative as signed: skipping such a block
    // as empty would save the file short.
    if (info.length > kMaxBlockLength) return false;
    uint32_t length = info.length;
    if (length > 0) {
        uint32_t fetched = (length + 3u) & ~3u;
        std::vector<uint8_t> block(fetched);
        if (!camera_.ReadMemory(info.address, fetched, block.data())) return false;
        if (!store_->Write(block.data(), size_t(length))) return false;
        bytesReceived += length;
        // An empty catalogue size cannot scale anything: its file shows 100% once done.
        uint64_t percent = item.size ? bytesReceived * 100 / item.size : 0;
        view_.ShowPercent(FormatInt((long long)percent, "%"));
        view_.SetProgress(percent > 0x7fffffff ? 0x7fffffff : int(percent));
    }
    if (info.flags & camera::kStatusLast) {
        outputOpen = false;
        if (!store_->Close()) return false;
        if (item.size == 0) {
            view_.ShowPercent("100%");
            view_.SetProgress(100);
        }
        if (convertAvi && IsAviFileName(outputPath)) {
            if (!converter_ || converter_(outputPath) != 0) return false;
        }
        // The camera's time of the picture, so that files sort by when they were taken.
        if (IsValidFatTimestamp(item.writeDate, item.writeTime))
            store_->SetWriteTime(outputPath, item.writeDate, item.writeTime);
        ++downloadDone;
        item.flags = (item.flags & ~flagDownloading) | flagSaved;
        item.savedPath = outputPath;
        view_.RefreshRow(downloadIndex);
        ShowRemainingCount(downloadTotal - downloadDone);
        outputPath.clear();
        downloadIndex = downloadIndex + 1;
        downloadState = 1;
        return true;
    }
    // A refused file next leaves the status on this block, which would be appended again.
    return SendFileNext();
}

void FetchSession::AbortTransfer() {
    if (downloadState == 2) {
        if (outputOpen) store_->Close();
        outputOpen = false;
        store_->Remove(outputPath);
        outputPath.clear();
    }
    downloadState = 0;
}

// The item that failed shows "Error!": its file, if any, is gone.
bool FetchSession::DownloadFailed() {
    if (downloadIndex < catalogue.size()) {
        CatalogueItem& item = catalogue[downloadIndex];
        item.flags = (item.flags & ~(flagDownloading | flagSaved)) | flagFailed;
        view_.RefreshRow(downloadIndex);
    }
    AbortTransfer();
    SetControlMode(kModeReady);
    return false;
}

void FetchSession::StartDeleteRun() {
    int selected = LatchSelection();
    deleteTotal = selected;
    deleteDone = 0;
    if (selected == 0) return;
    SetControlMode(kModeDeleteRunning);
    ShowRemainingCount(deleteTotal - deleteDone);
    deleteIndex = 0;
    deleteState = 1;
}

bool FetchSession::DeleteStep() {
    if (deleteState == 1) {
        size_t i = deleteIndex;
        while (i < catalogue.size() && !(catalogue[i].listState & listStateSelected)) ++i;
        if (i >= catalogue.size()) {
            deleteState = 0;
            PurgeDeleted();
            SetControlMode(kModeReady);
            return true;
        }
        deleteIndex = i;
        CatalogueItem& item = catalogue[i];
        view_.ShowStatusLine("Deleting " + item.name + "." + item.extension);
        item.flags |= flagDeleting;
        view_.RefreshRow(i);
        view_.EnsureRowVisible(i);
        // A refused delete leaves the status of the previous command, which may read `ready`.
        if (!SendFileDelete(item)) return DeleteFailed();
        deleteState = 2;
    }
    if (deleteState == 2) {
        camera::SystemInfo info;
        switch (PollStatus(info)) {
        case StatusPoll::ReadFailed:
        case StatusPoll::Error:
            return DeleteFailed();
        case StatusPoll::Busy:
            return true;
        case StatusPoll::Ready:
            break;
        }
        CatalogueItem& item = catalogue[deleteIndex];
        item.flags = (item.flags & ~flagDeleting) | flagDeleted;
        view_.RefreshRow(deleteIndex);
        ++deleteDone;
        ShowRemainingCount(deleteTotal - deleteDone);
        deleteIndex = deleteIndex + 1;
        deleteState = 1;
    }
    return true;
}

// The item whose delete failed shows "Error!": the camera may still hold it. Items already
// deleted leave the list.
bool FetchSession::DeleteFailed() {
    if (deleteIndex < catalogue.size()) {
        CatalogueItem& item = catalogue[deleteIndex];
        item.flags = (item.flags & ~(flagDeleting | flagSaved)) | flagFailed;
        view_.RefreshRow(deleteIndex);
    }
    PurgeDeleted();
    deleteState = 0;
    SetControlMode(kModeReady);
    return false;
}

void FetchSession::CancelRuns() {
    if (downloadState != 0) {
        if (downloadIndex < catalogue.size()) {
            catalogue[downloadIndex].flags &= ~flagDownloading;
            view_.RefreshRow(downloadIndex);
        }
        AbortTransfer();
    }
    if (deleteState != 0) {
        if (deleteState == 2 && deleteIndex < catalogue.size()) {
            CatalogueItem& item = catalogue[deleteIndex];
            item.flags = (item.flags & ~flagDeleting) | flagDeleted;
            view_.RefreshRow(deleteIndex);
        }
        deleteState = 0;
        PurgeDeleted();
    }
    SetControlMode(kModeReady);
}

}  // namespace camfetch
