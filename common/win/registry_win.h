// One registry key held open, for the programs' settings: opened or created under a root,
// values read and written as the bytes the registry stores, closed when it goes. The narrow
// overloads use the ANSI functions (the settings camfetch keeps were always stored that way),
// the wide ones the Unicode functions (camflash's paths).
#pragma once

#include <windows.h>

#include <string>

#include "scoped_win.h"
#include "wide_string_win.h"

namespace camtools {

class RegKey {
public:
    // Opens root\path, which must exist; false leaves the key closed.
    bool Open(HKEY root, const char* path, REGSAM access) {
        HKEY key = nullptr;
        const LONG result = RegOpenKeyExA(root, path, 0, access, &key);
        return Adopt(result, key);
    }
    bool Open(HKEY root, const wchar_t* path, REGSAM access) {
        HKEY key = nullptr;
        const LONG result = RegOpenKeyExW(root, path, 0, access, &key);
        return Adopt(result, key);
    }
    // Opens root\path, creating it (and the keys above it) when missing.
    bool Create(HKEY root, const char* path, REGSAM access) {
        HKEY key = nullptr;
        const LONG result = RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                            nullptr, &key, nullptr);
        return Adopt(result, key);
    }
    bool Create(HKEY root, const wchar_t* path, REGSAM access) {
        HKEY key = nullptr;
        const LONG result = RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                            nullptr, &key, nullptr);
        return Adopt(result, key);
    }
    void Close() { key_.Close(); }

    // Reads a value into buffer (null: only its size and type); size goes in as the buffer's
    // length and comes out as the value's. False without the value or when it does not fit.
    bool Query(const char* name, void* buffer, DWORD& size, DWORD* type = nullptr) const {
        return RegQueryValueExA(key_.Get(), name, nullptr, type, static_cast<BYTE*>(buffer),
                                &size) == ERROR_SUCCESS;
    }
    bool Query(const wchar_t* name, void* buffer, DWORD& size, DWORD* type = nullptr) const {
        return RegQueryValueExW(key_.Get(), name, nullptr, type, static_cast<BYTE*>(buffer),
                                &size) == ERROR_SUCCESS;
    }
    bool Set(const char* name, DWORD type, const void* data, DWORD size) {
        return RegSetValueExA(key_.Get(), name, 0, type, static_cast<const BYTE*>(data), size) ==
               ERROR_SUCCESS;
    }
    bool Set(const wchar_t* name, DWORD type, const void* data, DWORD size) {
        return RegSetValueExW(key_.Get(), name, 0, type, static_cast<const BYTE*>(data), size) ==
               ERROR_SUCCESS;
    }
    bool SetDword(const char* name, DWORD value) {
        return Set(name, REG_DWORD, &value, sizeof value);
    }
    // A REG_SZ with its terminator.
    bool SetString(const char* name, const std::string& text) {
        return Set(name, REG_SZ, text.c_str(), DWORD(text.size() + 1));
    }
    bool SetString(const wchar_t* name, const WString& text) {
        return Set(name, REG_SZ, text.c_str(), DWORD((text.size() + 1) * sizeof(wchar_t)));
    }

private:
    // Takes the key the call opened. Callers make the call in a statement of its own: as an
    // argument beside `key`, it might run only after `key` was read.
    bool Adopt(LONG result, HKEY key) {
        if (result != ERROR_SUCCESS) {
            key_.Close();
            return false;
        }
        key_.Reset(key);
        return true;
    }

    ScopedRegKey key_;
};

}  // namespace camtools
