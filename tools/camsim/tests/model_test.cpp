// The simulated camera's behaviour, driven through the camera channel as the programs drive it.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "camera_channel.h"
#include "camera_model.h"

using camera::CameraChannel;
using camera::SystemInfo;
using camsim::CameraModel;
using camsim::Direction;
using camsim::Fault;
using camsim::FaultKind;
using camsim::ModelTransport;
using camsim::Profile;
using camsim::StoredFile;

namespace {

StoredFile MakeFile(const std::string& name, const std::string& ext, size_t size) {
    StoredFile file{name, ext, {}};
    for (size_t i = 0; i < size; ++i) file.content.push_back(uint8_t(i * 7 + 1));
    return file;
}

struct Block {
    SystemInfo status;
    std::vector<uint8_t> data;
    uint32_t polls = 0;  // status reads it took
};

class Camera {
public:
    explicit Camera(Profile profile)
        : model(std::move(profile)), channel(std::make_unique<ModelTransport>(model)) {
        EXPECT_TRUE(channel.Open());
    }

    // Polls the status until `ready` or `error` (at most 100 reads), then fetches the block.
    Block Await() {
        Block block;
        while (block.polls < 100) {
            ++block.polls;
            EXPECT_TRUE(channel.GetSystemInfo(block.status));
            if (block.status.flags & (camera::kStatusReady | camera::kStatusError)) break;
        }
        if ((block.status.flags & camera::kStatusError) == 0 && block.status.length > 0) {
            block.data.resize(block.status.length);
            EXPECT_TRUE(
                channel.ReadMemory(block.status.address, block.status.length, block.data.data()));
        }
        return block;
    }

    // Catalogue: every block's length and flags, and all entries concatenated.
    std::vector<Block> ListCatalogue() {
        std::vector<Block> blocks;
        EXPECT_TRUE(channel.OpenCatalogue(0));
        for (;;) {
            blocks.push_back(Await());
            if (blocks.back().status.flags & (camera::kStatusLast | camera::kStatusError)) break;
            if (blocks.size() > 1000) break;
            EXPECT_TRUE(channel.NextCatalogueBlock());
        }
        return blocks;
    }

    std::vector<Block> ReadFile(const std::string& name, const std::string& ext) {
        std::vector<Block> blocks;
        EXPECT_TRUE(channel.OpenStoredFile(name, ext));
        for (;;) {
            blocks.push_back(Await());
            if (blocks.back().status.flags & (camera::kStatusLast | camera::kStatusError)) break;
            if (blocks.size() > 1000) break;
            EXPECT_TRUE(channel.NextFileBlock());
        }
        return blocks;
    }

    CameraModel model;
    CameraChannel channel;
};

std::vector<uint8_t> Join(const std::vector<Block>& blocks) {
    std::vector<uint8_t> all;
    for (const Block& b : blocks) all.insert(all.end(), b.data.begin(), b.data.end());
    return all;
}

}  // namespace

TEST(Storage, CatalogueBlocksHoldWholeEntriesAndTheLastIsFlagged) {
    struct Row {
        uint32_t blockSize;
        size_t files;
        std::vector<uint32_t> lengths;
    };
    const Row rows[] = {
        {4096, 0, {0}},          // empty catalogue: one empty block
        {4096, 3, {96}},         // all in one block
        {100, 7, {96, 96, 32}},  // 100 bytes hold three entries
        {64, 4, {64, 64}},       // exact fit: no empty block after
        {10, 2, {32, 32}},       // smaller than an entry: still one entry per block
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("blockSize " + std::to_string(row.blockSize) + ", files " +
                     std::to_string(row.files));
        Profile profile;
        profile.blockSize = row.blockSize;
        for (size_t i = 0; i < row.files; ++i)
            profile.files.push_back(MakeFile("F" + std::to_string(i), "JPG", i));
        Camera cam(profile);
        std::vector<Block> blocks = cam.ListCatalogue();
        ASSERT_EQ(row.lengths.size(), blocks.size());
        for (size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_EQ(row.lengths[i], blocks[i].status.length) << "block " << i;
            uint32_t flags =
                camera::kStatusReady | (i + 1 == blocks.size() ? camera::kStatusLast : 0);
            EXPECT_EQ(flags, blocks[i].status.flags) << "block " << i;
        }
    }
}

TEST(Storage, CatalogueEntriesAreFatShortNamesWithSizeThenRawEntries) {
    Profile profile;
    profile.files.push_back(MakeFile("DSCF0001", "JPG", 1234));
    profile.files.push_back(MakeFile("A", "wav", 0));
    StoredFile overridden = MakeFile("CLIP", "AVI", 10);
    overridden.sizeOverridden = true;
    overridden.reportedSize = 0x01020304;
    profile.files.push_back(overridden);
    std::vector<uint8_t> raw(32);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = uint8_t(0xA0 + i);
    profile.extraEntries.push_back(raw);
    Camera cam(profile);

    std::vector<uint8_t> entries = Join(cam.ListCatalogue());
    ASSERT_EQ(4u * 32, entries.size());
    const uint8_t* e = entries.data();
    EXPECT_EQ(0, memcmp(e, "DSCF0001JPG", 11));
    EXPECT_EQ(1234u, camera::LoadU32(e + 28));
    e += 32;
    const uint8_t shortName[11] = {'A', 0, 0, 0, 0, 0, 0, 0, 'w', 'a', 'v'};
    EXPECT_EQ(0, memcmp(e, shortName, 11));
    EXPECT_EQ(0u, camera::LoadU32(e + 28));
    e += 32;
    EXPECT_EQ(0x01020304u, camera::LoadU32(e + 28));
    e += 32;
    EXPECT_EQ(0, memcmp(e, raw.data(), 32));
}

TEST(Storage, FileArrivesInBlocksOfBlockSizeWithTheLastFlagged) {
    struct Row {
        size_t size;
        std::vector<uint32_t> lengths;
    };
    const Row rows[] = {{0, {0}}, {1, {1}}, {100, {100}}, {101, {100, 1}}, {250, {100, 100, 50}}};
    for (const Row& row : rows) {
        SCOPED_TRACE("file of " + std::to_string(row.size) + " bytes");
        Profile profile;
        profile.blockSize = 100;
        profile.files.push_back(MakeFile("OTHER", "JPG", 3));
        profile.files.push_back(MakeFile("PICT", "JPG", row.size));
        Camera cam(profile);
        std::vector<Block> blocks = cam.ReadFile("PICT", "JPG");
        ASSERT_EQ(row.lengths.size(), blocks.size());
        for (size_t i = 0; i < blocks.size(); ++i) {
            EXPECT_EQ(row.lengths[i], blocks[i].status.length) << "block " << i;
            uint32_t flags =
                camera::kStatusReady | (i + 1 == blocks.size() ? camera::kStatusLast : 0);
            EXPECT_EQ(flags, blocks[i].status.flags) << "block " << i;
        }
        EXPECT_EQ(cam.model.files()[1].content, Join(blocks));
    }
}

TEST(Storage, MemoryReadsReachOnlyTheLatestResultRoundedToWords) {
    Profile profile;
    profile.blockSize = 5;
    profile.files.push_back(MakeFile("PICT", "JPG", 9));
    Camera cam(profile);
    ASSERT_TRUE(cam.channel.OpenStoredFile("PICT", "JPG"));
    Block first = cam.Await();
    ASSERT_EQ(5u, first.status.length);
    uint8_t buffer[16] = {};
    // A 5-byte block is fetched as 8 bytes; the padding reads as zero.
    EXPECT_TRUE(cam.channel.ReadMemory(first.status.address, 8, buffer));
    EXPECT_EQ(0, buffer[5] | buffer[6] | buffer[7]);
    EXPECT_FALSE(cam.channel.ReadMemory(first.status.address, 9, buffer));
    EXPECT_FALSE(cam.channel.ReadMemory(first.status.address - 1, 4, buffer));
    EXPECT_TRUE(cam.channel.ReadMemory(first.status.address + 4, 4, buffer));
    EXPECT_EQ(first.data[4], buffer[0]);

    ASSERT_TRUE(cam.channel.NextFileBlock());
    Block second = cam.Await();
    EXPECT_NE(first.status.address, second.status.address);
    EXPECT_FALSE(cam.channel.ReadMemory(first.status.address, 4, buffer))
        << "stale block still readable";
}

TEST(Storage, NotReadyPollsPrecedeEveryAnswerAndReadyStays) {
    Profile profile;
    profile.notReadyPolls = 3;
    profile.blockSize = 32;
    profile.files.push_back(MakeFile("A", "JPG", 40));
    profile.files.push_back(MakeFile("B", "JPG", 1));
    Camera cam(profile);
    ASSERT_TRUE(cam.channel.RequestSystemInfo());
    EXPECT_EQ(4u, cam.Await().polls);
    for (const Block& b : cam.ListCatalogue()) EXPECT_EQ(4u, b.polls);
    for (const Block& b : cam.ReadFile("A", "JPG")) EXPECT_EQ(4u, b.polls);
    ASSERT_TRUE(cam.channel.DeleteStoredFile("B", "JPG"));
    EXPECT_EQ(4u, cam.Await().polls);
    // Once ready, the status keeps answering the same record.
    SystemInfo again;
    ASSERT_TRUE(cam.channel.GetSystemInfo(again));
    EXPECT_EQ(camera::kStatusReady, again.flags);
}

TEST(Storage, PresenceWordFollowsTheProfile) {
    for (bool present : {true, false}) {
        SCOPED_TRACE(present ? "present" : "absent");
        Profile profile;
        profile.storagePresent = present;
        Camera cam(profile);
        ASSERT_TRUE(cam.channel.RequestSystemInfo());
        Block block = cam.Await();
        EXPECT_EQ(camera::kStatusReady, block.status.flags);
        ASSERT_EQ(4u, block.data.size());
        EXPECT_EQ(present ? 1u : 0u, camera::LoadU32(block.data.data()));
    }
}

TEST(Storage, UnknownNamesAndStrayNextsAnswerWithError) {
    Profile profile;
    profile.files.push_back(MakeFile("PICT", "JPG", 10));
    Camera cam(profile);
    struct Row {
        const char* what;
        bool (*send)(CameraChannel&);
    };
    const Row rows[] = {
        {"open of an unknown file",
         [](CameraChannel& c) { return c.OpenStoredFile("PICT", "AVI"); }},
        {"open differing in case",
         [](CameraChannel& c) { return c.OpenStoredFile("pict", "JPG"); }},
        {"delete of an unknown file",
         [](CameraChannel& c) { return c.DeleteStoredFile("NONE", "JPG"); }},
        {"file next without an open file", [](CameraChannel& c) { return c.NextFileBlock(); }},
        {"catalogue next without a listing",
         [](CameraChannel& c) { return c.NextCatalogueBlock(); }},
    };
    for (const Row& row : rows) {
        EXPECT_TRUE(row.send(cam.channel)) << row.what;
        EXPECT_EQ(camera::kStatusError, cam.Await().status.flags) << row.what;
    }
    // Past the last block of a file or listing.
    cam.ReadFile("PICT", "JPG");
    ASSERT_TRUE(cam.channel.NextFileBlock());
    EXPECT_EQ(camera::kStatusError, cam.Await().status.flags) << "file next after the last block";
    cam.ListCatalogue();
    ASSERT_TRUE(cam.channel.NextCatalogueBlock());
    EXPECT_EQ(camera::kStatusError, cam.Await().status.flags)
        << "catalogue next after the last block";
}

TEST(Storage, DeleteRemovesTheFileFromLaterListings) {
    Profile profile;
    profile.files.push_back(MakeFile("A", "JPG", 1));
    profile.files.push_back(MakeFile("B", "AVI", 2));
    Camera cam(profile);
    ASSERT_TRUE(cam.channel.DeleteStoredFile("A", "JPG"));
    EXPECT_EQ(camera::kStatusReady, cam.Await().status.flags);
    ASSERT_EQ(1u, cam.model.files().size());
    EXPECT_EQ("B", cam.model.files()[0].name);
    std::vector<uint8_t> entries = Join(cam.ListCatalogue());
    ASSERT_EQ(32u, entries.size());
    EXPECT_EQ('B', entries[0]);
    ASSERT_TRUE(cam.channel.DeleteStoredFile("A", "JPG"));
    EXPECT_EQ(camera::kStatusError, cam.Await().status.flags) << "second delete of the same file";
}

TEST(Registers, SelectReadWriteAndOutOfRangeSelect) {
    Profile profile;
    profile.registers[1856] = 0x20;
    profile.registers[0xFFFF] = 0x7F;
    Camera cam(profile);
    uint8_t value = 0;
    EXPECT_TRUE(cam.channel.ReadRegister(1856, value));
    EXPECT_EQ(0x20, value);
    EXPECT_TRUE(cam.channel.ReadRegister(0xFFFF, value));
    EXPECT_EQ(0x7F, value);
    EXPECT_TRUE(cam.channel.ReadRegister(12, value));
    EXPECT_EQ(0, value);
    EXPECT_TRUE(cam.channel.WriteRegister(1856, 0x20 & 0xDF));
    EXPECT_EQ(0, cam.model.RegisterValue(1856));

    // A failed select leaves the previous selection in place.
    EXPECT_TRUE(cam.channel.WriteRegister(1977, 0xFF));
    EXPECT_FALSE(cam.channel.ReadRegister(0x10000, value));
    uint8_t byte = 0;
    ASSERT_TRUE(cam.model.Get(camera::kPropRegisterValue, &byte, 1));
    EXPECT_EQ(0xFF, byte);
}

TEST(Firmware, DownloadNeedsItsOwnLengthWord) {
    Profile profile;
    Camera cam(profile);
    uint8_t buffer[11] = {11, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7};
    EXPECT_TRUE(cam.model.Set(camera::kPropFirmwareDownload, buffer, 11));
    EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 11), cam.model.LastFirmwareDownload());
    EXPECT_FALSE(cam.model.Set(camera::kPropFirmwareDownload, buffer, 10))
        << "shorter than its word";
    EXPECT_FALSE(cam.model.Set(camera::kPropFirmwareDownload, buffer, 3)) << "no room for the word";
}

TEST(Firmware, ReadyAfterPollsCountedFromPowerOnAndFromEachDownload) {
    Profile profile;
    profile.firmwareReadyAfterPolls = 2;
    Camera cam(profile);
    auto poll = [&] {
        uint32_t ready = 99;
        EXPECT_TRUE(cam.channel.GetFirmwareReady(ready));
        return ready;
    };
    EXPECT_EQ(0u, poll());
    EXPECT_EQ(0u, poll());
    EXPECT_EQ(1u, poll());
    EXPECT_EQ(1u, poll());
    const uint8_t image[7] = {7, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(cam.channel.DownloadFirmware(image, sizeof image));
    EXPECT_EQ(0u, poll());
    EXPECT_EQ(0u, poll());
    EXPECT_EQ(1u, poll());

    Profile never;
    never.firmwareNeverReady = true;
    never.firmwareNotReadyValue = 2;
    Camera stuck(never);
    uint32_t ready = 99;
    for (int i = 0; i < 200; ++i) {
        ASSERT_TRUE(stuck.channel.GetFirmwareReady(ready));
        ASSERT_EQ(2u, ready) << "poll " << i;
    }
}

TEST(Firmware, FlashCompletesAfterItsStatusReadsEvenAfterAStatusRequest) {
    struct Row {
        uint32_t flashReads, notReadyPolls, expectedPolls;
    };
    // A status request while the flash is being programmed adds no wait of its own.
    const Row rows[] = {{0, 0, 1}, {1, 2, 2}, {5, 2, 6}, {0, 2, 3}};
    for (const Row& row : rows) {
        SCOPED_TRACE("flash-done-after " + std::to_string(row.flashReads) + ", not-ready-polls " +
                     std::to_string(row.notReadyPolls));
        Profile profile;
        profile.flashDoneAfterReads = row.flashReads;
        profile.notReadyPolls = row.notReadyPolls;
        Camera cam(profile);
        const uint8_t image[7] = {7, 0, 0, 0, 0, 0, 0};
        ASSERT_TRUE(cam.channel.DownloadFirmware(image, sizeof image));
        ASSERT_TRUE(cam.channel.UpdateFirmwareToFlash());
        ASSERT_TRUE(cam.channel.RequestSystemInfo());
        Block done = cam.Await();
        EXPECT_EQ(row.expectedPolls, done.polls);
        EXPECT_EQ(camera::kStatusReady, done.status.flags);
    }
}

TEST(Requests, WrongLengthsAndDirectionsFail) {
    Profile profile;
    CameraModel model(profile);
    uint8_t buffer[64] = {};
    struct Row {
        const char* what;
        bool get;
        uint32_t property;
        uint32_t length;
        bool nullBuffer;
    };
    const Row rows[] = {
        {"register select of 2 bytes", false, 0, 2, false},
        {"register value of 4 bytes", false, 2, 4, false},
        {"register read of 4 bytes", true, 2, 4, false},
        {"window of 4 bytes", false, 1, 4, false},
        {"status of 8 bytes", true, 34, 8, false},
        {"ready flag of 1 byte", true, 67, 1, false},
        {"flash with data", false, 24, 4, false},
        {"status request with data", false, 49, 1, false},
        {"file open of 11 bytes", false, 41, 11, false},
        {"delete of 13 bytes", false, 43, 13, false},
        {"catalogue start without its byte", false, 39, 0, true},
        {"null buffer with a length", false, 0, 4, true},
        {"get of a set-only property", true, 0, 4, false},
        {"set of a get-only property", false, 34, 12, false},
        {"unknown property", false, 5, 0, true},
    };
    for (const Row& row : rows) {
        void* data = row.nullBuffer ? nullptr : buffer;
        bool ok = row.get ? model.Get(row.property, data, row.length)
                          : model.Set(row.property, data, row.length);
        EXPECT_FALSE(ok) << row.what;
        EXPECT_FALSE(model.trace().back().ok) << row.what;
    }
    EXPECT_EQ(std::size(rows), model.trace().size());
}

TEST(Faults, FailOnTheNthRequestOrEveryRequest) {
    struct Row {
        const char* what;
        Fault fault;
        std::vector<bool> expected;  // results of get 34, set 49, get 34, set 49, get 34
    };
    const Row rows[] = {
        {"second get",
         {FaultKind::Fail, camera::kPropSystemInfo, Direction::Get, 2, 0},
         {true, true, false, true, true}},
        {"every set",
         {FaultKind::Fail, camera::kPropSystemInfoRequest, Direction::Set, 0, 0},
         {true, false, true, false, true}},
        {"third of either direction",
         {FaultKind::Fail, camera::kPropSystemInfo, Direction::Any, 3, 0},
         {true, true, true, true, false}},
        {"other property untouched",
         {FaultKind::Fail, camera::kPropFileNext, Direction::Any, 0, 0},
         {true, true, true, true, true}},
        // S_FALSE from the driver: the camera does not see the request.
        {"S_FALSE on the second get",
         {FaultKind::FalseAnswer, camera::kPropSystemInfo, Direction::Get, 2, 0},
         {true, true, false, true, true}},
    };
    for (const Row& row : rows) {
        Profile profile;
        profile.faults.push_back(row.fault);
        CameraModel model(profile);
        uint8_t record[12];
        std::vector<bool> got;
        for (int i = 0; i < 5; ++i)
            got.push_back(i % 2 == 0 ? model.Get(34, record, 12) : model.Set(49, nullptr, 0));
        EXPECT_EQ(row.expected, got) << row.what;
    }
}

TEST(Faults, StatusErrorMarksTheMatchingCommandsStatus) {
    Profile profile;
    profile.files.push_back(MakeFile("PICT", "JPG", 10));
    profile.faults.push_back({FaultKind::StatusError, camera::kPropFileOpen, Direction::Set, 2, 0});
    Camera cam(profile);
    EXPECT_EQ(camera::kStatusReady | camera::kStatusLast,
              cam.ReadFile("PICT", "JPG").back().status.flags);
    ASSERT_TRUE(cam.channel.OpenStoredFile("PICT", "JPG"));
    SystemInfo status;
    ASSERT_TRUE(cam.channel.GetSystemInfo(status));
    EXPECT_TRUE(status.flags & camera::kStatusError);
    EXPECT_TRUE(status.flags & camera::kStatusReady)
        << "error comes with ready: callers test error first";

    // On the status property itself: only that read carries the error.
    Profile onStatus;
    onStatus.faults.push_back(
        {FaultKind::StatusError, camera::kPropSystemInfo, Direction::Get, 2, 0});
    Camera other(onStatus);
    ASSERT_TRUE(other.channel.RequestSystemInfo());
    std::vector<uint32_t> flags;
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(other.channel.GetSystemInfo(status));
        flags.push_back(status.flags);
    }
    EXPECT_EQ((std::vector<uint32_t>{1, 0x8001, 1}), flags);
}

TEST(Faults, HugeLengthIsReportedButCannotBeRead) {
    Profile profile;
    profile.faults.push_back(
        {FaultKind::HugeLength, camera::kPropCatalogueStart, Direction::Set, 0, 0x7FFFFFF0});
    profile.files.push_back(MakeFile("PICT", "JPG", 10));
    Camera cam(profile);
    ASSERT_TRUE(cam.channel.OpenCatalogue(0));
    SystemInfo status;
    ASSERT_TRUE(cam.channel.GetSystemInfo(status));
    EXPECT_EQ(0x7FFFFFF0u, status.length);
    uint8_t buffer[64];
    EXPECT_TRUE(cam.channel.ReadMemory(status.address, 32, buffer))
        << "the real block is still there";
    std::vector<uint8_t> big(64 * 1024);
    EXPECT_FALSE(cam.channel.ReadMemory(status.address, uint32_t(big.size()), big.data()));
}

TEST(Faults, UnplugFailsEverythingFromItsRequestOn) {
    Profile profile;
    profile.faults.push_back({FaultKind::Unplug, camera::kPropFileNext, Direction::Set, 2, 0});
    profile.files.push_back(MakeFile("PICT", "JPG", 300));
    profile.blockSize = 100;
    Camera cam(profile);
    ASSERT_TRUE(cam.channel.OpenStoredFile("PICT", "JPG"));
    cam.Await();
    EXPECT_TRUE(cam.channel.NextFileBlock());
    cam.Await();
    EXPECT_FALSE(cam.channel.NextFileBlock());
    SystemInfo status;
    EXPECT_FALSE(cam.channel.GetSystemInfo(status));
    uint8_t value;
    EXPECT_FALSE(cam.channel.ReadRegister(0, value));
    EXPECT_TRUE(cam.model.unplugged());
    EXPECT_FALSE(cam.model.trace().back().ok);
    cam.channel.Close();
    EXPECT_FALSE(cam.channel.Open()) << "an unplugged camera is not found";
}

TEST(Faults, UnsupportedPropertyNeverReachesTheModel) {
    Profile profile;
    profile.faults.push_back(
        {FaultKind::Unsupported, camera::kPropFirmwareReady, Direction::Get, 0, 0});
    profile.faults.push_back(
        {FaultKind::Unsupported, camera::kPropRegisterValue, Direction::Set, 0, 0});
    Camera cam(profile);
    EXPECT_FALSE(cam.model.Supports(67, true));
    EXPECT_FALSE(cam.model.Supports(2, false));
    EXPECT_TRUE(cam.model.Supports(2, true));
    uint32_t ready;
    EXPECT_FALSE(cam.channel.GetFirmwareReady(ready));
    EXPECT_TRUE(cam.model.trace().empty());
    EXPECT_FALSE(cam.channel.WriteRegister(1, 1));
    ASSERT_EQ(1u, cam.model.trace().size()) << "only the select goes out";
    EXPECT_EQ("set 0 len=4 01 00 00 00 ok", FormatTraceRecord(cam.model.trace()[0]));
}

TEST(Trace, RecordsFormatAsOneLineEach) {
    struct Row {
        camsim::TraceRecord record;
        const char* line;
    };
    const Row rows[] = {
        {{0, false, 4, false, {0x40, 0x07, 0, 0}, true}, "set 0 len=4 40 07 00 00 ok"},
        {{2, true, 1, false, {0x20}, true}, "get 2 len=1 20 ok"},
        {{24, false, 0, true, {}, true}, "set 24 len=0 null ok"},
        {{34, true, 12, false, {}, false}, "get 34 len=12 fail"},
        {{43, false, 0, false, {}, false}, "set 43 len=0 fail"},
        {{3, true, 2, false, {0xAB, 0xFF}, true}, "get 3 len=2 ab ff ok"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.line, FormatTraceRecord(row.record)) << row.line;
        camsim::TraceRecord back;
        ASSERT_TRUE(camsim::ParseTraceRecord(row.line, back)) << row.line;
        EXPECT_EQ(row.line, FormatTraceRecord(back)) << "read back: " << row.line;
    }
    const char* notRecords[] = {
        "",
        "put 0 len=4 ok",
        "set x len=0 ok",
        "set 0 len= ok",
        "set 0 length=0 ok",
        "set 0 len=1 4 ok",
        "set 0 len=1 0G ok",
        "set 0 len=1 00 done",
        "set 0 len=1 00",
        "set 0  len=1 ok",
        "set 0 len=1 ok ",
        "set 4294967296 len=0 ok",
        "set 0 len=0 ok 00",
    };
    camsim::TraceRecord record;
    for (const char* line : notRecords)
        EXPECT_FALSE(camsim::ParseTraceRecord(line, record)) << "'" << line << "'";
}

TEST(Trace, SinkSeesEveryRecordAsItIsAppended) {
    Profile profile;
    Camera cam(profile);
    std::vector<std::string> lines;
    cam.model.SetTraceSink(
        [&](const camsim::TraceRecord& r) { lines.push_back(FormatTraceRecord(r)); });
    uint8_t value;
    cam.channel.ReadRegister(0x740, value);
    EXPECT_EQ((std::vector<std::string>{"set 0 len=4 40 07 00 00 ok", "get 2 len=1 00 ok"}), lines);
}

TEST(Link, EveryRequestTakesTheLatencyAndReadsTheirLengthAtTheRate) {
    Profile profile;
    profile.requestLatencyUs = 650;
    profile.readBytesPerSecond = 16000000;
    profile.files.push_back(MakeFile("PICT", "JPG", 4096));
    Camera cam(profile);
    EXPECT_EQ(0u, cam.model.clockNs());
    cam.ReadFile("PICT", "JPG");  // open, status, window, 4096-byte read
    EXPECT_EQ(4 * 650000u + 256000u, cam.model.clockNs());
    EXPECT_EQ(650000u + 256000u, cam.model.lastRequestNs());
    uint8_t byte = 0;
    EXPECT_FALSE(cam.channel.ReadRegister(0x10000, byte));  // a refused select takes as long
    EXPECT_EQ(5 * 650000u + 256000u, cam.model.clockNs());
    cam.model.Advance(1000);
    EXPECT_EQ(5 * 650000u + 257000u, cam.model.clockNs());
}
