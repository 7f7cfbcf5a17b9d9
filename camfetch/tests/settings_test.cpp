#include <gtest/gtest.h>

#include <map>

#include "scripted_camera.h"
#include "settings.h"

using namespace camfetch;

namespace {

// The settings key as bytes per value; values keep their stored size, without any terminator
// unless one was written.
class FakeRegistry : public SettingsRegistry {
public:
    std::map<std::string, std::vector<uint8_t>> values;
    bool openable = true;
    int opened = 0, closed = 0;

    bool OpenKey() override { return openable && ++opened; }
    void CloseKey() override { ++closed; }
    bool QueryValue(const char* name, uint8_t* buffer, uint32_t& size) override {
        auto found = values.find(name);
        if (found == values.end() || found->second.size() > size) return false;
        std::copy(found->second.begin(), found->second.end(), buffer);
        size = uint32_t(found->second.size());
        return true;
    }
    bool SetDword(const char* name, uint32_t value) override {
        values[name] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
        return true;
    }
    bool SetString(const char* name, const std::string& text) override {
        std::vector<uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        values[name] = bytes;
        return true;
    }
};

std::vector<uint8_t> Text(const std::string& s, bool terminated = true) {
    std::vector<uint8_t> v(s.begin(), s.end());
    if (terminated) v.push_back(0);
    return v;
}

}  // namespace

TEST(Settings, LoadTable) {
    struct Row {
        const char* what;
        std::map<std::string, std::vector<uint8_t>> stored;
        std::string folder;
        bool enhance;
    };
    const std::string max255(255, 'f');
    const Row rows[] = {
        {"nothing stored", {}, "c:\\", false},
        {"both stored", {{"EnhanceJPEG", {1, 0, 0, 0}}, {"FlashImageSaveToDir", Text("d:\\pics")}}, "d:\\pics", true},
        {"enhance 5", {{"EnhanceJPEG", {5, 0, 0, 0}}}, "c:\\", true},
        {"enhance in the high byte", {{"EnhanceJPEG", {0, 0, 0, 1}}}, "c:\\", true},
        {"enhance too large", {{"EnhanceJPEG", {1, 0, 0, 0, 0}}}, "c:\\", false},
        {"enhance of one byte", {{"EnhanceJPEG", {2}}}, "c:\\", true},
        {"folder without terminator", {{"FlashImageSaveToDir", Text("e:\\x", false)}}, "e:\\x", false},
        {"255 characters", {{"FlashImageSaveToDir", Text(max255)}}, max255, false},
        {"255 characters unterminated", {{"FlashImageSaveToDir", Text(max255, false)}}, max255, false},
        {"256 characters unterminated", {{"FlashImageSaveToDir", Text(max255 + "g", false)}}, "c:\\", false},
        {"300 characters", {{"FlashImageSaveToDir", Text(std::string(300, 'x'))}}, "c:\\", false},
        {"embedded null", {{"FlashImageSaveToDir", {'a', 0, 'b', 0}}}, "a", false},
    };
    for (const Row& row : rows) {
        FakeRegistry registry;
        registry.values = row.stored;
        FetchSettings settings;
        settings.downloadFolder = "stale";
        settings.enhance = true;
        EXPECT_TRUE(settings.InitialiseAndLoad(registry)) << row.what;
        EXPECT_EQ(row.folder, settings.downloadFolder) << row.what;
        EXPECT_EQ(row.enhance, settings.enhance) << row.what;
        EXPECT_EQ(registry.opened, registry.closed) << row.what;
    }
}

TEST(Settings, SaveWritesZeroOrOneAndTheTerminatedFolder) {
    FakeRegistry registry;
    registry.values["EnhanceJPEG"] = {5, 0, 0, 0};
    FetchSettings settings;
    settings.InitialiseAndLoad(registry);
    ASSERT_TRUE(settings.Save(registry));
    EXPECT_EQ((std::vector<uint8_t>{1, 0, 0, 0}), registry.values["EnhanceJPEG"]);
    EXPECT_EQ(Text("c:\\"), registry.values["FlashImageSaveToDir"]);
    settings.enhance = false;
    settings.Save(registry);
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 0, 0}), registry.values["EnhanceJPEG"]);
}

TEST(Settings, UnopenableKeyKeepsDefaultsAndSavesNothing) {
    FakeRegistry registry;
    registry.openable = false;
    FetchSettings settings;
    EXPECT_TRUE(settings.InitialiseAndLoad(registry));
    EXPECT_FALSE(settings.Load(registry));
    EXPECT_EQ("c:\\", settings.downloadFolder);
    EXPECT_FALSE(settings.Save(registry));
    EXPECT_TRUE(registry.values.empty());
}

TEST(ReadyWait, PollsOnlyWhileTheCameraSaysItIsBusyAndGivesUp) {
    struct Row {
        const char* what;
        bool registerReads;
        uint8_t registerValue;
        std::vector<uint32_t> readyAnswers;  // property 67; past the end the read fails
        ReadyWait result;
        int sleeps;
    };
    const Row rows[] = {
        {"bit 5 clear", true, 0xDF, {}, ReadyWait::NotNeeded, 0},
        {"register read fails", false, 0x20, {}, ReadyWait::NotNeeded, 0},
        {"ready at once", true, 0x20, {1}, ReadyWait::Ready, 0},
        {"ready after 0, 2", true, 0xFF, {0, 2, 1}, ReadyWait::Ready, 2},
        {"never ready", true, 0x20, std::vector<uint32_t>(5, 0), ReadyWait::GaveUp, 5},
        {"stops answering", true, 0x20, {0}, ReadyWait::GaveUp, 5},
    };
    for (const Row& row : rows) {
        class ReadyCamera : public ScriptedCamera {
        public:
            const Row* row;
            size_t polls = 0;
            bool GetProperty(uint32_t id, void* buffer, uint32_t) override {
                if (id == camera::kPropRegisterValue && row->registerReads) {
                    *static_cast<uint8_t*>(buffer) = row->registerValue;
                    return true;
                }
                if (id == camera::kPropFirmwareReady && polls < row->readyAnswers.size()) {
                    camera::StoreU32(static_cast<uint8_t*>(buffer), row->readyAnswers[polls++]);
                    return true;
                }
                return false;
            }
        };
        auto* cam = new ReadyCamera;
        cam->row = &row;
        camera::CameraChannel channel{std::unique_ptr<camera::PropertyTransport>(cam)};
        channel.Open();
        int sleeps = 0;
        ReadyWait result = WaitForCameraReady(channel, [&](uint32_t ms) {
            EXPECT_EQ(10u, ms);
            ++sleeps;
        }, 5);
        EXPECT_EQ(int(row.result), int(result)) << row.what;
        EXPECT_EQ(row.sleeps, sleeps) << row.what;
    }
}
