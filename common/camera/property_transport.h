// One get or set request on the camera's vendor property set, and the device search that
// precedes them. The DirectShow implementation reaches the camera's capture filter; tests
// plug the simulated camera's model in directly.
#pragma once

#include <cstdint>

namespace camera {

class PropertyTransport {
public:
    virtual ~PropertyTransport() = default;

    // Finds the device of this friendly name (exact, case-sensitive) and holds it.
    virtual bool FindDevice(const char* friendlyName) = 0;
    // Releases the held device, if any.
    virtual void Release() = 0;

    // Each returns whether the device answered. A request without data passes
    // buffer == nullptr and length == 0.
    virtual bool GetProperty(uint32_t id, void* buffer, uint32_t length) = 0;
    virtual bool SetProperty(uint32_t id, const void* buffer, uint32_t length) = 0;
};

}  // namespace camera
