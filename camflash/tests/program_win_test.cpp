// camflash.exe itself, started in its own process against the simulated camera's filter and
// driven as a person would; the filter's trace file shows what crossed to the camera.
#include <windows.h>

#include <string>
#include <vector>

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
const std::string kString1 = "Device can't be initialized. Please check driver or hardware settings.";
const std::string kString2 =
    "Firmware update failed. Please check USB connection or firmware file to make sure cable "
    "is plugged in and firmware file is present.";
const std::string kString5 = "Firmware update finished !!";
constexpr int kUpdate = 1000, kStatus = 1001, kDramFile = 1429;

std::string Scratch() { return windriver::Environment("TEST_SCRATCH"); }

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

// The DRAM script the program offers: HKCU\Software\Voreruvoru\camflash\DRAM Setting.
void RememberScript(const std::string& windowsPath) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Voreruvoru\\camflash\\DRAM Setting", 0, nullptr,
                    0, KEY_WRITE, nullptr, &key, nullptr);
    RegSetValueExA(key, "FileName", 0, REG_SZ, reinterpret_cast<const BYTE*>(windowsPath.c_str()),
                   DWORD(windowsPath.size() + 1));
    RegCloseKey(key);
}

// One camflash process with its camera profile, firmware file and script in a folder of
// its own.
struct Session {
    std::string dir;
    windriver::Process process;
    HWND main = nullptr;

    Session(const std::string& name, const std::string& profile, const std::string* image,
            const std::string& script) {
        dir = Scratch() + "/" + name;
        CreateDirectoryA(windriver::WindowsPath(dir).c_str(), nullptr);
        windriver::RemoveFile(dir + "/trace.txt");
        windriver::RemoveFile(dir + "/DUVOZE.bin");
        windriver::WriteTextFile(dir + "/camera.profile", profile + "\ntrace trace.txt\n");
        if (image) windriver::WriteTextFile(dir + "/DUVOZE.bin", *image);
        windriver::WriteTextFile(dir + "/dram.txt", script);
        RememberScript(windriver::WindowsPath(dir + "/dram.txt"));
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

    // Answers the next message box with OK after checking its caption and text.
    void ExpectMessage(const std::string& text) {
        windriver::MessageBoxInfo box;
        bool shown = windriver::WaitForMessageBox(process.Id(), box, main);
        WT_CHECK_MSG(shown, "no message box for: " + text);
        if (!shown) return;
        WT_CHECK_EQ(box.text, text);
        WT_CHECK_EQ(box.caption, std::string("camflash"));
        WT_CHECK(windriver::AnswerMessageBox(box, IDOK));
    }

    // Waits for the DRAM Setting dialog, checks the path it offers and presses a button.
    void AnswerDram(int button) {
        HWND dram = windriver::WaitForWindow(process.Id(), "#32770", "DRAM Setting ");
        WT_CHECK(dram != nullptr);
        if (!dram) return;
        WT_CHECK_EQ(windriver::ControlText(dram, kDramFile), windriver::WindowsPath(dir + "/dram.txt"));
        WT_CHECK(windriver::Click(dram, button));
        WT_CHECK(windriver::WaitForWindowGone(dram));
    }

    // The status line once the program is idle again.
    bool StatusBecomes(const std::string& text) {
        return windriver::WaitUntil([&] { return windriver::ControlText(main, kStatus) == text; });
    }

    void ExpectExit() {
        DWORD code = 1;
        WT_CHECK(process.WaitForExit(code));
        WT_CHECK_EQ(code, DWORD(0));
    }

    std::vector<std::string> Trace() const { return windriver::ReadTrace(dir + "/trace.txt"); }
};

size_t CountPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
    size_t n = 0;
    for (const std::string& line : lines) n += line.compare(0, prefix.size(), prefix) == 0;
    return n;
}

}  // namespace

WT_TEST(UpdateWithPreparationThroughTheFilter) {
    std::string image;
    for (int i = 0; i < 101; ++i) image += char(0x30 + i % 64);
    Session s("update", "register 1856 0x25\nfirmware-ready-after 52\nflash-done-after 2", &image,
              "740 DF\r\nSleep 1\r\n0x0C 0x02\r\n");
    if (!s.Start()) return;
    WT_CHECK_EQ(windriver::ControlText(s.main, kStatus), kInitialStatus);
    WT_CHECK(windriver::Click(s.main, kUpdate));
    s.AnswerDram(IDOK);
    s.ExpectMessage("Still Waiting for the Firmware Ready!!");
    s.ExpectMessage(kString5);
    s.ExpectMessage("Please ReBoot the device");
    s.ExpectExit();

    const std::vector<std::string> trace = s.Trace();
    const std::vector<std::string> head = {
        "set 0 len=4 40 07 00 00 ok", "get 2 len=1 25 ok",  // dialog start: needs preparation
        "set 0 len=4 0c 00 00 00 ok", "set 2 len=1 02 ok",
        "set 0 len=4 00 02 00 00 ok", "set 2 len=1 00 ok",
        "set 0 len=4 a8 07 00 00 ok", "set 2 len=1 00 ok",
        "set 0 len=4 40 07 00 00 ok", "get 2 len=1 25 ok",
        "set 0 len=4 40 07 00 00 ok", "set 2 len=1 05 ok",
        "set 0 len=4 b9 07 00 00 ok", "set 2 len=1 ff ok",
        "set 0 len=4 40 07 00 00 ok", "set 2 len=1 df ok",  // the script
        "set 0 len=4 0c 00 00 00 ok", "set 2 len=1 02 ok",
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

WT_TEST(CancelFailureAndAgain) {
    std::string image(4, '\x5a');
    Session s("again", "fault fail 24 set nth=1", &image, "");
    if (!s.Start()) return;
    WT_CHECK(windriver::Click(s.main, kUpdate));
    s.AnswerDram(IDCANCEL);
    WT_CHECK(s.StatusBecomes(kQuestion));
    WT_CHECK(windriver::Click(s.main, kUpdate));
    s.AnswerDram(IDOK);
    s.ExpectMessage("UpdateFirmwareToFlash Failed");
    WT_CHECK(s.StatusBecomes(kPleaseWait));
    WT_CHECK(windriver::Click(s.main, kUpdate));
    s.AnswerDram(IDOK);
    s.ExpectMessage(kString5);  // register 1856 reads 0: no reboot message
    s.ExpectExit();
    const std::vector<std::string> trace = s.Trace();
    WT_CHECK_EQ(CountPrefix(trace, "set 20 len=11 0b 00 00 00 5a 5a 5a 5a 00 00 00 ok"), size_t(2));
    WT_CHECK_EQ(CountPrefix(trace, "set 24 len=0 null fail"), size_t(1));
    WT_CHECK_EQ(CountPrefix(trace, "set 24 len=0 null ok"), size_t(1));
    WT_CHECK_EQ(CountPrefix(trace, "set 0 len=4 b9 07 00 00 ok"), size_t(3));
}

WT_TEST(MissingImageSendsNothing) {
    Session s("noimage", "register 1856 0x20", nullptr, "740 DF\n");
    if (!s.Start()) return;
    WT_CHECK(windriver::Click(s.main, kUpdate));
    s.ExpectMessage(kString2);
    WT_CHECK(s.StatusBecomes(kInitialStatus));
    WT_CHECK(windriver::Click(s.main, IDOK));  // Exit
    s.ExpectExit();
    // Only the dialog's own read of register 1856.
    const std::vector<std::string> trace = s.Trace();
    WT_CHECK_EQ(trace.size(), size_t(2));
    WT_CHECK(trace.size() == 2 && trace[0] == "set 0 len=4 40 07 00 00 ok" &&
             trace[1] == "get 2 len=1 20 ok");
}

WT_TEST(OneCopyAtATimeAndNoCamera) {
    Session first("single", "", nullptr, "");
    if (!first.Start()) return;
    Session second("single", "", nullptr, "");
    if (second.Start(false)) {
        DWORD code = 1;
        WT_CHECK(second.process.WaitForExit(code));
        WT_CHECK_EQ(code, DWORD(0));
        WT_CHECK(windriver::FindWindowOf(second.process.Id(), "", "") == nullptr);
    }
    WT_CHECK(windriver::Click(first.main, IDOK));
    first.ExpectExit();

    windriver::CameraDevices none({"ZQ71R camera"});
    WT_CHECK(none.Installed());
    Session absent("absent", "", nullptr, "");
    if (!absent.Start(false)) return;
    absent.ExpectMessage(kString1);
    absent.ExpectExit();
    WT_CHECK(absent.Trace().empty());
}

int main(int argc, char** argv) { return wintest::RunAll(argc, argv); }
