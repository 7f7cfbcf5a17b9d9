// Wide strings that work the same in Winelib and Windows builds.
//
// Winelib compiles with 2-byte wchar_t (-fshort-wchar) but links the Linux C and C++
// libraries, whose wide functions (wcslen, wmemcpy, wmemcmp, ...) work on 4-byte units.
// std::wstring's members call those functions, so in a Winelib program a std::wstring built
// from a pointer gets the wrong length and copies overrun their buffers. WString uses traits
// written out here instead, so no libc wide function is ever called.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace camtools {

struct WideTraits : std::char_traits<wchar_t> {
    static std::size_t length(const wchar_t* s) {
        std::size_t n = 0;
        while (s[n]) ++n;
        return n;
    }
    static int compare(const wchar_t* a, const wchar_t* b, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i)
            if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
        return 0;
    }
    static const wchar_t* find(const wchar_t* s, std::size_t n, const wchar_t& c) {
        for (std::size_t i = 0; i < n; ++i)
            if (s[i] == c) return s + i;
        return nullptr;
    }
    static wchar_t* move(wchar_t* to, const wchar_t* from, std::size_t n) {
        if (to < from) {
            for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
        } else if (to > from) {
            for (std::size_t i = n; i > 0; --i) to[i - 1] = from[i - 1];
        }
        return to;
    }
    static wchar_t* copy(wchar_t* to, const wchar_t* from, std::size_t n) {
        for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
        return to;
    }
    static wchar_t* assign(wchar_t* s, std::size_t n, wchar_t c) {
        for (std::size_t i = 0; i < n; ++i) s[i] = c;
        return s;
    }
    static void assign(wchar_t& to, const wchar_t& from) { to = from; }
};

using WString = std::basic_string<wchar_t, WideTraits>;

// Conversions between UTF-8 (or another code page) and WString.
inline WString Widen(const std::string& text, UINT codePage = CP_UTF8) {
    if (text.empty()) return WString();
    int size = MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), nullptr, 0);
    if (size <= 0) return WString();
    WString out(std::size_t(size), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), int(text.size()), &out[0], size);
    return out;
}

inline std::string Narrow(const wchar_t* text, std::size_t length, UINT codePage) {
    if (length == 0) return std::string();
    int size = WideCharToMultiByte(codePage, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string out(std::size_t(size), '\0');
    WideCharToMultiByte(codePage, 0, text, int(length), &out[0], size, nullptr, nullptr);
    return out;
}

inline std::string Narrow(const WString& text, UINT codePage = CP_UTF8) {
    return Narrow(text.data(), text.size(), codePage);
}

// A path camfetch holds as a narrow std::string is in the ANSI code page: the code page of
// the camera's file names, of the A functions and of the settings stored through them. It
// becomes wide for a W function only through WidenPath, and a wide path (from a W function or
// a common dialog) becomes narrow only through NarrowPath. A character the code page lacks
// becomes '?', which no existing file's name contains. camflash keeps its paths in UTF-8
// (Widen and Narrow), which loses no character.
inline WString WidenPath(const std::string& path) { return Widen(path, CP_ACP); }
inline std::string NarrowPath(const WString& path) { return Narrow(path, CP_ACP); }

}  // namespace camtools
