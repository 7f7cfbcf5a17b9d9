// camfetch's start-up: one copy at a time, COM, settings, the camera, the main dialog, and
// everything released again in reverse order. No message loop of its own: the modal main
// dialog is the program.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>

#include <cstdio>

#include "camera_channel.h"
#include "directshow_transport.h"
#include "main_dialog_win.h"
#include "settings.h"
#include "settings_registry_win.h"

namespace {

constexpr const char* kControllerModel = "ZQ71R";

int RunFetchApplication(HINSTANCE instance) {
    char mutexName[32];
    std::snprintf(mutexName, sizeof mutexName, "%sD", kControllerModel);
    HANDLE mutex = CreateMutexA(nullptr, TRUE, mutexName);
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        if (mutex) CloseHandle(mutex);
        return 0;
    }

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);  // the dialog's list and progress bar
    CoInitialize(nullptr);

    camfetch::RegistrySettings registry;
    camfetch::FetchSettings settings;
    settings.InitialiseAndLoad(registry);
    registry.CloseKey();

    camera::CameraChannel camera(camera::CreateDirectShowTransport());
    if (camera.Open()) {
        camfetch::WaitForCameraReady(camera, [](uint32_t ms) { Sleep(ms); });
        camfetch::MainDialogParams params;
        params.camera = &camera;
        params.downloadFolder = settings.downloadFolder;
        params.enhance = settings.enhance ? 1 : 0;
        if (camfetch::RunFetchMainDialog(instance, params) == IDOK)
            settings.downloadFolder = params.downloadFolder;
    }

    settings.Save(registry);
    registry.CloseKey();
    camera.Close();
    CoUninitialize();
    if (mutex) CloseHandle(mutex);
    return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return RunFetchApplication(instance);
}
