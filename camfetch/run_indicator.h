// Shows the system that a download or delete run is going on: the PC is kept from sleeping
// while a run is active, and the run's progress is drawn on the taskbar button, in the error
// state after a run that failed and without progress after one that ended. The dialog calls
// Update after every tick and every button, and Close when it goes away.
#pragma once

#include "fetch_session.h"
#include "work_indicators.h"

namespace camfetch {

// The whole run's progress, 0 to 100: the files done, and the part of the file in transfer
// received so far (at most all of it).
int RunPercent(const FetchSession& session);

class RunIndicator {
public:
    RunIndicator(camtools::KeepAwake& awake, camtools::TaskbarProgress& taskbar)
        : awake_(awake), taskbar_(taskbar) {}
    ~RunIndicator() { Close(); }
    RunIndicator(const RunIndicator&) = delete;
    RunIndicator& operator=(const RunIndicator&) = delete;

    void Update(const FetchSession& session);
    // Releases the keep-awake request; the taskbar button goes with the window.
    void Close();

private:
    camtools::KeepAwake& awake_;
    camtools::TaskbarProgress& taskbar_;
    bool running_ = false;
    int shownPercent_ = -1;
};

}  // namespace camfetch
