#include <windows.h>

#include "media_win.h"
#include "scoped_win.h"

namespace media {
namespace {

class MachineKey : public RegistryKey {
public:
    explicit MachineKey(HKEY key) : key_(key) {}
    bool ReadValue(const char* name, void* buffer, uint32_t size) override {
        DWORD length = size;
        return RegQueryValueExA(key_.Get(), name, nullptr, nullptr, static_cast<BYTE*>(buffer),
                                &length) == ERROR_SUCCESS;
    }

private:
    camtools::ScopedRegKey key_;
};

class MachineRegistry : public Registry {
public:
    std::unique_ptr<RegistryKey> OpenMachineKey(const char* path) override {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return nullptr;
        return std::make_unique<MachineKey>(key);
    }
    std::unique_ptr<RegistryKey> OpenMachineKeyForReading(const char* path) override {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return nullptr;
        return std::make_unique<MachineKey>(key);
    }
};

}  // namespace

std::unique_ptr<Registry> CreateMachineRegistry() { return std::make_unique<MachineRegistry>(); }

}  // namespace media
