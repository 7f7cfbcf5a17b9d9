// The camera channel's request sequences, checked against the simulated camera's trace.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>

#include "camera_channel.h"
#include "camera_model.h"
#include "camera_protocol.h"

using camera::CameraChannel;
using camsim::CameraModel;
using camsim::Direction;
using camsim::Fault;
using camsim::FaultKind;
using camsim::ModelTransport;
using camsim::Profile;

namespace {

struct Rig {
    explicit Rig(Profile profile = Profile())
        : model(std::move(profile)), channel(std::make_unique<ModelTransport>(model)) {
        EXPECT_TRUE(channel.Open());
    }

    std::vector<std::string> Trace() const {
        std::vector<std::string> lines;
        for (const auto& record : model.trace()) lines.push_back(FormatTraceRecord(record));
        return lines;
    }

    CameraModel model;
    CameraChannel channel;
};

Profile WithFile(const std::string& name, const std::string& ext) {
    Profile profile;
    profile.files.push_back({name, ext, {1, 2, 3}});
    return profile;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string all;
    for (const auto& line : lines) all += line + "\n";
    return all;
}

}  // namespace

TEST(FileNameRecord, OneLetterNameAndExtension) {
    uint8_t record[camera::kFileNameRecordSize];
    camera::BuildFileNameRecord("A", "B", record);
    const uint8_t expected[12] = {0x41, 0, 0, 0, 0, 0, 0, 0, 0x42, 0, 0, 0};
    EXPECT_EQ(0, memcmp(expected, record, sizeof expected));
}

TEST(CameraChannel, EachOperationSendsItsRequestsInOrder) {
    struct Row {
        const char* what;
        std::function<bool(CameraChannel&)> run;
        std::vector<std::string> trace;
    };
    const Row rows[] = {
        {"ReadRegister",
         [](CameraChannel& c) {
             uint8_t v;
             return c.ReadRegister(0x740, v);
         },
         {"set 0 len=4 40 07 00 00 ok", "get 2 len=1 00 ok"}},
        {"WriteRegister keeps the low 8 bits",
         [](CameraChannel& c) { return c.WriteRegister(0x7B9, 0x1FF); },
         {"set 0 len=4 b9 07 00 00 ok", "set 2 len=1 ff ok"}},
        {"ReadMemory of the presence word",
         [](CameraChannel& c) {
             uint8_t word[4];
             return c.RequestSystemInfo() && c.ReadMemory(CameraModel::kResultAddressB, 4, word);
         },
         {"set 49 len=0 null ok", "set 1 len=8 00 00 30 00 04 00 00 00 ok",
          "get 3 len=4 01 00 00 00 ok"}},
        {"UpdateFirmwareToFlash",
         [](CameraChannel& c) { return c.UpdateFirmwareToFlash(); },
         {"set 24 len=0 null ok"}},
        {"RequestSystemInfo and GetSystemInfo",
         [](CameraChannel& c) {
             camera::SystemInfo info;
             return c.RequestSystemInfo() && c.GetSystemInfo(info) && info.address == 0x300000 &&
                    info.length == 4 && info.flags == camera::kStatusReady;
         },
         {"set 49 len=0 null ok", "get 34 len=12 00 00 30 00 04 00 00 00 01 00 00 00 ok"}},
        {"GetFirmwareReady",
         [](CameraChannel& c) {
             uint32_t r = 0;
             return c.GetFirmwareReady(r) && r == 1;
         },
         {"get 67 len=4 01 00 00 00 ok"}},
        {"OpenCatalogue and NextCatalogueBlock",
         [](CameraChannel& c) { return c.OpenCatalogue(0) && c.NextCatalogueBlock(); },
         {"set 39 len=1 00 ok", "set 40 len=0 null ok"}},
        {"OpenStoredFile and NextFileBlock",
         [](CameraChannel& c) { return c.OpenStoredFile("A", "B") && c.NextFileBlock(); },
         {"set 41 len=12 41 00 00 00 00 00 00 00 42 00 00 00 ok", "set 42 len=0 null ok"}},
        {"DeleteStoredFile cuts long names",
         [](CameraChannel& c) { return c.DeleteStoredFile("DSCF00012", "JPEG"); },
         {"set 43 len=12 44 53 43 46 30 30 30 31 4a 50 45 00 ok"}},
    };
    for (const Row& row : rows) {
        Rig rig;
        EXPECT_TRUE(row.run(rig.channel)) << row.what;
        EXPECT_EQ(Join(row.trace), Join(rig.Trace())) << row.what;
    }
}

TEST(CameraChannel, ReadRegisterDeliversExactlyOneByte) {
    Profile profile;
    profile.registers[1856] = 0x20;
    Rig rig(profile);
    uint8_t bytes[2] = {0xEE, 0xEE};
    ASSERT_TRUE(rig.channel.ReadRegister(1856, bytes[0]));
    EXPECT_EQ(0x20, bytes[0]);
    EXPECT_EQ(0xEE, bytes[1]);
}

TEST(CameraChannel, FailedFirstRequestEndsTheTwoRequestOperations) {
    struct Row {
        const char* what;
        uint32_t failing;
        std::function<bool(CameraChannel&)> run;
        std::string firstLine;
    };
    const Row rows[] = {
        {"ReadRegister", camera::kPropRegisterSelect,
         [](CameraChannel& c) {
             uint8_t v = 0;
             return c.ReadRegister(12, v);
         },
         "set 0 len=4 0c 00 00 00 fail"},
        {"WriteRegister", camera::kPropRegisterSelect,
         [](CameraChannel& c) { return c.WriteRegister(12, 2); }, "set 0 len=4 0c 00 00 00 fail"},
        {"ReadMemory", camera::kPropMemoryWindow,
         [](CameraChannel& c) {
             uint8_t b[4];
             return c.ReadMemory(0x200000, 4, b);
         },
         "set 1 len=8 00 00 20 00 04 00 00 00 fail"},
    };
    for (const Row& row : rows) {
        Profile profile;
        profile.faults.push_back({FaultKind::Fail, row.failing, Direction::Set, 0, 0});
        profile.registers[12] = 9;
        Rig rig(profile);
        EXPECT_FALSE(row.run(rig.channel)) << row.what;
        EXPECT_EQ(Join({row.firstLine}), Join(rig.Trace())) << row.what;
        EXPECT_EQ(9, rig.model.RegisterValue(12)) << row.what;
    }
    // A register select out of the camera's range is refused by the camera itself.
    Rig rig;
    uint8_t value = 0;
    EXPECT_FALSE(rig.channel.ReadRegister(0x10000, value));
    EXPECT_EQ(Join({"set 0 len=4 00 00 01 00 fail"}), Join(rig.Trace()));
}

TEST(CameraChannel, ReadRegisterWithoutGetSupportFailsAfterTheSelect) {
    Profile profile;
    profile.faults.push_back(
        {FaultKind::Unsupported, camera::kPropRegisterValue, Direction::Get, 0, 0});
    Rig rig(profile);
    uint8_t value = 0x55;
    EXPECT_FALSE(rig.channel.ReadRegister(0x740, value));
    EXPECT_EQ(0x55, value);
    EXPECT_EQ(Join({"set 0 len=4 40 07 00 00 ok"}), Join(rig.Trace()));
    EXPECT_TRUE(rig.channel.WriteRegister(0x740, 1)) << "set support is untouched";
}

TEST(CameraChannel, DownloadFirmwareSendsExactlyTheLengthWordsBytes) {
    std::vector<uint8_t> buffer(20, 0xAA);
    camera::StoreU32(buffer.data(), 11);
    Rig rig;
    ASSERT_TRUE(rig.channel.DownloadFirmware(buffer.data(), buffer.size()));
    EXPECT_EQ(Join({"set 20 len=11 0b 00 00 00 aa aa aa aa aa aa aa ok"}), Join(rig.Trace()));
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 11),
              rig.model.LastFirmwareDownload());

    // A word claiming more than the buffer holds, or no room for the word: nothing is sent.
    rig.model.ClearTrace();
    camera::StoreU32(buffer.data(), 21);
    EXPECT_FALSE(rig.channel.DownloadFirmware(buffer.data(), buffer.size()));
    EXPECT_FALSE(rig.channel.DownloadFirmware(buffer.data(), 3));
    EXPECT_TRUE(rig.Trace().empty());
}

TEST(CameraChannel, OpenMatchesTheFriendlyNameExactly) {
    struct Row {
        std::string name;
        bool found;
    };
    const Row rows[] = {
        {"ZQ71R Camera", true},
        {"zq71r camera", false},
        {"ZQ71R Camera ", false},
        {"ZQ71R Cam", false},
        {"", false},
    };
    for (const Row& row : rows) {
        Profile profile;
        profile.friendlyName = row.name;
        CameraModel model(profile);
        CameraChannel channel(std::make_unique<ModelTransport>(model));
        EXPECT_EQ(row.found, channel.Open()) << "'" << row.name << "'";
        EXPECT_EQ(row.found, channel.IsOpen()) << "'" << row.name << "'";
    }
}

TEST(CameraChannel, ClosedChannelReachesNothing) {
    Rig rig;
    rig.channel.Close();
    EXPECT_FALSE(rig.channel.IsOpen());
    rig.channel.Close();  // closing twice is harmless
    uint8_t value;
    EXPECT_FALSE(rig.channel.ReadRegister(0, value));
    EXPECT_FALSE(rig.channel.RequestSystemInfo());
    EXPECT_TRUE(rig.Trace().empty());
    EXPECT_TRUE(rig.channel.Open());
    EXPECT_TRUE(rig.channel.ReadRegister(0, value));
}

TEST(CameraChannel, StoredFileRequestsNameTheFileByItsRecord) {
    Rig rig(WithFile("PICT0001", "JPG"));
    ASSERT_TRUE(rig.channel.OpenStoredFile("PICT0001", "JPG"));
    camera::SystemInfo info;
    ASSERT_TRUE(rig.channel.GetSystemInfo(info));
    EXPECT_EQ(camera::kStatusReady | camera::kStatusLast, info.flags);
    EXPECT_EQ(3u, info.length);
    uint8_t data[4] = {};
    ASSERT_TRUE(rig.channel.ReadMemory(info.address, 4, data));
    EXPECT_EQ(1, data[0]);
    EXPECT_EQ(3, data[2]);
    ASSERT_TRUE(rig.channel.DeleteStoredFile("PICT0001", "JPG"));
    EXPECT_TRUE(rig.model.files().empty());
}
