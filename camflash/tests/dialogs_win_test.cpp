// The real dialogs of camflash, run in this process against the simulated camera's model
// and answered through UiDriver: every message box with its exact text, caption and
// buttons, the DRAM Setting dialog with its file chooser and remembered path, and the
// camera exchange the trace records.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "camera_channel.h"
#include "camera_model.h"
#include "main_dialog_win.h"
#include "resource.h"
#include "texts.h"
#include "trace_ops.h"
#include "ui_driver_win.h"
#include "win_util_win.h"
#include "wintest.h"

using camflash::Narrow;
using camflash::W;
using camflash::Widen;
using camflash_test::TraceOperations;
using camflash_test::UiDriver;

namespace {

const std::string kString1 = "Device can't be initialized. Please check driver or hardware settings.";
const std::string kString2 =
    "Firmware update failed. Please check USB connection or firmware file to make sure cable "
    "is plugged in and firmware file is present.";
const std::string kString5 = "Firmware update finished !!";
const std::string kInitialStatus =
    "Are you sure you will update your device firmware? If so, please press Update button. "
    "Otherwise press Exit button.";
const std::string kQuestion =
    "Are you sure you will update your device firmware? \t\t\t\tIf so, please press Update "
    "button. Otherwise press Exit button.";
const std::string kPleaseWait = "Please wait for finish update !!";

std::string Join(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
}

// A scratch folder that is the current directory while a test runs.
class Workspace {
public:
    Workspace() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        dir_ = Narrow(camflash::FromWide(temp)) + "camflash_test_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryW(W(Widen(dir_)), nullptr);
        SetCurrentDirectoryW(W(Widen(dir_)));
    }
    std::string Path(const std::string& name) const { return dir_ + "\\" + name; }
    void Write(const std::string& name, const std::string& bytes) const {
        HANDLE file = CreateFileW(W(Widen(Path(name))), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
    void Remove(const std::string& name) const { DeleteFileW(W(Widen(Path(name)))); }

private:
    std::string dir_;
};

std::string Image(size_t length) {
    std::string image;
    for (size_t i = 0; i < length; ++i) image += char(i * 5 + 3);
    return image;
}

void ForgetDramSetting() {
    RegDeleteKeyW(HKEY_CURRENT_USER, W(camflash::SettingsSectionKey(L"DRAM Setting")));
}

// One run of the main dialog against a simulated camera.
struct Run {
    camsim::CameraModel model;
    camera::CameraChannel channel;
    UiDriver ui;
    INT_PTR result = 0;

    explicit Run(camsim::Profile profile)
        : model(std::move(profile)), channel(std::make_unique<camsim::ModelTransport>(model)) {}

    void Go() { result = camflash::RunMainDialog(GetModuleHandleW(nullptr), channel); }
    std::vector<std::string> Operations() const { return TraceOperations(model.trace()); }

    // Every message box was modal, OK only, with the warning icon, captioned with the
    // program's name.
    void CheckMessageBoxes(const std::string& name) const {
        for (const auto& box : ui.messageBoxes) {
            WT_CHECK_EQ(box.caption, Narrow(camflash::ProgramName()));
            WT_CHECK_MSG(box.okOnly, name + ": " + box.messageText);
            WT_CHECK_MSG(box.warningIcon, name + ": " + box.messageText);
        }
    }
};

camsim::Profile Camera(uint8_t register1856 = 0) {
    camsim::Profile profile;
    profile.registers[1856] = register1856;
    return profile;
}

camsim::Fault FailOn(uint32_t property, camsim::Direction direction, uint32_t nth) {
    camsim::Fault fault;
    fault.property = property;
    fault.direction = direction;
    fault.nth = nth;
    return fault;
}

// The control sits at this rectangle in dialog units, give or take the pixel that
// converting each edge rather than the size can round away.
bool HasDialogRect(HWND dialog, int id, int x, int y, int cx, int cy) {
    RECT expected = {x, y, x + cx, y + cy};
    MapDialogRect(dialog, &expected);
    RECT actual;
    GetWindowRect(GetDlgItem(dialog, id), &actual);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
    auto closeTo = [](LONG a, LONG b) { return a - b <= 1 && b - a <= 1; };
    bool ok = closeTo(expected.left, actual.left) && closeTo(expected.top, actual.top) &&
              closeTo(expected.right, actual.right) && closeTo(expected.bottom, actual.bottom);
    if (!ok)
        std::printf("control %d: expected %ld,%ld-%ld,%ld got %ld,%ld-%ld,%ld\n", id,
                    long(expected.left), long(expected.top), long(expected.right),
                    long(expected.bottom), long(actual.left), long(actual.top),
                    long(actual.right), long(actual.bottom));
    return ok;
}

std::string FontFace(HWND window) {
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font);
    return Narrow(camflash::FromWide(font.lfFaceName));
}

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

struct ControlRow {
    int id;
    const char* className;
    const char* text;
    int x, y, cx, cy;
    DWORD styleBits;  // must all be set
};

void CheckDialogTemplate(int dialogId, const char* caption, const char* face, DWORD styleBits,
                         const std::vector<ControlRow>& rows) {
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(dialogId), nullptr,
                                     PlainDialogProc, 0);
    WT_CHECK(dialog != nullptr);
    if (!dialog) return;
    const std::string name = "dialog " + std::to_string(dialogId);
    WT_CHECK_EQ(camflash_test::WindowText(dialog), std::string(caption));
    WT_CHECK_EQ(FontFace(dialog), std::string(face));
    WT_CHECK_MSG((DWORD(GetWindowLongW(dialog, GWL_STYLE)) & styleBits) == styleBits, name);
    for (const ControlRow& row : rows) {
        const std::string where = name + " control " + std::to_string(row.id);
        HWND control = GetDlgItem(dialog, row.id);
        WT_CHECK_MSG(control != nullptr, where);
        if (!control) continue;
        WT_CHECK_MSG(camflash_test::ClassOf(control) == row.className, where);
        WT_CHECK_MSG(camflash_test::WindowText(control) == row.text, where);
        WT_CHECK_MSG(HasDialogRect(dialog, row.id, row.x, row.y, row.cx, row.cy), where);
        WT_CHECK_MSG((DWORD(GetWindowLongW(control, GWL_STYLE)) & row.styleBits) == row.styleBits,
                     where);
    }
    if (dialogId == IDD_DRAM_SETTING) {
        // Bordered: dialog templates turn the border of an edit box into a sunken edge.
        HWND edit = GetDlgItem(dialog, IDC_DRAM_FILE);
        WT_CHECK((GetWindowLongW(edit, GWL_STYLE) & WS_BORDER) ||
                 (GetWindowLongW(edit, GWL_EXSTYLE) & WS_EX_CLIENTEDGE));
    } else {
        WT_CHECK(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_APPWINDOW);
    }
    DestroyWindow(dialog);
}

}  // namespace

WT_TEST(ResourcesMatchTheDesign) {
    CheckDialogTemplate(IDD_CAMFLASH_DIALOG, "ALDWYN UPDATE FIRMWARE", "MS Sans Serif",
                        WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                        {{IDC_STATUS, "Static", kInitialStatus.c_str(), 19, 15, 225, 31, SS_LEFT},
                         {IDC_UPDATE, "Button", "Update", 101, 88, 50, 14, BS_PUSHBUTTON},
                         {IDOK, "Button", "Exit", 173, 88, 50, 14, BS_DEFPUSHBUTTON}});
    CheckDialogTemplate(IDD_DRAM_SETTING, "DRAM Setting ", "System",
                        WS_CAPTION | WS_SYSMENU | DS_MODALFRAME,
                        {{IDC_DRAM_FILE, "Edit", "", 23, 23, 141, 36,
                          ES_MULTILINE | ES_READONLY | WS_VSCROLL},
                         {IDC_DRAM_BROWSE, "Button", "...", 164, 23, 19, 36, BS_PUSHBUTTON},
                         {IDOK, "Button", "OK", 58, 71, 50, 14, BS_DEFPUSHBUTTON},
                         {IDCANCEL, "Button", "Cancel", 115, 71, 50, 14, BS_PUSHBUTTON}});
    for (unsigned id : {1u, 2u, 5u})
        WT_CHECK_EQ(Narrow(camflash::LoadResourceString(id)), std::string(camflash::StringTableText(id)));
    for (int size : {16, 32})
        WT_CHECK(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                            size, size, 0) != nullptr);
}

WT_TEST(WithoutTheCameraString1EndsTheProgram) {
    camsim::Profile profile;
    profile.friendlyName = "ZQ71R Camera ";
    Run run(profile);
    run.Go();
    WT_CHECK_EQ(run.result, INT_PTR(IDOK));
    WT_CHECK_EQ(Join(run.ui.log), Join({"message: " + kString1}));
    WT_CHECK(run.model.trace().empty());
    run.CheckMessageBoxes("no camera");
}

WT_TEST(UpdateWithPreparationFinishesAndEnds) {
    Workspace work;
    work.Write("DUVOZE.bin", Image(101));
    work.Write("dram.txt", "740 DF\r\nSleep 5\r\n0x10 0x1FF\r\n");
    ForgetDramSetting();
    camflash::WriteDramSetting(Widen(work.Path("dram.txt")));
    camsim::Profile profile = Camera(0x25);
    profile.firmwareReadyAfterPolls = 2;
    profile.flashDoneAfterReads = 3;
    Run run(profile);
    run.ui.mainAnswers = {"Update"};
    run.ui.dramAnswers = {"OK"};
    run.Go();
    WT_CHECK_EQ(run.result, INT_PTR(IDOK));
    WT_CHECK_EQ(Join(run.ui.log), Join({"main[" + kInitialStatus + "]: Update",
                                        "dram[" + work.Path("dram.txt") + "]: OK",
                                        "message: " + kString5,
                                        "message: Please ReBoot the device"}));
    WT_CHECK_EQ(Join(run.Operations()),
                Join({"R 740", "W C=02", "W 200=00", "W 7A8=00", "R 740", "W 740=05", "W 7B9=FF",
                      "W 740=DF", "W 10=FF", "download 111", "ready?", "ready?", "ready?", "flash",
                      "request", "status", "status", "status", "status"}));
    std::string sent(run.model.LastFirmwareDownload().begin(), run.model.LastFirmwareDownload().end());
    WT_CHECK_EQ(sent, std::string("\x6F\0\0\0", 4) + Image(101) + std::string(6, '\0'));
    WT_CHECK(!run.channel.IsOpen());  // closed when the dialog went
    WT_CHECK(run.ui.dragIcon == LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)));
    run.CheckMessageBoxes("finish");
}

WT_TEST(DownloadBufferForEachImageLength) {
    struct Row {
        size_t length;
        size_t total;
    } rows[] = {{0, 7}, {1, 11}, {4, 11}, {100, 107}, {101, 111}};
    for (const Row& row : rows) {
        const std::string name = "L=" + std::to_string(row.length);
        Workspace work;
        work.Write("DUVOZE.bin", Image(row.length));
        work.Write("dram.txt", "");
        ForgetDramSetting();
        camflash::WriteDramSetting(Widen(work.Path("dram.txt")));
        Run run(Camera());
        run.ui.mainAnswers = {"Update"};
        run.ui.dramAnswers = {"OK"};
        run.Go();
        std::string expected(4, '\0');
        expected[0] = char(row.total);
        expected += Image(row.length) + std::string(row.total - 4 - row.length, '\0');
        const std::vector<uint8_t>& got = run.model.LastFirmwareDownload();
        WT_CHECK_MSG(std::string(got.begin(), got.end()) == expected, name);
        WT_CHECK_MSG(camflash_test::CountOf(run.Operations(), "download " + std::to_string(row.total)) == 1,
                     name);
        WT_CHECK_MSG(run.ui.log.back() == "message: " + kString5, name);
    }
}

WT_TEST(CancelFailureAndUpdateAgain) {
    Workspace work;
    work.Write("DUVOZE.bin", Image(4));
    work.Write("dram.txt", "");
    ForgetDramSetting();
    camflash::WriteDramSetting(Widen(work.Path("dram.txt")));
    camsim::Profile profile = Camera(0x00);
    profile.faults.push_back(FailOn(20, camsim::Direction::Set, 1));
    Run run(profile);
    run.ui.mainAnswers = {"Update", "Update", "Update"};
    run.ui.dramAnswers = {"Cancel", "OK", "OK"};
    run.Go();
    WT_CHECK_EQ(run.result, INT_PTR(IDOK));
    const std::string dram = "dram[" + work.Path("dram.txt") + "]: ";
    WT_CHECK_EQ(Join(run.ui.log), Join({"main[" + kInitialStatus + "]: Update", dram + "Cancel",
                                        "main[" + kQuestion + "]: Update", dram + "OK",
                                        "message: DownloadFirmware Failed",
                                        "main[" + kPleaseWait + "]: Update", dram + "OK",
                                        "message: " + kString5}));
    WT_CHECK_EQ(Join(run.Operations()),
                Join({"R 740", "W 7B9=FF", "W 7B9=FF", "download 11!", "W 7B9=FF", "download 11",
                      "ready?", "flash", "request", "status"}));
    run.CheckMessageBoxes("cancel and again");
}

WT_TEST(DramDialogChoosesAndRemembersTheScript) {
    Workspace work;
    work.Write("DUVOZE.bin", Image(1));
    work.Write("first.txt", "20 1\n");
    work.Write("second.txt", "30 2\n");
    ForgetDramSetting();
    {
        // OK without a file, a cancelled chooser, then a chosen file.
        Run run(Camera());
        run.ui.mainAnswers = {"Update"};
        run.ui.dramAnswers = {"OK", "Browse", "Browse", "OK"};
        run.ui.openAnswers = {"", work.Path("first.txt")};
        run.Go();
        WT_CHECK_EQ(Join(run.ui.log),
                    Join({"main[" + kInitialStatus + "]: Update", "dram[]: OK",
                          "message: Please select a DRAM setting file", "dram[]: Browse",
                          "open: cancel", "dram[]: Browse", "open: " + work.Path("first.txt"),
                          "dram[" + work.Path("first.txt") + "]: OK", "message: " + kString5}));
        WT_CHECK_EQ(Join(run.Operations()), Join({"R 740", "W 7B9=FF", "W 20=01", "download 11",
                                                  "ready?", "flash", "request", "status"}));
        run.CheckMessageBoxes("choose");
    }
    WT_CHECK_EQ(Narrow(camflash::ReadDramSetting()), work.Path("first.txt"));
    {
        // The next start offers the remembered path; a cancelled dialog remembers nothing,
        // not even a file chosen in it.
        Run run(Camera());
        run.ui.mainAnswers = {"Update", "Exit"};
        run.ui.dramAnswers = {"Browse", "Cancel"};
        run.ui.openAnswers = {work.Path("second.txt")};
        run.Go();
        WT_CHECK_EQ(Join(run.ui.log),
                    Join({"main[" + kInitialStatus + "]: Update",
                          "dram[" + work.Path("first.txt") + "]: Browse",
                          "open: " + work.Path("second.txt"),
                          "dram[" + work.Path("second.txt") + "]: Cancel",
                          "main[" + kQuestion + "]: Exit"}));
        WT_CHECK_EQ(Narrow(camflash::ReadDramSetting()), work.Path("first.txt"));
    }
    // The setting lives under the program's own name.
    HKEY key = nullptr;
    WT_CHECK_EQ(RegOpenKeyExW(HKEY_CURRENT_USER,
                              W(u"Software\\Voreruvoru\\" + camflash::ProgramName() + u"\\DRAM Setting"),
                              0, KEY_READ, &key),
                LONG(ERROR_SUCCESS));
    if (key) RegCloseKey(key);
}

WT_TEST(FailuresLeaveTheDialogOpen) {
    using camsim::Direction;
    struct Row {
        const char* name;
        std::vector<camsim::Fault> faults;
        uint32_t flashDoneAfterReads;
        bool imagePresent;
        bool scriptPresent;
        std::vector<std::string> messages;
        const char* lastOperation;
    };
    const std::string missingScript = "message: File could not be opened : ";
    const std::vector<Row> rows = {
        {"image missing", {}, 0, false, true, {"message: " + kString2}, nullptr},
        {"download fails", {FailOn(20, Direction::Set, 1)}, 0, true, true,
         {"message: DownloadFirmware Failed"}, "download 15!"},
        {"flash programming fails", {FailOn(24, Direction::Set, 1)}, 0, true, true,
         {"message: UpdateFirmwareToFlash Failed"}, "flash!"},
        {"status request fails", {FailOn(49, Direction::Set, 1)}, 0, true, true, {}, "request!"},
        {"status read fails", {FailOn(34, Direction::Get, 1)}, 0, true, true, {}, "status!"},
        {"never completes", {}, 60000, true, true,
         {"message: GetSystemInfo Failed!! waiting too long"}, "status"},
    };
    for (const Row& row : rows) {
        Workspace work;
        work.Write("DUVOZE.bin", Image(5));
        if (!row.imagePresent) work.Remove("DUVOZE.bin");
        work.Write("dram.txt", "");
        ForgetDramSetting();
        camflash::WriteDramSetting(Widen(work.Path("dram.txt")));
        camsim::Profile profile = Camera();
        profile.faults = row.faults;
        profile.flashDoneAfterReads = row.flashDoneAfterReads;
        Run run(profile);
        run.ui.mainAnswers = {"Update", "Exit"};
        run.ui.dramAnswers = {"OK"};
        run.Go();
        WT_CHECK_MSG(run.result == IDOK, row.name);
        std::vector<std::string> expected = {"main[" + kInitialStatus + "]: Update"};
        if (row.imagePresent) expected.push_back("dram[" + work.Path("dram.txt") + "]: OK");
        expected.insert(expected.end(), row.messages.begin(), row.messages.end());
        expected.push_back("main[" + (row.imagePresent ? kPleaseWait : kInitialStatus) + "]: Exit");
        WT_CHECK_MSG(Join(run.ui.log) == Join(expected), std::string(row.name) + ":\n" + Join(run.ui.log));
        std::vector<std::string> ops = run.Operations();
        if (row.lastOperation)
            WT_CHECK_MSG(ops.back() == row.lastOperation, std::string(row.name) + ": " + ops.back());
        else
            WT_CHECK_MSG(ops == std::vector<std::string>{"R 740"}, row.name);
        run.CheckMessageBoxes(row.name);
        if (std::string(row.name) == "never completes")
            WT_CHECK_EQ(camflash_test::CountOf(ops, "status"), size_t(50002));
    }
}

WT_TEST(ScriptErrorAndReadinessReminder) {
    Workspace work;
    work.Write("DUVOZE.bin", Image(100));
    ForgetDramSetting();
    const std::string script = work.Path("gone.txt");
    camflash::WriteDramSetting(Widen(script));
    camsim::Profile profile = Camera();
    profile.firmwareReadyAfterPolls = 60;
    Run run(profile);
    run.ui.mainAnswers = {"Update"};
    run.ui.dramAnswers = {"OK"};
    run.Go();
    WT_CHECK_EQ(Join(run.ui.log),
                Join({"main[" + kInitialStatus + "]: Update", "dram[" + script + "]: OK",
                      "message: File could not be opened : " + script,
                      "message: Still Waiting for the Firmware Ready!!", "message: " + kString5}));
    std::vector<std::string> ops = run.Operations();
    WT_CHECK_EQ(camflash_test::CountOf(ops, "ready?"), size_t(61));
    WT_CHECK_EQ(camflash_test::CountOf(ops, "download 107"), size_t(1));
    run.CheckMessageBoxes("reminder");
}

int main(int argc, char** argv) {
    CoInitialize(nullptr);
    int result = wintest::RunAll(argc, argv);
    CoUninitialize();
    return result;
}
