// The Win32 side of work_indicators.h: SetThreadExecutionState keeps the PC awake, and
// ITaskbarList3 draws progress on the window's taskbar button.
#pragma once

#include <windows.h>

#include "scoped_win.h"
#include "work_indicators.h"

struct ITaskbarList3;

namespace camtools {

// The request belongs to the calling thread; both calls must come from the same one.
class SystemKeepAwake : public KeepAwake {
public:
    void Request() override;
    void Release() override;
};

// Needs COM initialised on the thread. Where the taskbar offers no ITaskbarList3 (older
// Windows, Wine), every call does nothing.
class TaskbarButtonProgress : public TaskbarProgress {
public:
    explicit TaskbarButtonProgress(HWND window);
    ~TaskbarButtonProgress() override;
    TaskbarButtonProgress(const TaskbarButtonProgress&) = delete;
    TaskbarButtonProgress& operator=(const TaskbarButtonProgress&) = delete;

    void SetState(TaskbarState state) override;
    void SetValue(int percent) override;

private:
    ITaskbarList3* Taskbar();  // made at first use; null where missing

    HWND window_;
    camtools::ComPtr<ITaskbarList3> taskbar_;
    bool tried_ = false;
};

}  // namespace camtools
