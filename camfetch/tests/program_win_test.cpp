// camfetch.exe as a person meets it, started in its own process against the simulated
// camera's registered filter and driven from here: what the list shows, the real timers'
// 15-second countdown, a second copy, a start without a camera, the settings it leaves, its
// labels and icons at the screen's DPI, and a whole session with clip conversion and a failed
// one, whose files the CTest steps after this program check with ffprobe and against the
// other build's camfetch.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cctype>
#include <cstring>
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
// Where the sessions download to (a folder of their own per camfetch.exe tested), and the
// source clips, made by ffmpeg before this program runs.
std::string Downloads() { return windriver::EnvironmentPath("PROGRAM_OUT"); }
std::string Clip(const char* name) {
    return windriver::Environment("PROGRAM_CLIPS") + "/" + name + ".avi";
}

// A profile in the scratch folder; returns its path.
std::string WriteProfile(const std::string& name, const std::string& body) {
    std::string path = Scratch() + "/" + name + ".profile";
    std::string trace = Scratch() + "/" + name + ".trace";
    windriver::RemoveFile(trace);
    WT_CHECK(windriver::WriteTextFile(path, body + "trace " + trace + "\n"));
    return path;
}

// The path of the comctl32.dll the process loaded ("" when none).
std::string CommonControlsOf(DWORD processId) {
    camtools::ScopedHandle process(
        OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId));
    if (!process) return "";
    HMODULE modules[512];
    DWORD bytes = 0;
    std::string found;
    if (EnumProcessModules(process.Get(), modules, sizeof modules, &bytes)) {
        for (DWORD i = 0; i < bytes / sizeof(HMODULE) && i < 512; ++i) {
            char path[MAX_PATH] = {};
            GetModuleFileNameExA(process.Get(), modules[i], path, MAX_PATH);
            std::string lower = path;
            for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
            if (lower.size() >= 12 && lower.compare(lower.size() - 12, 12, "comctl32.dll") == 0)
                found = lower;
        }
    }
    return found;
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

// Starts camfetch and waits for its main dialog to finish listing the camera's files; null
// when the dialog does not appear.
HWND StartListed(windriver::Process& program, const std::string& profile) {
    if (!Start(program, profile)) return nullptr;
    HWND dialog = windriver::WaitForWindow(program.Id(), "#32770", "Image Download Utility");
    WT_CHECK_MSG(dialog != nullptr, "the main dialog appears");
    if (!dialog) return nullptr;
    WT_CHECK_MSG(windriver::WaitUntil([&] { return windriver::IsEnabled(dialog, IDC_DOWNLOAD); }),
                 "the listing completes");
    return dialog;
}

// Removes camfetch's two values. The key itself may hold the clip conversion's sub-key.
void DeleteSettings() {
    windriver::DeleteRegistryValues(HKEY_LOCAL_MACHINE, kKey,
                                    {"EnhanceJPEG", "FlashImageSaveToDir"});
}

std::string StoredFolder() {
    return windriver::RegistryString(HKEY_LOCAL_MACHINE, kKey, "FlashImageSaveToDir")
        .value_or("<none>");
}

DWORD StoredEnhance() {
    return windriver::RegistryDword(HKEY_LOCAL_MACHINE, kKey, "EnhanceJPEG").value_or(0xFFFFFFFF);
}

const char* kFiles =
    "block-size 96\n"
    "file DSCF0001 JPG fill=20000\n"
    "file CLIP0001 AVI fill=4096\n"
    "file SND00001 WAV fill=1023\n"
    "file NOTES TXT fill=10\n"
    "file dscf0002 jpg fill=1024\n";

// The names in a folder, sorted, "." and ".." left out.
std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    camtools::ScopedFind find(FindFirstFileA((folder + "\\*").c_str(), &data));
    for (BOOL more = bool(find); more; more = FindNextFileA(find.Get(), &data))
        if (std::strcmp(data.cFileName, ".") && std::strcmp(data.cFileName, ".."))
            names.push_back(data.cFileName);
    std::sort(names.begin(), names.end());
    return names;
}

void StoreFolder(const std::string& folder) {
    WT_CHECK(windriver::SetRegistryString(HKEY_LOCAL_MACHINE, kKey, "FlashImageSaveToDir", folder));
}

// An empty folder Downloads()\name (emptied of an earlier run's dated folder), stored as
// camfetch's download folder.
std::string FreshDownloads(const std::string& name) {
    std::string folder = Downloads() + "\\" + name;
    CreateDirectoryA(Downloads().c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const std::string& dated : Names(folder)) {
        for (const std::string& file : Names(folder + "\\" + dated))
            DeleteFileA((folder + "\\" + dated + "\\" + file).c_str());
        RemoveDirectoryA((folder + "\\" + dated).c_str());
    }
    StoreFolder(folder);
    return folder;
}

// The files of the one dated folder a session made in folder ("" when there is not exactly one).
std::string DownloadedFiles(const std::string& folder) {
    std::vector<std::string> dated = Names(folder);
    if (dated.size() != 1) return "";
    std::string names;
    for (const std::string& name : Names(folder + "\\" + dated[0])) names += name + " ";
    return names;
}

std::string Statuses(HWND dialog) {
    std::string out;
    for (const auto& row : windriver::ListRows(windriver::Control(dialog, IDC_FILE_LIST)))
        out += row[0] + "=" + (row.size() > 3 ? row[3] : "?") + " ";
    return out;
}

// Select All, Convert AVI ticked as asked, Download; true when the run has ended.
bool DownloadAll(HWND dialog, bool convert) {
    WT_CHECK(windriver::Click(dialog, IDC_SELECT_ALL));
    if ((windriver::CheckState(dialog, IDC_CONVERT_AVI) == BST_CHECKED) != convert)
        WT_CHECK(windriver::Click(dialog, IDC_CONVERT_AVI));
    WT_CHECK(windriver::WaitUntil([&] {
        return (windriver::CheckState(dialog, IDC_CONVERT_AVI) == BST_CHECKED) == convert;
    }));
    WT_CHECK(windriver::Click(dialog, IDC_DOWNLOAD));
    WT_CHECK(windriver::WaitUntil([&] { return !windriver::IsEnabled(dialog, IDC_DOWNLOAD); }));
    bool ended =
        windriver::WaitUntil([&] { return windriver::IsEnabled(dialog, IDC_DOWNLOAD); }, 300000);
    WT_CHECK_MSG(ended, "the run ends");
    return ended;
}

}  // namespace

WT_TEST(ListsTheCameraFilesAndSavesOnExit) {
    DeleteSettings();
    std::string profile = WriteProfile("listed", kFiles);
    windriver::Process program;
    HWND dialog = StartListed(program, profile);
    if (!dialog) return;
    HWND list = windriver::Control(dialog, IDC_FILE_LIST);
    using Rows = std::vector<std::vector<std::string>>;
    Rows expected = {
        {"dscf0002", "Jpeg", "1KB", ""},
        {"SND00001", "Wav", "0KB", ""},
        {"DSCF0001", "Jpeg", "19KB", ""},
        {"CLIP0001", "Avi", "4KB", ""},
    };
    WT_CHECK(windriver::ListRows(list) == expected);
    // The manifest gives the program version 6 of the common controls, from the side-by-side store.
    std::string controls = CommonControlsOf(program.Id());
    WT_CHECK_MSG(controls.find("common-controls_6595b64144ccf1df_6.") != std::string::npos,
                 controls);
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
    WT_CHECK(trace.size() > 3 && trace[0] == "set 0 len=4 40 07 00 00 ok" &&
             trace[1].rfind("get 2 ", 0) == 0 && trace[2] == "set 49 len=0 null ok");
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

// The person's whole session: list, select all, download with Convert AVI, delete all. The
// three test clips stay converted in Downloads()\session for ffprobe and the other build.
WT_TEST(FullSessionConvertsClipsAndDeletes) {
    std::string folder = FreshDownloads("session");
    std::string profile = WriteProfile("session",
                                       "block-size 65536\n"
                                       "file CLIP0001 AVI path=" +
                                           Clip("mjpg422_320_u8mono") +
                                           "\n"
                                           "file CLIP0002 AVI path=" +
                                           Clip("mjpg420_640_s16stereo") +
                                           "\n"
                                           "file CLIP0003 AVI path=" +
                                           Clip("mjpg422_640_silent") +
                                           "\n"
                                           "file DSCF0001 JPG fill=70000\n");
    windriver::Process program;
    HWND dialog = StartListed(program, profile);
    if (!dialog || !DownloadAll(dialog, true)) return;
    const std::string saved = "DSCF0001=Saved CLIP0003=Saved CLIP0002=Saved CLIP0001=Saved ";
    WT_CHECK_EQ(Statuses(dialog), saved);
    if (Statuses(dialog) != saved) return;
    WT_CHECK_EQ(windriver::ControlText(dialog, IDC_REMAINING), std::string("0"));
    WT_CHECK_EQ(DownloadedFiles(folder),
                std::string("CLIP0001.AVI CLIP0002.AVI CLIP0003.AVI DSCF0001.JPG "));

    WT_CHECK(windriver::Click(dialog, IDC_SELECT_ALL));
    WT_CHECK(windriver::Click(dialog, IDC_DELETE));
    WT_CHECK_MSG(windriver::WaitUntil([&] {
                     return windriver::ListRowCount(windriver::Control(dialog, IDC_FILE_LIST)) == 0;
                 }),
                 "every row goes");
    WT_CHECK(windriver::Click(dialog, IDOK));
    DWORD code = 1;
    WT_CHECK(program.WaitForExit(code));
    int deletes = 0;
    for (const std::string& line : windriver::ReadTrace(TracePath("session")))
        deletes += line.rfind("set 43 ", 0) == 0 && line.find(" ok") != std::string::npos;
    WT_CHECK_EQ(deletes, 4);
    WT_CHECK_EQ(DownloadedFiles(folder),
                std::string("CLIP0001.AVI CLIP0002.AVI CLIP0003.AVI DSCF0001.JPG "));
}

// The camera fails in the middle of a clip: the picture before it is saved, the clip is marked
// Error! and leaves no file, and the failure message stands with its countdown.
WT_TEST(FailedRunKeepsOnlyWhatWasSaved) {
    std::string folder = FreshDownloads("failed");
    std::string profile = WriteProfile("failed",
                                       "block-size 4096\n"
                                       "file CLIP0001 AVI path=" +
                                           Clip("mjpg420_640_s16stereo") +
                                           "\n"
                                           "file DSCF0001 JPG fill=5000\n"
                                           "fault fail 42 set nth=5\n");
    windriver::Process program;
    HWND dialog = StartListed(program, profile);
    if (!dialog || !DownloadAll(dialog, true)) return;
    WT_CHECK_EQ(Statuses(dialog), std::string("DSCF0001=Saved CLIP0001=Error! "));
    std::string message = windriver::ControlText(dialog, IDC_MESSAGE);
    WT_CHECK_MSG(message.rfind("An error has occurred.", 0) == 0, message);
    WT_CHECK(windriver::IsVisible(dialog, IDC_COUNTDOWN));
    WT_CHECK_EQ(DownloadedFiles(folder), std::string("DSCF0001.JPG "));
    WT_CHECK(windriver::Click(dialog, IDOK));
    DWORD code = 1;
    WT_CHECK(program.WaitForExit(code));
}

// At the screen's DPI (CTest runs this also in a prefix at 144 DPI): every label of the main
// dialog reads whole in its control, the download folder is compacted to its control's width,
// and the list's icons are the screen's small icons (16 pixels at 96 DPI, 24 at 144), with
// room for them in the Name column.
WT_TEST(ScreenDpiLabelsWholeIconsAtScreenSize) {
    WT_CHECK_MSG(windriver::BecomeDpiAware(), "the driver reads camfetch's pixels");
    const int dpi = windriver::ScreenDpi();
    const int icon = MulDiv(16, dpi, 96);
    StoreFolder(windriver::WindowsPath(Scratch()) +
                "\\a folder whose name is far too long for the line that shows it\\downloads");
    windriver::Process program;
    HWND dialog = StartListed(program, WriteProfile("dpi", kFiles));
    if (!dialog) return;
    const std::string face = "MS Sans Serif";
    const int buttonRoom = MulDiv(4, dpi, 96);  // a button's frame, both sides
    const int checkRoom = MulDiv(16, dpi, 96);  // the check box and its gap
    const struct {
        int id;
        int room;    // pixels of the control that are not for its text
        bool wraps;  // a multi-line static
    } labels[] = {
        {IDOK, buttonRoom, false},
        {IDC_HELP_BUTTON, buttonRoom, false},
        {IDC_DOWNLOAD, buttonRoom, false},
        {IDC_DELETE, buttonRoom, false},
        {IDC_CANCEL_RUN, buttonRoom, false},
        {IDC_CONVERT_AVI, checkRoom, false},
        {IDC_SELECT_ALL, buttonRoom, false},
        {IDC_DESELECT_ALL, buttonRoom, false},
        {IDC_REMAINING_LABEL, 0, false},
        {IDC_REMAINING, 0, false},
        {IDC_PERCENT, 0, false},
        {IDC_DOWNLOAD_TO_LABEL, 0, false},
        {IDC_DOWNLOAD_FOLDER, 2, false},
        {IDC_BROWSE, buttonRoom, false},
        {IDC_MESSAGE, 2, true},
        {IDC_COUNTDOWN_LABEL, 0, false},
        {IDC_COUNTDOWN, 0, false},
        {IDC_COUNTDOWN_UNIT, 0, false},
    };
    for (const auto& label : labels) {
        const RECT rect = windriver::ControlRect(dialog, label.id);
        const int width = rect.right - rect.left - label.room;
        const std::string text = windriver::ControlText(dialog, label.id);
        const SIZE size = windriver::TextSize(face, 8, text, label.wraps ? width : 0);
        WT_CHECK_MSG(!text.empty() && size.cx <= width && size.cy <= rect.bottom - rect.top,
                     "\"" + text + "\" at " + std::to_string(dpi) + " DPI: " +
                         std::to_string(size.cx) + "x" + std::to_string(size.cy) + " in " +
                         std::to_string(width) + "x" + std::to_string(rect.bottom - rect.top));
    }

    HWND list = windriver::Control(dialog, IDC_FILE_LIST);
    for (int row = 0; row < windriver::ListRowCount(list); ++row) {
        if (windriver::ListItemImage(list, row) < 0) continue;  // a recording: no icon
        const RECT rect = windriver::ListItemIconRect(list, row);
        WT_CHECK_MSG(rect.right - rect.left == icon && rect.bottom - rect.top >= icon,
                     windriver::ListCellText(list, row, 0) + "'s icon is " +
                         std::to_string(rect.right - rect.left) + " wide at " +
                         std::to_string(dpi) + " DPI");
    }
    WT_CHECK_EQ(windriver::ListColumnWidth(list, 0),
                int(windriver::TextSize(face, 8, "MMMMMMMM").cx) + icon);
    WT_CHECK(windriver::Click(dialog, IDOK));
    DWORD code = 1;
    WT_CHECK(program.WaitForExit(code));
}

int main(int argc, char** argv) {
    int result = wintest::RunAll(argc, argv);
    DeleteSettings();
    return result;
}
