// camfetch.exe: no command line, no window of its own beyond the modal main dialog.
#include <windows.h>

#include "directshow_transport.h"
#include "fetch_app_win.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return camfetch::RunFetchApplication(instance, camera::CreateDirectShowTransport());
}
