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

// The settings key, opened with full access and created when missing.
class SettingsRegistry {
public:
    virtual ~SettingsRegistry() = default;
    virtual bool OpenKey() = 0;
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

    // Defaults, then Load; always succeeds.
    bool InitialiseAndLoad(SettingsRegistry& registry);
    // False when the key cannot be opened; the fields then keep their values.
    bool Load(SettingsRegistry& registry);
    // False only when the key cannot be opened or created.
    bool Save(SettingsRegistry& registry) const;
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
