// Choosing and showing the download folder: the shell's folder browser (or the old-style
// directory picker, dialog 130) and the compacted display in the main dialog.
#pragma once

#include <windows.h>

#include <string>

namespace camfetch {

// On success `path` holds the chosen folder; on failure it is unchanged.
bool FolderChooser(std::string& path, HWND owner, bool forceOldStyle, const std::string& title);

// The folder shortened with an ellipsis to fit inside `control` (its client width), in its
// own font.
std::string CompactPathForControl(HWND control, const std::string& path);

}  // namespace camfetch
