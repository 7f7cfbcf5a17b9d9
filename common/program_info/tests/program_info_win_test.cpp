// The programs' version resources and application manifests, read from the built files as
// Windows' Explorer and loader read them. The programs are named by CAMFETCH_EXE and
// CAMFLASH_EXE; CAMTOOLS_VERSION is the project's version.
#include <windows.h>

#include <string>
#include <vector>

#include "windriver.h"
#include "wintest.h"

namespace {

std::string VersionString(const std::vector<char>& info, const char* name) {
    char* value = nullptr;
    UINT size = 0;
    std::string key = std::string("\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &size) ||
        !value)
        return "";
    return std::string(value);
}

std::string Manifest(const std::string& path) {
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return "<not loadable>";
    std::string text;
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    if (HGLOBAL data = found ? LoadResource(module, found) : nullptr)
        text.assign(static_cast<const char*>(LockResource(data)), SizeofResource(module, found));
    FreeLibrary(module);
    return text;
}

}  // namespace

WT_TEST(BothProgramsCarryVersionAndManifest) {
    const struct {
        const char* variable;
        const char* name;
        const char* description;
    } programs[] = {
        {"CAMFETCH_EXE", "camfetch", "ZQ71R camera image download utility"},
        {"CAMFLASH_EXE", "camflash", "ZQ71R camera firmware updater"},
    };
    for (const auto& program : programs) {
        const std::string path = windriver::EnvironmentPath(program.variable);
        DWORD handle = 0;
        std::vector<char> info(GetFileVersionInfoSizeA(path.c_str(), &handle));
        WT_CHECK_MSG(
            !info.empty() && GetFileVersionInfoA(path.c_str(), 0, DWORD(info.size()), info.data()),
            path);
        if (info.empty()) continue;
        WT_CHECK_EQ(VersionString(info, "ProductName"), std::string("camtools"));
        WT_CHECK_EQ(VersionString(info, "ProductVersion"), std::string(CAMTOOLS_VERSION));
        WT_CHECK_EQ(VersionString(info, "FileVersion"), std::string(CAMTOOLS_VERSION));
        WT_CHECK_EQ(VersionString(info, "FileDescription"), std::string(program.description));
        WT_CHECK_EQ(VersionString(info, "OriginalFilename"), std::string(program.name) + ".exe");
        VS_FIXEDFILEINFO* fixed = nullptr;
        UINT size = 0;
        WT_CHECK(VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &size) &&
                 fixed);
        if (fixed) WT_CHECK_EQ(fixed->dwFileVersionMS, DWORD(CAMTOOLS_VERSION_MS));

        const std::string manifest = Manifest(path);
        WT_CHECK_MSG(
            manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>") !=
                std::string::npos,
            program.name);
        WT_CHECK_MSG(
            manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"") !=
                std::string::npos,
            program.name);
    }
}

int main(int argc, char** argv) { return wintest::RunAll(argc, argv); }
