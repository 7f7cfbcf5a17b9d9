// Drives Win32 windows the way a person would: start a program, find its windows, press
// their buttons, read their controls, list views and message boxes, and read the simulated
// camera's trace. The windows may be another process's (a program under test) or this
// process's own, run on its main thread while a second thread drives them (Thread). Used by
// Win32-level test programs (wintest.h) under Wine; see README.md beside this file.
//
// Texts cross this interface as UTF-8 std::string (wide strings are unreliable in Winelib
// programs). Every wait is bounded: a function that waits takes a timeout and reports
// failure when it passes. Reads give up on a window that does not answer within kSendMs;
// only the calls that wait for a handler to finish (Settle, Press, ClickListHeading) wait
// longer, for a dialog busy with a long piece of work.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "scoped_win.h"

namespace windriver {

// Generous bounds for waits; tests never assert how long something took.
constexpr DWORD kWaitMs = 20000;
constexpr DWORD kSendMs = 5000;  // for one message sent to the driven program

// Polls condition every few milliseconds until it holds (true) or timeoutMs pass (false).
bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs = kWaitMs);

// Lets the window's thread finish the message it is handling: a condition read from outside
// can hold while a handler is still half-way through its work. Sends a message that does
// nothing and waits for the answer, through any work in hand, up to timeoutMs.
bool Settle(HWND window, DWORD timeoutMs = kWaitMs);
// WaitUntil, then Settle (a window that has gone counts as settled).
bool WaitUntilSettled(HWND window, const std::function<bool()>& condition,
                      DWORD timeoutMs = kWaitMs);

// How long to keep a window up at the moments a person would want to look at it, for
// screenshots of a test's windows; 0 (the default) in test runs. TakeHoldOption reads it
// from a leading "--hold=MS" argument of a test program and removes that argument.
DWORD& HoldMs();
void Hold();
void TakeHoldOption(int& argc, char**& argv);

// ---- Paths ---------------------------------------------------------------------------------

// A Windows path for a path that may be a Unix one (as CMake and the shell write them):
// under Wine, "/a/b" becomes "Z:\a\b". Windows paths are returned as they are.
std::string WindowsPath(const std::string& path);
// The value of an environment variable ("" when unset), and its path made Windows-style.
std::string Environment(const std::string& name);
std::string EnvironmentPath(const std::string& name);

// Sets (or, with an empty value, removes) a variable of this process's environment for the
// object's lifetime, then restores what was there. In-process tests use it for what the
// simulated camera's filter reads when it is created (CAMSIM_PROFILE).
class ScopedEnvironment {
public:
    ScopedEnvironment(const std::string& name, const std::string& value);
    ~ScopedEnvironment();
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

private:
    std::string name_;
    bool hadValue_;
    std::string oldValue_;
};

// ---- Processes -----------------------------------------------------------------------------

struct StartOptions {
    // The program: a Windows executable or a Winelib launcher NAME.exe (its NAME.exe.so is
    // started). Unix or Windows path.
    std::string program;
    std::string arguments;         // appended to the quoted program path
    std::string workingDirectory;  // empty: the driver's own
    // Variables set in the program's environment on top of the driver's own; an empty
    // value removes the variable.
    std::vector<std::pair<std::string, std::string>> environment;
};

// A started program. The destructor kills it if it is still running, so a failed test
// never leaves a process behind.
class Process {
public:
    Process() = default;
    ~Process();
    Process(Process&& other) noexcept;
    Process& operator=(Process&& other) noexcept;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts the program; on failure returns false and Error() says why.
    bool Start(const StartOptions& options);
    DWORD Id() const { return id_; }
    bool Running() const;
    // Waits until the program ends and gives its exit code; false when it is still running
    // after timeoutMs.
    bool WaitForExit(DWORD& exitCode, DWORD timeoutMs = kWaitMs);
    // Ends the program at once (exit code 255) and waits for it to go.
    void Kill();
    const std::string& Error() const { return error_; }

private:
    void Close();
    camtools::ScopedHandle process_;
    DWORD id_ = 0;
    std::string error_;
};

// Runs a body on a thread of this process. An in-process test runs the window under test on
// its main thread, modal as in the product, and drives it from the body. The destructor
// waits for the body; one still running after kWaitMs is terminated, so that it cannot
// outlive what it refers to.
class Thread {
public:
    explicit Thread(std::function<void()> body);
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // Waits for the body to end; false when it is still running after timeoutMs.
    bool Join(DWORD timeoutMs = kWaitMs);

private:
    static DWORD WINAPI Run(LPVOID self);
    std::function<void()> body_;
    camtools::ScopedHandle thread_;
};

// ---- Windows and controls ------------------------------------------------------------------

// A visible top-level window of the process (GetCurrentProcessId() for this one's) with this
// class (e.g. "#32770" for dialogs) and caption, other than `except`; an empty class or
// caption matches any. Null when there is none.
HWND FindWindowOf(DWORD processId, const std::string& className, const std::string& caption,
                  HWND except = nullptr);
// The same, waiting for it to appear.
HWND WaitForWindow(DWORD processId, const std::string& className, const std::string& caption,
                   DWORD timeoutMs = kWaitMs, HWND except = nullptr);
// Waits until the window is gone or hidden.
bool WaitForWindowGone(HWND window, DWORD timeoutMs = kWaitMs);

std::string ClassName(HWND window);
// The window's text (WM_GETTEXT), or "" when it does not answer.
std::string Text(HWND window);

// Controls of a dialog by their ids. The functions taking (dialog, id) fail (false, "" or
// -1) when the control does not exist.
HWND Control(HWND dialog, int id);
std::string ControlText(HWND dialog, int id);
bool IsEnabled(HWND dialog, int id);
bool IsVisible(HWND dialog, int id);
// BST_UNCHECKED, BST_CHECKED, BST_INDETERMINATE, or -1.
int CheckState(HWND dialog, int id);
// Presses the button as a click would (BM_CLICK, posted, so a handler that opens a modal
// window does not block the driver). Refuses (false) a missing, hidden or disabled button:
// no person could press it.
bool Click(HWND dialog, int id);
// Presses the button and waits until the dialog has handled it: the dialog gets the command
// a click sends (WM_COMMAND, BN_CLICKED), sent rather than posted, so what the handler did is
// there to read when this returns. For handlers that open no modal window; use Click for
// those. Refuses a missing, hidden or disabled button, and fails when the dialog has not
// handled the command within timeoutMs.
bool Press(HWND dialog, int id, DWORD timeoutMs = kWaitMs);
// Asks the window to close, as its close box does (WM_SYSCOMMAND SC_CLOSE, posted).
bool Close(HWND window);
// The window's style bits (GWL_STYLE) and extended style bits (GWL_EXSTYLE).
DWORD Style(HWND window);
DWORD ExtendedStyle(HWND window);
// Where the control sits in its dialog's client area, in pixels; empty when it does not exist.
RECT ControlRect(HWND dialog, int id);
// A rectangle in dialog units turned into pixels as a dialog whose template names this font
// (DS_SETFONT, face and point size) lays out its controls. The driver makes such a dialog
// of its own, hidden, to measure: compared with ControlRect it tells whether a program's
// control sits where its template says, and in the template's font.
RECT DialogUnitsToPixels(const std::string& fontFace, int pointSize, const RECT& units);
// The size of a text drawn in that font (as a static or a button draws it: '&' marks a
// mnemonic), on one line, or with wrapWidth > 0 broken into lines that fit that width.
SIZE TextSize(const std::string& fontFace, int pointSize, const std::string& text,
              int wrapWidth = 0);

// The screen's DPI as this process sees it (96 is 100%).
int ScreenDpi();
// Makes this process per-monitor DPI aware, as the programs' manifests make them, so that it
// reads their windows and measures texts in the same pixels they draw in. Call it before the
// process makes any window; false when the system refuses or has no such awareness.
bool BecomeDpiAware();

// ---- List views (report view, in another process) ------------------------------------------

int ListRowCount(HWND list);     // -1 when the control does not answer
int ListColumnCount(HWND list);  // from its header; -1 when it has none
std::string ListColumnTitle(HWND list, int column);
// The text the control shows in a cell, including texts supplied by display callbacks.
std::string ListCellText(HWND list, int row, int column);
std::vector<std::string> ListRow(HWND list, int row);
std::vector<std::vector<std::string>> ListRows(HWND list);
// The row's image index in the list's image list; -1 when the control does not answer.
int ListItemImage(HWND list, int row);
// Where the row's icon is drawn, in the list's client pixels (LVM_GETITEMRECT, LVIR_ICON);
// empty when the control does not answer.
RECT ListItemIconRect(HWND list, int row);
// A column's width in pixels; -1 when the control does not answer.
int ListColumnWidth(HWND list, int column);
// The row's state bits within mask (LVIS_SELECTED, LVIS_FOCUSED, ...).
UINT ListItemState(HWND list, int row, UINT mask);
// Sets the row's state bits within mask (LVM_SETITEMSTATE).
bool SetListItemState(HWND list, int row, UINT state, UINT mask);
// Selects or deselects one row, as a ctrl-click would.
bool SelectListRow(HWND list, int row, bool selected);
// Clicks a column heading with the mouse (button down and up at its middle, as the list's
// header receives them) and waits until the list has handled the click.
bool ClickListHeading(HWND list, int column, DWORD timeoutMs = kWaitMs);

// ---- Message boxes -------------------------------------------------------------------------

struct MessageBoxInfo {
    HWND window = nullptr;
    std::string caption;
    std::string text;
    std::vector<int> buttons;  // the ids of its buttons (IDOK, IDCANCEL, ...) in window order
};

// A message box of the process: a visible, enabled dialog window ("#32770") whose children
// are only static texts and buttons, one of them the message text (control id 0xFFFF).
// except: a window that is not the box (such as the program's main dialog). A box counts as
// found once its thread answers messages, so that its texts can be read: a box shown after
// long work can be visible before its thread takes messages again, and Wine refuses a
// timed read from a thread that took none for 5 s.
bool FindMessageBox(DWORD processId, MessageBoxInfo& box, HWND except = nullptr);
bool WaitForMessageBox(DWORD processId, MessageBoxInfo& box, HWND except = nullptr,
                       DWORD timeoutMs = kWaitMs);
// Presses one of the box's buttons (IDOK, IDCANCEL, IDYES, ...) and waits for it to close.
bool AnswerMessageBox(const MessageBoxInfo& box, int buttonId = IDOK);
// Which of the system's message box icons the box shows, read from the screen: "warning"
// (MB_ICONWARNING), "error" (MB_ICONERROR), "information" (MB_ICONINFORMATION), "question"
// (MB_ICONQUESTION); "" when it shows none, or none of these, by the time timeoutMs pass
// (the box may not have painted its icon yet when it is first found).
std::string MessageBoxIcon(const MessageBoxInfo& box, DWORD timeoutMs = kWaitMs);

// ---- File dialogs --------------------------------------------------------------------------

// A common open or save dialog of the process (the system's, GetOpenFileName and
// GetSaveFileName): a visible, enabled "#32770" window with a file name box.
HWND FindFileDialog(DWORD processId);
HWND WaitForFileDialog(DWORD processId, DWORD timeoutMs = kWaitMs);
// Types the path (Unix paths become Windows ones) into the file name box and presses Open
// (or Save), as a person would; true when the dialog has then gone. A dialog that refuses
// the name (OFN_FILEMUSTEXIST and no such file) stays, and this returns false.
bool ChooseFile(HWND fileDialog, const std::string& path, DWORD timeoutMs = kWaitMs);
// Presses Cancel and waits for the dialog to go.
bool CancelFileDialog(HWND fileDialog, DWORD timeoutMs = kWaitMs);

// ---- The simulated camera's devices -------------------------------------------------------

// Registers the simulated camera's devices in the prefix through the DLL named by the
// environment variable CAMSIM_DLL: one device per name, enumerated in this order (slot 0,
// 1, ...; at most 8, no name containing '|'); an empty list leaves no video input device.
bool InstallCameraDevices(const std::vector<std::string>& names);
// Back to the one device "ZQ71R Camera" in slot 0, as the test prefix starts.
bool InstallDefaultCamera();

// The DllCanUnloadNow of the simulated camera's DLL loaded in this process: S_OK when none
// of its objects is alive (every reference was released), S_FALSE while one is. S_OK also
// when the DLL is not loaded at all.
HRESULT CameraDllCanUnloadNow();

// Installs devices for its lifetime, then the default camera again, so that a failing test
// does not leave its devices to the next.
class CameraDevices {
public:
    explicit CameraDevices(const std::vector<std::string>& names)
        : installed_(InstallCameraDevices(names)) {}
    ~CameraDevices() { InstallDefaultCamera(); }
    CameraDevices(const CameraDevices&) = delete;
    CameraDevices& operator=(const CameraDevices&) = delete;
    bool Installed() const { return installed_; }

private:
    bool installed_;
};

// ---- Files ---------------------------------------------------------------------------------

// The lines of a text file (without line ends); false when it cannot be read. The file may
// be open for writing in another process, as the simulated camera's trace is.
bool ReadLines(const std::string& path, std::vector<std::string>& lines);
// The lines of the trace, or none when the file does not exist yet.
std::vector<std::string> ReadTrace(const std::string& path);
bool WriteTextFile(const std::string& path, const std::string& content);
bool RemoveFile(const std::string& path);

// ---- Registry ------------------------------------------------------------------------------

// A string value under root\key as its bytes are stored (the ANSI functions), or nothing
// without the key or the value.
std::optional<std::string> RegistryString(HKEY root, const char* key, const char* value);
// Stores a string value, creating the key; false when the registry refuses.
bool SetRegistryString(HKEY root, const char* key, const char* value, const std::string& text);

// A value of any type as stored: its type and bytes; nothing without the key or the value.
struct RegistryValue {
    DWORD type = 0;
    std::string bytes;
};
std::optional<RegistryValue> ReadRegistryValue(HKEY root, const char* key, const char* value);
// A DWORD value, or nothing without the key or the value, or when it is longer than 4 bytes.
std::optional<DWORD> RegistryDword(HKEY root, const char* key, const char* value);
// Stores size bytes as a value of the given type, creating the key; false when refused.
bool SetRegistryValue(HKEY root, const char* key, const char* value, DWORD type, const void* data,
                      DWORD size);
// Deletes root\key with its values; false when it is missing or holds sub-keys.
bool DeleteRegistryKey(HKEY root, const char* key);
// Deletes the named values under root\key, then the key when nothing else lives there.
void DeleteRegistryValues(HKEY root, const char* key, std::initializer_list<const char*> values);

}  // namespace windriver
