#include "status_poll.h"

#include "fetch_view.h"

namespace camfetch {

Poll PollStatus(camera::CameraChannel& camera, camera::SystemInfo& info, std::string& reason) {
    if (!camera.GetSystemInfo(info)) {
        reason = "the status could not be read";
        return Poll::Failed;
    }
    if (info.flags & camera::kStatusError) {
        reason = "the camera reported an error";
        return Poll::Failed;
    }
    return info.flags & camera::kStatusReady ? Poll::Ready : Poll::Busy;
}

bool ReadBlock(camera::CameraChannel& camera, const camera::SystemInfo& info,
               std::vector<uint8_t>& block, std::string& reason) {
    block.clear();
    int32_t length = int32_t(info.length);  // signed: zero or negative means no data
    if (length <= 0) return true;
    if (uint32_t(length) > kMaxBlockLength) {
        reason = "the camera named a block longer than the limit";
        return false;
    }
    block.resize(size_t(length));
    if (!camera.ReadMemory(info.address, uint32_t(length), block.data())) {
        reason = "the block could not be read";
        return false;
    }
    return true;
}

}  // namespace camfetch
