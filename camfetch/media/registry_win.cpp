#include <windows.h>

#include <utility>

#include "media_win.h"
#include "registry_win.h"

namespace media {
namespace {

class MachineKey : public RegistryKey {
public:
    explicit MachineKey(camtools::RegKey key) : key_(std::move(key)) {}
    bool ReadValue(const char* name, void* buffer, uint32_t size) override {
        DWORD length = size;
        return key_.Query(name, buffer, length);
    }

private:
    camtools::RegKey key_;
};

class MachineRegistry : public Registry {
public:
    std::unique_ptr<RegistryKey> OpenMachineKey(const char* path) override {
        camtools::RegKey key;
        if (!key.Create(HKEY_LOCAL_MACHINE, path, KEY_ALL_ACCESS)) return nullptr;
        return std::make_unique<MachineKey>(std::move(key));
    }
    std::unique_ptr<RegistryKey> OpenMachineKeyForReading(const char* path) override {
        camtools::RegKey key;
        if (!key.Open(HKEY_LOCAL_MACHINE, path, KEY_READ)) return nullptr;
        return std::make_unique<MachineKey>(std::move(key));
    }
};

}  // namespace

std::unique_ptr<Registry> CreateMachineRegistry() { return std::make_unique<MachineRegistry>(); }

}  // namespace media
