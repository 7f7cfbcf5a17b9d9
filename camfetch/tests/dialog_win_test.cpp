// The main dialog against the simulated camera, through its real window: list rows, sorting
// by column clicks, selection, control modes, end messages and the countdown.
#include <windows.h>
#include <commctrl.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "camera_model.h"
#include "dialog_run_win.h"
#include "dpi_win.h"
#include "folder_chooser_win.h"
#include "main_dialog_win.h"
#include "resource.h"
#include "scoped_win.h"
#include "wintest.h"

using namespace camfetch;

namespace {

const DialogTiming kFast = {20, 1000};

camsim::StoredFile File(const char* name, const char* ext, size_t size) {
    camsim::StoredFile file;
    file.name = name;
    file.extension = ext;
    file.content.assign(size, 0x5A);
    return file;
}

INT_PTR RunDialog(camsim::CameraModel& model, const DialogTiming& timing,
                  const std::function<void(HWND)>& script) {
    return RunMainDialog(model, "c:\\", timing, script);
}

bool Ready(HWND dialog) { return windriver::IsEnabled(dialog, IDC_DOWNLOAD); }

std::string Rows(HWND dialog) {
    HWND list = GetDlgItem(dialog, IDC_FILE_LIST);
    std::string out;
    for (int row = 0; row < windriver::ListRowCount(list); ++row) {
        for (int column = 0; column < 4; ++column)
            out += windriver::ListCellText(list, row, column) + "|";
        out += std::to_string(windriver::ListItemImage(list, row)) + "\n";
    }
    return out;
}

std::string Names(HWND dialog, bool marks = false) {
    HWND list = GetDlgItem(dialog, IDC_FILE_LIST);
    std::string out;
    for (int row = 0; row < windriver::ListRowCount(list); ++row) {
        out += windriver::ListCellText(list, row, 0);
        UINT state = windriver::ListItemState(list, row, LVIS_SELECTED | LVIS_FOCUSED);
        if (marks && (state & LVIS_SELECTED)) out += "*";
        if (marks && (state & LVIS_FOCUSED)) out += "^";
        out += " ";
    }
    return out;
}

int Count(const camsim::CameraModel& model, uint32_t property, bool get) {
    int n = 0;
    for (const auto& r : model.trace()) n += r.property == property && r.isGet == get;
    return n;
}

camsim::Profile ListedProfile() {
    camsim::Profile profile;
    profile.blockSize = 64;  // two entries a block: the listing takes several ticks
    profile.files = {File("IMG_0002", "JPG", 3000), File("CLIP0001", "avi", 2048),
                     File("SND00001", "WAV", 1023), File("README", "TXT", 10),
                     File("IMG_0010", "Jpg", 1024), File("A", "jpg", 5000)};
    return profile;
}

}  // namespace

WT_TEST(ListedRowsTextsIconsAndOrder) {
    camsim::CameraModel model(ListedProfile());
    INT_PTR result = RunDialog(model, kFast, [&](HWND dialog) {
        WT_CHECK_MSG(windriver::WaitUntilSettled(dialog, [&] { return Ready(dialog); }),
                     "the listing completes");
        WT_CHECK_EQ(Rows(dialog), std::string("SND00001|Wav|0KB||-2\n"
                                              "IMG_0010|Jpeg|1KB||0\n"
                                              "IMG_0002|Jpeg|2KB||0\n"
                                              "CLIP0001|Avi|2KB||1\n"
                                              "A|Jpeg|4KB||0\n"));
        WT_CHECK(windriver::ControlText(dialog, IDC_MESSAGE) == "Camera is connected.");
        WT_CHECK_EQ(windriver::Text(dialog), std::string("Image Download Utility"));
        HWND list = GetDlgItem(dialog, IDC_FILE_LIST);
        HWND header = HWND(SendMessageW(list, LVM_GETHEADER, 0, 0));
        WT_CHECK_EQ(int(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)), 4);
        // Minimised, the dialog is dragged by the program's icon.
        WT_CHECK(HICON(SendMessageW(dialog, WM_QUERYDRAGICON, 0, 0)) != nullptr);
        // The icons and the Name column's icon room follow the window's DPI, also when it
        // changes (the window moved to a monitor of another scaling).
        const int mWidth = int(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, LPARAM(L"MMMMMMMM")));
        for (UINT dpi : {camtools::WindowDpi(dialog), 2 * camtools::WindowDpi(dialog)}) {
            if (dpi != camtools::WindowDpi(dialog))
                SendMessageW(dialog, camtools::kWmDpiChanged, MAKEWPARAM(dpi, dpi), 0);
            const int smallSize = camtools::SystemMetricForDpi(SM_CXSMICON, dpi);
            const int bigSize = camtools::SystemMetricForDpi(SM_CXICON, dpi);
            auto iconSize = [&] {
                int cx = 0, cy = 0;
                ImageList_GetIconSize(ListView_GetImageList(list, LVSIL_SMALL), &cx, &cy);
                return cx;
            };
            const std::string at = " at " + std::to_string(dpi) + " DPI";
            WT_CHECK_MSG(windriver::WaitUntil([&] { return iconSize() == smallSize; }),
                         "list icons " + std::to_string(iconSize()) + at);
            WT_CHECK_EQ(int(SendMessageW(list, LVM_GETCOLUMNWIDTH, 0, 0)), mWidth + smallSize);
            const struct {
                WPARAM which;
                int size;
            } windowIcons[] = {{ICON_BIG, bigSize}, {ICON_SMALL, smallSize}};
            for (const auto& [which, size] : windowIcons) {
                ICONINFO info = {};
                HICON icon = HICON(SendMessageW(dialog, WM_GETICON, which, 0));
                WT_CHECK_MSG(icon && GetIconInfo(icon, &info), "window icon" + at);
                camtools::ScopedGdiObject<HBITMAP> color(info.hbmColor), mask(info.hbmMask);
                BITMAP bitmap = {};
                GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
                WT_CHECK_MSG(bitmap.bmWidth == size,
                             "window icon " + std::to_string(bitmap.bmWidth) + at);
            }
        }
        WT_CHECK(windriver::Press(dialog, IDOK));
    });
    WT_CHECK_EQ(int(result), IDOK);
    // The scan opened the catalogue, and the listing opened it again from its first block.
    WT_CHECK_EQ(Count(model, 39, false), 2);
}

WT_TEST(ColumnClicksSortAndKeepSelection) {
    camsim::CameraModel model(ListedProfile());
    RunDialog(model, kFast, [&](HWND dialog) {
        windriver::WaitUntilSettled(dialog, [&] { return Ready(dialog); });
        HWND list = GetDlgItem(dialog, IDC_FILE_LIST);
        // Select IMG_0002 and CLIP0001, focus CLIP0001.
        const UINT marks = LVIS_SELECTED | LVIS_FOCUSED;
        WT_CHECK(windriver::SetListItemState(list, 2, LVIS_SELECTED, marks));
        WT_CHECK(windriver::SetListItemState(list, 3, marks, marks));
        struct Click {
            int column;
            const char* names;
        };
        const Click clicks[] = {
            {0, "A CLIP0001*^ IMG_0002* IMG_0010 SND00001 "},  // Name: ascending
            {2, "SND00001 IMG_0010 CLIP0001*^ IMG_0002* A "},  // Size ascending
            {2, "A IMG_0002* CLIP0001*^ IMG_0010 SND00001 "},  // Size again: descending
            {0, "SND00001 IMG_0010 IMG_0002* CLIP0001*^ A "},  // Name: descending again
            // Type: by the extension as stored, bytewise ascending: JPG Jpg WAV avi jpg.
            {1, "IMG_0002* IMG_0010 SND00001 CLIP0001*^ A "},
            {3, "IMG_0002* IMG_0010 SND00001 CLIP0001*^ A "},  // Status: the same order again
        };
        for (const Click& click : clicks) {
            windriver::ClickListHeading(list, click.column);
            WT_CHECK_MSG(Names(dialog, true) == click.names,
                         "column " + std::to_string(click.column) + ": " + Names(dialog, true));
        }
        // The texts follow their items.
        WT_CHECK(windriver::ListCellText(list, 0, 1) == "Jpeg");
        WT_CHECK(windriver::ListCellText(list, 3, 1) == "Avi");
        WT_CHECK(windriver::ListCellText(list, 4, 2) == "4KB");
        WT_CHECK(windriver::Press(dialog, IDC_SELECT_ALL));
        WT_CHECK_EQ(Names(dialog, true),
                    std::string("IMG_0002* IMG_0010* SND00001* CLIP0001*^ A* "));
        WT_CHECK(windriver::Press(dialog, IDC_DESELECT_ALL));
        WT_CHECK_EQ(Names(dialog, true), std::string("IMG_0002 IMG_0010 SND00001 CLIP0001^ A "));
        WT_CHECK(windriver::Close(dialog));
    });
}

namespace {

// Controls that follow the mode: id and whether it is enabled in modes 0, 1 and 2.
struct ModeRow {
    int id;
    const char* name;
    bool enabled[3];
};
const ModeRow kModeRows[] = {
    {IDOK, "Exit", {true, true, true}},
    {IDC_HELP_BUTTON, "Help", {false, false, false}},
    {IDC_CONVERT_AVI, "Convert AVI", {true, true, true}},
    {IDC_FILE_LIST, "list", {false, false, true}},
    {IDC_DOWNLOAD, "Download", {false, false, true}},
    {IDC_DELETE, "Delete", {false, false, true}},
    {IDC_CANCEL_RUN, "Cancel", {false, false, false}},
    {IDC_SELECT_ALL, "Select All", {false, false, true}},
    {IDC_DESELECT_ALL, "De-select All", {false, false, true}},
    {IDC_BROWSE, "Browse", {false, false, true}},
    {IDC_DOWNLOAD_FOLDER, "folder", {false, false, true}},
    {IDC_DOWNLOAD_TO_LABEL, "Download to", {false, false, true}},
    {IDC_PROGRESS, "progress", {false, false, false}},
    {IDC_PERCENT, "percent", {false, false, false}},
    {IDC_STATUS_LINE, "status line", {false, false, false}},
    {IDC_REMAINING, "remaining", {false, false, false}},
    {IDC_REMAINING_LABEL, "remaining label", {false, false, false}},
    {IDC_STORAGE_SOURCE, "source box (one source)", {false, false, false}},
    {IDC_STORAGE_SOURCE_LABEL, "source label", {false, false, false}},
};

void CheckMode(HWND dialog, int mode, const char* when) {
    for (const ModeRow& row : kModeRows)
        WT_CHECK_MSG(windriver::IsEnabled(dialog, row.id) == row.enabled[mode],
                     std::string(when) + ": " + row.name);
    WT_CHECK_MSG(!windriver::IsVisible(dialog, IDC_STORAGE_SOURCE), when);
    WT_CHECK_MSG(!windriver::IsVisible(dialog, IDC_STORAGE_SOURCE_LABEL), when);
}

}  // namespace

WT_TEST(ControlsFollowTheConnection) {
    camsim::Profile profile = ListedProfile();
    profile.notReadyPolls = 40;  // each storage answer keeps the camera busy for 40 ticks
    camsim::CameraModel model(profile);
    RunDialog(model, {15, 1000}, [&](HWND dialog) {
        WT_CHECK(
            windriver::ControlText(dialog, IDC_MESSAGE).find("Zandor camera has been detected.") ==
            0);
        CheckMode(dialog, 0, "connecting");
        WT_CHECK_MSG(windriver::WaitUntilSettled(dialog,
                                                 [&] {
                                                     return windriver::ControlText(dialog,
                                                                                   IDC_MESSAGE) ==
                                                            "Camera is connected.";
                                                 }),
                     "connected");
        CheckMode(dialog, 1, "listing");
        WT_CHECK(windriver::WaitUntilSettled(dialog, [&] { return Ready(dialog); }));
        CheckMode(dialog, 2, "ready");
        WT_CHECK(!windriver::IsVisible(dialog, IDC_COUNTDOWN));
        WT_CHECK(windriver::Press(dialog, IDOK));
    });
}

WT_TEST(EndMessagesAndCountdown) {
    struct Row {
        const char* what;
        camsim::Profile profile;
        const char* messageStart;
        int mode;  // the mode the end leaves
    };
    camsim::Profile absent = ListedProfile();
    absent.storagePresent = false;
    camsim::Profile empty;
    camsim::Profile unknownOnly;
    unknownOnly.files = {File("NOTES", "TXT", 10)};
    camsim::Profile queryFails = ListedProfile();
    queryFails.faults = {
        {camsim::FaultKind::Fail, camera::kPropSystemInfoRequest, camsim::Direction::Set, 0, 0}};
    camsim::Profile listingError = ListedProfile();
    listingError.faults = {
        {camsim::FaultKind::StatusError, camera::kPropCatalogueNext, camsim::Direction::Set, 2, 0}};
    camsim::Profile hugeBlock = ListedProfile();
    hugeBlock.faults = {{camsim::FaultKind::HugeLength, camera::kPropCatalogueNext,
                         camsim::Direction::Set, 1, 0x7FFFFFF0}};
    camsim::Profile negativeBlock = ListedProfile();
    negativeBlock.faults = {{camsim::FaultKind::HugeLength, camera::kPropCatalogueNext,
                             camsim::Direction::Set, 1, 0x80000000}};
    const char* noImages =
        "The application has determined that no images are stored in the camera.";
    const char* failed = "An error has occurred. The camera is either unplugged";
    const Row rows[] = {
        {"storage absent", absent, noImages, 0},
        {"empty catalogue", empty, noImages, 0},
        {"only unknown files", unknownOnly, noImages, 0},
        {"storage query fails", queryFails, failed, 0},
        {"error during the listing", listingError, failed, 1},
        {"absurd block length", hugeBlock, failed, 1},
        {"block length negative as signed", negativeBlock, failed, 1},
    };
    for (const Row& row : rows) {
        camsim::CameraModel model(row.profile);
        std::vector<int> seen;
        INT_PTR result = RunDialog(model, {20, 100}, [&](HWND dialog) {
            bool shown = windriver::WaitUntilSettled(
                dialog, [&] { return windriver::IsVisible(dialog, IDC_COUNTDOWN); });
            WT_CHECK_MSG(shown, row.what);
            WT_CHECK_MSG(windriver::ControlText(dialog, IDC_MESSAGE).find(row.messageStart) == 0,
                         row.what);
            WT_CHECK_MSG(windriver::IsVisible(dialog, IDC_COUNTDOWN_LABEL) &&
                             windriver::IsVisible(dialog, IDC_COUNTDOWN_UNIT),
                         row.what);
            windriver::Hold();
            CheckMode(dialog, row.mode, row.what);
            // Watch the seconds until the dialog closes itself.
            while (IsWindow(dialog)) {
                std::string text = windriver::ControlText(dialog, IDC_COUNTDOWN);
                if (!text.empty() && (seen.empty() || seen.back() != std::atoi(text.c_str())))
                    seen.push_back(std::atoi(text.c_str()));
                Sleep(2);
            }
        });
        WT_CHECK_MSG(result == IDCANCEL, row.what);
        WT_CHECK_MSG(!seen.empty() && seen.front() == 15, row.what);
        bool descending = true;
        for (size_t i = 1; i < seen.size(); ++i) descending = descending && seen[i] < seen[i - 1];
        WT_CHECK_MSG(descending && seen.back() <= 1, row.what);
        for (const auto& r : model.trace())
            WT_CHECK_MSG(!(r.property == camera::kPropMemoryData && r.length > 0x100000),
                         std::string(row.what) + ": no huge read");
    }
}

WT_TEST(ExitBeforeTheCountdownEnds) {
    camsim::Profile profile;
    profile.storagePresent = false;
    camsim::CameraModel model(profile);
    INT_PTR result = RunDialog(model, kFast, [&](HWND dialog) {
        WT_CHECK(windriver::WaitUntilSettled(
            dialog, [&] { return windriver::IsVisible(dialog, IDC_COUNTDOWN); }));
        WT_CHECK(windriver::ControlText(dialog, IDC_COUNTDOWN) == "15");
        WT_CHECK(windriver::Press(dialog, IDOK));
    });
    WT_CHECK_EQ(int(result), IDOK);
}

WT_TEST(AboutBoxFromTheSystemMenu) {
    camsim::CameraModel model(ListedProfile());
    RunDialog(model, kFast, [&](HWND dialog) {
        HMENU menu = GetSystemMenu(dialog, FALSE);
        char text[64] = {};
        GetMenuStringA(menu, IDM_ABOUTBOX, text, sizeof text, MF_BYCOMMAND);
        WT_CHECK_EQ(std::string(text), std::string("&About ZandDownload..."));
        int count = GetMenuItemCount(menu);
        WT_CHECK(count >= 2 && GetMenuItemID(menu, count - 1) == IDM_ABOUTBOX);
        WT_CHECK(GetMenuState(menu, UINT(count - 2), MF_BYPOSITION) & MF_SEPARATOR);
        // The low four bits of a system command are the platform's own.
        PostMessageW(dialog, WM_SYSCOMMAND, IDM_ABOUTBOX | 0x3, 0);
        HWND about =
            windriver::WaitForWindow(GetCurrentProcessId(), "#32770", "About ZandDownload");
        WT_CHECK_MSG(about != nullptr, "the About box appears");
        if (about) {
            windriver::Hold();
            WT_CHECK(FindWindowExA(about, nullptr, "Static", "ZandDownload Version 1.0") !=
                     nullptr);
            WT_CHECK(windriver::Click(about, IDOK));
            WT_CHECK(windriver::WaitUntil([&] { return !IsWindow(about); }));
        }
        WT_CHECK(IsWindow(dialog));
        WT_CHECK(windriver::Press(dialog, IDOK));
    });
}

WT_TEST(OldStyleDirectoryPickerReturnsTheCurrentDirectory) {
    struct Row {
        const char* what;
        const char* start;
        const char* result;
        bool ok;
    };
    const Row rows[] = {
        {"a folder", "c:\\windows", "c:\\windows", true},
        {"a drive root", "c:\\", "c:", true},
        {"cancelled", "c:\\windows", "c:\\windows", false},
    };
    for (const Row& row : rows) {
        windriver::Thread driver([&] {
            HWND picker =
                windriver::WaitForWindow(GetCurrentProcessId(), "#32770", "Choose Directory");
            WT_CHECK_MSG(picker != nullptr, row.what);
            if (!picker) return;
            for (int id :
                 {IDC_PICKER_FILE_NAME, IDC_PICKER_FILES, IDC_PICKER_TYPES, IDC_PICKER_TYPES_LABEL,
                  IDC_PICKER_FILE_NAME_LABEL, IDC_PICKER_READ_ONLY})
                WT_CHECK_MSG(!windriver::IsVisible(picker, id),
                             std::string(row.what) + ": hidden " + std::to_string(id));
            for (int id : {IDC_PICKER_DIRECTORIES, IDC_PICKER_DRIVES, IDOK, IDCANCEL})
                WT_CHECK_MSG(windriver::IsVisible(picker, id),
                             std::string(row.what) + ": shown " + std::to_string(id));
            WT_CHECK_MSG(windriver::ControlText(picker, IDC_PICKER_FILE_NAME) == "Junk", row.what);
            windriver::Hold();
            WT_CHECK(windriver::Click(picker, row.ok ? IDOK : IDCANCEL));
        });
        std::string path = row.start;
        bool ok = FolderChooser(path, nullptr, true, "Choose Directory");
        WT_CHECK_MSG(driver.Join(30000), row.what);
        WT_CHECK_MSG(ok == row.ok, row.what);
        for (char& c : path) c = char(std::tolower(static_cast<unsigned char>(c)));
        WT_CHECK_MSG(path == row.result, std::string(row.what) + ": " + path);
    }
}

int main(int argc, char** argv) {
    windriver::TakeHoldOption(argc, argv);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    return wintest::RunAll(argc, argv);
}
