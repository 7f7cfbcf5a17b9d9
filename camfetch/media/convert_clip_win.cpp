#include "media_win.h"

namespace media {

ConvertResult ConvertClipToI420(const std::string& path) {
    static UsbCameraSettings settings;  // loaded by the run's first conversion
    std::unique_ptr<ClipPlatform> platform = CreateAviFilePlatform();
    std::unique_ptr<Registry> registry = CreateMachineRegistry();
    return ConvertClipToI420(path, *platform, *registry, settings);
}

}  // namespace media
