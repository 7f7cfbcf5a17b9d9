#include <windows.h>

#include "camera_channel.h"
#include "directshow_transport.h"
#include "wintest.h"

WT_TEST(OpenWithoutTheCameraFails) {
    CoInitialize(nullptr);
    {
        camera::CameraChannel channel(camera::CreateDirectShowTransport());
        WT_CHECK(!channel.Open());
        WT_CHECK(!channel.IsOpen());
    }
    CoUninitialize();
}

int main(int argc, char** argv) { return wintest::RunAll(argc, argv); }
