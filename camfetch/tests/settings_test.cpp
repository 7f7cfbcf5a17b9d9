#include <gtest/gtest.h>

#include <map>

#include "scripted_camera.h"
#include "settings.h"

using namespace camfetch;

namespace {

// The machine's and the user's settings keys as bytes per value; values keep their stored
// size, without any terminator unless one was written. `journal` records every call.
class FakeRegistry : public SettingsRegistry {
public:
    using Values = std::map<std::string, std::vector<uint8_t>>;
    Values values, userValues;
    bool fullAccess = true, readable = true;  // to the machine's key
    bool userKeyExists = false, userWritable = true;
    int opened = 0, closed = 0;
    std::string journal;

    bool OpenKey(SettingsKey key) override {
        static const char* const names[] = {"machine full", "machine read", "user read",
                                            "user write"};
        journal += names[int(key)];
        bool ok = key == SettingsKey::MachineFullAccess ? fullAccess
                  : key == SettingsKey::MachineRead     ? readable
                  : key == SettingsKey::UserRead        ? userKeyExists
                                                        : userWritable;
        if (key == SettingsKey::UserWrite && ok) userKeyExists = true;
        journal += ok ? "; " : " refused; ";
        current_ =
            key == SettingsKey::UserRead || key == SettingsKey::UserWrite ? &userValues : &values;
        return ok && ++opened;
    }
    void CloseKey() override {
        journal += "close; ";
        ++closed;
    }
    bool QueryValue(const char* name, uint8_t* buffer, uint32_t& size) override {
        journal += std::string("query ") + name + "; ";
        auto found = current_->find(name);
        if (found == current_->end() || found->second.size() > size) return false;
        std::copy(found->second.begin(), found->second.end(), buffer);
        size = uint32_t(found->second.size());
        return true;
    }
    bool SetDword(const char* name, uint32_t value) override {
        journal += std::string("set ") + name + "; ";
        (*current_)[name] = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16),
                             uint8_t(value >> 24)};
        return true;
    }
    bool SetString(const char* name, const std::string& text) override {
        journal += std::string("set ") + name + "; ";
        std::vector<uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        (*current_)[name] = bytes;
        return true;
    }

private:
    Values* current_ = &values;
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
        {"both stored",
         {{"EnhanceJPEG", {1, 0, 0, 0}}, {"FlashImageSaveToDir", Text("d:\\pics")}},
         "d:\\pics",
         true},
        {"enhance 5", {{"EnhanceJPEG", {5, 0, 0, 0}}}, "c:\\", true},
        {"enhance in the high byte", {{"EnhanceJPEG", {0, 0, 0, 1}}}, "c:\\", true},
        {"enhance too large", {{"EnhanceJPEG", {1, 0, 0, 0, 0}}}, "c:\\", false},
        {"enhance of one byte", {{"EnhanceJPEG", {2}}}, "c:\\", true},
        {"folder without terminator",
         {{"FlashImageSaveToDir", Text("e:\\x", false)}},
         "e:\\x",
         false},
        {"255 characters", {{"FlashImageSaveToDir", Text(max255)}}, max255, false},
        {"255 characters unterminated",
         {{"FlashImageSaveToDir", Text(max255, false)}},
         max255,
         false},
        {"256 characters unterminated",
         {{"FlashImageSaveToDir", Text(max255 + "g", false)}},
         "c:\\",
         false},
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

// A standard user may read the machine's key but not open it with full access: its values
// count all the same, and a folder they chose is kept in the user's key, which overrides the
// machine's. Without a choice or a folder of their own nothing is written for them.
TEST(Settings, MachineKeyRefusingFullAccess) {
    using Values = FakeRegistry::Values;
    struct Row {
        const char* what;
        bool fullAccess, readable;
        Values user;
        std::string folder;
        bool enhance, loaded;
        std::string loadJournal, saveJournal;
        const char* dialogFolder = "f:\\chosen";  // left with Exit; null: any other way
    };
    const Values machine = {{"EnhanceJPEG", {1, 0, 0, 0}},
                            {"FlashImageSaveToDir", Text("d:\\machine")}};
    const Values mine = {{"FlashImageSaveToDir", Text("e:\\mine")}};
    const std::string machineReads = "query EnhanceJPEG; query FlashImageSaveToDir; close; ";
    const std::string userRead = "user read; query FlashImageSaveToDir; close; ";
    const std::string machineWrites =
        "machine full; set EnhanceJPEG; set FlashImageSaveToDir; close; ";
    const std::string userWrite = "user write; set FlashImageSaveToDir; close; ";
    const Row rows[] = {
        {"full access",
         true,
         true,
         {},
         "d:\\machine",
         true,
         true,
         "machine full; " + machineReads + "user read refused; ",
         machineWrites},
        {"full access, a per-user folder", true, true, mine, "e:\\mine", true, true,
         "machine full; " + machineReads + userRead, machineWrites + userWrite},
        {"reading only",
         false,
         true,
         {},
         "d:\\machine",
         true,
         true,
         "machine full refused; machine read; " + machineReads + "user read refused; ",
         "machine full refused; " + userWrite},
        {"reading only, a per-user folder", false, true, mine, "e:\\mine", true, true,
         "machine full refused; machine read; " + machineReads + userRead,
         "machine full refused; " + userWrite},
        {"reading only, a per-user folder too long",
         false,
         true,
         {{"FlashImageSaveToDir", Text(std::string(300, 'x'))}},
         "d:\\machine",
         true,
         true,
         "machine full refused; machine read; " + machineReads + userRead,
         "machine full refused; " + userWrite},
        {"reading refused too",
         false,
         false,
         {},
         "c:\\",
         false,
         false,
         "machine full refused; machine read refused; user read refused; ",
         "machine full refused; " + userWrite},
        {"full access, nothing chosen",
         true,
         true,
         {},
         "d:\\machine",
         true,
         true,
         "machine full; " + machineReads + "user read refused; ",
         machineWrites,
         nullptr},
        {"reading only, nothing chosen",
         false,
         true,
         {},
         "d:\\machine",
         true,
         true,
         "machine full refused; machine read; " + machineReads + "user read refused; ",
         "machine full refused; ",
         nullptr},
        {"reading only, Exit with the loaded folder",
         false,
         true,
         {},
         "d:\\machine",
         true,
         true,
         "machine full refused; machine read; " + machineReads + "user read refused; ",
         "machine full refused; ",
         "d:\\machine"},
        {"reading only, a per-user folder, nothing chosen", false, true, mine, "e:\\mine", true,
         true, "machine full refused; machine read; " + machineReads + userRead,
         "machine full refused; " + userWrite, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FakeRegistry registry;
        registry.values = machine;
        registry.userValues = row.user;
        registry.userKeyExists = !row.user.empty();
        registry.fullAccess = row.fullAccess;
        registry.readable = row.readable;
        FetchSettings settings;
        EXPECT_EQ(row.loaded, settings.Load(registry));
        EXPECT_EQ(row.folder, settings.downloadFolder);
        EXPECT_EQ(row.enhance, settings.enhance);
        EXPECT_EQ(row.loadJournal, registry.journal);

        // The folder chosen in this run is the one the next start shows.
        registry.journal.clear();
        const Values userBefore = registry.userValues;
        if (row.dialogFolder) settings.KeepDialogFolder(row.dialogFolder);
        EXPECT_TRUE(settings.Save(registry));
        EXPECT_EQ(row.saveJournal, registry.journal);
        if (!row.fullAccess) {
            EXPECT_EQ(machine, registry.values);
        }
        if (row.saveJournal.find("user write") == std::string::npos) {
            EXPECT_EQ(userBefore, registry.userValues);
        }
        FetchSettings next;
        next.InitialiseAndLoad(registry);
        EXPECT_EQ(row.dialogFolder ? row.dialogFolder : row.folder, next.downloadFolder);
        EXPECT_EQ(registry.opened, registry.closed);
    }
}

TEST(Settings, NothingOpenableKeepsDefaultsAndSavesNothing) {
    FakeRegistry registry;
    registry.fullAccess = registry.readable = registry.userWritable = false;
    FetchSettings settings;
    EXPECT_TRUE(settings.InitialiseAndLoad(registry));
    EXPECT_FALSE(settings.Load(registry));
    EXPECT_EQ("c:\\", settings.downloadFolder);
    settings.KeepDialogFolder("f:\\chosen");
    EXPECT_FALSE(settings.Save(registry));
    EXPECT_TRUE(registry.values.empty() && registry.userValues.empty());
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
        ReadyWait result = WaitForCameraReady(
            channel,
            [&](uint32_t ms) {
                EXPECT_EQ(10u, ms);
                ++sleeps;
            },
            5);
        EXPECT_EQ(int(row.result), int(result)) << row.what;
        EXPECT_EQ(row.sleeps, sleeps) << row.what;
    }
}
