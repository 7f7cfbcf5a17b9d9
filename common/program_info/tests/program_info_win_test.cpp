// The programs' version resources and application manifests, read from the built files as
// Windows' Explorer and loader read them. The programs are named by CAMFETCH_EXE and
// CAMFLASH_EXE; CAMTOOLS_VERSION is the project's version.
#include <windows.h>

#include <string>
#include <vector>

#include "scoped_win.h"
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
    camtools::ScopedModule module(LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) return "<not loadable>";
    std::string text;
    HRSRC found = FindResourceA(module.Get(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    if (HGLOBAL data = found ? LoadResource(module.Get(), found) : nullptr)
        text.assign(static_cast<const char*>(LockResource(data)),
                    SizeofResource(module.Get(), found));
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

        // Common controls 6, no elevation, sharp at any scaling (per-monitor DPI awareness,
        // with the older systems' form), and every system from Windows 7 to 10 and 11.
        const std::string manifest = Manifest(path);
        for (const char* entry : {
                 "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>",
                 "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                 "WindowsSettings\">PerMonitorV2, PerMonitor</dpiAwareness>",
                 "WindowsSettings\">true/pm</dpiAware>",
                 "<supportedOS Id=\"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}\"/>",  // 7
                 "<supportedOS Id=\"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}\"/>",  // 8
                 "<supportedOS Id=\"{1f676c76-80e1-4239-95bb-83d0f6d0da78}\"/>",  // 8.1
                 "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",  // 10, 11
             })
            WT_CHECK_MSG(manifest.find(entry) != std::string::npos,
                         std::string(program.name) + " lacks " + entry);
    }
}

int main(int argc, char** argv) { return wintest::RunAll(argc, argv); }
