// A short scripted camflash session for scripts/demo: starts camflash.exe, presses Update,
// accepts the DRAM Setting dialog, answers every message, and asks the calling script for a
// screenshot at each step. Prints what it saw; exits 0 when the update finished.
//   camflash_demo_session CAMFLASH_EXE WORK_DIR SHOT_DIR
// For each screenshot it prints "shot NAME" and waits (bounded) for SHOT_DIR/NAME.ready.
#include <windows.h>

#include <cstdio>
#include <string>

#include "demo_common_win.h"
#include "windriver.h"

namespace {

std::string shotDir;

void Shot(const std::string& name) { demo::Shot(shotDir, name); }

bool AnswerMessages(windriver::Process& process, HWND main, int count) {
    for (int i = 0; i < count; ++i) {
        windriver::MessageBoxInfo box;
        if (!windriver::WaitForMessageBox(process.Id(), box, main, 60000)) {
            std::printf("no message box appeared\n");
            return false;
        }
        std::printf("message box \"%s\": %s\n", box.caption.c_str(), box.text.c_str());
        Shot("message" + std::to_string(i + 1));
        windriver::AnswerMessageBox(box, IDOK);
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::printf("usage: camflash_demo_session CAMFLASH_EXE WORK_DIR SHOT_DIR\n");
        return 2;
    }
    shotDir = argv[3];
    windriver::Process process;
    windriver::StartOptions options;
    options.program = argv[1];
    options.workingDirectory = argv[2];
    HWND main = demo::StartProgram(process, options, "camflash", "ZQ71RU_V2.0.1.0 UPDATE FIRMWARE",
                                   windriver::kWaitMs);
    if (!main) return 1;
    std::printf("main dialog \"%s\": %s\n", windriver::Text(main).c_str(),
                windriver::ControlText(main, 1001).c_str());
    Shot("main");
    windriver::Click(main, 1000);
    HWND dram = windriver::WaitForWindow(process.Id(), "#32770", "DRAM Setting ");
    if (!dram) {
        std::printf("the DRAM Setting dialog did not appear\n");
        return 1;
    }
    std::printf("DRAM Setting dialog offers %s\n", windriver::ControlText(dram, 1429).c_str());
    Shot("dram");
    windriver::Click(dram, IDOK);
    // The reminder while the firmware gets ready, string 5, and the reboot request.
    if (!AnswerMessages(process, main, 3)) return 1;
    DWORD code = 1;
    bool ended = process.WaitForExit(code);
    std::printf("camflash %s (exit code %lu)\n", ended ? "ended" : "did not end",
                (unsigned long)code);
    return ended && code == 0 ? 0 : 1;
}
