#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "camera_model.h"

using camsim::Direction;
using camsim::FaultKind;
using camsim::Profile;

namespace {

Profile ParseOk(const std::string& text, const std::string& baseDir = "") {
    Profile profile;
    std::string error;
    EXPECT_TRUE(ParseProfile(text, baseDir, profile, error)) << error;
    return profile;
}

// The test's working directory, in the build tree: each tree has its own.
std::string ScratchDir() { return std::filesystem::current_path().string(); }

}  // namespace

TEST(Profile, EveryKeywordSetsItsField) {
    Profile p = ParseOk(
        "# a camera with everything\n"
        "name ZQ71R Camera\n"
        "register 1856 0x20\n"
        "register 0xFFFF 255\n"
        "firmware-ready-after 60\n"
        "firmware-not-ready-value 0x101\n"
        "flash-done-after 3\n"
        "not-ready-polls 2\n"
        "block-size 4096\n"
        "request-latency-us 650\n"
        "read-bytes-per-second 16000000\n"
        "storage absent\n"
        "   \n"
        "file DSCF0001 JPG hex=00112233\n"
        "file CLIP0001 AVI size=1234 fill=300\n"
        "file \"AB  \" wav\n"
        "entry hex=" +
            std::string(62, '0') +
            "ff\n"
            "fault fail 34 get nth=3\n"
            "fault unplug 42 set nth=2\n"
            "fault status-error 41\n"
            "fault unsupported 2 get\n"
            "fault huge-length 39 any length=0x7fffffff\n"
            "fault s-false 67 get nth=2\n"
            "fault support-s-false 20\n"
            "trace out/trace.txt\r\n",
        "/base");
    EXPECT_EQ("ZQ71R Camera", p.friendlyName);
    EXPECT_EQ(0x20, p.registers.at(1856));
    EXPECT_EQ(255, p.registers.at(0xFFFF));
    EXPECT_EQ(60u, p.firmwareReadyAfterPolls);
    EXPECT_FALSE(p.firmwareNeverReady);
    EXPECT_EQ(0x101u, p.firmwareNotReadyValue);
    EXPECT_EQ(3u, p.flashDoneAfterReads);
    EXPECT_EQ(2u, p.notReadyPolls);
    EXPECT_EQ(4096u, p.blockSize);
    EXPECT_EQ(650u, p.requestLatencyUs);
    EXPECT_EQ(16000000u, p.readBytesPerSecond);
    EXPECT_FALSE(p.storagePresent);
    ASSERT_EQ(3u, p.files.size());
    EXPECT_EQ((std::vector<uint8_t>{0x00, 0x11, 0x22, 0x33}), p.files[0].content);
    EXPECT_FALSE(p.files[0].sizeOverridden);
    EXPECT_EQ("CLIP0001", p.files[1].name);
    EXPECT_EQ("AVI", p.files[1].extension);
    EXPECT_TRUE(p.files[1].sizeOverridden);
    EXPECT_EQ(1234u, p.files[1].reportedSize);
    ASSERT_EQ(300u, p.files[1].content.size());
    EXPECT_EQ(250, p.files[1].content[250]);
    EXPECT_EQ(0, p.files[1].content[251]);
    EXPECT_EQ("AB  ", p.files[2].name);
    EXPECT_TRUE(p.files[2].content.empty());
    ASSERT_EQ(1u, p.extraEntries.size());
    EXPECT_EQ(0xFF, p.extraEntries[0][31]);
    ASSERT_EQ(7u, p.faults.size());
    EXPECT_EQ(FaultKind::Fail, p.faults[0].kind);
    EXPECT_EQ(34u, p.faults[0].property);
    EXPECT_EQ(Direction::Get, p.faults[0].direction);
    EXPECT_EQ(3u, p.faults[0].nth);
    EXPECT_EQ(FaultKind::Unplug, p.faults[1].kind);
    EXPECT_EQ(Direction::Set, p.faults[1].direction);
    EXPECT_EQ(Direction::Any, p.faults[2].direction);
    EXPECT_EQ(0u, p.faults[2].nth);
    EXPECT_EQ(FaultKind::Unsupported, p.faults[3].kind);
    EXPECT_EQ(FaultKind::HugeLength, p.faults[4].kind);
    EXPECT_EQ(0x7FFFFFFFu, p.faults[4].length);
    EXPECT_EQ(FaultKind::FalseAnswer, p.faults[5].kind);
    EXPECT_EQ(2u, p.faults[5].nth);
    EXPECT_EQ(FaultKind::FalseSupport, p.faults[6].kind);
    EXPECT_EQ("/base/out/trace.txt", p.tracePath);
}

TEST(Profile, DefaultsAndExactNames) {
    Profile p = ParseOk("");
    EXPECT_EQ("ZQ71R Camera", p.friendlyName);
    EXPECT_TRUE(p.storagePresent);
    EXPECT_EQ(4096u, p.blockSize);
    EXPECT_TRUE(p.files.empty());

    EXPECT_EQ("ZQ71R Camera ", ParseOk("name \"ZQ71R Camera \"\n").friendlyName);
    EXPECT_EQ("zq71r camera", ParseOk("name   zq71r   camera  \n").friendlyName);
    EXPECT_TRUE(ParseOk("firmware-never-ready\n").firmwareNeverReady);
    EXPECT_TRUE(ParseOk("storage absent\nstorage present\n").storagePresent);
}

TEST(Profile, ErrorsNameTheLine) {
    struct Row {
        const char* text;
        const char* error;
    };
    const Row rows[] = {
        {"frobnicate 1", "line 1: unknown keyword 'frobnicate'"},
        {"# ok\n\nregister 65536 1", "line 3: bad register address '65536' (0 to 65535)"},
        {"register 12 256", "line 1: bad register value '256' (0 to 255)"},
        {"register 12", "line 1: register takes an address and a value"},
        {"register 010 x", "line 1: bad register value 'x' (0 to 255)"},
        {"block-size 0", "line 1: block-size must be at least 1"},
        {"not-ready-polls -1", "line 1: bad number '-1' for not-ready-polls"},
        {"flash-done-after 4294967296", "line 1: bad number '4294967296' for flash-done-after"},
        {"storage maybe", "line 1: storage takes 'present' or 'absent'"},
        {"file A", "line 1: file needs a name and an extension"},
        {"file ABCDEFGHI JPG", "line 1: file name 'ABCDEFGHI' is longer than 8"},
        {"file A JPEG", "line 1: file extension 'JPEG' is longer than 3"},
        {"file A JPG hex=123", "line 1: bad hex content"},
        {"file A JPG hex=zz", "line 1: bad hex content"},
        {"file A JPG hex=00 fill=3", "line 1: file takes at most one of hex=, path=, fill="},
        {"file A JPG colour=red", "line 1: unknown file option 'colour=red'"},
        {"file A JPG path=does/not/exist", "line 1: cannot read '/nowhere/does/not/exist'"},
        {"file A JPG path=", "line 1: cannot read '/nowhere/'"},
        {"file A JPG path=/", "line 1: cannot read '/'"},
        {"file A JPG fill=268435457", "line 1: bad fill length '268435457' (at most 268435456)"},
        {"entry hex=00", "line 1: entry takes hex= with exactly 64 hex digits"},
        {"fault explode 34", "line 1: unknown fault kind 'explode'"},
        {"fault fail", "line 1: fault needs a kind and a property"},
        {"fault fail 34 sideways", "line 1: bad fault option 'sideways'"},
        {"fault fail 34 nth=x", "line 1: bad fault option 'nth=x'"},
        {"fault huge-length 34", "line 1: huge-length needs length="},
        {"fault fail 34 length=5", "line 1: length= belongs to huge-length only"},
        {"name \"ZQ71R", "line 1: unterminated quote"},
        {"trace", "line 1: trace takes one path"},
    };
    for (const Row& row : rows) {
        Profile profile;
        profile.blockSize = 77;
        std::string error;
        EXPECT_FALSE(ParseProfile(row.text, "/nowhere", profile, error)) << row.text;
        EXPECT_EQ(row.error, error) << row.text;
        EXPECT_EQ(77u, profile.blockSize)
            << "a failed parse leaves the profile alone: " << row.text;
    }
}

TEST(Profile, FileContentAndProfileFilesAreReadRelativeToTheirFolder) {
    std::string dir = ScratchDir();
    std::string content("\x00\x01\xff\r\n\x1a", 6);  // binary bytes survive unchanged
    {
        std::ofstream out(dir + "/camsim_picture.bin", std::ios::binary);
        out.write(content.data(), std::streamsize(content.size()));
        std::ofstream profile(dir + "/camsim_profile.txt", std::ios::binary);
        profile << "file PIC JPG path=camsim_picture.bin\ntrace camsim_trace.txt\n";
    }
    Profile p;
    std::string error;
    ASSERT_TRUE(camsim::LoadProfile(dir + "/camsim_profile.txt", p, error)) << error;
    ASSERT_EQ(1u, p.files.size());
    EXPECT_EQ(std::vector<uint8_t>(content.begin(), content.end()), p.files[0].content);
    EXPECT_EQ(dir + "/camsim_trace.txt", p.tracePath);

    EXPECT_FALSE(camsim::LoadProfile(dir + "/camsim_no_such_profile.txt", p, error));
    {
        std::ofstream bad(dir + "/camsim_bad.txt");
        bad << "block-size 1\nbogus\n";
    }
    EXPECT_FALSE(camsim::LoadProfile(dir + "/camsim_bad.txt", p, error));
    EXPECT_EQ(dir + "/camsim_bad.txt: line 2: unknown keyword 'bogus'", error);
    std::remove((dir + "/camsim_picture.bin").c_str());
    std::remove((dir + "/camsim_profile.txt").c_str());
    std::remove((dir + "/camsim_bad.txt").c_str());
}

TEST(Profile, WindowsPathsJoinWithBackslashes) {
    Profile p = ParseOk("trace t.txt\n", "C:\\cams");
    EXPECT_EQ("C:\\cams\\t.txt", p.tracePath);
    EXPECT_EQ("D:\\x.txt", ParseOk("trace D:\\x.txt\n", "C:\\cams").tracePath);
}
