#include "usb_camera_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>

namespace {

// The machine's registry as a map of values of the one key, with switches for access.
class FakeRegistry : public media::Registry {
public:
    struct Key : media::RegistryKey {
        explicit Key(FakeRegistry& r) : registry(r) {}
        bool ReadValue(const char* name, void* buffer, uint32_t size) override {
            auto it = registry.values.find(name);
            if (it == registry.values.end() || it->second.size() > size) return false;
            std::memcpy(buffer, it->second.data(), it->second.size());
            return true;
        }
        FakeRegistry& registry;
    };
    std::unique_ptr<media::RegistryKey> OpenMachineKey(const char* path) override {
        ++opens;
        opened += "full ";
        lastPath = path;
        if (!fullAccess) return nullptr;
        exists = true;
        return std::make_unique<Key>(*this);
    }
    std::unique_ptr<media::RegistryKey> OpenMachineKeyForReading(const char* path) override {
        opened += "read ";
        if (std::string(path) != lastPath) return nullptr;  // the same key, or none
        if (!readable || !exists) return nullptr;
        return std::make_unique<Key>(*this);
    }
    void SetDword(const char* name, uint32_t value) {
        values[name] = std::string(reinterpret_cast<const char*>(&value), 4);
    }

    std::map<std::string, std::string> values;
    bool fullAccess = true, readable = true, exists = true;
    int opens = 0;
    std::string lastPath, opened;
};

TEST(UsbCameraSettings, FlipHorzTurnsMirroringOn) {
    struct Row {
        const char* name;
        bool present;
        std::string stored;
        bool mirror;
    };
    const Row rows[] = {
        {"5", true, std::string("\x05\0\0\0", 4), true},
        {"0", true, std::string("\0\0\0\0", 4), false},
        {"high byte only", true, std::string("\0\0\0\x01", 4), true},
        {"absent", false, "", false},
        {"one byte 1", true, std::string("\x01", 1), true},
        {"eight bytes", true, std::string("\x01\0\0\0\0\0\0\0", 8), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeRegistry registry;
        if (row.present) registry.values["FlipHorz"] = row.stored;
        media::UsbCameraSettings settings;
        media::LoadUsbCameraSettings(settings, registry);
        EXPECT_EQ(registry.lastPath, "SOFTWARE\\ZQ71R\\UsbCamera");
        EXPECT_TRUE(settings.loaded);
        EXPECT_EQ(settings.mirror, row.mirror);
    }
}

TEST(UsbCameraSettings, LoadsOncePerRun) {
    FakeRegistry registry;
    registry.SetDword("FlipHorz", 1);
    media::UsbCameraSettings settings;
    media::LoadUsbCameraSettings(settings, registry);
    registry.SetDword("FlipHorz", 0);
    media::LoadUsbCameraSettings(settings, registry);
    EXPECT_TRUE(settings.mirror);
    EXPECT_EQ(registry.opens, 1);
}

// A standard user may read the machine's key but not open it with full access or create it.
TEST(UsbCameraSettings, ReadsTheKeyWhenFullAccessIsRefused) {
    struct Row {
        const char* name;
        bool fullAccess, readable, exists;
        bool loaded, mirror;
        const char* opened;
    };
    const Row rows[] = {
        {"full access", true, true, true, true, true, "full "},
        {"full access, key missing: created", true, true, false, true, false, "full "},
        {"reading only", false, true, true, true, true, "full read "},
        {"reading only, key missing: not created", false, true, false, false, false, "full read "},
        {"neither", false, false, true, false, false, "full read "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        FakeRegistry registry;
        registry.fullAccess = row.fullAccess;
        registry.readable = row.readable;
        registry.exists = row.exists;
        if (row.exists) registry.SetDword("FlipHorz", 1);
        media::UsbCameraSettings settings;
        media::LoadUsbCameraSettings(settings, registry);
        EXPECT_EQ(settings.loaded, row.loaded);
        EXPECT_EQ(settings.mirror, row.mirror);
        EXPECT_EQ(registry.opened, row.opened);
        EXPECT_EQ(registry.exists, row.exists || row.fullAccess);
    }
}

TEST(UsbCameraSettings, RetriesAKeyItCouldNotOpen) {
    FakeRegistry registry;
    registry.SetDword("FlipHorz", 1);
    registry.fullAccess = registry.readable = false;
    media::UsbCameraSettings settings;
    media::LoadUsbCameraSettings(settings, registry);
    EXPECT_FALSE(settings.loaded);
    EXPECT_FALSE(settings.mirror);
    registry.readable = true;
    media::LoadUsbCameraSettings(settings, registry);
    EXPECT_TRUE(settings.loaded);
    EXPECT_TRUE(settings.mirror);
    EXPECT_EQ(registry.opens, 2);
}

}  // namespace
