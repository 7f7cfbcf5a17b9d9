// camflash.exe itself, started in its own process against the simulated camera's filter and
// driven as a person would (tools/windriver): every message box with its exact text, caption,
// buttons and icon, the DRAM Setting dialog with its file chooser and remembered path, and
// the camera exchange that the filter's trace file records.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "camera_model.h"
#include "trace_ops.h"
#include "wide_string_win.h"
#include "windriver.h"
#include "wintest.h"

namespace {

const std::string kCaption = "ZQ71RU_V2.0.1.0 UPDATE FIRMWARE";
const std::string kInitialStatus =
    "Are you sure you will update your device firmware? If so, please press Update button. "
    "Otherwise press Exit button.";
const std::string kQuestion =
    "Are you sure you will update your device firmware? \t\t\t\tIf so, please press Update "
    "button. Otherwise press Exit button.";
const std::string kPleaseWait = "Please wait for finish update !!";
const std::string kString1 =
    "Device can't be initialized. Please check driver or hardware settings.";
const std::string kString2 =
    "Firmware update failed. Please check USB connection or firmware file to make sure cable "
    "is plugged in and firmware file is present.";
const std::string kString5 = "Firmware update finished !!";
const std::string kProgramming = "Programming the camera's flash. Do not unplug the camera.";
const std::string kDramCaption = "DRAM Setting ";
const char kSettingKey[] = "Software\\Voreruvoru\\camflash\\DRAM Setting";
constexpr int kUpdate = 1000, kStatus = 1001, kDramFile = 1429, kDramBrowse = 1430;

std::string Scratch() { return windriver::Environment("TEST_SCRATCH"); }

std::string Join(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
}

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char c : bytes) {
        text += ' ';
        text += digits[c >> 4];
        text += digits[c & 15];
    }
    return text;
}

// Bytes 3, 8, 13, ...: no two neighbours alike, so a shifted or cut copy shows.
std::string Image(size_t length) {
    std::string image;
    for (size_t i = 0; i < length; ++i) image += char(i * 5 + 3);
    return image;
}

// The trace file read back as camera operations (trace_ops.h); a line that is not a trace
// record stands alone in the result, so that every comparison with it fails.
std::vector<std::string> Operations(const std::vector<std::string>& trace) {
    std::vector<camsim::TraceRecord> records;
    for (const std::string& line : trace) {
        camsim::TraceRecord record;
        if (!camsim::ParseTraceRecord(line, record)) return {"not a trace record: " + line};
        records.push_back(record);
    }
    return camflash_test::TraceOperations(records);
}

using camflash_test::CountOf;

size_t CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    size_t n = 0;
    for (const std::string& line : lines) n += line.compare(0, prefix.size(), prefix) == 0;
    return n;
}

// The DRAM script the program offers, kept in the registry under the program's name.
void RememberScript(const std::string& windowsPath) {
    windriver::SetRegistryString(HKEY_CURRENT_USER, kSettingKey, "FileName", windowsPath);
}

void ForgetScript() { windriver::DeleteRegistryKey(HKEY_CURRENT_USER, kSettingKey); }

// The remembered path; "(none)" without the key or its value.
std::string RememberedScript() {
    return windriver::RegistryString(HKEY_CURRENT_USER, kSettingKey, "FileName").value_or("(none)");
}

// One camflash process with its camera profile, firmware file and script in a folder of
// its own. By default the script dram.txt of that folder is the remembered one.
struct Session {
    std::string dir;
    windriver::Process process;
    HWND main = nullptr;

    Session(const std::string& name, const std::string& profile, const std::string* image,
            const std::string& script = "", bool remember = true) {
        dir = Scratch() + "/" + name;
        CreateDirectoryA(windriver::WindowsPath(dir).c_str(), nullptr);
        windriver::RemoveFile(dir + "/trace.txt");
        windriver::RemoveFile(dir + "/DUVOZE.bin");
        windriver::WriteTextFile(dir + "/camera.profile", profile + "\ntrace trace.txt\n");
        if (image) windriver::WriteTextFile(dir + "/DUVOZE.bin", *image);
        windriver::WriteTextFile(dir + "/dram.txt", script);
        ForgetScript();
        if (remember) RememberScript(Path("dram.txt"));
    }

    // A file of the session's folder as the program sees it.
    std::string Path(const std::string& name) const {
        return windriver::WindowsPath(dir + "/" + name);
    }

    bool Start(bool expectMain = true) {
        windriver::StartOptions options;
        options.program = windriver::Environment("CAMFLASH_EXE");
        options.workingDirectory = dir;
        options.environment = {{"CAMSIM_PROFILE", windriver::WindowsPath(dir + "/camera.profile")}};
        if (!process.Start(options)) {
            WT_CHECK_MSG(false, process.Error());
            return false;
        }
        if (!expectMain) return true;
        main = windriver::WaitForWindow(process.Id(), "#32770", kCaption);
        WT_CHECK_MSG(main != nullptr, dir);
        return main != nullptr;
    }

    // Waits for the next message box, checks it is the program's warning with this text and
    // only an OK button, and presses OK.
    void ExpectMessage(const std::string& text, const std::string& where = "",
                       DWORD timeoutMs = windriver::kWaitMs) {
        windriver::MessageBoxInfo box;
        bool shown = windriver::WaitForMessageBox(process.Id(), box, main, timeoutMs);
        WT_CHECK_MSG(shown, where + "no message box for: " + text);
        if (!shown) return;
        WT_CHECK_MSG(box.text == text,
                     where + "message \"" + box.text + "\" instead of \"" + text + "\"");
        WT_CHECK_MSG(box.caption == "camflash", where + box.caption);
        WT_CHECK_MSG(box.buttons == std::vector<int>{IDOK}, where + text);
        WT_CHECK_MSG(windriver::MessageBoxIcon(box) == "warning", where + text);
        WT_CHECK(windriver::AnswerMessageBox(box, IDOK));
    }

    // Waits for the DRAM Setting dialog and checks the path it offers.
    HWND Dram(const std::string& shown) {
        HWND dram = windriver::WaitForWindow(process.Id(), "#32770", kDramCaption);
        WT_CHECK_MSG(dram != nullptr, "no DRAM Setting dialog in " + dir);
        if (dram)
            WT_CHECK_MSG(windriver::WaitUntil(
                             [&] { return windriver::ControlText(dram, kDramFile) == shown; }),
                         "DRAM Setting shows \"" + windriver::ControlText(dram, kDramFile) +
                             "\", not \"" + shown + "\"");
        return dram;
    }

    // The DRAM Setting dialog offers this path; a press on button closes it.
    void AnswerDram(int button, const std::string& shown) {
        HWND dram = Dram(shown);
        if (!dram) return;
        WT_CHECK(windriver::Click(dram, button));
        WT_CHECK(windriver::WaitForWindowGone(dram));
    }
    void AnswerDram(int button) { AnswerDram(button, Path("dram.txt")); }

    // The status line once the program is idle again.
    bool StatusBecomes(const std::string& text) {
        bool reached =
            windriver::WaitUntil([&] { return windriver::ControlText(main, kStatus) == text; });
        WT_CHECK_MSG(reached, "status \"" + windriver::ControlText(main, kStatus) +
                                  "\" instead of \"" + text + "\"");
        return reached;
    }

    // Update, from the main dialog showing this status.
    void Update(const std::string& status) {
        StatusBecomes(status);
        WT_CHECK(windriver::Click(main, kUpdate));
    }

    void ExpectExit() {
        DWORD code = 1;
        WT_CHECK_MSG(process.WaitForExit(code), "still running: " + dir);
        WT_CHECK_EQ(code, DWORD(0));
    }

    std::vector<std::string> Trace() const { return windriver::ReadTrace(dir + "/trace.txt"); }
};

struct ControlRow {
    int id;
    const char* className;
    const char* text;
    RECT units;       // left, top, right, bottom in dialog units
    DWORD styleBits;  // must all be set
};

// The controls sit where the template says, in its font, with these classes, texts and styles.
void CheckControls(HWND dialog, const std::string& face, int points,
                   const std::vector<ControlRow>& rows) {
    for (const ControlRow& row : rows) {
        const std::string where = windriver::Text(dialog) + " control " + std::to_string(row.id);
        WT_CHECK_MSG(windriver::Control(dialog, row.id) != nullptr, where);
        if (!windriver::Control(dialog, row.id)) continue;
        WT_CHECK_MSG(windriver::ClassName(windriver::Control(dialog, row.id)) == row.className,
                     where);
        WT_CHECK_MSG(windriver::ControlText(dialog, row.id) == row.text, where);
        WT_CHECK_MSG(
            (windriver::Style(windriver::Control(dialog, row.id)) & row.styleBits) == row.styleBits,
            where);
        // Within a pixel: converting each edge rather than the size can round one away.
        const RECT expected = windriver::DialogUnitsToPixels(face, points, row.units);
        const RECT actual = windriver::ControlRect(dialog, row.id);
        auto closeTo = [](LONG a, LONG b) { return a - b <= 1 && b - a <= 1; };
        char text[128];
        std::snprintf(text, sizeof text, ": expected %ld,%ld-%ld,%ld got %ld,%ld-%ld,%ld",
                      long(expected.left), long(expected.top), long(expected.right),
                      long(expected.bottom), long(actual.left), long(actual.top),
                      long(actual.right), long(actual.bottom));
        WT_CHECK_MSG(closeTo(expected.left, actual.left) && closeTo(expected.top, actual.top) &&
                         closeTo(expected.right, actual.right) &&
                         closeTo(expected.bottom, actual.bottom),
                     where + text);
    }
}

}  // namespace

WT_TEST(DialogsLookAsDesigned) {
    std::string image = Image(4);
    Session s("design", "", &image);
    if (!s.Start()) return;
    WT_CHECK((windriver::Style(s.main) & (WS_CAPTION | WS_SYSMENU | DS_MODALFRAME)) ==
             DWORD(WS_CAPTION | WS_SYSMENU | DS_MODALFRAME));
    WT_CHECK(windriver::ExtendedStyle(s.main) & WS_EX_APPWINDOW);
    CheckControls(s.main, "MS Sans Serif", 8,
                  {{kStatus, "Static", kInitialStatus.c_str(), {19, 15, 244, 46}, SS_LEFT},
                   {kUpdate, "Button", "Update", {101, 88, 151, 102}, BS_PUSHBUTTON},
                   {IDOK, "Button", "Exit", {173, 88, 223, 102}, BS_DEFPUSHBUTTON}});
    // Its icons are asked for in drag_icon_win_test.cpp: Wine does not answer WM_GETICON
    // or WM_QUERYDRAGICON from another process.

    WT_CHECK(windriver::Click(s.main, kUpdate));
    HWND dram = s.Dram(s.Path("dram.txt"));
    if (dram) {
        WT_CHECK((windriver::Style(dram) & (WS_CAPTION | WS_SYSMENU | DS_MODALFRAME)) ==
                 DWORD(WS_CAPTION | WS_SYSMENU | DS_MODALFRAME));
        CheckControls(dram, "System", 10,
                      {{kDramFile,
                        "Edit",
                        s.Path("dram.txt").c_str(),
                        {23, 23, 164, 59},
                        ES_MULTILINE | ES_READONLY | WS_VSCROLL},
                       {kDramBrowse, "Button", "...", {164, 23, 183, 59}, BS_PUSHBUTTON},
                       {IDOK, "Button", "OK", {58, 71, 108, 85}, BS_DEFPUSHBUTTON},
                       {IDCANCEL, "Button", "Cancel", {115, 71, 165, 85}, BS_PUSHBUTTON}});
        // Bordered: dialog templates turn the border of an edit box into a sunken edge.
        HWND edit = windriver::Control(dram, kDramFile);
        WT_CHECK((windriver::Style(edit) & WS_BORDER) ||
                 (windriver::ExtendedStyle(edit) & WS_EX_CLIENTEDGE));
        WT_CHECK(windriver::Click(dram, IDCANCEL));
        WT_CHECK(windriver::WaitForWindowGone(dram));
    }
    s.Update(kQuestion);  // the question again, with its four tabs
    s.AnswerDram(IDCANCEL);
    s.StatusBecomes(kQuestion);
    WT_CHECK(windriver::Click(s.main, IDOK));  // Exit
    s.ExpectExit();
    WT_CHECK_EQ(Join(Operations(s.Trace())), Join({"R 740", "W 7B9=FF", "W 7B9=FF"}));
}

WT_TEST(UpdateWithPreparationThroughTheFilter) {
    std::string image;
    for (int i = 0; i < 101; ++i) image += char(0x30 + i % 64);
    Session s("update", "register 1856 0x25\nfirmware-ready-after 52\nflash-done-after 2", &image,
              "740 DF\r\nSleep 1\r\n0x0C 0x02\r\n");
    if (!s.Start()) return;
    s.Update(kInitialStatus);
    s.AnswerDram(IDOK);
    s.ExpectMessage("Still Waiting for the Firmware Ready!!");
    s.ExpectMessage(kString5);
    s.ExpectMessage("Please ReBoot the device");
    s.ExpectExit();

    const std::vector<std::string> trace = s.Trace();
    const std::vector<std::string> head = {
        "set 0 len=4 40 07 00 00 ok",
        "get 2 len=1 25 ok",  // dialog start: needs preparation
        "set 0 len=4 0c 00 00 00 ok",
        "set 2 len=1 02 ok",
        "set 0 len=4 00 02 00 00 ok",
        "set 2 len=1 00 ok",
        "set 0 len=4 a8 07 00 00 ok",
        "set 2 len=1 00 ok",
        "set 0 len=4 40 07 00 00 ok",
        "get 2 len=1 25 ok",
        "set 0 len=4 40 07 00 00 ok",
        "set 2 len=1 05 ok",
        "set 0 len=4 b9 07 00 00 ok",
        "set 2 len=1 ff ok",
        "set 0 len=4 40 07 00 00 ok",
        "set 2 len=1 df ok",  // the script
        "set 0 len=4 0c 00 00 00 ok",
        "set 2 len=1 02 ok",
        "set 20 len=111" + Hex(std::string("\x6f\0\0\0", 4) + image + std::string(6, '\0')) + " ok",
    };
    WT_CHECK(trace.size() >= head.size());
    for (size_t i = 0; i < head.size() && i < trace.size(); ++i)
        WT_CHECK_MSG(trace[i] == head[i], "trace line " + std::to_string(i) + ": " + trace[i]);
    std::vector<std::string> tail(trace.begin() + std::min(trace.size(), head.size()), trace.end());
    WT_CHECK_EQ(CountPrefix(tail, "get 67 len=4 00 00 00 00 ok"), size_t(52));
    WT_CHECK_EQ(CountPrefix(tail, "get 67 len=4 01 00 00 00 ok"), size_t(1));
    WT_CHECK_EQ(CountPrefix(tail, "set 24 len=0 null ok"), size_t(1));
    WT_CHECK_EQ(CountPrefix(tail, "set 49 len=0 null ok"), size_t(1));
    WT_CHECK_EQ(CountPrefix(tail, "get 34 len=12"), size_t(3));
    WT_CHECK_EQ(tail.size(), size_t(52 + 1 + 1 + 1 + 3));
}

WT_TEST(DownloadBufferForEachImageLength) {
    // The buffer: its length as a little-endian word, the image, zeros to a multiple of four
    // plus four more.
    struct Row {
        size_t length;
        size_t total;
    } rows[] = {{0, 7}, {1, 11}, {4, 11}, {100, 107}, {101, 111}};
    for (const Row& row : rows) {
        const std::string name = "L=" + std::to_string(row.length) + ": ";
        const std::string image = Image(row.length);
        Session s("buffer", "", &image);
        if (!s.Start()) return;
        s.Update(kInitialStatus);
        s.AnswerDram(IDOK);
        s.ExpectMessage(kString5, name);
        s.ExpectExit();
        std::string expected(4, '\0');
        expected[0] = char(row.total);
        expected += image + std::string(row.total - 4 - row.length, '\0');
        const std::vector<std::string> trace = s.Trace();
        WT_CHECK_MSG(CountPrefix(trace, "set 20 ") == 1, name + "downloads");
        WT_CHECK_MSG(
            CountOf(trace, "set 20 len=" + std::to_string(row.total) + Hex(expected) + " ok") == 1,
            name + "buffer");
    }
}

WT_TEST(CancelFailureAndUpdateAgain) {
    std::string image = Image(4);
    Session s("again", "fault fail 20 set nth=1", &image);
    if (!s.Start()) return;
    s.Update(kInitialStatus);
    s.AnswerDram(IDCANCEL);
    s.Update(kQuestion);  // a cancel puts the question back, with its four tabs
    s.AnswerDram(IDOK);
    s.ExpectMessage("DownloadFirmware Failed");
    s.Update(kPleaseWait);  // after a failure the dialog stays, and Update works again
    s.AnswerDram(IDOK);
    s.ExpectMessage(kString5);  // register 1856 reads 0: no reboot message
    s.ExpectExit();
    WT_CHECK_EQ(Join(Operations(s.Trace())),
                Join({"R 740", "W 7B9=FF", "W 7B9=FF", "download 11!", "W 7B9=FF", "download 11",
                      "ready?", "flash", "request", "status"}));
}

WT_TEST(DramDialogChoosesAndRemembersTheScript) {
    std::string image = Image(1);
    {
        // Nothing remembered: OK without a file, a cancelled chooser, then a chosen file.
        Session s("choose", "", &image, "", false);
        windriver::WriteTextFile(s.dir + "/first.txt", "20 1\n");
        if (!s.Start()) return;
        s.Update(kInitialStatus);
        HWND dram = s.Dram("");
        if (!dram) return;
        WT_CHECK(windriver::Click(dram, IDOK));
        s.ExpectMessage("Please select a DRAM setting file");
        WT_CHECK(windriver::Click(dram, kDramBrowse));
        HWND chooser = windriver::WaitForFileDialog(s.process.Id());
        WT_CHECK(chooser != nullptr);
        WT_CHECK(windriver::CancelFileDialog(chooser));
        WT_CHECK_EQ(windriver::ControlText(dram, kDramFile), std::string());
        WT_CHECK(windriver::Click(dram, kDramBrowse));
        chooser = windriver::WaitForFileDialog(s.process.Id());
        WT_CHECK(chooser != nullptr);
        WT_CHECK(windriver::ChooseFile(chooser, s.dir + "/first.txt"));
        s.AnswerDram(IDOK, s.Path("first.txt"));
        s.ExpectMessage(kString5);
        s.ExpectExit();
        WT_CHECK_EQ(Join(Operations(s.Trace())),
                    Join({"R 740", "W 7B9=FF", "W 20=01", "download 11", "ready?", "flash",
                          "request", "status"}));
        WT_CHECK_EQ(RememberedScript(), s.Path("first.txt"));
    }
    {
        // The next start offers the remembered path; a cancelled dialog remembers nothing,
        // not even a file chosen in it.
        Session s("choose", "", &image, "", false);
        RememberScript(s.Path("first.txt"));
        windriver::WriteTextFile(s.dir + "/second.txt", "30 2\n");
        if (!s.Start()) return;
        s.Update(kInitialStatus);
        HWND dram = s.Dram(s.Path("first.txt"));
        if (!dram) return;
        WT_CHECK(windriver::Click(dram, kDramBrowse));
        HWND chooser = windriver::WaitForFileDialog(s.process.Id());
        WT_CHECK(windriver::ChooseFile(chooser, s.dir + "/second.txt"));
        s.AnswerDram(IDCANCEL, s.Path("second.txt"));
        s.StatusBecomes(kQuestion);
        WT_CHECK(windriver::Click(s.main, IDOK));  // Exit
        s.ExpectExit();
        WT_CHECK_EQ(RememberedScript(), s.Path("first.txt"));
        WT_CHECK_EQ(Join(Operations(s.Trace())), Join({"R 740", "W 7B9=FF"}));
    }
}

// The remembered path read as the program stores it (wide), in UTF-8; "(none)" without it.
std::string RememberedScriptWide() {
    wchar_t value[1024] = {};
    DWORD bytes = sizeof value - sizeof value[0];
    if (RegGetValueW(HKEY_CURRENT_USER, camtools::Widen(kSettingKey).c_str(), L"FileName",
                     RRF_RT_REG_SZ, nullptr, value, &bytes) != ERROR_SUCCESS)
        return "(none)";
    return camtools::Narrow(camtools::WString(value));
}

// A script in a folder whose name the ANSI code page cannot spell plays when chosen in the
// file chooser, and again when the next start offers it from the registry.
WT_TEST(DramScriptInAFolderNamedInCyrillic) {
    const std::string image = Image(1);
    Session s("cyrillic", "", &image, "", false);
    const std::string folder =
        s.dir + "/\u041f\u0440\u043e\u0448\u0438\u0432\u043a\u0430";  // Прошивка
    CreateDirectoryW(camtools::Widen(windriver::WindowsPath(folder)).c_str(), nullptr);
    WT_CHECK(windriver::WriteTextFile(folder + "/dram.txt", "20 1\n"));
    const std::string script = windriver::WindowsPath(folder + "/dram.txt");
    for (int run = 0; run < 2; ++run) {
        const std::string name = run == 0 ? "chosen: " : "remembered: ";
        windriver::RemoveFile(s.dir + "/trace.txt");
        if (!s.Start()) return;
        s.Update(kInitialStatus);
        if (run == 0) {
            HWND dram = s.Dram("");
            if (!dram) return;
            WT_CHECK(windriver::Click(dram, kDramBrowse));
            HWND chooser = windriver::WaitForFileDialog(s.process.Id());
            WT_CHECK_MSG(chooser != nullptr, name + "no file chooser");
            if (!chooser) return;
            WT_CHECK_MSG(windriver::ChooseFile(chooser, folder + "/dram.txt"), name + script);
        }
        s.AnswerDram(IDOK, script);
        s.ExpectMessage(kString5, name);
        s.ExpectExit();
        WT_CHECK_EQ(Join(Operations(s.Trace())),
                    Join({"R 740", "W 7B9=FF", "W 20=01", "download 11", "ready?", "flash",
                          "request", "status"}));
        WT_CHECK_EQ(RememberedScriptWide(), script);
    }
}

// The flash poll gives up only after its 50,002 status reads, which take the PE build about
// 18 s under Wine: the wait for its message is a guard against a hang, not a time limit.
constexpr DWORD kWholePollWaitMs = 180000;

WT_TEST(FailuresLeaveTheDialogOpen) {
    struct Row {
        const char* name;
        const char* profile;
        bool imagePresent;
        std::vector<std::string> messages;
        const char* lastOperation;  // where the exchange stopped; null: nothing sent
    };
    const std::vector<Row> rows = {
        {"image missing", "", false, {kString2}, nullptr},
        {"download fails",
         "fault fail 20 set nth=1",
         true,
         {"DownloadFirmware Failed"},
         "download 15!"},
        {"flash programming fails",
         "fault fail 24 set nth=1",
         true,
         {"UpdateFirmwareToFlash Failed"},
         "flash!"},
        {"status request fails", "fault fail 49 set nth=1", true, {}, "request!"},
        {"status read fails", "fault fail 34 get nth=1", true, {}, "status!"},
        {"never completes",
         "flash-done-after 60000",
         true,
         {"GetSystemInfo Failed!! waiting too long"},
         "status"},
    };
    for (const Row& row : rows) {
        const std::string name = std::string(row.name) + ": ";
        const std::string image = Image(5);
        Session s("failure", row.profile, row.imagePresent ? &image : nullptr);
        if (!s.Start()) return;
        s.Update(kInitialStatus);
        if (row.imagePresent) s.AnswerDram(IDOK);
        for (const std::string& message : row.messages)
            s.ExpectMessage(message, name, kWholePollWaitMs);
        // Wait for the exchange to stop before Exit is pressed, so Exit is the answer to
        // the idle dialog.
        if (row.lastOperation) {
            WT_CHECK_MSG(windriver::WaitUntil([&] {
                             std::vector<std::string> ops = Operations(s.Trace());
                             return !ops.empty() && ops.back() == row.lastOperation;
                         }),
                         name + "the exchange does not end in " + row.lastOperation);
        }
        s.StatusBecomes(row.imagePresent ? kPleaseWait : kInitialStatus);
        WT_CHECK_MSG(windriver::Click(s.main, IDOK), name + "Exit");
        s.ExpectExit();
        const std::vector<std::string> ops = Operations(s.Trace());
        if (!row.lastOperation)
            WT_CHECK_MSG(ops == std::vector<std::string>{"R 740"}, name + Join(ops));
        if (std::string(row.name) == "never completes")
            WT_CHECK_EQ(CountOf(ops, "status"), size_t(50002));
    }
}

WT_TEST(ScriptErrorAndReadinessReminder) {
    // The reminder comes after every 51st poll that finds the firmware not ready; a script
    // that cannot be read is reported and the update goes on without it.
    struct Row {
        int notReadyPolls;
        bool reminder;
    } rows[] = {{50, false}, {51, true}};
    for (const Row& row : rows) {
        const std::string name = "not ready " + std::to_string(row.notReadyPolls) + ": ";
        std::string image = Image(100);
        Session s("reminder", "firmware-ready-after " + std::to_string(row.notReadyPolls), &image,
                  "", false);
        const std::string script = s.Path("gone.txt");
        windriver::RemoveFile(s.dir + "/gone.txt");
        RememberScript(script);
        if (!s.Start()) return;
        s.Update(kInitialStatus);
        s.AnswerDram(IDOK, script);
        s.ExpectMessage("File could not be opened : " + script, name);
        if (row.reminder) s.ExpectMessage("Still Waiting for the Firmware Ready!!", name);
        s.ExpectMessage(kString5, name);
        s.ExpectExit();
        const std::vector<std::string> ops = Operations(s.Trace());
        WT_CHECK_MSG(CountOf(ops, "ready?") == size_t(row.notReadyPolls + 1), name + "polls");
        WT_CHECK_MSG(CountOf(ops, "download 107") == 1, name + "download");
    }
}

// A camera as slow as a real one programs its flash for 20,000 status reads: all the while the
// dialog answers, says what it does and refuses every way out, and the update ends as usual.
WT_TEST(NoWayOutWhileTheFlashIsProgrammed) {
    std::string image = Image(8);
    Session s("flash", "request-latency-us 650\nflash-done-after 20000", &image);
    if (!s.Start()) return;
    auto send = [&](UINT message, WPARAM wParam) {
        DWORD_PTR answer = 0xBAD;
        bool answered = SendMessageTimeoutW(s.main, message, wParam, 0, SMTO_NORMAL,
                                            windriver::kSendMs, &answer) != 0;
        WT_CHECK_MSG(answered, "message " + std::to_string(message) + " not answered");
        return answer;
    };
    WT_CHECK_EQ(send(WM_QUERYENDSESSION, 0), DWORD_PTR(TRUE));  // idle: the session may end
    s.Update(kInitialStatus);
    s.AnswerDram(IDOK);
    if (!s.StatusBecomes(kProgramming)) return;
    WT_CHECK(!windriver::IsEnabled(s.main, kUpdate));
    WT_CHECK(!windriver::IsEnabled(s.main, IDOK));
    WT_CHECK(windriver::Close(s.main));  // the close box
    send(WM_SYSCOMMAND, SC_CLOSE);       // Alt+F4, the system menu's Close
    send(WM_CLOSE, 0);
    send(WM_COMMAND, IDCANCEL);  // Esc
    send(WM_COMMAND, IDOK);      // Enter: the default button, Exit
    send(WM_COMMAND, kUpdate);   // a second Update
    WT_CHECK_EQ(send(WM_QUERYENDSESSION, 0), DWORD_PTR(FALSE));
    WT_CHECK(windriver::Settle(s.main));
    WT_CHECK_EQ(windriver::ControlText(s.main, kStatus), kProgramming);
    WT_CHECK(IsWindowVisible(s.main));  // a dialog ended early would be hidden at once
    // All of it answered while the flash was still being programmed (20,000 reads take 13 s
    // on this link), not once the update had ended.
    WT_CHECK_MSG(CountPrefix(s.Trace(), "get 34 ") < 20001, "answered only after the flash");

    windriver::MessageBoxInfo box;
    WT_CHECK(windriver::WaitForMessageBox(s.process.Id(), box, s.main, 600000));
    WT_CHECK_EQ(box.text, kString5);
    WT_CHECK(windriver::AnswerMessageBox(box, IDOK));
    s.ExpectExit();
    const std::vector<std::string> ops = Operations(s.Trace());
    WT_CHECK_EQ(CountOf(ops, "status"), size_t(20001));
    WT_CHECK_EQ(CountOf(ops, "download 15"), size_t(1));
    WT_CHECK_EQ(ops.back(), std::string("status"));
}

WT_TEST(OneCopyAtATime) {
    Session first("single", "", nullptr);
    if (!first.Start()) return;
    Session second("single", "", nullptr);
    if (second.Start(false)) {
        DWORD code = 1;
        WT_CHECK(second.process.WaitForExit(code));
        WT_CHECK_EQ(code, DWORD(0));
        WT_CHECK(windriver::FindWindowOf(second.process.Id(), "", "") == nullptr);
    }
    WT_CHECK(windriver::Click(first.main, IDOK));
    first.ExpectExit();
}

WT_TEST(WithoutTheCameraTheProgramSaysSoAndEnds) {
    // No video input device at all, and devices whose names differ from the camera's only
    // in case or a trailing blank.
    const std::vector<std::vector<std::string>> rows = {{}, {"ZQ71R camera"}, {"ZQ71R Camera "}};
    for (const auto& devices : rows) {
        const std::string name = "devices \"" + (devices.empty() ? "" : devices[0]) + "\": ";
        windriver::CameraDevices installed(devices);
        WT_CHECK_MSG(installed.Installed(), name);
        Session s("absent", "", nullptr);
        if (!s.Start(false)) return;
        s.ExpectMessage(kString1, name);
        WT_CHECK_MSG(windriver::FindWindowOf(s.process.Id(), "#32770", kCaption) == nullptr, name);
        s.ExpectExit();
        WT_CHECK_MSG(s.Trace().empty(), name);
    }
}

int main(int argc, char** argv) { return wintest::RunAll(argc, argv); }
