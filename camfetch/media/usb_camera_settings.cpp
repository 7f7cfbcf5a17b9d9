#include "usb_camera_settings.h"

namespace media {

void LoadUsbCameraSettings(UsbCameraSettings& settings, Registry& registry) {
    if (settings.loaded) return;
    const char* path = "SOFTWARE\\ZQ71R\\UsbCamera";
    std::unique_ptr<RegistryKey> key = registry.OpenMachineKey(path);
    if (!key) key = registry.OpenMachineKeyForReading(path);
    if (!key) return;
    uint32_t flip = 0;
    if (key->ReadValue("FlipHorz", &flip, sizeof flip)) settings.mirror = flip != 0;
    settings.loaded = true;
}

}  // namespace media
