#include "camera_protocol.h"

#include <algorithm>
#include <cstring>

namespace camera {

void EncodeSystemInfo(const SystemInfo& info, uint8_t out[kSystemInfoSize]) {
    StoreU32(out, info.address);
    StoreU32(out + 4, info.length);
    StoreU32(out + 8, info.flags);
}

SystemInfo DecodeSystemInfo(const uint8_t in[kSystemInfoSize]) {
    return SystemInfo{LoadU32(in), LoadU32(in + 4), LoadU32(in + 8)};
}

void EncodeMemoryWindow(const MemoryWindow& window, uint8_t out[kMemoryWindowSize]) {
    StoreU32(out, window.address);
    StoreU32(out + 4, window.length);
}

MemoryWindow DecodeMemoryWindow(const uint8_t in[kMemoryWindowSize]) {
    return MemoryWindow{LoadU32(in), LoadU32(in + 4)};
}

void BuildFileNameRecord(const std::string& name, const std::string& extension,
                         uint8_t out[kFileNameRecordSize]) {
    std::memset(out, 0, kFileNameRecordSize);
    std::memcpy(out, name.data(), std::min(name.size(), kFileNameBaseMax));
    std::memcpy(out + kFileNameBaseMax, extension.data(),
                std::min(extension.size(), kFileNameExtMax));
}

}  // namespace camera
