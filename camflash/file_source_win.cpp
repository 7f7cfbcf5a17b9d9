#include "file_source_win.h"

#include "scoped_win.h"
#include "win_util_win.h"

namespace camflash {
namespace {

// The system's description of an error code, without the trailing line end.
std::string DescribeError(DWORD code) {
    camtools::ScopedLocalMemory<wchar_t*> text;
    DWORD n = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<LPWSTR>(text.Out()), 0, nullptr);
    WString description = n && text ? WString(text.Get(), n) : WString();
    while (!description.empty() && (description.back() == L'\n' || description.back() == L'\r' ||
                                    description.back() == L' '))
        description.pop_back();
    if (description.empty()) return "Error " + std::to_string(code);
    return Narrow(description);
}

class Win32File : public InputFile {
public:
    explicit Win32File(HANDLE file) : file_(file) {}

    bool Size(uint64_t& size) override {
        LARGE_INTEGER length;
        if (!GetFileSizeEx(file_.Get(), &length) || length.QuadPart < 0) return false;
        size = uint64_t(length.QuadPart);
        return true;
    }

    bool Read(void* buffer, size_t size, size_t& got, std::string& errorText) override {
        // ReadFile takes at most a DWORD per call; the callers read in a loop.
        DWORD want = size > 0x40000000u ? 0x40000000u : DWORD(size);
        DWORD read = 0;
        got = 0;
        if (!ReadFile(file_.Get(), buffer, want, &read, nullptr)) {
            errorText = DescribeError(GetLastError());
            return false;
        }
        got = read;
        return true;
    }

private:
    camtools::ScopedHandle file_;
};

}  // namespace

std::unique_ptr<InputFile> Win32FileOpener::OpenForReading(const std::string& path) {
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return std::make_unique<Win32File>(file);
}

}  // namespace camflash
