// Rewriting of a downloaded Motion-JPEG clip, in place, as an AVI file with uncompressed I420
// video (mirrored when the camera's settings ask for it) and the same sound.
#pragma once

#include <string>

#include "clip_platform.h"
#include "convert_control.h"
#include "convert_result.h"
#include "frame_decoder.h"
#include "usb_camera_settings.h"

namespace media {

// How a conversion runs. None of it changes the bytes written.
struct ConvertOptions {
    DecodePath decodePath = DecodePath::kFast;
    // Threads that decode frames while the calling thread reads and writes the files. With 1
    // (a machine of one core), or when no thread can be started, the calling thread decodes.
    unsigned workers = DecodingWorkers();
    ThreadStarter startThread = StartStdThread;
    // Where the conversion reports its progress and looks for Cancel; none when null.
    ConvertControl* control = nullptr;
};

// Converts the clip at `path`. Loads the camera settings first (once per `settings` record).
// The clip is replaced only by a complete output; on any failure, and when cancelled, it stays
// as it was and the temporary output ("Zan<n>.avi" in the clip's folder) is removed. Every
// file and stream is opened, used and released on the calling thread.
ConvertResult ConvertClipToI420(const std::string& path, ClipPlatform& platform, Registry& registry,
                                UsbCameraSettings& settings,
                                const ConvertOptions& options = ConvertOptions());

}  // namespace media
