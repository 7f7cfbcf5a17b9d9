#include "fetch_session.h"

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
