// Clip conversion on Windows (and under Wine): the platform's AVIFile services, the machine's
// registry, and the conversion as the download run calls it. Built in the Win32 builds only;
// this header itself does not need windows.h.
#pragma once

#include <memory>
#include <string>

#include "clip_conversion.h"

namespace media {

// AVIFile (avifil32) and the Win32 file functions. The AVIFile services are initialised for
// the platform object's lifetime.
std::unique_ptr<ClipPlatform> CreateAviFilePlatform();

// HKEY_LOCAL_MACHINE through RegCreateKeyExA / RegOpenKeyExA / RegQueryValueExA.
std::unique_ptr<Registry> CreateMachineRegistry();

// Converts the clip at `path` (see clip_conversion.h) with the camera settings of this run,
// which the first conversion loads from the registry.
ConvertResult ConvertClipToI420(const std::string& path);

}  // namespace media
