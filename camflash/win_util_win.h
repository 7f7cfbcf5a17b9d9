// Small Win32 helpers of camflash: text conversion, owned handles, the program's name and
// its message boxes, and the remembered DRAM setting in the registry.
#pragma once

#include <windows.h>

#include <string>

namespace camflash {

// Wide text for the Win32 calls. Winelib compiles wchar_t as 16 bits while the C library
// keeps 32-bit wide-character functions, so WideString (whose traits call them) would
// misbehave there; std::u16string has traits of its own and the same layout as WCHAR.
static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide characters are 16 bits");
using WideString = std::u16string;

inline const wchar_t* W(const WideString& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}
// A wide text ending at its terminator, or of the given length.
WideString FromWide(const wchar_t* text);
WideString FromWide(const wchar_t* text, size_t length);

WideString Widen(const std::string& utf8);
std::string Narrow(const WideString& wide);

// A kernel handle closed when the owner goes.
class UniqueHandle {
public:
    explicit UniqueHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~UniqueHandle() {
        if (handle_ && handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    HANDLE get() const { return handle_; }

private:
    HANDLE handle_;
};

// An open registry key closed when the owner goes.
class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;
    HKEY* out() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

// The base name of the program's executable ("camflash"): the caption of every message box
// and the last part of the registry settings key.
WideString ProgramName();

// A modal message box with an OK button and the warning icon, captioned with ProgramName().
void ShowWarning(HWND owner, const WideString& text);

// HKEY_CURRENT_USER\Software\Voreruvoru\<program name>\<section>
WideString SettingsSectionKey(const wchar_t* section);
// The remembered path of the DRAM setting script; empty when none has been chosen.
WideString ReadDramSetting();
void WriteDramSetting(const WideString& path);

// Centres a dialog over its owner, or over the work area when it has none (or the owner is
// hidden), as dialogs placed at the template's origin are expected to appear.
void CenterDialog(HWND dialog);

// A string table entry of the program's resources.
WideString LoadResourceString(UINT id);

}  // namespace camflash
