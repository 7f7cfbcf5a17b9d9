#include "work_indicators_win.h"

#include <shobjidl.h>

namespace camtools {

void SystemKeepAwake::Request() { SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED); }

void SystemKeepAwake::Release() { SetThreadExecutionState(ES_CONTINUOUS); }

TaskbarButtonProgress::~TaskbarButtonProgress() {
    if (taskbar_) taskbar_->Release();
}

ITaskbarList3* TaskbarButtonProgress::Taskbar() {
    if (tried_) return taskbar_;
    tried_ = true;
    ITaskbarList3* taskbar = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ITaskbarList3, reinterpret_cast<void**>(&taskbar))))
        return nullptr;
    if (FAILED(taskbar->HrInit())) {
        taskbar->Release();
        return nullptr;
    }
    taskbar_ = taskbar;
    return taskbar_;
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
