// The main dialog of camflash: opens the camera when it starts, runs the firmware update on
// Update, and closes the camera when it goes.
#pragma once

#include <windows.h>

#include "camera_channel.h"

namespace camflash {

// Runs the dialog modally; returns when it has ended (Exit, Cancel, a missing camera or a
// finished update).
INT_PTR RunMainDialog(HINSTANCE instance, camera::CameraChannel& camera);

}  // namespace camflash
