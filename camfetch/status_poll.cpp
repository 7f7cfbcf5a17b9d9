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
    if (info.length == 0) return true;
    // Above the guard is also every length that is negative as signed: taking such a block
    // as empty would leave its entries out of the listing without a word.
    if (info.length > kMaxBlockLength) {
        reason = "the camera named a block longer than the limit";
        return false;
    }
    block.resize(size_t(info.length));
    if (!camera.ReadMemory(info.address, info.length, block.data())) {
        reason = "the block could not be read";
        return false;
    }
    return true;
}

}  // namespace camfetch
