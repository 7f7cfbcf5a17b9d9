// A scripted camfetch session for scripts/demo: starts camfetch.exe, waits for the listing,
// selects every row, ticks Convert AVI, downloads, waits for the run to end and exits with
// the Exit button. Prints what it saw; asks the calling script for a screenshot at each step
// and exits 0 when every file was saved.
//   camfetch_demo_session CAMFETCH_EXE SHOT_DIR
// For each screenshot it prints "shot NAME" and waits (bounded) for SHOT_DIR/NAME.ready.
#include <windows.h>

#include <cstdio>
#include <string>

#include "demo_common_win.h"
#include "resource.h"
#include "windriver.h"

namespace {

std::string shotDir;

void Shot(const std::string& name) { demo::Shot(shotDir, name); }

void PrintRows(HWND main) {
    for (const auto& row : windriver::ListRows(windriver::Control(main, IDC_FILE_LIST))) {
        std::string line;
        for (const std::string& cell : row) line += (line.empty() ? "" : " | ") + cell;
        std::printf("  %s\n", line.c_str());
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::printf("usage: camfetch_demo_session CAMFETCH_EXE SHOT_DIR\n");
        return 2;
    }
    shotDir = argv[2];
    windriver::Process process;
    windriver::StartOptions options;
    options.program = argv[1];
    HWND main = demo::StartProgram(process, options, "camfetch", "Image Download Utility", 60000);
    if (!main) return 1;
    if (!windriver::WaitUntil([&] { return windriver::IsEnabled(main, IDC_DOWNLOAD); }, 120000)) {
        std::printf("the listing did not complete: %s\n",
                    windriver::ControlText(main, IDC_MESSAGE).c_str());
        return 1;
    }
    std::printf("listed (%s):\n", windriver::ControlText(main, IDC_MESSAGE).c_str());
    PrintRows(main);
    Shot("listed");

    windriver::Click(main, IDC_SELECT_ALL);
    if (windriver::CheckState(main, IDC_CONVERT_AVI) != BST_CHECKED)
        windriver::Click(main, IDC_CONVERT_AVI);
    bool ticked = windriver::WaitUntil(
        [&] { return windriver::CheckState(main, IDC_CONVERT_AVI) == BST_CHECKED; }, 5000);
    std::printf("Select All, Convert AVI %s, Download\n", ticked ? "ticked" : "NOT ticked");
    windriver::Click(main, IDC_DOWNLOAD);
    windriver::WaitUntil(
        [&] {
            return !windriver::ControlText(main, IDC_PERCENT).empty() &&
                   windriver::ControlText(main, IDC_PERCENT) != "0%";
        },
        30000);
    Shot("downloading");
    bool ended =
        windriver::WaitUntil([&] { return windriver::IsEnabled(main, IDC_DOWNLOAD); }, 600000);
    std::printf("run %s: status line \"%s\", %s, files remaining %s; message: %s\n",
                ended ? "ended" : "did not end",
                windriver::ControlText(main, IDC_STATUS_LINE).c_str(),
                windriver::ControlText(main, IDC_PERCENT).c_str(),
                windriver::ControlText(main, IDC_REMAINING).c_str(),
                windriver::ControlText(main, IDC_MESSAGE).c_str());
    PrintRows(main);
    Shot("downloaded");
    bool allSaved = ended;
    for (const auto& row : windriver::ListRows(windriver::Control(main, IDC_FILE_LIST)))
        allSaved = allSaved && row.size() > 3 && row[3] == "Saved";

    windriver::Click(main, IDOK);
    DWORD code = 1;
    bool exited = process.WaitForExit(code, 30000);
    std::printf("camfetch %s (exit code %lu)\n", exited ? "ended" : "did not end",
                (unsigned long)code);
    return allSaved && exited ? 0 : 1;
}
