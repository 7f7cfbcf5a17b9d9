#include "win_util_win.h"

#include <vector>

#include "texts.h"

namespace camflash {

WideString FromWide(const wchar_t* text) {
    size_t length = 0;
    if (text)
        while (text[length]) ++length;
    return FromWide(text, length);
}

WideString FromWide(const wchar_t* text, size_t length) {
    return length ? WideString(reinterpret_cast<const char16_t*>(text), length) : WideString();
}

WideString Widen(const std::string& utf8) {
    if (utf8.empty()) return WideString();
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    WideString wide(size_t(n), u'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()),
                        reinterpret_cast<wchar_t*>(&wide[0]), n);
    return wide;
}

std::string Narrow(const WideString& wide) {
    if (wide.empty()) return std::string();
    const wchar_t* text = reinterpret_cast<const wchar_t*>(wide.data());
    int n = WideCharToMultiByte(CP_UTF8, 0, text, int(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, int(wide.size()), &utf8[0], n, nullptr, nullptr);
    return utf8;
}

WideString ProgramName() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
        if (n == 0) return u"camflash";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    WideString name = FromWide(path.data(), path.size());
    size_t slash = name.find_last_of(u"\\/");
    if (slash != WideString::npos) name.erase(0, slash + 1);
    // A Winelib program started by its .so file carries that suffix behind ".exe".
    if (name.size() > 3 && name.compare(name.size() - 3, 3, u".so") == 0) name.resize(name.size() - 3);
    size_t dot = name.rfind(u'.');
    if (dot != WideString::npos) name.erase(dot);
    return name;
}

void ShowWarning(HWND owner, const WideString& text) {
    MessageBoxW(owner, W(text), W(ProgramName()), MB_OK | MB_ICONEXCLAMATION);
}

WideString SettingsSectionKey(const wchar_t* section) {
    return u"Software\\" + Widen(kRegistryCompany) + u"\\" + ProgramName() + u"\\" +
           FromWide(section);
}

WideString ReadDramSetting() {
    RegistryKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, W(SettingsSectionKey(W(Widen(kDramSection)))),
                      0, KEY_READ, key.out()) != ERROR_SUCCESS)
        return WideString();
    const WideString name = Widen(kDramValue);
    const wchar_t* value = W(name);
    DWORD type = 0, bytes = 0;
    if (RegQueryValueExW(key.get(), value, nullptr, &type, nullptr, &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ)
        return WideString();
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, 0);
    if (RegQueryValueExW(key.get(), value, nullptr, &type,
                         reinterpret_cast<BYTE*>(text.data()), &bytes) != ERROR_SUCCESS)
        return WideString();
    return FromWide(text.data());
}

void WriteDramSetting(const WideString& path) {
    RegistryKey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, W(SettingsSectionKey(W(Widen(kDramSection)))),
                        0, nullptr, 0, KEY_WRITE, nullptr, key.out(), nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExW(key.get(), W(Widen(kDramValue)), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(W(path)),
                   DWORD((path.size() + 1) * sizeof(wchar_t)));
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

WideString LoadResourceString(UINT id) {
    const wchar_t* text = nullptr;
    // With a zero buffer size LoadStringW hands out a pointer into the resource itself.
    int n = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 && text ? FromWide(text, size_t(n)) : WideString();
}

}  // namespace camflash
