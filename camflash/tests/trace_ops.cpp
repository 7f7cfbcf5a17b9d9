#include "trace_ops.h"

#include <cstdio>

#include "camera_protocol.h"

namespace camflash_test {

std::vector<std::string> TraceOperations(const std::vector<camsim::TraceRecord>& trace) {
    std::vector<std::string> ops;
    for (size_t i = 0; i < trace.size(); ++i) {
        const camsim::TraceRecord& r = trace[i];
        char text[64];
        if (r.property == camera::kPropRegisterSelect && !r.isGet && r.bytes.size() == 4) {
            unsigned address = camera::LoadU32(r.bytes.data());
            if (r.ok && i + 1 < trace.size() &&
                trace[i + 1].property == camera::kPropRegisterValue) {
                const camsim::TraceRecord& v = trace[++i];
                if (v.isGet)
                    std::snprintf(text, sizeof text, "R %X", address);
                else
                    std::snprintf(text, sizeof text, "W %X=%02X", address,
                                  v.bytes.empty() ? 0u : unsigned(v.bytes[0]));
                ops.push_back(std::string(text) + (v.ok ? "" : "!"));
            } else {
                std::snprintf(text, sizeof text, "select %X", address);
                ops.push_back(std::string(text) + (r.ok ? "" : "!"));
            }
            continue;
        }
        std::string op;
        switch (r.property) {
        case camera::kPropFirmwareDownload: op = "download " + std::to_string(r.length); break;
        case camera::kPropFirmwareReady: op = "ready?"; break;
        case camera::kPropFirmwareToFlash: op = "flash"; break;
        case camera::kPropSystemInfoRequest: op = "request"; break;
        case camera::kPropSystemInfo: op = "status"; break;
        default: op = (r.isGet ? "get " : "set ") + std::to_string(r.property);
        }
        ops.push_back(op + (r.ok ? "" : "!"));
    }
    return ops;
}

}  // namespace camflash_test
