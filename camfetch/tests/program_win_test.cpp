// camfetch.exe as a person meets it, started in its own process against the simulated
// camera's registered filter and driven from here: what the list shows, the real timers'
// 15-second countdown, a second copy, a start without a camera, and the settings it leaves.
#include <windows.h>

#include <string>
#include <vector>

#include "resource.h"
#include "scoped_win.h"
#include "windriver.h"
#include "wintest.h"

namespace {

const char* kKey = "SOFTWARE\\ZQ71R";

std::string Program() { return windriver::Environment("CAMFETCH_EXE"); }
std::string Scratch() { return windriver::Environment("TEST_SCRATCH"); }

// A profile in the scratch folder; returns its path.
std::string WriteProfile(const std::string& name, const std::string& body) {
    std::string path = Scratch() + "/" + name + ".profile";
    std::string trace = Scratch() + "/" + name + ".trace";
    windriver::RemoveFile(trace);
    WT_CHECK(windriver::WriteTextFile(path, body + "trace " + trace + "\n"));
    return path;
}

std::string TracePath(const std::string& name) { return Scratch() + "/" + name + ".trace"; }

bool Start(windriver::Process& process, const std::string& profile) {
    windriver::StartOptions options;
    options.program = Program();
    options.environment = {{"CAMSIM_PROFILE", profile}};
    bool started = process.Start(options);
    WT_CHECK_MSG(started, process.Error());
    return started;
}

// Removes camfetch's two values. The key itself may hold the clip conversion's sub-key.
void DeleteSettings() {
    camtools::ScopedRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_ALL_ACCESS, key.Out()) != ERROR_SUCCESS) return;
    RegDeleteValueA(key.Get(), "EnhanceJPEG");
    RegDeleteValueA(key.Get(), "FlashImageSaveToDir");
    key.Close();
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kKey);  // only when nothing else lives there
}

std::string StoredFolder() {
    char folder[512] = {};
    DWORD size = sizeof folder - 1;
    camtools::ScopedRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return "<no key>";
    if (RegQueryValueExA(key.Get(), "FlashImageSaveToDir", nullptr, nullptr, reinterpret_cast<BYTE*>(folder), &size) !=
        ERROR_SUCCESS)
        folder[0] = 0;
    key.Close();
    return folder;
}

DWORD StoredEnhance() {
    DWORD value = 0xFFFFFFFF, size = 4;
    camtools::ScopedRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ, key.Out()) != ERROR_SUCCESS) return value;
    RegQueryValueExA(key.Get(), "EnhanceJPEG", nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size);
    key.Close();
    return value;
}

const char* kFiles =
    "block-size 96\n"
    "file DSCF0001 JPG fill=20000\n"
    "file CLIP0001 AVI fill=4096\n"
    "file SND00001 WAV fill=1023\n"
    "file NOTES TXT fill=10\n"
    "file dscf0002 jpg fill=1024\n";

}  // namespace

WT_TEST(ListsTheCameraFilesAndSavesOnExit) {
    DeleteSettings();
    std::string profile = WriteProfile("listed", kFiles);
    windriver::Process program;
    if (!Start(program, profile)) return;
    HWND dialog = windriver::WaitForWindow(program.Id(), "#32770", "Image Download Utility");
    WT_CHECK_MSG(dialog != nullptr, "the main dialog appears");
    if (!dialog) return;
    WT_CHECK(windriver::WaitUntil([&] { return windriver::IsEnabled(dialog, IDC_DOWNLOAD); }));
    HWND list = windriver::Control(dialog, IDC_FILE_LIST);
    using Rows = std::vector<std::vector<std::string>>;
    Rows expected = {
        {"dscf0002", "Jpeg", "1KB", ""},
        {"SND00001", "Wav", "0KB", ""},
        {"DSCF0001", "Jpeg", "19KB", ""},
        {"CLIP0001", "Avi", "4KB", ""},
    };
    WT_CHECK(windriver::ListRows(list) == expected);
    WT_CHECK_EQ(windriver::ListColumnTitle(list, 3), std::string("Status"));
    WT_CHECK_EQ(windriver::ControlText(dialog, IDC_MESSAGE), std::string("Camera is connected."));
    WT_CHECK_EQ(windriver::ControlText(dialog, IDC_DOWNLOAD_FOLDER), std::string("c:\\"));
    WT_CHECK(windriver::Click(dialog, IDOK));
    DWORD code = 1;
    WT_CHECK(program.WaitForExit(code));
    WT_CHECK_EQ(StoredFolder(), std::string("c:\\"));
    WT_CHECK_EQ(StoredEnhance(), DWORD(0));
    // The readiness register is read first, then the storage query opens the conversation;
    // the idle connection sent nothing after the last block.
    std::vector<std::string> trace = windriver::ReadTrace(TracePath("listed"));
    WT_CHECK(trace.size() > 3 && trace[0] == "set 0 len=4 40 07 00 00 ok" && trace[1].rfind("get 2 ", 0) == 0 &&
             trace[2] == "set 49 len=0 null ok");
    WT_CHECK(!trace.empty() && trace.back().rfind("get 3 ", 0) == 0);
}

WT_TEST(SecondCopyEndsAtOnce) {
    std::string profile = WriteProfile("second", kFiles);
    windriver::Process first, second;
    if (!Start(first, profile)) return;
    HWND dialog = windriver::WaitForWindow(first.Id(), "#32770", "Image Download Utility");
    WT_CHECK(dialog != nullptr);
    if (!Start(second, profile)) return;
    DWORD code = 1;
    WT_CHECK_MSG(second.WaitForExit(code), "the second copy ends by itself");
    WT_CHECK_EQ(code, DWORD(0));
    WT_CHECK(first.Running());
    if (dialog) WT_CHECK(windriver::Click(dialog, IDOK));
    WT_CHECK(first.WaitForExit(code));
}

WT_TEST(WithoutCameraEndsSilentlyAndSavesDefaults) {
    DeleteSettings();
    std::string profile = WriteProfile("absent", kFiles);
    windriver::CameraDevices none({});
    WT_CHECK(none.Installed());
    windriver::Process program;
    if (!Start(program, profile)) return;
    DWORD code = 1;
    WT_CHECK_MSG(program.WaitForExit(code), "ends by itself");
    WT_CHECK_EQ(code, DWORD(0));
    WT_CHECK_EQ(StoredFolder(), std::string("c:\\"));
    WT_CHECK_EQ(StoredEnhance(), DWORD(0));
}

// The product's own timers: the countdown takes 15 real seconds.
WT_TEST(EmptyCameraCountsDownAndCloses) {
    std::string profile = WriteProfile("empty", "storage absent\n");
    windriver::Process program;
    if (!Start(program, profile)) return;
    HWND dialog = windriver::WaitForWindow(program.Id(), "#32770", "Image Download Utility");
    WT_CHECK(dialog != nullptr);
    if (!dialog) return;
    WT_CHECK(windriver::WaitUntil([&] { return windriver::IsVisible(dialog, IDC_COUNTDOWN); }));
    std::string message = windriver::ControlText(dialog, IDC_MESSAGE);
    WT_CHECK_MSG(message.rfind("The application has determined that no images", 0) == 0, message);
    std::string seconds = windriver::ControlText(dialog, IDC_COUNTDOWN);
    WT_CHECK_MSG(seconds == "15" || seconds == "14", seconds);
    WT_CHECK(!windriver::IsEnabled(dialog, IDC_DOWNLOAD) && windriver::IsEnabled(dialog, IDOK));
    DWORD code = 1;
    WT_CHECK_MSG(program.WaitForExit(code, 40000), "the countdown closes the program");
    WT_CHECK_EQ(code, DWORD(0));
}

int main(int argc, char** argv) {
    int result = wintest::RunAll(argc, argv);
    DeleteSettings();
    return result;
}
