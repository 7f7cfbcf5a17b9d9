// camfetch's main dialog in the test's own process, driven by a script on a second thread
// through windriver: the script's thread body, and the dialog run against the simulated
// camera's model.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "camera_channel.h"
#include "camera_model.h"
#include "main_dialog_win.h"
#include "windriver.h"
#include "wintest.h"

namespace camfetch {

// The body of a thread that drives the main dialog: waits up to appearMs for it and gives it
// to `script` (null when it did not appear). If the script has not ended the dialog 30 s
// later, the test fails and the dialog is cancelled.
inline void DriveMainDialog(const std::function<void(HWND)>& script, DWORD appearMs = 15000) {
    HWND dialog = windriver::WaitForWindow(GetCurrentProcessId(), "#32770",
                                           "Image Download Utility", appearMs);
    script(dialog);
    if (dialog && !windriver::WaitUntil([&] { return !IsWindow(dialog); }, 30000)) {
        WT_CHECK_MSG(false, "the script ends the dialog");
        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    }
}

// `script` gets the dialog's window and is expected to end the dialog; if it does not within
// 30 s, the test fails and the dialog is cancelled. Returns the dialog's result.
inline INT_PTR RunMainDialog(camsim::CameraModel& model, const std::string& folder,
                             const DialogTiming& timing, const std::function<void(HWND)>& script) {
    camera::CameraChannel channel(std::make_unique<camsim::ModelTransport>(model));
    WT_CHECK(channel.Open());
    MainDialogParams params;
    params.camera = &channel;
    params.downloadFolder = folder;
    params.timing = timing;
    INT_PTR result = 0;
    {
        windriver::Thread driver([&] {
            DriveMainDialog([&](HWND dialog) {
                WT_CHECK_MSG(dialog != nullptr, "the main dialog appears");
                if (dialog) script(dialog);
            });
        });
        result = RunFetchMainDialog(GetModuleHandleW(nullptr), params);
        WT_CHECK_MSG(driver.Join(60000), "the script ends");
    }
    channel.Close();
    return result;
}

}  // namespace camfetch
