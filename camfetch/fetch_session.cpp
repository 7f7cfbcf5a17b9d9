#include "fetch_session.h"

namespace camfetch {

void FetchSession::ConnectionStep() {
    using State = ConnectionState;
    if (connectionState_ == State::Starting) {
        if (!camera_.RequestSystemInfo()) return FailConnection("the storage query was refused");
        connectionState_ = State::CheckingStorage;
    }
    if (connectionState_ == State::CheckingStorage) CheckStorage();
    if (connectionState_ == State::OpeningCatalogue) {
        if (!camera_.OpenCatalogue(0)) return FailConnection("the catalogue start was refused");
        connectionState_ = State::ScanningCatalogue;
    }
    if (connectionState_ == State::ScanningCatalogue) ScanCatalogue();
    if (connectionState_ == State::Connected) {
        if (!SetUpSource()) return FailConnection();
        SetControlMode(kModeListing);
        connectionState_ = State::Serving;
    }
    if (connectionState_ == State::Serving) {
        if (!ListingStep()) return FailConnection();
        if (connectionState_ == State::Serving && !DownloadStep()) return FailConnection();
        if (connectionState_ == State::Serving && !DeleteStep()) return FailConnection();
    }
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

void FetchSession::ScanCatalogue() {
    camera::SystemInfo info;
    Poll poll = PollCamera(info);
    if (poll == Poll::Failed) return FailConnection();
    if (poll == Poll::Busy) return;
    {
        std::vector<uint8_t> block;
        if (!ReadBlock(camera_, info, block, failure_)) return FailConnection();
        if (CountKnownEntries(block.data(), block.size()) > 0) {
            connectionState_ = ConnectionState::Connected;
            return;
        }
    }
    if (info.flags & camera::kStatusLast) {
        connectionState_ = ConnectionState::NoImages;
        ShowEndMessage();
        return;
    }
    if (!camera_.NextCatalogueBlock()) return FailConnection("the catalogue next was refused");
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

bool FetchSession::ListingStep() {
    if (!listingActive_) return true;
    camera::SystemInfo info;
    Poll poll = PollCamera(info);
    if (poll == Poll::Busy) return true;
    if (poll == Poll::Failed) {
        listingActive_ = false;
        return false;
    }
    {
        std::vector<uint8_t> block;
        if (!ReadBlock(camera_, info, block, failure_)) {
            listingActive_ = false;
            return false;
        }
        if (CountKnownEntries(block.data(), block.size()) >
            kMaxCatalogueItems - catalogue_.size()) {
            listingActive_ = false;  // the rows read so far stay
            return Failure("the catalogue lists more files than a FAT folder holds");
        }
        size_t added = AppendBlockEntries(block.data(), block.size(), catalogue_);
        if (added > 0) view_.AppendRows(added);
    }
    if (info.flags & camera::kStatusLast) {
        listingActive_ = false;
        SortCatalogue();
        SetControlMode(kModeReady);
        return true;
    }
    if (!SendCatalogueNext()) {
        listingActive_ = false;
        return Failure("the catalogue next was refused");
    }
    return true;
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
