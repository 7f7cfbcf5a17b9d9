// Download and delete runs through the real main dialog against the simulated camera: the
// files on disk, the clip conversion, the row marks, and what is left after failures.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#ifdef CAMFETCH_TEST_FILE_LIMIT
#include <signal.h>
#include <sys/resource.h>
#endif

#include "camera_model.h"
#include "dialog_run_win.h"
#include "main_dialog_win.h"
#include "resource.h"
#include "scoped_win.h"
#include "wide_string_win.h"
#include "windriver.h"
#include "wintest.h"

using namespace camfetch;

namespace {

const DialogTiming kFast = {20, 1000};
// The in-process camera answers at once, so within a budget a file moves in one tick; a test
// that acts in the middle of a transfer takes one round a tick.
const DialogTiming kOneRoundATick = {20, 1000, 0};

std::vector<uint8_t> Pattern(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = uint8_t(seed >> 16);
    }
    return bytes;
}

// A file's last-write time as local FAT date << 16 | time; 0 when it cannot be read.
uint32_t FatWriteTime(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    FILETIME local;
    WORD date = 0, time = 0;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
        !FileTimeToDosDateTime(&local, &date, &time))
        return 0;
    return uint32_t(date) << 16 | time;
}

camsim::StoredFile File(const char* name, const char* ext, std::vector<uint8_t> content) {
    camsim::StoredFile file;
    file.name = name;
    file.extension = ext;
    file.content = std::move(content);
    return file;
}

std::vector<uint8_t> RawEntry(const char* name, const char* ext, uint32_t size) {
    std::vector<uint8_t> entry(32, 0);
    for (size_t i = 0; i < 8 && name[i]; ++i) entry[i] = uint8_t(name[i]);
    for (size_t i = 0; i < 3 && ext[i]; ++i) entry[8 + i] = uint8_t(ext[i]);
    for (int i = 0; i < 4; ++i) entry[28 + i] = uint8_t(size >> (8 * i));
    return entry;
}

bool ReadWhole(const std::string& path, std::vector<uint8_t>& bytes) {
    camtools::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    if (!file) return false;
    bytes.clear();
    uint8_t chunk[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    file.Close();
    return true;
}

// The names in a folder, sorted by the platform, "." and ".." left out.
std::vector<std::string> Entries(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA data;
    camtools::ScopedFind find(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (!find) return names;
    do {
        if (std::strcmp(data.cFileName, ".") && std::strcmp(data.cFileName, ".."))
            names.push_back(data.cFileName);
    } while (FindNextFileA(find.Get(), &data));
    return names;
}

// A fresh, empty folder under the test's output folder.
std::string FreshFolder(const std::string& name) {
    std::string folder = windriver::EnvironmentPath("RUNS_OUT") + "\\" + name;
    CreateDirectoryA(windriver::EnvironmentPath("RUNS_OUT").c_str(), nullptr);
    CreateDirectoryA(folder.c_str(), nullptr);
    for (const std::string& dated : Entries(folder)) {
        for (const std::string& file : Entries(folder + "\\" + dated))
            DeleteFileA((folder + "\\" + dated + "\\" + file).c_str());
        RemoveDirectoryA((folder + "\\" + dated).c_str());
    }
    return folder;
}

std::string Listing(const std::string& folder) {
    std::string out;
    for (const std::string& name : Entries(folder)) out += name + " ";
    return out;
}

// The dated folder a run made in `folder`, read from the disk: the folder's only entry.
std::string DatedFolder(const std::string& folder) {
    const std::vector<std::string> names = Entries(folder);
    WT_CHECK_MSG(names.size() == 1, "one dated folder in " + folder + ": " + Listing(folder));
    return names.empty() ? std::string() : names[0];
}

// The percent the dialog shows for the item in transfer.
int ShownPercent(HWND dialog) {
    return std::atoi(windriver::ControlText(dialog, IDC_PERCENT).c_str());
}

std::string FailedText() {
    char text[512] = {};
    LoadStringA(GetModuleHandleW(nullptr), IDS_FAILED, text, sizeof text);
    return text;
}

bool Ready(HWND dialog) { return windriver::IsEnabled(dialog, IDC_DOWNLOAD); }
bool ShowsFailure(HWND dialog) {
    return windriver::ControlText(dialog, IDC_MESSAGE) == FailedText();
}

std::string Statuses(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_FILE_LIST);
    std::string out;
    for (int row = 0; row < windriver::ListRowCount(list); ++row)
        out += windriver::ListCellText(list, row, 0) + "=" + windriver::ListCellText(list, row, 3) +
               " ";
    return out;
}

void SetConvertAvi(HWND dialog, bool on) {
    SendDlgItemMessageW(dialog, IDC_CONVERT_AVI, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

// A camera name (ANSI code page bytes) as windriver reads it from the list: UTF-8.
std::string Shown(const char* name) { return camtools::Narrow(camtools::Widen(name, CP_ACP)); }

void SelectRow(HWND dialog, const char* name) {
    HWND list = GetDlgItem(dialog, IDC_FILE_LIST);
    for (int row = 0; row < windriver::ListRowCount(list); ++row)
        if (windriver::ListCellText(list, row, 0) == Shown(name))
            WT_CHECK(windriver::SelectListRow(list, row, true));
}

// The buttons as the dialog's own thread left them right after handling Download, before a
// timer tick could end a short run (a run refused at its first tick may be over by the time
// this thread reads them on a busy machine).
struct ButtonsAfterPress {
    HWND dialog = nullptr;
    bool seen = false, ready = false, cancelRun = false, exit = false;
};
ButtonsAfterPress g_afterPress;

LRESULT CALLBACK ReadButtonsAfterPress(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call->hwnd == g_afterPress.dialog && call->message == WM_COMMAND &&
        LOWORD(call->wParam) == IDC_DOWNLOAD && !g_afterPress.seen) {
        g_afterPress.seen = true;
        g_afterPress.ready = Ready(call->hwnd);
        g_afterPress.cancelRun = windriver::IsEnabled(call->hwnd, IDC_CANCEL_RUN);
        g_afterPress.exit = windriver::IsEnabled(call->hwnd, IDOK);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Starts a download of the given rows; the run is in progress (mode 3) once it is pressed.
void Download(HWND dialog, std::initializer_list<const char*> rows, bool convert) {
    WT_CHECK_MSG(windriver::WaitUntilSettled(dialog, [&] { return Ready(dialog); }),
                 "the listing completes");
    for (const char* row : rows) SelectRow(dialog, row);
    SetConvertAvi(dialog, convert);
    g_afterPress = ButtonsAfterPress();
    g_afterPress.dialog = dialog;
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, ReadButtonsAfterPress, nullptr,
                                   GetWindowThreadProcessId(dialog, nullptr));
    WT_CHECK_MSG(hook != nullptr, "a hook on the dialog's thread");
    WT_CHECK(windriver::Press(dialog, IDC_DOWNLOAD));
    if (hook) UnhookWindowsHookEx(hook);
    WT_CHECK_MSG(g_afterPress.seen, "the press reached the dialog");
    WT_CHECK_MSG(!g_afterPress.ready, "mode 3 while the run lasts");
    WT_CHECK(g_afterPress.cancelRun);
    WT_CHECK(!g_afterPress.exit);
}

// Names in a folder that start with "Zan" (the conversion's temporary output).
int Temporaries(const std::string& folder) {
    int count = 0;
    for (const std::string& name : Entries(folder)) count += name.rfind("Zan", 0) == 0;
    return count;
}

const std::vector<uint8_t>& SourceClip() {
    static std::vector<uint8_t> clip;
    if (clip.empty())
        WT_CHECK_MSG(
            ReadWhole(windriver::EnvironmentPath("RUNS_CLIPS") + "\\mjpg420_640_s16stereo.avi",
                      clip),
            "the source clip made by ffmpeg");
    return clip;
}

}  // namespace

// List, select, download into the dated folder (clips converted where this build can), then
// delete everything: the rows go, the camera is asked to delete each file.
WT_TEST(FullSessionDownloadsConvertsAndDeletes) {
    camsim::Profile profile;
    profile.files = {File("PIC00001", "JPG", Pattern(30000, 1)),
                     File("CLIP0001", "avi", SourceClip()),
                     File("SND00001", "WAV", Pattern(9001, 2))};
    profile.files[0].writeDate = 0x5891,
    profile.files[0].writeTime = 0x6DA5;  // 2024-04-17 13:45:10
    profile.files[1].writeDate = 0x3A21,
    profile.files[1].writeTime = 0x0001;  // 2009-01-01 00:00:02
    camsim::CameraModel model(profile);
    std::string folder = FreshFolder("full");
#ifdef CAMFETCH_HAS_CLIP_CONVERSION
    const bool convert = true;
#else
    const bool convert = false;  // this build cannot convert: see ConvertWithoutDecoderFails
#endif
    INT_PTR result = RunMainDialog(model, folder, kOneRoundATick, [&](HWND dialog) {
        WT_CHECK_MSG(windriver::WaitUntilSettled(dialog, [&] { return Ready(dialog); }),
                     "the listing completes");
        WT_CHECK(windriver::Press(dialog, IDC_SELECT_ALL));
        SetConvertAvi(dialog, convert);
        WT_CHECK(windriver::Press(dialog, IDC_DOWNLOAD));
        SetConvertAvi(dialog, !convert);  // latched at Download: no effect on this run
        WT_CHECK(windriver::ControlText(dialog, IDC_REMAINING) == "3");
        WT_CHECK_MSG(windriver::WaitUntilSettled(
                         dialog, [&] { return Ready(dialog); }, 60000),
                     "the run ends");
        WT_CHECK_EQ(Statuses(dialog), std::string("SND00001=Saved PIC00001=Saved CLIP0001=Saved "));
        WT_CHECK_EQ(windriver::ControlText(dialog, IDC_REMAINING), std::string("0"));
        WT_CHECK_EQ(windriver::ControlText(dialog, IDC_PERCENT), std::string("100%"));
        WT_CHECK_EQ(windriver::ControlText(dialog, IDC_STATUS_LINE),
                    std::string(convert ? "Converting CLIP0001.avi" : "Downloading CLIP0001.avi"));
        WT_CHECK_EQ(int(SendDlgItemMessageW(dialog, IDC_PROGRESS, PBM_GETPOS, 0, 0)), 100);
        windriver::Hold();

        WT_CHECK(windriver::Press(dialog, IDC_SELECT_ALL));
        WT_CHECK(windriver::Press(dialog, IDC_DELETE));
        WT_CHECK(!Ready(dialog));
        WT_CHECK_MSG(windriver::WaitUntilSettled(
                         dialog, [&] { return Ready(dialog); }, 30000),
                     "the delete run ends");
        WT_CHECK_EQ(windriver::ListRowCount(GetDlgItem(dialog, IDC_FILE_LIST)), 0);
        WT_CHECK_EQ(windriver::ControlText(dialog, IDC_STATUS_LINE),
                    std::string("Deleting CLIP0001.avi"));
        WT_CHECK_EQ(windriver::ControlText(dialog, IDC_REMAINING), std::string("0"));
        WT_CHECK(windriver::Press(dialog, IDOK));
    });
    WT_CHECK_EQ(int(result), IDOK);
    const std::string dated = DatedFolder(folder);
    WT_CHECK_EQ(Listing(folder), dated + " ");
    std::string out = folder + "\\" + dated;
    WT_CHECK_EQ(Entries(out).size(), size_t(3));
    std::vector<uint8_t> bytes;
    WT_CHECK(ReadWhole(out + "\\PIC00001.JPG", bytes) && bytes == profile.files[0].content);
    WT_CHECK(ReadWhole(out + "\\SND00001.WAV", bytes) && bytes == profile.files[2].content);
    WT_CHECK(ReadWhole(out + "\\CLIP0001.avi", bytes));
    WT_CHECK_MSG(convert ? bytes != SourceClip() : bytes == SourceClip(), "the clip as asked");
    WT_CHECK_EQ(FatWriteTime(out + "\\PIC00001.JPG"), 0x58916DA5u);
    WT_CHECK_MSG(FatWriteTime(out + "\\CLIP0001.avi") == 0x3A210001u,
                 "the camera's time, after conversion");
    int deletes = 0;
    for (const auto& r : model.trace()) deletes += r.property == 43 && !r.isGet;
    WT_CHECK_EQ(deletes, 3);
}

#ifdef CAMFETCH_HAS_CLIP_CONVERSION
// A 300-frame clip converts beside the window: the status line names it and the percent
// follows its frames. Cancel, or the close box, in the middle stops the conversion: the clip
// stays as the camera sent it, saved, with no temporary file beside it; Cancel leaves the
// connection serving.
WT_TEST(CancelOrCloseMidConversionKeepsTheDownloadedClip) {
    std::vector<uint8_t> clip;
    WT_CHECK(ReadWhole(windriver::EnvironmentPath("RUNS_CLIPS") + "\\mjpg422_640_300.avi", clip));
    for (bool close : {false, true}) {
        const char* what = close ? "close" : "cancel";
        camsim::Profile profile;
        profile.blockSize = 1 << 20;
        profile.files = {File("CLIP0001", "AVI", clip), File("A0000001", "JPG", Pattern(999, 3))};
        camsim::CameraModel model(profile);
        std::string folder = FreshFolder(close ? "close_converting" : "cancel_converting");
        RunMainDialog(model, folder, kFast, [&](HWND dialog) {
            Download(dialog, {"CLIP0001", "A0000001"}, true);
            WT_CHECK_MSG(windriver::WaitUntil(
                             [&] {
                                 return windriver::ControlText(dialog, IDC_STATUS_LINE) ==
                                        "Converting CLIP0001.AVI";
                             },
                             30000),
                         what);
            WT_CHECK_MSG(
                windriver::WaitUntil(
                    [&] { return windriver::ControlText(dialog, IDC_PERCENT) != "0%"; }, 30000),
                "the percent follows the frames");
            const std::string percent = windriver::ControlText(dialog, IDC_PERCENT);
            WT_CHECK_MSG(percent != "100%", "the conversion still runs: " + percent);
            WT_CHECK_EQ(Statuses(dialog), std::string("CLIP0001=Downloading A0000001= "));
            LARGE_INTEGER frequency, start, end;
            QueryPerformanceFrequency(&frequency);
            QueryPerformanceCounter(&start);
            if (close) {
                WT_CHECK(windriver::Close(dialog));
                return;
            }
            WT_CHECK(windriver::Press(dialog, IDC_CANCEL_RUN));
            QueryPerformanceCounter(&end);
            std::printf(
                "  Cancel at %s returned after %.0f ms\n", percent.c_str(),
                double(end.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart));
            WT_CHECK_MSG(Ready(dialog), what);
            WT_CHECK_EQ(Statuses(dialog), std::string("CLIP0001=Saved A0000001= "));
            WT_CHECK_MSG(!ShowsFailure(dialog), what);
            WT_CHECK(windriver::Press(dialog, IDOK));
        });
        const std::string out = folder + "\\" + DatedFolder(folder);
        std::vector<uint8_t> bytes;
        WT_CHECK_MSG(ReadWhole(out + "\\CLIP0001.AVI", bytes) && bytes == clip,
                     std::string(what) + ": the clip as the camera sent it");
        WT_CHECK_MSG(Temporaries(out) == 0, what);
        WT_CHECK_MSG(Entries(out).size() == 1, std::string(what) + ": " + Listing(out));
    }
}
#endif

#ifndef CAMFETCH_HAS_CLIP_CONVERSION
// Without the decoder a clip that was to be converted fails and is not left unconverted.
WT_TEST(ConvertWithoutDecoderFails) {
    camsim::Profile profile;
    profile.files = {File("CLIP0001", "AVI", SourceClip())};
    camsim::CameraModel model(profile);
    std::string folder = FreshFolder("noconvert");
    RunMainDialog(model, folder, {20, 20}, [&](HWND dialog) {
        Download(dialog, {"CLIP0001"}, true);
        WT_CHECK_MSG(windriver::WaitUntilSettled(
                         dialog, [&] { return ShowsFailure(dialog); }, 60000),
                     "message 104");
    });
    for (const std::string& dated : Entries(folder))
        WT_CHECK_EQ(Entries(folder + "\\" + dated).size(), size_t(0));
}
#endif

// The camera goes away in the middle of a file: message 104, the countdown ends the dialog,
// and no partial file is left.
WT_TEST(UnpluggedMidTransferLeavesNoFile) {
    camsim::Profile profile;
    profile.blockSize = 1024;
    profile.files = {File("BIG", "JPG", Pattern(200000, 3))};
    profile.faults = {{camsim::FaultKind::Unplug, 42, camsim::Direction::Set, 20}};
    camsim::CameraModel model(profile);
    std::string folder = FreshFolder("unplug");
    INT_PTR result = RunMainDialog(model, folder, {20, 200}, [&](HWND dialog) {
        Download(dialog, {"BIG"}, false);
        WT_CHECK_MSG(windriver::WaitUntilSettled(dialog, [&] { return ShowsFailure(dialog); }),
                     "message 104");
        WT_CHECK(windriver::IsVisible(dialog, IDC_COUNTDOWN));
        WT_CHECK_EQ(Statuses(dialog), std::string("BIG=Error! "));
        WT_CHECK_MSG(Ready(dialog), "mode 2 after the failure");
        windriver::Hold();
    });
    WT_CHECK_EQ(int(result), IDCANCEL);
    const std::string dated = DatedFolder(folder);
    WT_CHECK_EQ(Listing(folder), dated + " ");
    WT_CHECK_EQ(Entries(folder + "\\" + dated).size(), size_t(0));
}

// Closing the dialog in the middle of a file deletes it, as Cancel does; Cancel itself leaves
// the connection serving.
WT_TEST(CancelOrCloseMidTransferLeavesNoFile) {
    for (bool close : {false, true}) {
        const char* what = close ? "close" : "cancel";
        camsim::Profile profile;
        profile.blockSize = 512;
        profile.files = {File("BIG", "JPG", Pattern(300000, 4))};
        camsim::CameraModel model(profile);
        std::string folder = FreshFolder(close ? "close" : "cancel");
        RunMainDialog(model, folder, kOneRoundATick, [&](HWND dialog) {
            Download(dialog, {"BIG"}, false);
            // 2% of the file is past its first 4096 bytes.
            WT_CHECK_MSG(
                windriver::WaitUntilSettled(dialog, [&] { return ShownPercent(dialog) >= 2; }),
                what);
            WT_CHECK_EQ(Statuses(dialog), std::string("BIG=Downloading "));
            if (close) {
                WT_CHECK(windriver::Close(dialog));
                return;
            }
            WT_CHECK(windriver::Press(dialog, IDC_CANCEL_RUN));
            WT_CHECK_MSG(Ready(dialog), what);
            WT_CHECK_EQ(Statuses(dialog), std::string("BIG= "));
            WT_CHECK_MSG(Entries(folder + "\\" + DatedFolder(folder)).empty(), what);
            WT_CHECK(windriver::Press(dialog, IDOK));
        });
        WT_CHECK_MSG(Entries(folder + "\\" + DatedFolder(folder)).empty(), what);
    }
}

// Names from the catalogue that are not plain file names, or that the platform opens as
// devices, never reach the file system: not even the dated folder is made for them. (Wine
// itself refuses to create most device names, so only this tells our refusal from its.)
WT_TEST(HostileNamesNeverReachTheFileSystem) {
    const char* const names[] = {"..",      "CON",    "NUL", "COM1", "lpt0",
                                 "COM\xB9", "CONIN$", "A*B", "C:X",  "A\\B"};
    for (const char* name : names) {
        camsim::Profile profile;
        profile.files = {File("~GOOD", "JPG", Pattern(100, 5))};
        profile.extraEntries = {RawEntry(name, "JPG", 100)};
        camsim::CameraModel model(profile);
        std::string folder = FreshFolder("hostile");
        RunMainDialog(model, folder, kFast, [&](HWND dialog) {
            Download(dialog, {name}, false);
            WT_CHECK_MSG(windriver::WaitUntilSettled(dialog, [&] { return ShowsFailure(dialog); }),
                         name);
            WT_CHECK_MSG(Statuses(dialog) == "~GOOD= " + Shown(name) + "=Error! ",
                         name + (": " + Statuses(dialog)));
            WT_CHECK(windriver::Close(dialog));
        });
        WT_CHECK_MSG(Listing(folder).empty(), name + (": " + Listing(folder)));
    }
}

// A refused request, or a block length that is negative as signed, fails the run: message
// 104, the item shows "Error!", no file is left, and a file whose delete was refused stays
// listed and on the camera.
WT_TEST(RefusalsAndBadLengthsFailTheRun) {
    using camsim::Direction;
    using camsim::FaultKind;
    struct Row {
        const char* what;
        camsim::Fault fault;
        int button;
        size_t cameraKeeps;
    };
    const Row rows[] = {
        {"file open refused", {FaultKind::Fail, 41, Direction::Set, 1}, IDC_DOWNLOAD, 1},
        {"file next refused", {FaultKind::Fail, 42, Direction::Set, 1}, IDC_DOWNLOAD, 1},
        {"block length 0x80000000",
         {FaultKind::HugeLength, 41, Direction::Set, 1, 0x80000000},
         IDC_DOWNLOAD,
         1},
        {"file delete refused", {FaultKind::Fail, 43, Direction::Set, 1}, IDC_DELETE, 1},
        {"file delete answers error",
         {FaultKind::StatusError, 43, Direction::Set, 1},
         IDC_DELETE,
         0},
    };
    for (const Row& row : rows) {
        camsim::Profile profile;
        profile.blockSize = 1024;
        profile.files = {File("PIC", "JPG", Pattern(3000, 10))};
        profile.faults = {row.fault};
        camsim::CameraModel model(profile);
        std::string folder = FreshFolder("refused");
        RunMainDialog(model, folder, kFast, [&](HWND dialog) {
            WT_CHECK_MSG(windriver::WaitUntilSettled(dialog, [&] { return Ready(dialog); }),
                         row.what);
            SelectRow(dialog, "PIC");
            WT_CHECK(windriver::Press(dialog, row.button));
            WT_CHECK_MSG(windriver::WaitUntilSettled(dialog, [&] { return ShowsFailure(dialog); }),
                         row.what);
            WT_CHECK_MSG(Statuses(dialog) == "PIC=Error! ", row.what + (": " + Statuses(dialog)));
            WT_CHECK_MSG(Ready(dialog), row.what);
            windriver::Hold();
            WT_CHECK(windriver::Close(dialog));
        });
        for (const std::string& dated : Entries(folder))
            WT_CHECK_MSG(Entries(folder + "\\" + dated).empty(), row.what);
        WT_CHECK_MSG(model.files().size() == row.cameraKeeps, row.what);
    }
}

// "abc.jpg" and "ABC.JPG" are two files on the camera and one on disk: the later download
// replaces the earlier one's file, whose row then no longer says "Saved".
WT_TEST(NamesDifferingInCaseShareOneFile) {
    camsim::Profile profile;
    profile.files = {File("abc", "jpg", Pattern(100, 8)), File("ABC", "JPG", Pattern(200, 9))};
    camsim::CameraModel model(profile);
    std::string folder = FreshFolder("case");
    RunMainDialog(model, folder, kFast, [&](HWND dialog) {
        Download(dialog, {"abc", "ABC"}, false);
        WT_CHECK_MSG(windriver::WaitUntilSettled(dialog, [&] { return Ready(dialog); }),
                     "the run ends");
        WT_CHECK_EQ(Statuses(dialog), std::string("abc= ABC=Saved "));
        windriver::Hold();
        WT_CHECK(windriver::Press(dialog, IDOK));
    });
    const std::string dated = DatedFolder(folder);
    WT_CHECK_EQ(Entries(folder + "\\" + dated).size(), size_t(1));
    std::vector<uint8_t> bytes;
    WT_CHECK(ReadWhole(folder + "\\" + dated + "\\ABC.JPG", bytes) &&
             bytes == profile.files[1].content);
}

#ifdef CAMFETCH_TEST_FILE_LIMIT
// A disk that fills up, the way a process sees it: a file-size limit makes every write past
// 20,000 bytes fail. The small file before it is saved; the large one ends the run with the
// message that names the folder, its partial file is removed, and the connection goes on.
WT_TEST(FullDiskEndsTheRunWithItsMessageAndKeepsTheConnection) {
    camsim::Profile profile;
    profile.files = {File("FULL", "JPG", Pattern(50000, 6)), File("SMALL", "JPG", Pattern(100, 7))};
    camsim::CameraModel model(profile);
    std::string folder = FreshFolder("full_disk");
    std::string dated;
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit old = {};
    getrlimit(RLIMIT_FSIZE, &old);
    RunMainDialog(model, folder, {20, 20}, [&](HWND dialog) {
        struct rlimit limit = {20000, old.rlim_max};
        WT_CHECK(setrlimit(RLIMIT_FSIZE, &limit) == 0);
        Download(dialog, {"FULL", "SMALL"}, false);
        // The run makes the dated folder before it writes the first file.
        WT_CHECK(windriver::WaitUntil([&] { return !Entries(folder).empty(); }));
        dated = DatedFolder(folder);
        char text[512] = {};
        LoadStringA(GetModuleHandleW(nullptr), IDS_FILE_NOT_WRITTEN, text, sizeof text);
        std::string expected = text;
        expected.replace(expected.find("%s"), 2, folder + "\\" + dated);
        WT_CHECK_MSG(
            windriver::WaitUntilSettled(
                dialog, [&] { return windriver::ControlText(dialog, IDC_MESSAGE) == expected; }),
            "the full disk's message");
        setrlimit(RLIMIT_FSIZE, &old);
        WT_CHECK_EQ(Statuses(dialog), std::string("SMALL=Saved FULL=Error! "));
        WT_CHECK_MSG(Ready(dialog), "mode 2: another folder can be chosen");
        WT_CHECK_MSG(!windriver::IsVisible(dialog, IDC_COUNTDOWN), "no countdown");
        WT_CHECK(windriver::Press(dialog, IDOK));
    });
    setrlimit(RLIMIT_FSIZE, &old);
    WT_CHECK_EQ(Listing(folder + "\\" + dated), std::string("SMALL.JPG "));
}
#endif

int main(int argc, char** argv) {
    windriver::TakeHoldOption(argc, argv);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    return wintest::RunAll(argc, argv);
}
