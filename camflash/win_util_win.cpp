#include "win_util_win.h"

#include <vector>

#include "registry_win.h"
#include "texts.h"

namespace camflash {

WString ProgramName() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0) return L"camflash";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    WString name(path.data(), path.size());
    size_t slash = name.find_last_of(L"\\/");
    if (slash != WString::npos) name.erase(0, slash + 1);
    // A Winelib program started by its .so file carries that suffix behind ".exe".
    if (name.size() > 3 && name.compare(name.size() - 3, 3, L".so") == 0)
        name.resize(name.size() - 3);
    size_t dot = name.rfind(L'.');
    if (dot != WString::npos) name.erase(dot);
    return name;
}

void ShowWarning(HWND owner, const WString& text) {
    MessageBoxW(owner, text.c_str(), ProgramName().c_str(), MB_OK | MB_ICONEXCLAMATION);
}

WString SettingsSectionKey(const wchar_t* section) {
    return L"Software\\" + Widen(kRegistryCompany) + L"\\" + ProgramName() + L"\\" + section;
}

WString ReadDramSetting() {
    camtools::RegKey key;
    if (!key.Open(HKEY_CURRENT_USER, SettingsSectionKey(Widen(kDramSection).c_str()).c_str(),
                  KEY_READ))
        return WString();
    const WString name = Widen(kDramValue);
    DWORD type = 0, bytes = 0;
    if (!key.Query(name.c_str(), nullptr, bytes, &type) || type != REG_SZ) return WString();
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, 0);
    if (!key.Query(name.c_str(), text.data(), bytes, &type)) return WString();
    return WString(text.data());
}

void WriteDramSetting(const WString& path) {
    camtools::RegKey key;
    if (!key.Create(HKEY_CURRENT_USER, SettingsSectionKey(Widen(kDramSection).c_str()).c_str(),
                    KEY_WRITE))
        return;
    key.SetString(Widen(kDramValue).c_str(), path);
}

void CenterDialog(HWND dialog) {
    RECT area;
    HWND owner = GetWindow(dialog, GW_OWNER);
    if (owner && IsWindowVisible(owner) && !IsIconic(owner)) {
        GetWindowRect(owner, &area);
    } else {
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof monitor;
        GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTOPRIMARY), &monitor);
        area = monitor.rcWork;
    }
    RECT box;
    GetWindowRect(dialog, &box);
    const int width = box.right - box.left, height = box.bottom - box.top;
    int x = area.left + (area.right - area.left - width) / 2;
    int y = area.top + (area.bottom - area.top - height) / 2;
    // Keep the caption bar on the screen.
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    if (x + width > monitor.rcWork.right) x = monitor.rcWork.right - width;
    if (y + height > monitor.rcWork.bottom) y = monitor.rcWork.bottom - height;
    if (x < monitor.rcWork.left) x = monitor.rcWork.left;
    if (y < monitor.rcWork.top) y = monitor.rcWork.top;
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

WString LoadResourceString(UINT id) {
    const wchar_t* text = nullptr;
    // With a zero buffer size LoadStringW hands out a pointer into the resource itself.
    int n = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 && text ? WString(text, size_t(n)) : WString();
}

}  // namespace camflash
