// Drives camfetch's windows from a second thread of the test program, the way a user would:
// the window under test runs on the main thread (modal, as in the product), the driver finds
// it, reads its controls and presses its buttons with messages, and waits for what the
// timers do. Both threads share the process, so list-view requests can carry pointers.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

namespace drive {

// Set by a test program's "--hold=MS" argument: how long to keep a window up at the moments a
// person would want to look at it (for screenshots); 0 in test runs.
inline DWORD& HoldMs() {
    static DWORD ms = 0;
    return ms;
}
inline void Hold() {
    if (HoldMs()) Sleep(HoldMs());
}

// Polls `condition` every 5 ms until it holds or `ms` pass; returns whether it held.
inline bool WaitFor(const std::function<bool()>& condition, DWORD ms = 15000) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > ms) return false;
        Sleep(5);
    }
    return true;
}

// Like WaitFor, and then lets the window finish the message it is handling: a condition can
// hold while a handler is still half-way through its work.
inline bool WaitIn(HWND window, const std::function<bool()>& condition, DWORD ms = 15000) {
    bool held = WaitFor(condition, ms);
    SendMessageW(window, WM_NULL, 0, 0);
    return held;
}

struct FindArgs {
    const wchar_t* title;
    HWND exclude;
    HWND found;
};

inline BOOL CALLBACK FindDialogProc(HWND hwnd, LPARAM lParam) {
    auto* args = reinterpret_cast<FindArgs*>(lParam);
    wchar_t className[32] = {}, title[128] = {};
    GetClassNameW(hwnd, className, 32);
    GetWindowTextW(hwnd, title, 128);
    if (hwnd != args->exclude && lstrcmpW(className, L"#32770") == 0 && IsWindowVisible(hwnd) &&
        (!args->title || lstrcmpW(title, args->title) == 0)) {
        args->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

// A visible dialog of the thread with this title (any title when null), other than `exclude`.
inline HWND FindDialog(DWORD thread, const wchar_t* title, HWND exclude = nullptr) {
    FindArgs args = {title, exclude, nullptr};
    EnumThreadWindows(thread, FindDialogProc, LPARAM(&args));
    return args.found;
}

inline HWND WaitForDialog(DWORD thread, const wchar_t* title, HWND exclude = nullptr,
                          DWORD ms = 15000) {
    HWND found = nullptr;
    WaitFor([&] { return (found = FindDialog(thread, title, exclude)) != nullptr; }, ms);
    return found;
}

// Texts are read through the ANSI messages: in a Winelib build wchar_t strings are 16-bit
// while the C library's wide functions expect 32-bit ones, so std::wstring is avoided.
inline std::string Text(HWND dialog, int id) {
    char text[512] = {};
    GetDlgItemTextA(dialog, id, text, 512);
    return text;
}

inline std::string Title(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, 256);
    return text;
}

inline bool Enabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}
inline bool Visible(HWND dialog, int id) {
    return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE;
}

inline void Press(HWND dialog, int id) {
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), LPARAM(GetDlgItem(dialog, id)));
}

inline std::string CellText(HWND list, int row, int column) {
    char text[128] = {};
    LVITEMA item = {};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 128;
    SendMessageA(list, LVM_GETITEMTEXTA, WPARAM(row), LPARAM(&item));
    return text;
}

inline int RowImage(HWND list, int row) {
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    SendMessageW(list, LVM_GETITEMW, 0, LPARAM(&item));
    return item.iImage;
}

inline int RowCount(HWND list) { return int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

inline UINT RowState(HWND list, int row) {
    return UINT(SendMessageW(list, LVM_GETITEMSTATE, WPARAM(row), LVIS_SELECTED | LVIS_FOCUSED));
}

inline void SetRowState(HWND list, int row, UINT state) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = state;
    SendMessageW(list, LVM_SETITEMSTATE, WPARAM(row), LPARAM(&item));
}

// Clicks a column heading with the mouse, as the list's header control receives it.
inline void ClickHeading(HWND list, int column) {
    HWND header = HWND(SendMessageW(list, LVM_GETHEADER, 0, 0));
    RECT rect = {};
    SendMessageW(header, HDM_GETITEMRECT, WPARAM(column), LPARAM(&rect));
    LPARAM at = MAKELPARAM((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    SendMessageW(header, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(header, WM_LBUTTONUP, 0, at);
}

inline DWORD WINAPI RunBody(LPVOID body) {
    (*static_cast<std::function<void()>*>(body))();
    return 0;
}

// Runs `body` on a new thread and returns its handle.
inline HANDLE StartThread(std::function<void()>* body) {
    return CreateThread(nullptr, 0, RunBody, body, 0, nullptr);
}

}  // namespace drive
