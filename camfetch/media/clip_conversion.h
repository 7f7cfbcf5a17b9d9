// Rewriting of a downloaded Motion-JPEG clip, in place, as an AVI file with uncompressed I420
// video (mirrored when the camera's settings ask for it) and the same sound.
#pragma once

#include <string>

#include "clip_platform.h"
#include "convert_result.h"
#include "frame_decoder.h"
#include "usb_camera_settings.h"

namespace media {

// Converts the clip at `path`. Loads the camera settings first (once per `settings` record).
// The clip is replaced only by a complete output; on any failure it stays as it was and the
// temporary output ("Zan<n>.avi" in the clip's folder) is removed. `decodePath` chooses how
// frames are decoded (the output is the same either way).
ConvertResult ConvertClipToI420(const std::string& path, ClipPlatform& platform, Registry& registry,
                                UsbCameraSettings& settings,
                                DecodePath decodePath = DecodePath::kFast);

}  // namespace media
