// camfetch's start-up and shut-down under Wine: the single-instance mutex, the settings in
// HKEY_LOCAL_MACHINE\SOFTWARE\ZQ71R (and a folder kept per user) after Exit, Cancel and starts
// without a camera, and the bounded readiness wait. The camera is the simulated camera's model.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <cctype>
#include <cstring>
#include <memory>

#include "camera_model.h"
#include "dialog_run_win.h"
#include "fetch_app_win.h"
#include "resource.h"
#include "scoped_win.h"
#include "windriver.h"
#include "wintest.h"

using namespace camfetch;

namespace {

const char* kKey = "SOFTWARE\\ZQ71R";
const char* kUserKey = "Software\\ZQ71R";

// Removes camfetch's two values and the user's key. The machine's key itself may hold the clip
// conversion's sub-key.
void DeleteSettings() {
    windriver::DeleteRegistryKey(HKEY_CURRENT_USER, kUserKey);
    windriver::DeleteRegistryValues(HKEY_LOCAL_MACHINE, kKey,
                                    {"EnhanceJPEG", "FlashImageSaveToDir"});
}

bool SettingsExist() {
    return windriver::ReadRegistryValue(HKEY_LOCAL_MACHINE, kKey, "EnhanceJPEG") ||
           windriver::ReadRegistryValue(HKEY_LOCAL_MACHINE, kKey, "FlashImageSaveToDir");
}

void StoreRaw(const char* name, DWORD type, const void* data, DWORD size) {
    windriver::SetRegistryValue(HKEY_LOCAL_MACHINE, kKey, name, type, data, size);
}

// The folder kept for the current user, or "<none>".
std::string UserFolder() {
    return windriver::RegistryString(HKEY_CURRENT_USER, kUserKey, "FlashImageSaveToDir")
        .value_or("<none>");
}

void StoreFolder(const std::string& folder) {
    StoreRaw("FlashImageSaveToDir", REG_SZ, folder.c_str(), DWORD(folder.size() + 1));
}

struct Stored {
    bool hasEnhance = false;
    DWORD enhance = 0;
    DWORD enhanceType = 0;
    bool hasFolder = false;
    std::string folder;
    DWORD folderType = 0;
};

Stored ReadSettings() {
    Stored stored;
    const auto enhance = windriver::ReadRegistryValue(HKEY_LOCAL_MACHINE, kKey, "EnhanceJPEG");
    stored.hasEnhance = enhance && enhance->bytes.size() <= sizeof stored.enhance;
    if (stored.hasEnhance) {
        stored.enhanceType = enhance->type;
        std::memcpy(&stored.enhance, enhance->bytes.data(), enhance->bytes.size());
    }
    const auto folder =
        windriver::ReadRegistryValue(HKEY_LOCAL_MACHINE, kKey, "FlashImageSaveToDir");
    stored.hasFolder = folder && folder->bytes.size() < 1024;
    if (stored.hasFolder) {
        stored.folderType = folder->type;
        stored.folder = folder->bytes.c_str();  // up to the first terminator
    }
    return stored;
}

std::string Lower(std::string text) {
    for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

camsim::Profile OneFile() {
    camsim::Profile profile;
    camsim::StoredFile file;
    file.name = "IMG_0001";
    file.extension = "JPG";
    file.content.assign(100, 1);
    profile.files = {file};
    return profile;
}

// Runs the whole program on this thread against `model`; `script` gets the main dialog's
// window, or null when none appeared within `appearMs`.
void RunApp(camsim::CameraModel& model, const std::function<void(HWND)>& script,
            uint32_t readyPollLimit = kReadyPollLimit, DWORD appearMs = 15000) {
    windriver::Thread driver([&] { DriveMainDialog(script, appearMs); });
    FetchAppOptions options;
    options.timing = {20, 100};
    options.readyPollLimit = readyPollLimit;
    RunFetchApplication(GetModuleHandleW(nullptr), std::make_unique<camsim::ModelTransport>(model),
                        options);
    WT_CHECK_MSG(driver.Join(60000), "the script ends");
}

// In the Ready dialog: Browse, let the shell's folder browser pick `folder`, and press OK.
void BrowseTo(HWND dialog, const char* folder) {
    WT_CHECK(windriver::WaitUntilSettled(dialog,
                                         [&] { return windriver::IsEnabled(dialog, IDC_BROWSE); }));
    WT_CHECK(windriver::Click(dialog, IDC_BROWSE));  // posted: Browse runs a modal loop
    HWND browser =
        windriver::WaitForWindow(GetCurrentProcessId(), "#32770", "", windriver::kWaitMs, dialog);
    WT_CHECK_MSG(browser != nullptr, "the folder browser appears");
    if (!browser) return;
    WT_CHECK_EQ(windriver::Text(browser).empty(), false);
    SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, LPARAM(folder));
    WT_CHECK(windriver::Click(browser, IDOK));
    WT_CHECK_MSG(
        windriver::WaitUntilSettled(dialog,
                                    [&] {
                                        return Lower(windriver::ControlText(
                                                   dialog, IDC_DOWNLOAD_FOLDER)) == Lower(folder);
                                    }),
        "the chosen folder is shown: " + windriver::ControlText(dialog, IDC_DOWNLOAD_FOLDER));
}

}  // namespace

WT_TEST(FolderIsSavedOnlyAfterExit) {
    struct Row {
        const char* what;
        bool closeBox;  // ended by the close box, else by Exit
        const char* saved;
    };
    const Row rows[] = {
        {"Exit", false, "c:\\windows"},
        {"close box", true, "c:\\"},
    };
    for (const Row& row : rows) {
        DeleteSettings();
        StoreFolder("c:\\");
        DWORD five = 5;
        StoreRaw("EnhanceJPEG", REG_DWORD, &five, 4);
        camsim::CameraModel model(OneFile());
        RunApp(model, [&](HWND dialog) {
            WT_CHECK_MSG(dialog != nullptr, row.what);
            if (!dialog) return;
            WT_CHECK_EQ(windriver::ControlText(dialog, IDC_DOWNLOAD_FOLDER), std::string("c:\\"));
            BrowseTo(dialog, "C:\\windows");
            WT_CHECK(row.closeBox ? windriver::Close(dialog) : windriver::Press(dialog, IDOK));
        });
        Stored stored = ReadSettings();
        WT_CHECK_MSG(Lower(stored.folder) == row.saved,
                     std::string(row.what) + ": " + stored.folder);
        WT_CHECK_MSG(stored.folderType == REG_SZ, row.what);
        WT_CHECK_MSG(stored.enhance == 1 && stored.enhanceType == REG_DWORD, row.what);
    }
}

WT_TEST(StoredFolderIsShownAndKept) {
    struct Row {
        const char* what;
        std::string stored;  // bytes as stored, REG_SZ
        std::string user;    // the user's own folder, or "<none>"
        std::string shown;   // in control 1189
        std::string saved;
    };
    std::string deep = "c:";
    while (deep.size() < 240) deep += "\\photographs";
    deep += "\\camera";
    const std::string none = "<none>";
    const Row rows[] = {
        {"300 characters", std::string("c:\\") + std::string(296, 'x') + std::string(1, '\0'), none,
         "c:\\", "c:\\"},
        {"without terminator", "c:\\windows", none, "c:\\windows", "c:\\windows"},
        {"long path", deep + std::string(1, '\0'), none, "", deep},
        {"a per-user folder first", std::string("c:\\", 4), "c:\\windows", "c:\\windows",
         "c:\\windows"},
    };
    for (const Row& row : rows) {
        DeleteSettings();
        StoreRaw("FlashImageSaveToDir", REG_SZ, row.stored.data(), DWORD(row.stored.size()));
        if (row.user != none) {
            windriver::SetRegistryString(HKEY_CURRENT_USER, kUserKey, "FlashImageSaveToDir",
                                         row.user);
        }
        camsim::CameraModel model(OneFile());
        RunApp(model, [&](HWND dialog) {
            WT_CHECK_MSG(dialog != nullptr, row.what);
            if (!dialog) return;
            std::string shown = windriver::ControlText(dialog, IDC_DOWNLOAD_FOLDER);
            if (!row.shown.empty())
                WT_CHECK_MSG(shown == row.shown, std::string(row.what) + ": " + shown);
            else
                WT_CHECK_MSG(shown.find("...") != std::string::npos && shown.size() < 100 &&
                                 shown.substr(shown.size() - 7) == "\\camera",
                             std::string(row.what) + ": a long folder is compacted: " + shown);
            windriver::WaitUntilSettled(dialog,
                                        [&] { return windriver::IsEnabled(dialog, IDC_DOWNLOAD); });
            WT_CHECK(windriver::Press(dialog, IDOK));
        });
        Stored stored = ReadSettings();
        WT_CHECK_MSG(stored.folder == row.saved, std::string(row.what) + ": " + stored.folder);
        WT_CHECK_MSG(stored.hasEnhance && stored.enhance == 0, row.what);
        // Where the machine's key takes writes, a per-user folder appears only if one was there.
        WT_CHECK_MSG(UserFolder() == (row.user == none ? none : row.saved),
                     std::string(row.what) + ": " + UserFolder());
    }
}

WT_TEST(WithoutCameraNoWindowAndDefaultsSaved) {
    DeleteSettings();
    camsim::Profile profile = OneFile();
    profile.friendlyName = "ZQ71R Camera ";  // not the camera: a trailing space
    camsim::CameraModel model(profile);
    RunApp(
        model, [&](HWND dialog) { WT_CHECK_MSG(dialog == nullptr, "no window"); }, kReadyPollLimit,
        1500);
    Stored stored = ReadSettings();
    WT_CHECK(stored.hasEnhance && stored.enhance == 0 && stored.enhanceType == REG_DWORD);
    WT_CHECK_EQ(stored.folder, std::string("c:\\"));
    WT_CHECK(model.trace().empty());
}

WT_TEST(SecondCopyEndsWithoutTouchingAnything) {
    DeleteSettings();
    camtools::ScopedHandle first(CreateMutexA(nullptr, TRUE, "ZQ71RD"));
    WT_CHECK(bool(first));
    camsim::CameraModel model(OneFile());
    RunApp(
        model, [&](HWND dialog) { WT_CHECK_MSG(dialog == nullptr, "no window"); }, kReadyPollLimit,
        1500);
    first.Close();
    WT_CHECK(!SettingsExist());
    WT_CHECK(model.trace().empty());
}

WT_TEST(ReadinessWaitIsBounded) {
    struct Row {
        const char* what;
        uint8_t registerValue;
        bool neverReady;
        uint32_t readyAfter;
        int polls;  // requests of property 67 before the dialog
    };
    const Row rows[] = {
        {"bit 5 clear", 0xDF, true, 0, 0},
        {"ready after 3 polls", 0x20, false, 3, 4},
        {"never ready: the window still appears", 0x20, true, 0, 6},
    };
    for (const Row& row : rows) {
        camsim::Profile profile = OneFile();
        profile.registers[0x0740] = row.registerValue;
        profile.firmwareNeverReady = row.neverReady;
        profile.firmwareReadyAfterPolls = row.readyAfter;
        camsim::CameraModel model(profile);
        RunApp(
            model,
            [&](HWND dialog) {
                WT_CHECK_MSG(dialog != nullptr, row.what);
                if (dialog) WT_CHECK(windriver::Press(dialog, IDOK));
            },
            6);
        int polls = 0;
        for (const auto& r : model.trace()) polls += r.property == camera::kPropFirmwareReady;
        WT_CHECK_MSG(polls == row.polls, std::string(row.what) + ": " + std::to_string(polls));
    }
}

int main(int argc, char** argv) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    int result = wintest::RunAll(argc, argv);
    DeleteSettings();
    return result;
}
