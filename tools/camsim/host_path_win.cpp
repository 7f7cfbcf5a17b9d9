#include "host_path_win.h"

#include <vector>

namespace camsim {
namespace {

using camtools::Narrow;
using camtools::Widen;
using camtools::WString;

#ifdef __WINE__
bool IsWindowsPath(const WString& path) {
    return path.size() >= 2 && (path[1] == L':' || path[0] == L'\\');
}

// Wine's kernel32 exports the conversion between its drive letters and Unix paths.
using ToUnixFn = char*(CDECL*)(LPCWSTR);
#else
using ToDosFn = WCHAR*(CDECL*)(LPCSTR);
#endif

}  // namespace

WString ReadEnvironment(const wchar_t* name) {
    DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return WString();
    std::vector<wchar_t> buffer(size);
    DWORD written = GetEnvironmentVariableW(name, buffer.data(), size);
    if (written == 0 || written >= size) return WString();
    return WString(buffer.data(), written);
}

std::string HostPath(const WString& path) {
#ifdef __WINE__
    if (IsWindowsPath(path)) {
        auto toUnix = reinterpret_cast<ToUnixFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
        if (toUnix) {
            if (char* unixPath = toUnix(path.c_str())) {
                std::string out(unixPath);
                HeapFree(GetProcessHeap(), 0, unixPath);
                return out;
            }
        }
    }
    return Narrow(path, CP_UTF8);
#else
    if (!path.empty() && path[0] == L'/') {
        // Present only under Wine; on Windows a path starting with '/' stays as it is.
        auto toDos = reinterpret_cast<ToDosFn>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
        if (toDos) {
            std::string unixPath = Narrow(path, CP_UTF8);
            if (WCHAR* dosPath = toDos(unixPath.c_str())) {
                std::string out = camtools::NarrowPath(camtools::WString(dosPath));
                HeapFree(GetProcessHeap(), 0, dosPath);
                return out;
            }
        }
    }
    return camtools::NarrowPath(path);
#endif
}

std::string HostPath(const std::string& path) {
#ifdef __WINE__
    return HostPath(Widen(path, CP_UTF8));
#else
    // A Unix path is UTF-8; a Windows path here is already in the ANSI code page.
    if (!path.empty() && path[0] == '/') return HostPath(Widen(path, CP_UTF8));
    return path;
#endif
}

}  // namespace camsim
