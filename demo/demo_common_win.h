// What the scripted demo sessions share: the screenshot hand-shake with the calling script
// (demo_session in scripts/lib.sh) and starting the program up to its main dialog.
#pragma once

#include <windows.h>

#include <cstdio>
#include <string>

#include "windriver.h"

namespace demo {

// Prints "shot NAME" and waits (bounded) until the script has written SHOT_DIR/NAME.ready,
// that is, has taken the screenshot.
inline void Shot(const std::string& shotDir, const std::string& name) {
    std::printf("shot %s\n", name.c_str());
    std::fflush(stdout);
    const std::string marker = windriver::WindowsPath(shotDir + "/" + name + ".ready");
    windriver::WaitUntil(
        [&] { return GetFileAttributesA(marker.c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000);
}

// Starts the program and waits for its main dialog with this caption; null, after saying
// what went wrong, when either fails.
inline HWND StartProgram(windriver::Process& process, const windriver::StartOptions& options,
                         const char* name, const std::string& caption, DWORD timeoutMs) {
    if (!process.Start(options)) {
        std::printf("%s did not start: %s\n", name, process.Error().c_str());
        return nullptr;
    }
    HWND main = windriver::WaitForWindow(process.Id(), "#32770", caption, timeoutMs);
    if (!main) std::printf("the main dialog did not appear\n");
    return main;
}

}  // namespace demo
