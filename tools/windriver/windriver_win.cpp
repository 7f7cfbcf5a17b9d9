#include "windriver.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

#include "scoped_win.h"
#include "wide_string_win.h"

namespace windriver {
namespace {

using camtools::Narrow;
using camtools::Widen;
using camtools::WString;

constexpr DWORD kPollMs = 20;

std::string FromWide(const wchar_t* text) { return Narrow(text, size_t(lstrlenW(text)), CP_UTF8); }

using Handle = camtools::ScopedHandle;

// Environment names compare without regard to case, as Windows does.
struct NameLess {
    bool operator()(const WString& a, const WString& b) const {
        return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) ==
               CSTR_LESS_THAN;
    }
};

// The driver's environment with the options' variables applied, as a sorted block.
std::vector<wchar_t> BuildEnvironment(const StartOptions& options) {
    std::map<WString, WString, NameLess> variables;
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* entry = block; *entry; entry += lstrlenW(entry) + 1) {
            WString text(entry);
            // Entries such as "=C:=C:\dir" keep their leading '='.
            size_t equals = text.find(L'=', 1);
            if (equals == WString::npos) continue;
            variables[text.substr(0, equals)] = text.substr(equals + 1);
        }
        FreeEnvironmentStringsW(block);
    }
    for (const auto& variable : options.environment) {
        WString name = Widen(variable.first);
        if (variable.second.empty())
            variables.erase(name);
        else
            variables[name] = Widen(variable.second);
    }
    std::vector<wchar_t> out;
    for (const auto& variable : variables) {
        out.insert(out.end(), variable.first.begin(), variable.first.end());
        out.push_back(L'=');
        out.insert(out.end(), variable.second.begin(), variable.second.end());
        out.push_back(L'\0');
    }
    out.push_back(L'\0');
    return out;
}

bool FileExists(const WString& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool SendTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR& result) {
    result = 0;
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendMs,
                               &result) != 0;
}

// Sends a message and waits up to timeoutMs for it to be handled, however busy the window's
// thread is: for the calls that wait for a handler to finish.
bool SendAndWait(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, timeoutMs, &result) !=
           0;
}

struct WindowSearch {
    DWORD processId;
    WString className;
    WString caption;
    HWND except;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || window == search->except || !IsWindowVisible(window))
        return TRUE;
    if (!search->className.empty()) {
        wchar_t name[256];
        int length = GetClassNameW(window, name, 256);
        if (WString(name, size_t(std::max(length, 0))) != search->className) return TRUE;
    }
    if (!search->caption.empty() && Widen(Text(window)) != search->caption) return TRUE;
    search->found = window;
    return FALSE;
}

// Memory in another process, released when it goes out of scope.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, size_t size)
        : process_(process),
          address_(
              VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
    ~RemoteBuffer() {
        if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;

    bool Valid() const { return address_ != nullptr; }
    char* Address(size_t offset = 0) const { return static_cast<char*>(address_) + offset; }
    bool Write(size_t offset, const void* data, size_t size) const {
        SIZE_T done = 0;
        return WriteProcessMemory(process_, Address(offset), data, size, &done) && done == size;
    }
    bool Read(size_t offset, void* data, size_t size) const {
        SIZE_T done = 0;
        return ReadProcessMemory(process_, Address(offset), data, size, &done) && done == size;
    }

private:
    HANDLE process_;
    void* address_;
};

HANDLE OpenOwner(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (!processId) return nullptr;
    return OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
}

constexpr int kCellChars = 1024;

// Sends a list view message whose lParam is an LVITEMW (and, for texts, a text buffer) in
// the list's own process, and reads both back.
bool RemoteItemMessage(HWND list, UINT message, WPARAM wParam, LVITEMW& item, std::string* text,
                       DWORD_PTR& result) {
    Handle process(OpenOwner(list));
    if (!process) return false;
    const size_t textOffset = (sizeof(LVITEMW) + 15) & ~size_t(15);
    RemoteBuffer remote(process.Get(), textOffset + kCellChars * sizeof(wchar_t));
    if (!remote.Valid()) return false;
    LVITEMW sent = item;
    if (text) {
        sent.pszText = reinterpret_cast<LPWSTR>(remote.Address(textOffset));
        sent.cchTextMax = kCellChars;
        wchar_t empty = 0;
        if (!remote.Write(textOffset, &empty, sizeof empty)) return false;
    }
    if (!remote.Write(0, &sent, sizeof sent)) return false;
    if (!SendTimeout(list, message, wParam, reinterpret_cast<LPARAM>(remote.Address()), result))
        return false;
    if (!remote.Read(0, &item, sizeof item)) return false;
    if (text) {
        std::vector<wchar_t> chars(kCellChars + 1, 0);
        if (!remote.Read(textOffset, chars.data(), kCellChars * sizeof(wchar_t))) return false;
        *text = FromWide(chars.data());
    }
    return true;
}

bool IsMessageBox(HWND window) {
    wchar_t name[16];
    GetClassNameW(window, name, 16);
    if (lstrcmpW(name, L"#32770") != 0 || !IsWindowVisible(window) || !IsWindowEnabled(window))
        return false;
    bool hasText = false;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        std::string childClass = ClassName(child);
        if (childClass != "Static" && childClass != "Button") return false;
        if (childClass == "Static" && GetDlgCtrlID(child) == 0xFFFF) hasText = true;
    }
    return hasText;
}

struct BoxSearch {
    DWORD processId;
    HWND except;
    HWND found;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<BoxSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || window == search->except || !IsMessageBox(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

bool WaitUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (;;) {
        if (condition()) return true;
        if (GetTickCount64() >= end) return false;
        Sleep(kPollMs);
    }
}

bool Settle(HWND window, DWORD timeoutMs) {
    return window && SendAndWait(window, WM_NULL, 0, 0, timeoutMs);
}

bool WaitUntilSettled(HWND window, const std::function<bool()>& condition, DWORD timeoutMs) {
    const bool held = WaitUntil(condition, timeoutMs);
    // A window that has gone has nothing left to finish.
    return (Settle(window) || !IsWindow(window)) && held;
}

DWORD& HoldMs() {
    static DWORD ms = 0;
    return ms;
}

void Hold() {
    if (HoldMs()) Sleep(HoldMs());
}

void TakeHoldOption(int& argc, char**& argv) {
    if (argc < 2 || std::strncmp(argv[1], "--hold=", 7) != 0) return;
    HoldMs() = DWORD(std::strtoul(argv[1] + 7, nullptr, 10));
    argv[1] = argv[0];
    --argc;
    ++argv;
}

// ---- Paths ---------------------------------------------------------------------------------

std::string WindowsPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    using ToDosFn = WCHAR*(CDECL*)(LPCSTR);
    auto toDos = reinterpret_cast<ToDosFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    if (!toDos) return path;  // not under Wine
    WCHAR* dosPath = toDos(path.c_str());
    if (!dosPath) return path;
    std::string out = FromWide(dosPath);
    HeapFree(GetProcessHeap(), 0, dosPath);
    return out;
}

std::string Environment(const std::string& name) {
    WString wideName = Widen(name);
    DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0) return std::string();
    std::vector<wchar_t> value(size, 0);
    DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
    if (length == 0 || length >= size) return std::string();
    return Narrow(value.data(), size_t(length), CP_UTF8);
}

std::string EnvironmentPath(const std::string& name) { return WindowsPath(Environment(name)); }

ScopedEnvironment::ScopedEnvironment(const std::string& name, const std::string& value)
    : name_(name) {
    WString wideName = Widen(name);
    hadValue_ = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0) != 0;
    oldValue_ = Environment(name);
    SetEnvironmentVariableW(wideName.c_str(), value.empty() ? nullptr : Widen(value).c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
    WString wideName = Widen(name_);
    SetEnvironmentVariableW(wideName.c_str(), hadValue_ ? Widen(oldValue_).c_str() : nullptr);
}

// ---- Processes -----------------------------------------------------------------------------

Process::~Process() {
    Kill();
    Close();
}

Process::Process(Process&& other) noexcept
    : process_(std::move(other.process_)), id_(other.id_), error_(std::move(other.error_)) {
    other.id_ = 0;
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Kill();
        Close();
        process_ = std::move(other.process_);
        id_ = other.id_;
        error_ = std::move(other.error_);
        other.id_ = 0;
    }
    return *this;
}

void Process::Close() { process_.Close(); }

bool Process::Start(const StartOptions& options) {
    Kill();
    Close();
    error_.clear();
    WString program = Widen(WindowsPath(options.program));
    // A Winelib build writes NAME.exe (a shell launcher) beside NAME.exe.so; Wine starts
    // the .so.
    if (FileExists(program + L".so")) program += L".so";
    if (!FileExists(program)) {
        error_ = "no program " + Narrow(program);
        return false;
    }
    WString commandLine = L"\"" + program + L"\"";
    if (!options.arguments.empty()) commandLine += L" " + Widen(options.arguments);
    std::vector<wchar_t> commandBuffer(commandLine.begin(), commandLine.end());
    commandBuffer.push_back(L'\0');
    std::vector<wchar_t> environment = BuildEnvironment(options);
    WString directory = Widen(WindowsPath(options.workingDirectory));

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, commandBuffer.data(), nullptr, nullptr, FALSE,
                        CREATE_UNICODE_ENVIRONMENT, environment.data(),
                        directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
        error_ =
            "cannot start " + Narrow(program) + " (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    Handle(info.hThread).Close();
    process_.Reset(info.hProcess);
    id_ = info.dwProcessId;
    // Wait until it is ready for input, so its first window can be looked for at once.
    WaitForInputIdle(process_.Get(), kWaitMs);
    return true;
}

bool Process::Running() const {
    return process_ && WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT;
}

bool Process::WaitForExit(DWORD& exitCode, DWORD timeoutMs) {
    exitCode = 0;
    if (!process_) return false;
    if (WaitForSingleObject(process_.Get(), timeoutMs) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(process_.Get(), &exitCode) != 0;
}

void Process::Kill() {
    if (!Running()) return;
    TerminateProcess(process_.Get(), 255);
    WaitForSingleObject(process_.Get(), kWaitMs);
}

Thread::Thread(std::function<void()> body) : body_(std::move(body)) {
    thread_.Reset(CreateThread(nullptr, 0, Run, this, 0, nullptr));
}

Thread::~Thread() {
    if (!Join()) TerminateThread(thread_.Get(), 255);
}

bool Thread::Join(DWORD timeoutMs) {
    return !thread_ || WaitForSingleObject(thread_.Get(), timeoutMs) == WAIT_OBJECT_0;
}

DWORD WINAPI Thread::Run(LPVOID self) {
    static_cast<Thread*>(self)->body_();
    return 0;
}

// ---- Windows and controls ------------------------------------------------------------------

HWND FindWindowOf(DWORD processId, const std::string& className, const std::string& caption,
                  HWND except) {
    WindowSearch search = {processId, Widen(className), Widen(caption), except, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(DWORD processId, const std::string& className, const std::string& caption,
                   DWORD timeoutMs, HWND except) {
    HWND found = nullptr;
    WaitUntil(
        [&] { return (found = FindWindowOf(processId, className, caption, except)) != nullptr; },
        timeoutMs);
    return found;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs) {
    return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

std::string ClassName(HWND window) {
    wchar_t name[256];
    int length = GetClassNameW(window, name, 256);
    return length > 0 ? Narrow(name, size_t(length), CP_UTF8) : std::string();
}

std::string Text(HWND window) {
    if (!window) return std::string();
    DWORD_PTR length = 0;
    if (!SendTimeout(window, WM_GETTEXTLENGTH, 0, 0, length)) return std::string();
    std::vector<wchar_t> text(length + 1, 0);
    DWORD_PTR copied = 0;
    if (!SendTimeout(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                     copied))
        return std::string();
    return Narrow(text.data(), std::min<size_t>(copied, length), CP_UTF8);
}

HWND Control(HWND dialog, int id) { return dialog ? GetDlgItem(dialog, id) : nullptr; }

std::string ControlText(HWND dialog, int id) { return Text(Control(dialog, id)); }

bool IsEnabled(HWND dialog, int id) {
    HWND control = Control(dialog, id);
    return control && IsWindowEnabled(control);
}

bool IsVisible(HWND dialog, int id) {
    HWND control = Control(dialog, id);
    return control && IsWindowVisible(control);
}

int CheckState(HWND dialog, int id) {
    HWND control = Control(dialog, id);
    DWORD_PTR state = 0;
    if (!control || !SendTimeout(control, BM_GETCHECK, 0, 0, state)) return -1;
    return int(state);
}

bool Click(HWND dialog, int id) {
    HWND control = Control(dialog, id);
    if (!control || !IsWindowVisible(control) || !IsWindowEnabled(control)) return false;
    return PostMessageW(control, BM_CLICK, 0, 0) != 0;
}

bool Press(HWND dialog, int id, DWORD timeoutMs) {
    HWND control = Control(dialog, id);
    if (!control || !IsWindowVisible(control) || !IsWindowEnabled(control)) return false;
    return SendAndWait(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                       reinterpret_cast<LPARAM>(control), timeoutMs);
}

bool Close(HWND window) { return window && PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0) != 0; }

DWORD Style(HWND window) { return window ? DWORD(GetWindowLongW(window, GWL_STYLE)) : 0; }

DWORD ExtendedStyle(HWND window) { return window ? DWORD(GetWindowLongW(window, GWL_EXSTYLE)) : 0; }

RECT ControlRect(HWND dialog, int id) {
    RECT rect = {0, 0, 0, 0};
    HWND control = Control(dialog, id);
    if (!control || !GetWindowRect(control, &rect)) return RECT{0, 0, 0, 0};
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

namespace {
INT_PTR CALLBACK MeasuringDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}
}  // namespace

namespace {
// A hidden dialog whose template names this font (DS_SETFONT): a DLGTEMPLATE with no
// controls: style, extended style, item count, position and size, then menu, class and
// title (all empty), the point size and the face. The caller destroys it.
HWND MeasuringDialog(const std::string& fontFace, int pointSize) {
    std::vector<WORD> words(13, 0);
    const DWORD style = WS_POPUP | DS_SETFONT;
    words[0] = LOWORD(style);
    words[1] = HIWORD(style);
    words[7] = 100;  // width and height: any
    words[8] = 100;
    words[12] = WORD(pointSize);
    WString face = Widen(fontFace);
    words.insert(words.end(), face.begin(), face.end());
    words.push_back(0);
    words.resize(words.size() + 1, 0);  // the template is read in DWORD-aligned pieces
    return CreateDialogIndirectParamW(GetModuleHandleW(nullptr),
                                      reinterpret_cast<const DLGTEMPLATE*>(words.data()), nullptr,
                                      MeasuringDialogProc, 0);
}
}  // namespace

RECT DialogUnitsToPixels(const std::string& fontFace, int pointSize, const RECT& units) {
    RECT rect = units;
    HWND dialog = MeasuringDialog(fontFace, pointSize);
    if (!dialog) return RECT{0, 0, 0, 0};
    MapDialogRect(dialog, &rect);
    DestroyWindow(dialog);
    return rect;
}

SIZE TextSize(const std::string& fontFace, int pointSize, const std::string& text, int wrapWidth) {
    SIZE size = {0, 0};
    HWND dialog = MeasuringDialog(fontFace, pointSize);
    if (!dialog) return size;
    if (camtools::WindowDc dc(dialog); dc) {
        camtools::SelectedObject font(
            dc.Get(), reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
        RECT rect = {0, 0, wrapWidth > 0 ? wrapWidth : 0, 0};
        const WString wide = Widen(text);
        DrawTextW(dc.Get(), wide.c_str(), int(wide.size()), &rect,
                  DT_CALCRECT | (wrapWidth > 0 ? DT_WORDBREAK : DT_SINGLELINE));
        size = {rect.right - rect.left, rect.bottom - rect.top};
    }
    DestroyWindow(dialog);
    return size;
}

int ScreenDpi() {
    camtools::WindowDc screen(nullptr);
    return screen ? GetDeviceCaps(screen.Get(), LOGPIXELSX) : 0;
}

bool BecomeDpiAware() {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto function = [&](const char* name) {
        return reinterpret_cast<void (*)()>(user32 ? GetProcAddress(user32, name) : nullptr);
    };
    using GetContextFn = HANDLE(WINAPI*)();
    using AwarenessFn = int(WINAPI*)(HANDLE);
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    auto getContext = reinterpret_cast<GetContextFn>(function("GetThreadDpiAwarenessContext"));
    auto awareness = reinterpret_cast<AwarenessFn>(function("GetAwarenessFromDpiAwarenessContext"));
    auto set = reinterpret_cast<SetContextFn>(function("SetProcessDpiAwarenessContext"));
    // Wine 8 makes every process per-monitor aware (DPI_AWARENESS_PER_MONITOR_AWARE, 2) and
    // refuses to change it; Windows starts a process without a manifest unaware.
    if (getContext && awareness && awareness(getContext()) == 2) return true;
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2, else DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE;
    // not every SDK's headers define them.
    return set && (set(reinterpret_cast<HANDLE>(LONG_PTR(-4))) ||
                   set(reinterpret_cast<HANDLE>(LONG_PTR(-3))));
}

// ---- List views ----------------------------------------------------------------------------

int ListRowCount(HWND list) {
    DWORD_PTR count = 0;
    if (!list || !SendTimeout(list, LVM_GETITEMCOUNT, 0, 0, count)) return -1;
    return int(count);
}

int ListColumnCount(HWND list) {
    DWORD_PTR header = 0;
    if (!list || !SendTimeout(list, LVM_GETHEADER, 0, 0, header) || !header) return -1;
    DWORD_PTR count = 0;
    if (!SendTimeout(reinterpret_cast<HWND>(header), HDM_GETITEMCOUNT, 0, 0, count)) return -1;
    return int(LONG_PTR(count));
}

std::string ListColumnTitle(HWND list, int column) {
    Handle process(OpenOwner(list));
    if (!process) return std::string();
    const size_t textOffset = (sizeof(LVCOLUMNW) + 15) & ~size_t(15);
    RemoteBuffer remote(process.Get(), textOffset + kCellChars * sizeof(wchar_t));
    if (!remote.Valid()) return std::string();
    LVCOLUMNW sent = {};
    sent.mask = LVCF_TEXT;
    sent.pszText = reinterpret_cast<LPWSTR>(remote.Address(textOffset));
    sent.cchTextMax = kCellChars;
    wchar_t empty = 0;
    DWORD_PTR ok = 0;
    if (!remote.Write(textOffset, &empty, sizeof empty) || !remote.Write(0, &sent, sizeof sent) ||
        !SendTimeout(list, LVM_GETCOLUMNW, WPARAM(column),
                     reinterpret_cast<LPARAM>(remote.Address()), ok) ||
        !ok)
        return std::string();
    std::vector<wchar_t> chars(kCellChars + 1, 0);
    if (!remote.Read(textOffset, chars.data(), kCellChars * sizeof(wchar_t))) return std::string();
    return FromWide(chars.data());
}

std::string ListCellText(HWND list, int row, int column) {
    LVITEMW item = {};
    item.iSubItem = column;
    std::string text;
    DWORD_PTR result = 0;
    if (!RemoteItemMessage(list, LVM_GETITEMTEXTW, WPARAM(row), item, &text, result))
        return std::string();
    return text;
}

std::vector<std::string> ListRow(HWND list, int row) {
    std::vector<std::string> cells;
    int columns = std::max(ListColumnCount(list), 1);
    for (int column = 0; column < columns; ++column)
        cells.push_back(ListCellText(list, row, column));
    return cells;
}

std::vector<std::vector<std::string>> ListRows(HWND list) {
    std::vector<std::vector<std::string>> rows;
    int count = ListRowCount(list);
    for (int row = 0; row < count; ++row) rows.push_back(ListRow(list, row));
    return rows;
}

int ListItemImage(HWND list, int row) {
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    DWORD_PTR ok = 0;
    if (!RemoteItemMessage(list, LVM_GETITEMW, 0, item, nullptr, ok) || !ok) return -1;
    return item.iImage;
}

RECT ListItemIconRect(HWND list, int row) {
    RECT rect = {LVIR_ICON, 0, 0, 0};
    Handle process(OpenOwner(list));
    if (!process) return RECT{0, 0, 0, 0};
    RemoteBuffer remote(process.Get(), sizeof rect);
    DWORD_PTR ok = 0;
    if (!remote.Valid() || !remote.Write(0, &rect, sizeof rect) ||
        !SendTimeout(list, LVM_GETITEMRECT, WPARAM(row), reinterpret_cast<LPARAM>(remote.Address()),
                     ok) ||
        !ok || !remote.Read(0, &rect, sizeof rect))
        return RECT{0, 0, 0, 0};
    return rect;
}

int ListColumnWidth(HWND list, int column) {
    DWORD_PTR width = 0;
    if (!list || !SendTimeout(list, LVM_GETCOLUMNWIDTH, WPARAM(column), 0, width)) return -1;
    return int(LONG_PTR(width));
}

UINT ListItemState(HWND list, int row, UINT mask) {
    DWORD_PTR state = 0;
    if (!list || !SendTimeout(list, LVM_GETITEMSTATE, WPARAM(row), LPARAM(mask), state)) return 0;
    return UINT(state);
}

bool SetListItemState(HWND list, int row, UINT state, UINT mask) {
    LVITEMW item = {};
    item.stateMask = mask;
    item.state = state;
    DWORD_PTR result = 0;
    return RemoteItemMessage(list, LVM_SETITEMSTATE, WPARAM(row), item, nullptr, result) &&
           result != 0;
}

bool SelectListRow(HWND list, int row, bool selected) {
    return SetListItemState(list, row, selected ? LVIS_SELECTED : 0, LVIS_SELECTED);
}

bool ClickListHeading(HWND list, int column, DWORD timeoutMs) {
    DWORD_PTR header = 0;
    if (!list || !SendTimeout(list, LVM_GETHEADER, 0, 0, header) || !header) return false;
    HWND headerWindow = reinterpret_cast<HWND>(header);
    Handle process(OpenOwner(headerWindow));
    if (!process) return false;
    RemoteBuffer remote(process.Get(), sizeof(RECT));
    RECT rect = {};
    DWORD_PTR ok = 0;
    if (!remote.Valid() || !remote.Write(0, &rect, sizeof rect) ||
        !SendTimeout(headerWindow, HDM_GETITEMRECT, WPARAM(column),
                     reinterpret_cast<LPARAM>(remote.Address()), ok) ||
        !ok || !remote.Read(0, &rect, sizeof rect))
        return false;
    const LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    return SendAndWait(headerWindow, WM_LBUTTONDOWN, MK_LBUTTON, at, timeoutMs) &&
           SendAndWait(headerWindow, WM_LBUTTONUP, 0, at, timeoutMs);
}

// ---- Message boxes -------------------------------------------------------------------------

bool FindMessageBox(DWORD processId, MessageBoxInfo& box, HWND except) {
    BoxSearch search = {processId, except, nullptr};
    EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    if (!search.found || !Settle(search.found)) return false;
    box.window = search.found;
    box.caption = Text(search.found);
    box.text = ControlText(search.found, 0xFFFF);
    box.buttons.clear();
    for (HWND child = GetWindow(box.window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassName(child) == "Button") box.buttons.push_back(GetDlgCtrlID(child));
    return true;
}

bool WaitForMessageBox(DWORD processId, MessageBoxInfo& box, HWND except, DWORD timeoutMs) {
    return WaitUntil([&] { return FindMessageBox(processId, box, except); }, timeoutMs);
}

bool AnswerMessageBox(const MessageBoxInfo& box, int buttonId) {
    if (!Click(box.window, buttonId)) return false;
    return WaitForWindowGone(box.window);
}

namespace {

// 32-bit pixels of a width x height picture drawn by draw into a memory DC.
std::vector<DWORD> Picture(int width, int height, const std::function<void(HDC)>& draw) {
    std::vector<DWORD> pixels;
    camtools::WindowDc screen(nullptr);
    camtools::ScopedMemoryDc memory(CreateCompatibleDC(screen.Get()));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    camtools::ScopedGdiObject<HBITMAP> bitmap(
        CreateDIBSection(memory.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (bitmap && bits) {
        camtools::SelectedObject selected(memory.Get(), bitmap.Get());
        draw(memory.Get());
        GdiFlush();
        const DWORD* first = static_cast<const DWORD*>(bits);
        for (int i = 0; i < width * height; ++i) pixels.push_back(first[i] & 0xFFFFFF);
    }
    return pixels;
}

// The icon control of a message box: a static with SS_ICON.
HWND IconControl(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassName(child) == "Static" && (Style(child) & SS_TYPEMASK) == SS_ICON &&
            IsWindowVisible(child))
            return child;
    return nullptr;
}

// The standard icon whose picture, drawn on the dialog's face colour, is the one on the
// screen at the control; "" when none is.
std::string MatchIcon(HWND control) {
    RECT rect;
    if (!GetWindowRect(control, &rect)) return std::string();
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0) return std::string();
    const std::vector<DWORD> shown = Picture(width, height, [&](HDC dc) {
        camtools::WindowDc screen(nullptr);
        BitBlt(dc, 0, 0, width, height, screen.Get(), rect.left, rect.top, SRCCOPY);
    });
    static const struct {
        const wchar_t* id;
        const char* name;
    } icons[] = {{IDI_WARNING, "warning"},
                 {IDI_ERROR, "error"},
                 {IDI_INFORMATION, "information"},
                 {IDI_QUESTION, "question"}};
    for (const auto& icon : icons) {
        HICON handle = LoadIconW(nullptr, icon.id);
        const std::vector<DWORD> drawn = Picture(width, height, [&](HDC dc) {
            RECT all = {0, 0, width, height};
            FillRect(dc, &all, GetSysColorBrush(COLOR_3DFACE));
            DrawIconEx(dc, 0, 0, handle, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
        });
        if (!drawn.empty() && drawn == shown) return icon.name;
    }
    return std::string();
}

}  // namespace

std::string MessageBoxIcon(const MessageBoxInfo& box, DWORD timeoutMs) {
    std::string name;
    WaitUntil(
        [&] {
            HWND control = IconControl(box.window);
            return control && !(name = MatchIcon(control)).empty();
        },
        timeoutMs);
    return name;
}

// ---- File dialogs --------------------------------------------------------------------------

namespace {

// The file name box of a common file dialog: the combo box of the explorer-style dialog
// (cmb13) or the edit box of the old style (edt1).
constexpr int kFileNameCombo = 0x047C;
constexpr int kFileNameEdit = 0x0480;

HWND FileNameBox(HWND dialog) {
    if (HWND combo = Control(dialog, kFileNameCombo)) return combo;
    return Control(dialog, kFileNameEdit);
}

struct FileDialogSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchFileDialog(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<FileDialogSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || ClassName(window) != "#32770" || !IsWindowVisible(window) ||
        !IsWindowEnabled(window) || !FileNameBox(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

HWND FindFileDialog(DWORD processId) {
    FileDialogSearch search = {processId, nullptr};
    EnumWindows(MatchFileDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForFileDialog(DWORD processId, DWORD timeoutMs) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindFileDialog(processId)) != nullptr; }, timeoutMs);
    return found;
}

bool ChooseFile(HWND fileDialog, const std::string& path, DWORD timeoutMs) {
    HWND box = FileNameBox(fileDialog);
    if (!box) return false;
    // WM_SETTEXT crosses to the other process with its text.
    const WString text = Widen(WindowsPath(path));
    DWORD_PTR result = 0;
    if (!SendTimeout(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), result))
        return false;
    if (Text(box) != WindowsPath(path) || !Click(fileDialog, IDOK)) return false;
    return WaitForWindowGone(fileDialog, timeoutMs);
}

bool CancelFileDialog(HWND fileDialog, DWORD timeoutMs) {
    return Click(fileDialog, IDCANCEL) && WaitForWindowGone(fileDialog, timeoutMs);
}

// ---- The simulated camera's devices -------------------------------------------------------

namespace {

// Calls the DLL's DllInstall with a command line, or DllRegisterServer without one.
bool CallCameraInstaller(const WString* commandLine) {
    WString path = Widen(EnvironmentPath("CAMSIM_DLL"));
    if (path.empty()) return false;
    camtools::ScopedModule module(LoadLibraryW(path.c_str()));
    if (!module) return false;
    HRESULT hr = E_FAIL;
    if (commandLine) {
        using InstallFn = HRESULT(STDAPICALLTYPE*)(BOOL, LPCWSTR);
        auto install = reinterpret_cast<InstallFn>(
            reinterpret_cast<void*>(GetProcAddress(module.Get(), "DllInstall")));
        if (install) hr = install(TRUE, commandLine->c_str());
    } else {
        using RegisterFn = HRESULT(STDAPICALLTYPE*)();
        auto registerServer = reinterpret_cast<RegisterFn>(
            reinterpret_cast<void*>(GetProcAddress(module.Get(), "DllRegisterServer")));
        if (registerServer) hr = registerServer();
    }
    return hr == S_OK;
}

}  // namespace

bool InstallCameraDevices(const std::vector<std::string>& names) {
    WString commandLine;
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i].find('|') != std::string::npos) return false;
        if (i > 0) commandLine += L'|';
        commandLine += Widen(names[i]);
    }
    return CallCameraInstaller(&commandLine);
}

bool InstallDefaultCamera() { return CallCameraInstaller(nullptr); }

HRESULT CameraDllCanUnloadNow() {
    HMODULE module = GetModuleHandleW(L"camsim.dll");
    if (!module) return S_OK;
    using CanUnloadFn = HRESULT(STDAPICALLTYPE*)();
    auto canUnload = reinterpret_cast<CanUnloadFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    return canUnload ? canUnload() : E_FAIL;
}

// ---- Files ---------------------------------------------------------------------------------

bool ReadLines(const std::string& path, std::vector<std::string>& lines) {
    lines.clear();
    Handle file(CreateFileW(Widen(WindowsPath(path)).c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    std::string content;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), chunk, sizeof chunk, &got, nullptr) && got > 0)
        content.append(chunk, got);
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos) end = content.size();
        std::string line = content.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return true;
}

std::vector<std::string> ReadTrace(const std::string& path) {
    std::vector<std::string> lines;
    ReadLines(path, lines);
    return lines;
}

bool WriteTextFile(const std::string& path, const std::string& content) {
    Handle file(CreateFileW(Widen(WindowsPath(path)).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                            nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return ::WriteFile(file.Get(), content.data(), DWORD(content.size()), &written, nullptr) &&
           written == content.size();
}

bool RemoveFile(const std::string& path) {
    WString wide = Widen(WindowsPath(path));
    return DeleteFileW(wide.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND;
}

std::optional<std::string> RegistryString(HKEY root, const char* key, const char* value) {
    camtools::ScopedRegKey opened;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, opened.Out()) != ERROR_SUCCESS) return std::nullopt;
    DWORD bytes = 0;
    if (RegQueryValueExA(opened.Get(), value, nullptr, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<char> text(bytes + 1, 0);  // room for a terminator the value was stored without
    if (RegQueryValueExA(opened.Get(), value, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(text.data()), &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    return std::string(text.data());
}

bool SetRegistryString(HKEY root, const char* key, const char* value, const std::string& text) {
    return SetRegistryValue(root, key, value, REG_SZ, text.c_str(), DWORD(text.size() + 1));
}

std::optional<RegistryValue> ReadRegistryValue(HKEY root, const char* key, const char* value) {
    camtools::ScopedRegKey opened;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, opened.Out()) != ERROR_SUCCESS) return std::nullopt;
    RegistryValue read;
    DWORD bytes = 0;
    if (RegQueryValueExA(opened.Get(), value, nullptr, &read.type, nullptr, &bytes) !=
        ERROR_SUCCESS)
        return std::nullopt;
    read.bytes.assign(bytes, '\0');
    if (bytes && RegQueryValueExA(opened.Get(), value, nullptr, &read.type,
                                  reinterpret_cast<BYTE*>(&read.bytes[0]), &bytes) != ERROR_SUCCESS)
        return std::nullopt;
    read.bytes.resize(bytes);
    return read;
}

std::optional<DWORD> RegistryDword(HKEY root, const char* key, const char* value) {
    const std::optional<RegistryValue> read = ReadRegistryValue(root, key, value);
    if (!read || read->bytes.size() > sizeof(DWORD)) return std::nullopt;
    DWORD number = 0;
    std::memcpy(&number, read->bytes.data(), read->bytes.size());
    return number;
}

bool SetRegistryValue(HKEY root, const char* key, const char* value, DWORD type, const void* data,
                      DWORD size) {
    camtools::ScopedRegKey opened;
    return RegCreateKeyExA(root, key, 0, nullptr, 0, KEY_WRITE, nullptr, opened.Out(), nullptr) ==
               ERROR_SUCCESS &&
           RegSetValueExA(opened.Get(), value, 0, type, static_cast<const BYTE*>(data), size) ==
               ERROR_SUCCESS;
}

void DeleteRegistryValues(HKEY root, const char* key, std::initializer_list<const char*> values) {
    {
        camtools::ScopedRegKey opened;
        if (RegOpenKeyExA(root, key, 0, KEY_ALL_ACCESS, opened.Out()) != ERROR_SUCCESS) return;
        for (const char* value : values) RegDeleteValueA(opened.Get(), value);
    }
    DeleteRegistryKey(root, key);  // fails, as wanted, while the key has sub-keys
}

bool DeleteRegistryKey(HKEY root, const char* key) {
    return RegDeleteKeyA(root, key) == ERROR_SUCCESS;
}

}  // namespace windriver
