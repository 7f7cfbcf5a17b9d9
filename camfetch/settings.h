// The utility's persisted settings (the download folder and the enhance flag) and the
// start-up wait for a camera that is still getting ready.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "camera_channel.h"

namespace camfetch {

constexpr const char* kSettingsKey = "SOFTWARE\\ZQ71R";
constexpr const char* kValueEnhance = "EnhanceJPEG";
constexpr const char* kValueFolder = "FlashImageSaveToDir";
constexpr const char* kDefaultFolder = "c:\\";
constexpr uint32_t kFolderBufferSize = 256;  // 255 characters and the terminator

// The keys the settings live in, and how each is opened. A standard user cannot open the
// machine's key with full access (nor create it), but may read it; the folder is then kept in
// the user's own key.
enum class SettingsKey {
    MachineFullAccess,  // HKEY_LOCAL_MACHINE\SOFTWARE\ZQ71R with full access, created when missing
    MachineRead,        // the same key for reading only; never created
    UserRead,           // HKEY_CURRENT_USER\Software\ZQ71R for reading only; never created
    UserWrite,          // the user's key for writing, created when missing
};

constexpr const char* kUserSettingsKey = "Software\\ZQ71R";

// The settings keys; one is open at a time.
class SettingsRegistry {
public:
    virtual ~SettingsRegistry() = default;
    virtual bool OpenKey(SettingsKey key) = 0;
    virtual void CloseKey() = 0;
    // Reads a value's bytes as stored, whatever its type. `size` holds the capacity on entry
    // and the stored byte count on success; fails when the value is absent or larger.
    virtual bool QueryValue(const char* name, uint8_t* buffer, uint32_t& size) = 0;
    virtual bool SetDword(const char* name, uint32_t value) = 0;
    // Writes REG_SZ with its terminating null.
    virtual bool SetString(const char* name, const std::string& text) = 0;
};

struct FetchSettings {
    std::string downloadFolder = kDefaultFolder;
    bool enhance = false;
    // The user's own key held a folder at load; it then overrides the machine's, so a save
    // must write it there too or the folder chosen now would be shadowed at the next start.
    bool folderPerUser = false;
    // The user chose this folder in this run (left the dialog with Exit and another folder).
    bool folderChosen = false;

    // Defaults, then Load; always succeeds.
    bool InitialiseAndLoad(SettingsRegistry& registry);
    // Reads the machine's key (for reading only when full access is refused), then the user's
    // folder, which takes precedence when present. False when neither key can be opened; the
    // fields then keep their values.
    bool Load(SettingsRegistry& registry);
    // Writes both values to the machine's key, and the folder to the user's key when the
    // user's held one at load, or when the machine's refuses it and the user chose a folder.
    // A standard user who chose nothing writes nothing: a copy of the machine's folder in the
    // user's key would hide a folder an administrator sets there later. True when the folder
    // is stored where the next Load takes it from.
    bool Save(SettingsRegistry& registry) const;
    // The folder the dialog ended with, kept when it differs from the loaded one.
    void KeepDialogFolder(const std::string& folder);
};

// The text of a REG_SZ value as read: up to its first null, and never past the bytes that
// were stored (a value written without its terminator ends at its last byte).
std::string StoredText(const uint8_t* data, uint32_t size);

// The camera reports through bit 5 of register 0x0740 that its firmware is still starting;
// the program then polls the firmware-ready flag every 10 ms. The wait is bounded so that a
// camera that never gets ready still leads to the main window, whose connection then shows
// what the camera does.
constexpr uint32_t kReadyRegister = 0x0740;
constexpr uint8_t kReadyBusyBit = 0x20;
constexpr uint32_t kReadyPollPauseMs = 10;
constexpr uint32_t kReadyPollLimit = 3000;  // about 30 seconds of polls

enum class ReadyWait { NotNeeded, Ready, GaveUp };

ReadyWait WaitForCameraReady(camera::CameraChannel& camera,
                             const std::function<void(uint32_t)>& sleepMs,
                             uint32_t pollLimit = kReadyPollLimit);

}  // namespace camfetch
