#include "settings_registry_win.h"

namespace camfetch {

bool RegistrySettings::OpenKey(SettingsKey which) {
    CloseKey();
    HKEY key = nullptr;
    LONG result = ERROR_INVALID_PARAMETER;
    switch (which) {
    case SettingsKey::MachineFullAccess:
        result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr,
                                 REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        break;
    case SettingsKey::MachineRead:
        result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_READ, &key);
        break;
    case SettingsKey::UserRead:
        result = RegOpenKeyExA(HKEY_CURRENT_USER, kUserSettingsKey, 0, KEY_READ, &key);
        break;
    case SettingsKey::UserWrite:
        result =
            RegCreateKeyExA(HKEY_CURRENT_USER, kUserSettingsKey, 0, nullptr,
                            REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, &key, nullptr);
        break;
    }
    if (result != ERROR_SUCCESS) return false;
    key_.Reset(key);
    return true;
}

void RegistrySettings::CloseKey() { key_.Close(); }

bool RegistrySettings::QueryValue(const char* name, uint8_t* buffer, uint32_t& size) {
    DWORD bytes = size;
    if (RegQueryValueExA(key_.Get(), name, nullptr, nullptr, buffer, &bytes) != ERROR_SUCCESS)
        return false;
    // The platform may add a terminator to a string stored without one, but never past the
    // buffer; the stored bytes are what counts.
    size = bytes <= size ? bytes : size;
    return true;
}

bool RegistrySettings::SetDword(const char* name, uint32_t value) {
    DWORD data = value;
    return RegSetValueExA(key_.Get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                          sizeof data) == ERROR_SUCCESS;
}

bool RegistrySettings::SetString(const char* name, const std::string& text) {
    return RegSetValueExA(key_.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          DWORD(text.size() + 1)) == ERROR_SUCCESS;
}

}  // namespace camfetch
