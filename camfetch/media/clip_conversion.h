// Rewriting of a downloaded Motion-JPEG clip, in place, as an AVI file with uncompressed I420
// video (mirrored when the camera's settings ask for it) and the same sound.
#pragma once

#include <string>

#include "clip_platform.h"
#include "frame_decoder.h"
#include "usb_camera_settings.h"

namespace media {

// Results of ConvertClipToI420.
enum ConvertResult {
    kConverted = 0,          // the file at the path is now the I420 clip
    kCannotOpen = 1,         // the clip cannot be opened, or the output cannot be created or put in its place
    kCannotGetStream = 2,    // one of the clip's streams cannot be obtained
    kNotMotionJpeg = 3,      // no video stream with handler "MJPG"
    kNotEnoughSpace = 4,     // not enough free space (or memory) for the converted video
    kCannotCreateStream = 5,
    kCannotSetFormat = 6,
    kWriteFailed = 7,        // writing a frame or sound run fails, or the output is incomplete
    kNoFrameDecoded = 8,     // the clip has frames, and not one of them decodes
};

// Converts the clip at `path`. Loads the camera settings first (once per `settings` record).
// The clip is replaced only by a complete output; on any failure it stays as it was and the
// temporary output ("Zan<n>.avi" in the clip's folder) is removed. `decodePath` chooses how
// frames are decoded (the output is the same either way).
int ConvertClipToI420(const std::string& path, ClipPlatform& platform, Registry& registry,
                      UsbCameraSettings& settings, DecodePath decodePath = DecodePath::kFast);

}  // namespace media
