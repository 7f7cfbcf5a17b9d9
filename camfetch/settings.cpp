#include "settings.h"

namespace camfetch {

std::string StoredText(const uint8_t* data, uint32_t size) {
    uint32_t n = 0;
    while (n < size && data[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(data), n);
}

namespace {

// The open key's folder value; false when it is absent or longer than the setting allows.
bool QueryFolder(SettingsRegistry& registry, std::string& folder) {
    uint8_t text[kFolderBufferSize] = {};
    uint32_t size = sizeof text;
    if (!registry.QueryValue(kValueFolder, text, size)) return false;
    std::string stored = StoredText(text, size);
    // 256 characters stored without a terminator do not fit the 255 the setting allows.
    if (stored.size() >= kFolderBufferSize) return false;
    folder = stored;
    return true;
}

}  // namespace

bool FetchSettings::InitialiseAndLoad(SettingsRegistry& registry) {
    downloadFolder = kDefaultFolder;
    enhance = false;
    folderPerUser = false;
    folderChosen = false;
    Load(registry);
    return true;
}

bool FetchSettings::Load(SettingsRegistry& registry) {
    // Full access first, as an elevated program has it; a standard user may only read.
    const bool machine = registry.OpenKey(SettingsKey::MachineFullAccess) ||
                         registry.OpenKey(SettingsKey::MachineRead);
    if (machine) {
        uint8_t word[4] = {};
        uint32_t size = sizeof word;
        if (registry.QueryValue(kValueEnhance, word, size)) {
            uint32_t value = 0;
            for (uint32_t i = 0; i < size; ++i) value |= uint32_t(word[i]) << (8 * i);
            enhance = value != 0;
        }
        QueryFolder(registry, downloadFolder);
        registry.CloseKey();
    }
    const bool user = registry.OpenKey(SettingsKey::UserRead);
    if (user) {
        if (QueryFolder(registry, downloadFolder)) folderPerUser = true;
        registry.CloseKey();
    }
    return machine || user;
}

bool FetchSettings::Save(SettingsRegistry& registry) const {
    bool machineFolder = false;
    if (registry.OpenKey(SettingsKey::MachineFullAccess)) {
        registry.SetDword(kValueEnhance, enhance ? 1 : 0);
        machineFolder = registry.SetString(kValueFolder, downloadFolder);
        registry.CloseKey();
    }
    if (machineFolder && !folderPerUser) return true;
    // Nothing of this user's to keep: the next start reads the folder it read this time.
    if (!folderPerUser && !folderChosen) return true;
    if (!registry.OpenKey(SettingsKey::UserWrite)) return false;
    const bool userFolder = registry.SetString(kValueFolder, downloadFolder);
    registry.CloseKey();
    return userFolder;
}

void FetchSettings::KeepDialogFolder(const std::string& folder) {
    if (folder == downloadFolder) return;
    downloadFolder = folder;
    folderChosen = true;
}

ReadyWait WaitForCameraReady(camera::CameraChannel& camera,
                             const std::function<void(uint32_t)>& sleepMs, uint32_t pollLimit) {
    uint8_t value = 0;
    if (!camera.ReadRegister(kReadyRegister, value) || !(value & kReadyBusyBit))
        return ReadyWait::NotNeeded;
    for (uint32_t poll = 0; poll < pollLimit; ++poll) {
        uint32_t ready = 0;
        if (camera.GetFirmwareReady(ready) && ready == 1) return ReadyWait::Ready;
        sleepMs(kReadyPollPauseMs);
    }
    return ReadyWait::GaveUp;
}

}  // namespace camfetch
