// The DRAM Setting dialog: shows the remembered script path, lets the user choose another
// with the open-file dialog, and remembers the accepted path.
#pragma once

#include <windows.h>

#include "win_util_win.h"

namespace camflash {

// Runs the dialog modally. Returns true when the user accepted a path (then in path, and
// remembered for the next time), false when the dialog was cancelled.
bool ShowDramSettingDialog(HINSTANCE instance, HWND owner, WString& path);

}  // namespace camflash
