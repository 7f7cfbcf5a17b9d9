// The delete run: one selected item after another, each deleted on the camera and marked once
// the camera confirms; deleted items leave the list when the run ends, however it ends.
#include "fetch_session.h"

namespace camfetch {

void FetchSession::StartDeleteRun() {
    int selected = LatchSelection();
    deleteTotal_ = selected;
    deleteDone_ = 0;
    if (selected == 0) return;
    SetControlMode(kModeDeleteRunning);
    ShowRemainingCount(deleteTotal_ - deleteDone_);
    deleteIndex_ = 0;
    deleteState_ = RunState::NextItem;
}

StepResult FetchSession::DeleteStep() {
    if (deleteState_ == RunState::NextItem && !SelectNextDelete()) return DeleteFailed();
    if (deleteState_ != RunState::InProgress) return StepResult::Rested;  // the run has ended
    StepResult result = ConfirmDelete();
    return result == StepResult::Failed ? DeleteFailed() : result;
}

// Sends the delete of the next selected item, or ends the run.
bool FetchSession::SelectNextDelete() {
    const size_t i = NextSelectedItem(deleteIndex_);
    if (i >= catalogue_.size()) {
        deleteState_ = RunState::Idle;
        PurgeDeleted();
        SetControlMode(kModeReady);
        return true;
    }
    deleteIndex_ = i;
    CatalogueItem& item = catalogue_[i];
    view_.ShowStatusLine("Deleting " + item.name + "." + item.extension);
    item.flags |= flagDeleting;
    view_.RefreshRow(i);
    view_.EnsureRowVisible(i);
    // A refused delete leaves the status of the previous command, which may read `ready`.
    if (!SendFileDelete(item)) return Failure("the delete was refused");
    deleteState_ = RunState::InProgress;
    return true;
}

// One status poll: a ready status confirms the delete.
StepResult FetchSession::ConfirmDelete() {
    camera::SystemInfo info;
    Poll poll = PollCamera(info);
    if (poll == Poll::Failed) return StepResult::Failed;
    if (poll == Poll::Busy) return StepResult::Rested;
    CatalogueItem& item = catalogue_[deleteIndex_];
    item.flags = (item.flags & ~flagDeleting) | flagDeleted;
    view_.RefreshRow(deleteIndex_);
    ++deleteDone_;
    ShowRemainingCount(deleteTotal_ - deleteDone_);
    ++deleteIndex_;
    deleteState_ = RunState::NextItem;
    return StepResult::Moved;
}

// The item whose delete failed shows "Error!": the camera may still hold it. Items already
// deleted leave the list.
StepResult FetchSession::DeleteFailed() {
    if (deleteIndex_ < catalogue_.size()) {
        CatalogueItem& item = catalogue_[deleteIndex_];
        item.flags = (item.flags & ~(flagDeleting | flagSaved)) | flagFailed;
        view_.RefreshRow(deleteIndex_);
    }
    PurgeDeleted();
    deleteState_ = RunState::Idle;
    SetControlMode(kModeReady);
    return StepResult::Failed;
}

}  // namespace camfetch
