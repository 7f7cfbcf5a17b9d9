// The settings keys in the registry: HKEY_LOCAL_MACHINE\SOFTWARE\ZQ71R and the current user's
// HKEY_CURRENT_USER\Software\ZQ71R.
#pragma once

#include <windows.h>

#include "registry_win.h"
#include "settings.h"

namespace camfetch {

class RegistrySettings : public SettingsRegistry {
public:
    ~RegistrySettings() override { CloseKey(); }
    bool OpenKey(SettingsKey key) override;
    void CloseKey() override;
    bool QueryValue(const char* name, uint8_t* buffer, uint32_t& size) override;
    bool SetDword(const char* name, uint32_t value) override;
    bool SetString(const char* name, const std::string& text) override;

private:
    camtools::RegKey key_;
};

}  // namespace camfetch
