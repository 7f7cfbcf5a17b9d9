// Start-up and exit of camflash: one copy at a time, OLE and COM on this thread, the camera
// object, the main dialog; released in reverse when the dialog has ended.
#include <windows.h>

#include <memory>

#include "camera_channel.h"
#include "directshow_transport.h"
#include "main_dialog_win.h"
#include "scoped_win.h"
#include "texts.h"
#include "win_util_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Declared first so that OLE is shut down last, after the mutex has been closed.
    camtools::OleScope ole;
    camtools::ScopedHandle mutex(
        CreateMutexW(nullptr, TRUE, camtools::Widen(camflash::kInstanceMutexName).c_str()));
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;  // another copy runs: end silently

    if (!ole.Initialize()) {
        camflash::ShowWarning(nullptr, camflash::Widen(camflash::kTextOleFailed));
        return 0;
    }
    camtools::ComScope com;  // OLE has initialised the apartment: S_FALSE, balanced all the same
    auto camera = std::make_unique<camera::CameraChannel>(camera::CreateDirectShowTransport());
    camflash::RunMainDialog(instance, *camera);
    // The dialog has closed the camera; the object goes before COM.
    camera.reset();
    return 0;
}
