// Runs camfetch's main dialog on the calling thread against the simulated camera's model, with
// a script driving it from a second thread through windriver.
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
            HWND dialog =
                windriver::WaitForWindow(GetCurrentProcessId(), "#32770", "Image Download Utility");
            WT_CHECK_MSG(dialog != nullptr, "the main dialog appears");
            if (!dialog) return;
            script(dialog);
            if (!windriver::WaitUntil([&] { return !IsWindow(dialog); }, 30000)) {
                WT_CHECK_MSG(false, "the script ends the dialog");
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            }
        });
        result = RunFetchMainDialog(GetModuleHandleW(nullptr), params);
        WT_CHECK_MSG(driver.Join(60000), "the script ends");
    }
    channel.Close();
    return result;
}

}  // namespace camfetch
