#include "settings.h"

namespace camfetch {

std::string StoredText(const uint8_t* data, uint32_t size) {
    uint32_t n = 0;
    while (n < size && data[n] != 0) ++n;
    return std::string(reinterpret_cast<const char*>(data), n);
}

bool FetchSettings::InitialiseAndLoad(SettingsRegistry& registry) {
    downloadFolder = kDefaultFolder;
    enhance = false;
    Load(registry);
    return true;
}

bool FetchSettings::Load(SettingsRegistry& registry) {
    if (!registry.OpenKey()) return false;
    uint8_t word[4] = {};
    uint32_t size = sizeof word;
    if (registry.QueryValue(kValueEnhance, word, size)) {
        uint32_t value = 0;
        for (uint32_t i = 0; i < size; ++i) value |= uint32_t(word[i]) << (8 * i);
        enhance = value != 0;
    }
    uint8_t text[kFolderBufferSize] = {};
    size = sizeof text;
    if (registry.QueryValue(kValueFolder, text, size)) {
        std::string folder = StoredText(text, size);
        // 256 characters stored without a terminator do not fit the 255 the setting allows.
        if (folder.size() < kFolderBufferSize) downloadFolder = folder;
    }
    registry.CloseKey();
    return true;
}

bool FetchSettings::Save(SettingsRegistry& registry) const {
    if (!registry.OpenKey()) return false;
    registry.SetDword(kValueEnhance, enhance ? 1 : 0);
    registry.SetString(kValueFolder, downloadFolder);
    registry.CloseKey();
    return true;
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
