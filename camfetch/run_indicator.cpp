#include "run_indicator.h"

namespace camfetch {

namespace {

bool RunActive(const FetchSession& session) {
    ControlMode mode = session.controlMode();
    return mode == kModeDownloadRunning || mode == kModeDeleteRunning;
}

}  // namespace

int RunPercent(const FetchSession& session) {
    uint64_t total = 0, done = 0;  // in thousandths of a file
    if (session.controlMode() == kModeDownloadRunning && session.downloadTotal() > 0) {
        total = uint64_t(session.downloadTotal()) * 1000;
        done = uint64_t(session.downloadDone()) * 1000;
        if (session.downloadState() == RunState::InProgress &&
            session.downloadIndex() < session.catalogue().size()) {
            uint64_t size = session.catalogue()[session.downloadIndex()].size;
            uint64_t received = session.bytesReceived();
            done += size == 0 || received >= size ? 1000 : received * 1000 / size;
        }
        // A clip being converted counts by its frames written.
        if (const media::ConversionJob* job = session.conversion(); job && job->FramesTotal() > 0)
            done += uint64_t(job->FramesDone()) * 1000 / uint64_t(job->FramesTotal());
    } else if (session.controlMode() == kModeDeleteRunning && session.deleteTotal() > 0) {
        total = uint64_t(session.deleteTotal()) * 1000;
        done = uint64_t(session.deleteDone()) * 1000;
    }
    if (total == 0) return 0;
    return done >= total ? 100 : int(done * 100 / total);
}

void RunIndicator::Update(const FetchSession& session) {
    bool active = RunActive(session);
    if (active && !running_) {
        awake_.Request();
        running_ = true;
        shownPercent_ = -1;
        taskbar_.SetState(camtools::TaskbarState::Normal);
    }
    if (active) {
        int percent = RunPercent(session);
        if (percent != shownPercent_) taskbar_.SetValue(percent);
        shownPercent_ = percent;
        return;
    }
    if (!running_) return;
    // A failed run ends the connection in the same tick as the run.
    running_ = false;
    awake_.Release();
    bool failed = session.connectionState() == ConnectionState::Failed;
    taskbar_.SetState(failed ? camtools::TaskbarState::Error : camtools::TaskbarState::NoProgress);
}

void RunIndicator::Close() {
    if (!running_) return;
    running_ = false;
    awake_.Release();
}

}  // namespace camfetch
