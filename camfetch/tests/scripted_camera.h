// A camera whose answers a test writes out request by request: status records come from a
// queue, memory reads from a map of addresses, and any property can be made to fail. Every
// request is kept so tests can assert exactly what crossed.
#pragma once

#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "camera_protocol.h"
#include "property_transport.h"

struct Request {
    uint32_t property;
    bool isGet;
    std::vector<uint8_t> bytes;  // sent data (sets) or the window (memory reads)
};

class ScriptedCamera : public camera::PropertyTransport {
public:
    std::deque<camera::SystemInfo> statuses;  // property 34 answers; empty: the read fails
    std::map<uint32_t, std::vector<uint8_t>> memory;
    std::set<uint32_t> failing;
    std::vector<Request> requests;

    bool FindDevice(const char*) override { return true; }
    void Release() override {}

    bool GetProperty(uint32_t id, void* buffer, uint32_t length) override {
        requests.push_back({id, true, {}});
        if (failing.count(id)) return false;
        if (id == camera::kPropSystemInfo) {
            if (statuses.empty() || length != camera::kSystemInfoSize) return false;
            camera::EncodeSystemInfo(statuses.front(), static_cast<uint8_t*>(buffer));
            statuses.pop_front();
            return true;
        }
        if (id == camera::kPropMemoryData) {
            auto found = memory.find(window_.address);
            if (found == memory.end() || found->second.size() < length) return false;
            std::memcpy(buffer, found->second.data(), length);
            return true;
        }
        return false;
    }

    bool SetProperty(uint32_t id, const void* buffer, uint32_t length) override {
        const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
        requests.push_back({id, false, std::vector<uint8_t>(bytes, bytes + length)});
        if (failing.count(id)) return false;
        if (id == camera::kPropMemoryWindow) window_ = camera::DecodeMemoryWindow(bytes);
        return true;
    }

    // The property ids of the requests so far, sets as N and gets as -N ("49 -34 1 -3").
    std::string Ids() const {
        std::string out;
        for (const Request& r : requests) {
            if (!out.empty()) out += ' ';
            out += (r.isGet ? "-" : "") + std::to_string(r.property);
        }
        return out;
    }

private:
    camera::MemoryWindow window_;
};

// One 32-byte catalogue entry.
inline std::vector<uint8_t> Entry(const std::string& name, const std::string& ext, uint32_t size) {
    std::vector<uint8_t> e(32, 0);
    std::memcpy(e.data(), name.data(), std::min<size_t>(name.size(), 8));
    std::memcpy(e.data() + 8, ext.data(), std::min<size_t>(ext.size(), 3));
    camera::StoreU32(e.data() + 28, size);
    return e;
}

inline std::vector<uint8_t> Block(const std::vector<std::vector<uint8_t>>& entries) {
    std::vector<uint8_t> out;
    for (const auto& e : entries) out.insert(out.end(), e.begin(), e.end());
    return out;
}
