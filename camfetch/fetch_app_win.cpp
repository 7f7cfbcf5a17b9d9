#include "fetch_app_win.h"

#include <commctrl.h>
#include <objbase.h>

#include <cstdio>

#include "camera_channel.h"
#include "scoped_win.h"
#include "settings_registry_win.h"

namespace camfetch {
namespace {

constexpr const char* kControllerModel = "ZQ71R";

// Releases the camera's filter before COM goes away.
class OpenCamera {
public:
    explicit OpenCamera(camera::CameraChannel& camera) : camera_(camera) {}
    ~OpenCamera() { camera_.Close(); }
    OpenCamera(const OpenCamera&) = delete;
    OpenCamera& operator=(const OpenCamera&) = delete;

private:
    camera::CameraChannel& camera_;
};

}  // namespace

int RunFetchApplication(HINSTANCE instance, std::unique_ptr<camera::PropertyTransport> transport,
                        const FetchAppOptions& options) {
    char mutexName[32];
    std::snprintf(mutexName, sizeof mutexName, "%sD", kControllerModel);
    camtools::ScopedHandle mutex(CreateMutexA(nullptr, TRUE, mutexName));
    if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;

    // Three-dimensional control drawing is the platform's default; the dialog's list view and
    // progress bar need their classes registered.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    camtools::ComScope com;

    RegistrySettings registry;
    FetchSettings settings;
    settings.InitialiseAndLoad(registry);
    registry.CloseKey();

    camera::CameraChannel camera(std::move(transport));
    {
        OpenCamera release(camera);
        if (camera.Open()) {
            WaitForCameraReady(
                camera, [](uint32_t ms) { Sleep(ms); }, options.readyPollLimit);
            MainDialogParams params;
            params.camera = &camera;
            params.downloadFolder = settings.downloadFolder;
            params.enhance = settings.enhance ? 1 : 0;
            params.timing = options.timing;
            if (RunFetchMainDialog(instance, params) == IDOK)
                settings.KeepDialogFolder(params.downloadFolder);
        }
        settings.Save(registry);
        registry.CloseKey();
    }
    return 0;
}

}  // namespace camfetch
