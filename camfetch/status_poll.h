// The status poll every step of the download session starts with, and the block read that
// follows a ready status. Each step acts on three outcomes: a failure ends it (with the reason
// in words), a busy camera leaves it for the next tick, a ready one lets it read the block.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "camera_channel.h"

namespace camfetch {

enum class Poll { Failed, Busy, Ready };

// Reads the status record (property 34) into `info`. `error` is tested before `ready`. On
// Failed, `reason` says why.
Poll PollStatus(camera::CameraChannel& camera, camera::SystemInfo& info, std::string& reason);

// Reads the block a ready status names into `block`; an empty block for a length of zero.
// False, with the reason, when the read fails or the block is longer than kMaxBlockLength
// (which every length negative as signed is).
bool ReadBlock(camera::CameraChannel& camera, const camera::SystemInfo& info,
               std::vector<uint8_t>& block, std::string& reason);

}  // namespace camfetch
