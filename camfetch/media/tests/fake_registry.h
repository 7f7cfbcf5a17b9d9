// A registry whose machine keys all hold one "FlipHorz" value, or no value at all, for tests
// and fuzz targets of the clip conversion.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

#include "usb_camera_settings.h"

namespace media_test {

class FakeRegistry : public media::Registry {
public:
    explicit FakeRegistry(std::optional<uint32_t> flip = std::nullopt) : flip_(flip) {}
    std::unique_ptr<media::RegistryKey> OpenMachineKey(const char*) override {
        struct Key : media::RegistryKey {
            std::optional<uint32_t> flip;
            bool ReadValue(const char*, void* buffer, uint32_t size) override {
                if (!flip || size < 4) return false;
                std::memcpy(buffer, &*flip, 4);
                return true;
            }
        };
        auto key = std::make_unique<Key>();
        key->flip = flip_;
        return key;
    }
    std::unique_ptr<media::RegistryKey> OpenMachineKeyForReading(const char* path) override {
        return OpenMachineKey(path);
    }

private:
    std::optional<uint32_t> flip_;
};

}  // namespace media_test
