// Clip conversion on Windows (and under Wine): the platform's AVIFile services, the machine's
// registry, and the conversion as the download run calls it. Built in the Win32 builds only;
// this header itself does not need windows.h.
#pragma once

#include <memory>
#include <string>

#include "clip_conversion.h"
#include "conversion_job.h"

namespace media {

// AVIFile (avifil32) and the Win32 file functions. The AVIFile services are initialised for
// the platform object's lifetime.
std::unique_ptr<ClipPlatform> CreateAviFilePlatform();

// HKEY_LOCAL_MACHINE through RegCreateKeyExA / RegOpenKeyExA / RegQueryValueExA.
std::unique_ptr<Registry> CreateMachineRegistry();

// A thread made by the platform. Under Wine a thread that calls Win32, or that Wine is to know
// about, must be made by Wine: a Winelib program's std::thread is not.
std::unique_ptr<JobThread> StartWin32Thread(std::function<void()> body);

// Converts the clip at `path` (see clip_conversion.h) on the calling thread, with the camera
// settings of this run, which the first conversion loads from the registry.
ConvertResult ConvertClipToI420(const std::string& path);

// Starts the conversion of the clip at `path` beside the calling thread, with the same
// settings. The job's thread initialises COM and the AVIFile services for itself.
std::unique_ptr<ConversionJob> StartClipConversion(const std::string& path);

}  // namespace media
