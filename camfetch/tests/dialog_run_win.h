// Runs camfetch's main dialog on the calling thread against the simulated camera's model, with
// a script driving it from a second thread (dialog_driver_win.h).
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "camera_channel.h"
#include "camera_model.h"
#include "dialog_driver_win.h"
#include "main_dialog_win.h"
#include "scoped_win.h"
#include "wintest.h"

namespace drive {

// `script` gets the dialog's window and is expected to end the dialog; if it does not within
// 30 s, the test fails and the dialog is cancelled. Returns the dialog's result.
inline INT_PTR RunMainDialog(camsim::CameraModel& model, const std::string& folder,
                             const camfetch::DialogTiming& timing,
                             const std::function<void(HWND)>& script) {
    camera::CameraChannel channel(std::make_unique<camsim::ModelTransport>(model));
    WT_CHECK(channel.Open());
    camfetch::MainDialogParams params;
    params.camera = &channel;
    params.downloadFolder = folder;
    params.timing = timing;
    DWORD ui = GetCurrentThreadId();
    std::function<void()> body = [&] {
        HWND dialog = WaitForDialog(ui, L"Image Download Utility");
        WT_CHECK_MSG(dialog != nullptr, "the main dialog appears");
        if (!dialog) return;
        script(dialog);
        if (!WaitFor([&] { return !IsWindow(dialog); }, 30000)) {
            WT_CHECK_MSG(false, "the script ends the dialog");
            PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
        }
    };
    camtools::ScopedHandle thread(StartThread(&body));
    INT_PTR result = camfetch::RunFetchMainDialog(GetModuleHandleW(nullptr), params);
    WaitForSingleObject(thread.Get(), 60000);
    thread.Close();
    channel.Close();
    return result;
}

}  // namespace drive
