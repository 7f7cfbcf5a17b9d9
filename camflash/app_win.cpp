// Start-up and exit of camflash: one copy at a time, OLE and COM on this thread, the camera
// object, the main dialog; released in reverse when the dialog has ended.
#include <windows.h>
#include <ole2.h>

#include <memory>

#include "camera_channel.h"
#include "directshow_transport.h"
#include "main_dialog_win.h"
#include "texts.h"
#include "win_util_win.h"

namespace {

// OLE for this thread, uninitialised when the scope ends if it was initialised.
class OleScope {
public:
    bool Initialize() { return initialized_ = SUCCEEDED(OleInitialize(nullptr)); }
    ~OleScope() {
        if (initialized_) OleUninitialize();
    }

private:
    bool initialized_ = false;
};

// COM for this thread (apartment-threaded). The result of CoInitialize is not examined:
// OLE has already initialised the apartment, and every call is balanced either way.
class ComScope {
public:
    ComScope() { CoInitialize(nullptr); }
    ~ComScope() { CoUninitialize(); }
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    // Declared first so that OLE is shut down last, after the mutex has been closed.
    OleScope ole;
    camflash::UniqueHandle mutex(
        CreateMutexW(nullptr, TRUE, camflash::W(camflash::Widen(camflash::kInstanceMutexName))));
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;  // another copy runs: end silently

    if (!ole.Initialize()) {
        camflash::ShowWarning(nullptr, camflash::Widen(camflash::kTextOleFailed));
        return 0;
    }
    ComScope com;
    auto camera = std::make_unique<camera::CameraChannel>(camera::CreateDirectShowTransport());
    camflash::RunMainDialog(instance, *camera);
    // The dialog has closed the camera; the object goes before COM.
    camera.reset();
    return 0;
}
