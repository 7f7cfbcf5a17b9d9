#include "fetch_session.h"

#include <algorithm>

namespace camfetch {

bool FetchSession::ConnectionStep() {
    const uint64_t start = NowUs();
    uint64_t longestRound = 0;
    resting_ = 0;
    for (;;) {
        const uint64_t roundStart = NowUs();
        if (!StepRound()) return false;
        const uint64_t now = NowUs();
        longestRound = std::max(longestRound, now - roundStart);
        if (budget_.budgetUs == 0 || now - start + longestRound > budget_.budgetUs) return true;
        if (budget_.inputWaiting && budget_.inputWaiting()) return true;
    }
}

bool FetchSession::StepRound() {
    using State = ConnectionState;
    bool moved = false;
    // A failure moves to Failed, which no later test matches.
    if (connectionState_ == State::Starting) {
        if (camera_.RequestSystemInfo())
            connectionState_ = State::CheckingStorage;
        else
            FailConnection("the storage query was refused");
    }
    if (connectionState_ == State::CheckingStorage) CheckStorage();
    if (connectionState_ == State::OpeningCatalogue) {
        if (camera_.OpenCatalogue(0))
            connectionState_ = State::ScanningCatalogue;
        else
            FailConnection("the catalogue start was refused");
    }
    if (connectionState_ == State::ScanningCatalogue) moved = ScanCatalogue();
    if (connectionState_ == State::Connected) {
        if (SetUpSource()) {
            SetControlMode(kModeListing);
            connectionState_ = State::Serving;
        } else {
            FailConnection();
        }
    }
    moved |= Serve(kListing, &FetchSession::ListingStep);
    moved |= Serve(kDownload, &FetchSession::DownloadStep);
    moved |= Serve(kDelete, &FetchSession::DeleteStep);
    return moved;
}

bool FetchSession::Serve(Activity activity, StepResult (FetchSession::*step)()) {
    if (connectionState_ != ConnectionState::Serving || (resting_ & activity)) return false;
    switch ((this->*step)()) {
    case StepResult::Failed: FailConnection(); return false;
    case StepResult::Rested: resting_ |= activity; return false;
    case StepResult::Moved: return true;
    }
    return false;
}

// Reads the presence word once the storage query is answered.
void FetchSession::CheckStorage() {
    camera::SystemInfo info;
    Poll poll = PollCamera(info);
    if (poll == Poll::Failed) return FailConnection();
    if (poll == Poll::Busy) return;
    // unsigned: the word must be there
    if (info.length < 4) return FailConnection("the presence word is missing");
    uint8_t word[4] = {};
    if (!camera_.ReadMemory(info.address, 4, word))
        return FailConnection("the presence word could not be read");
    presenceWord_ = camera::LoadU32(word);
    if (presenceWord_ & 1) {
        flashPresent_ = true;
        connectionState_ = ConnectionState::OpeningCatalogue;
    } else {
        connectionState_ = ConnectionState::NoImages;
        ShowEndMessage();
    }
}

// True when a block without a known file was passed over and the next one asked for.
bool FetchSession::ScanCatalogue() {
    camera::SystemInfo info;
    Poll poll = PollCamera(info);
    if (poll == Poll::Busy) return false;
    // The scan only looks for a known file: a block whose length is zero or negative as signed
    // holds none. The listing, which must show every file, refuses a negative length instead.
    std::vector<uint8_t> block;
    if (poll == Poll::Failed ||
        (int32_t(info.length) > 0 && !ReadBlock(camera_, info, block, failure_))) {
        FailConnection();
        return false;
    }
    if (CountKnownEntries(block.data(), block.size()) > 0) {
        connectionState_ = ConnectionState::Connected;
        return false;
    }
    if (info.flags & camera::kStatusLast) {
        connectionState_ = ConnectionState::NoImages;
        ShowEndMessage();
        return false;
    }
    if (!camera_.NextCatalogueBlock()) {
        FailConnection("the catalogue next was refused");
        return false;
    }
    return true;
}

bool FetchSession::SetUpSource() {
    view_.ShowMessage(kStringConnected);
    if (flashPresent_) view_.AddStorageSource("Flash Memory", kStorageSourceFlash);
    storageSource_ = view_.SelectFirstStorageSource();
    return StartListing() || Failure("the listing could not start");
}

void FetchSession::FailConnection(const char* reason) {
    if (reason) failure_ = reason;
    connectionState_ = ConnectionState::Failed;
    ShowEndMessage();
}

void FetchSession::ShowEndMessage() {
    view_.ShowMessage(connectionState_ == ConnectionState::NoImages ? kStringNoImages
                                                                    : kStringFailed);
    countdown_ = kCountdownSeconds;
    view_.ShowCountdown(countdown_);
    view_.RevealCountdownLine();
    view_.StartCountdownTimer();
}

void FetchSession::CountdownStep() {
    if (countdown_ <= 0) return;  // the dialog is already ending
    --countdown_;
    view_.ShowCountdown(countdown_);
    if (countdown_ == 0) view_.EndDialogAsCancel();
}

bool FetchSession::SendCatalogueStart() {
    return storageSource_ == kStorageSourceFlash && camera_.OpenCatalogue(0);
}

bool FetchSession::SendCatalogueNext() {
    return storageSource_ == kStorageSourceFlash && camera_.NextCatalogueBlock();
}

bool FetchSession::SendFileOpen(const CatalogueItem& item) {
    return storageSource_ == kStorageSourceFlash &&
           camera_.OpenStoredFile(item.name, item.extension);
}

bool FetchSession::SendFileNext() {
    return storageSource_ == kStorageSourceFlash && camera_.NextFileBlock();
}

bool FetchSession::SendFileDelete(const CatalogueItem& item) {
    return storageSource_ == kStorageSourceFlash &&
           camera_.DeleteStoredFile(item.name, item.extension);
}

bool FetchSession::StartListing() {
    ClearCatalogue();
    if (!SendCatalogueStart()) return false;
    listingActive_ = true;
    return true;
}

StepResult FetchSession::ListingStep() {
    if (!listingActive_) return StepResult::Rested;
    camera::SystemInfo info;
    Poll poll = PollCamera(info);
    if (poll == Poll::Busy) return StepResult::Rested;
    if (poll == Poll::Failed) {
        listingActive_ = false;
        return StepResult::Failed;
    }
    {
        std::vector<uint8_t> block;
        if (!ReadBlock(camera_, info, block, failure_)) {
            listingActive_ = false;
            return StepResult::Failed;
        }
        if (CountKnownEntries(block.data(), block.size()) >
            kMaxCatalogueItems - catalogue_.size()) {
            listingActive_ = false;  // the rows read so far stay
            return StepFailure("the catalogue lists more files than a FAT folder holds");
        }
        size_t added = AppendBlockEntries(block.data(), block.size(), catalogue_);
        if (added > 0) view_.AppendRows(added);
    }
    if (info.flags & camera::kStatusLast) {
        listingActive_ = false;
        SortCatalogue();
        SetControlMode(kModeReady);
        return StepResult::Moved;
    }
    if (!SendCatalogueNext()) {
        listingActive_ = false;
        return StepFailure("the catalogue next was refused");
    }
    return StepResult::Moved;
}

void FetchSession::ClearCatalogue() {
    catalogue_.clear();
    view_.DeleteAllRows();
}

void FetchSession::PurgeDeleted() {
    for (size_t i = catalogue_.size(); i-- > 0;) {
        if (!(catalogue_[i].flags & flagDeleted)) continue;
        catalogue_.erase(catalogue_.begin() + ptrdiff_t(i));
        view_.DeleteRow(i);
    }
}

void FetchSession::SaveListStates() {
    std::vector<uint32_t> states;
    view_.ReadRowStates(states);
    for (size_t i = 0; i < catalogue_.size(); ++i)
        catalogue_[i].listState =
            i < states.size() ? states[i] & (listStateSelected | listStateFocused) : 0;
}

void FetchSession::RestoreListStates() {
    std::vector<uint32_t> states(catalogue_.size());
    for (size_t i = 0; i < catalogue_.size(); ++i) states[i] = catalogue_[i].listState;
    view_.WriteRowStates(states);
}

void FetchSession::SortCatalogue() {
    view_.SuspendRedraw();
    SaveListStates();
    int column = sortColumn_;
    bool descending = column >= 0 && column < 3 && sortDescending_[column];
    SortItems(catalogue_, column, descending);
    RestoreListStates();
    view_.RedrawRows();
}

void FetchSession::ColumnClick(int column) {
    if (column >= 0 && column < 3) {
        sortColumn_ = column;
        sortDescending_[column] = !sortDescending_[column];
    }
    SortCatalogue();
}

void FetchSession::SetControlMode(ControlMode mode) {
    controlMode_ = mode;
    view_.ApplyControlMode(mode);
}

void FetchSession::StorageSourceChanged(int source) {
    if (source == storageSource_) return;
    storageSource_ = source;
    SetControlMode(kModeListing);
    StartListing();  // a failure shows up as an empty list; nothing more is done here
}

}  // namespace camfetch
