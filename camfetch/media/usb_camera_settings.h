// The camera settings that clip conversion reads from the machine's registry, once per run:
// key SOFTWARE\ZQ71R\UsbCamera under HKEY_LOCAL_MACHINE, value "FlipHorz" (a 32-bit number;
// non-zero mirrors converted frames left to right). A standard user may read the key but not
// open it with full access; the settings are then read all the same.
#pragma once

#include <cstdint>
#include <memory>

namespace media {

struct UsbCameraSettings {
    bool loaded = false;  // the key has been opened once; later loads do nothing
    bool mirror = false;  // "FlipHorz" is non-zero
};

// An open registry key.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;  // closes the key
    // Reads a value of at most `size` bytes into `buffer`, whatever its stored type; false when
    // it is absent or larger than `size`.
    virtual bool ReadValue(const char* name, void* buffer, uint32_t size) = 0;
};

// The registry as the settings see it.
class Registry {
public:
    virtual ~Registry() = default;
    // Opens a key under HKEY_LOCAL_MACHINE with full access, creating it when missing; null
    // when it cannot be opened (for example for lack of rights).
    virtual std::unique_ptr<RegistryKey> OpenMachineKey(const char* path) = 0;
    // Opens an existing key under HKEY_LOCAL_MACHINE for reading only, never creating it; null
    // when it is missing or cannot be read.
    virtual std::unique_ptr<RegistryKey> OpenMachineKeyForReading(const char* path) = 0;
};

// Loads `settings` unless already loaded. The key is opened with full access, or for reading
// when that is refused. A key that cannot be opened either way leaves the defaults and is
// tried again on the next load; an unreadable value leaves its field unchanged.
void LoadUsbCameraSettings(UsbCameraSettings& settings, Registry& registry);

}  // namespace media
