#include "settings_registry_win.h"

namespace camfetch {

bool RegistrySettings::OpenKey(SettingsKey which) {
    switch (which) {
    case SettingsKey::MachineFullAccess:
        return key_.Create(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_ALL_ACCESS);
    case SettingsKey::MachineRead: return key_.Open(HKEY_LOCAL_MACHINE, kSettingsKey, KEY_READ);
    case SettingsKey::UserRead: return key_.Open(HKEY_CURRENT_USER, kUserSettingsKey, KEY_READ);
    case SettingsKey::UserWrite:
        return key_.Create(HKEY_CURRENT_USER, kUserSettingsKey, KEY_READ | KEY_WRITE);
    }
    key_.Close();
    return false;
}

void RegistrySettings::CloseKey() { key_.Close(); }

bool RegistrySettings::QueryValue(const char* name, uint8_t* buffer, uint32_t& size) {
    DWORD bytes = size;
    if (!key_.Query(name, buffer, bytes)) return false;
    // The platform may add a terminator to a string stored without one, but never past the
    // buffer; the stored bytes are what counts.
    size = bytes <= size ? bytes : size;
    return true;
}

bool RegistrySettings::SetDword(const char* name, uint32_t value) {
    return key_.SetDword(name, value);
}

bool RegistrySettings::SetString(const char* name, const std::string& text) {
    return key_.SetString(name, text);
}

}  // namespace camfetch
