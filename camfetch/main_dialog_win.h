// The main dialog of camfetch (dialog 102): the file list, the buttons and the message area.
// Camera work runs on timer 100 through FetchSession; this file only shows its results.
#pragma once

#include <windows.h>

#include <string>

#include "camera_channel.h"

namespace camfetch {

// Timer periods. The product runs on 100 ms and 1000 ms; tests may pass shorter ones so a
// countdown does not take 15 real seconds.
struct DialogTiming {
    UINT connectionPeriodMs = 100;
    UINT countdownPeriodMs = 1000;
};

struct MainDialogParams {
    camera::CameraChannel* camera = nullptr;
    std::string downloadFolder;  // in: the loaded setting; out: the dialog's folder
    int enhance = 0;             // carried only
    DialogTiming timing;
};

// Runs dialog 102 modally and returns IDOK (Exit) or IDCANCEL (close box, Escape, countdown).
// params.downloadFolder always holds the dialog's folder afterwards; the caller keeps it only
// after Exit.
INT_PTR RunFetchMainDialog(HINSTANCE instance, MainDialogParams& params);

}  // namespace camfetch
