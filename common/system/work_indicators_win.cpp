#include "work_indicators_win.h"

#include <shobjidl.h>

#include <utility>

namespace camtools {

// Out of line: ITaskbarList3 is complete only here.
TaskbarButtonProgress::TaskbarButtonProgress(HWND window) : window_(window) {}
TaskbarButtonProgress::~TaskbarButtonProgress() = default;

void SystemKeepAwake::Request() { SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED); }

void SystemKeepAwake::Release() { SetThreadExecutionState(ES_CONTINUOUS); }

ITaskbarList3* TaskbarButtonProgress::Taskbar() {
    if (tried_) return taskbar_.Get();
    tried_ = true;
    ComPtr<ITaskbarList3> taskbar;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                taskbar.OutVoid())) ||
        FAILED(taskbar->HrInit()))
        return nullptr;
    taskbar_ = std::move(taskbar);
    return taskbar_.Get();
}

void TaskbarButtonProgress::SetState(TaskbarState state) {
    ITaskbarList3* taskbar = Taskbar();
    if (!taskbar) return;
    TBPFLAG flag = state == TaskbarState::Normal  ? TBPF_NORMAL
                   : state == TaskbarState::Error ? TBPF_ERROR
                                                  : TBPF_NOPROGRESS;
    taskbar->SetProgressState(window_, flag);
}

void TaskbarButtonProgress::SetValue(int percent) {
    ITaskbarList3* taskbar = Taskbar();
    if (!taskbar) return;
    if (percent < 0) percent = 0;
    if (percent > 100) percent = 100;
    taskbar->SetProgressValue(window_, ULONGLONG(percent), 100);
}

}  // namespace camtools
