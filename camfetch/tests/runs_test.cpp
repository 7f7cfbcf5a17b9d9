// Download and delete runs against the simulated camera's model, tick by tick, with the files
// kept in memory so that every failure of the disk can be staged.
#include <gtest/gtest.h>

#include "camera_model.h"
#include "fake_view.h"
#include "fetch_session.h"

using namespace camfetch;

namespace {

const char* const kBase = "c:\\pics";
const char* const kDated = "12-07-2026_08-42";
const std::string kFolder = "c:\\pics\\12-07-2026_08-42\\";

camsim::StoredFile File(const char* name, const char* ext, size_t size, uint8_t seed = 1) {
    camsim::StoredFile file;
    file.name = name;
    file.extension = ext;
    for (size_t i = 0; i < size; ++i) file.content.push_back(uint8_t(seed + i * 7));
    return file;
}

std::vector<uint8_t> RawEntry(const char* name, const char* ext, uint32_t size) {
    std::vector<uint8_t> entry(32, 0);
    for (size_t i = 0; i < 8 && name[i]; ++i) entry[i] = uint8_t(name[i]);
    for (size_t i = 0; i < 3 && ext[i]; ++i) entry[8 + i] = uint8_t(ext[i]);
    for (int i = 0; i < 4; ++i) entry[28 + i] = uint8_t(size >> (8 * i));
    return entry;
}

struct RunRig {
    camsim::CameraModel model;
    camera::CameraChannel channel;
    FakeView view;
    MemoryStore store;
    FetchSession session;
    std::vector<std::string> converted;
    int convertResult = 0;

    explicit RunRig(camsim::Profile profile)
        : model(std::move(profile)),
          channel(std::make_unique<camsim::ModelTransport>(model)),
          session(channel, view) {
        channel.Open();
        session.downloadFolder = kBase;
        session.datedFolderName = kDated;
        session.SetDownloadStore(&store);
        session.SetClipConverter([this](const std::string& path) {
            converted.push_back(path);
            return convertResult;
        });
        for (int tick = 0; tick < 1000 && session.controlMode != kModeReady; ++tick)
            session.ConnectionStep();
    }
    size_t Row(const std::string& name) const {
        for (size_t i = 0; i < session.catalogue.size(); ++i)
            if (session.catalogue[i].name == name) return i;
        ADD_FAILURE() << "no row " << name;
        return 0;
    }
    void Select(std::initializer_list<const char*> names) {
        for (const char* name : names) view.rows[Row(name)] |= listStateSelected;
    }
    // Ticks until the runs are idle; returns the ticks taken, -1 if they never end.
    int RunToEnd(int limit = 10000) {
        for (int tick = 1; tick <= limit; ++tick) {
            session.ConnectionStep();
            if (session.downloadState == 0 && session.deleteState == 0) return tick;
        }
        return -1;
    }
    int Count(uint32_t property, bool get) const {
        int n = 0;
        for (const auto& r : model.trace()) n += r.property == property && r.isGet == get;
        return n;
    }
    std::vector<uint32_t> ReadLengths() const {  // memory reads: get 3
        std::vector<uint32_t> lengths;
        for (const auto& r : model.trace())
            if (r.property == 3 && r.isGet) lengths.push_back(r.length);
        return lengths;
    }
    std::string Status(const std::string& name) const {
        return StatusWord(session.catalogue[Row(name)].flags);
    }
};

// The requests of this kind a profile's connection and listing make before any run.
int RequestsToReady(const camsim::Profile& profile, uint32_t property, bool get) {
    RunRig probe(profile);
    return probe.Count(property, get);
}

}  // namespace

TEST(DownloadRun, BlocksAreFetchedRoundedUpAndWrittenAtTheirLength) {
    camsim::Profile profile;
    profile.blockSize = 5;
    profile.files = {File("ODD", "JPG", 13), File("EMPTY", "wav", 0)};
    RunRig rig(profile);
    rig.Select({"ODD", "EMPTY"});
    rig.model.ClearTrace();
    rig.session.StartDownloadRun();
    EXPECT_EQ(kModeDownloadRunning, rig.session.controlMode);
    EXPECT_EQ(std::vector<std::string>{"2"}, rig.view.remaining);
    EXPECT_TRUE(rig.model.trace().empty()) << "the first file waits for the next tick";

    // Rows sort by name, descending: ODD first. One block per tick.
    rig.session.ConnectionStep();
    EXPECT_EQ(2, rig.session.downloadState);
    EXPECT_EQ(1u, rig.store.writes.size());
    EXPECT_EQ(std::vector<std::string>{"Downloading ODD.JPG"}, rig.view.statusLines);
    EXPECT_EQ("Downloading", rig.Status("ODD"));
    EXPECT_EQ(rig.Row("ODD"), rig.view.madeVisible.at(0));
    ASSERT_GT(rig.RunToEnd(), 0);

    EXPECT_EQ((std::vector<uint32_t>{8, 8, 4}), rig.ReadLengths());
    EXPECT_EQ((std::vector<size_t>{5, 5, 3}), rig.store.writes) << "the empty file writes nothing";
    EXPECT_EQ(rig.model.files()[0].content, rig.store.files.at(kFolder + "ODD.JPG"));
    ASSERT_EQ(1u, rig.store.files.count(kFolder + "EMPTY.wav"));
    EXPECT_TRUE(rig.store.files.at(kFolder + "EMPTY.wav").empty());
    EXPECT_EQ((std::vector<std::string>{"0%", "38%", "76%", "100%", "0%", "100%"}), rig.view.percents);
    EXPECT_EQ((std::vector<std::string>{"2", "1", "0"}), rig.view.remaining);
    EXPECT_EQ("Saved", rig.Status("ODD"));
    EXPECT_EQ("Saved", rig.Status("EMPTY"));
    EXPECT_EQ(kModeReady, rig.session.controlMode);
    EXPECT_EQ(Serving, rig.session.connectionState);
    EXPECT_EQ(2, rig.session.downloadDone);
    EXPECT_EQ(kFolder.substr(0, kFolder.size() - 1), rig.store.folders.at(0));
    EXPECT_EQ(2, rig.Count(41, false));
    EXPECT_EQ(2, rig.Count(42, false)) << "file next after each block but the last";
}

TEST(DownloadRun, PercentFollowsTheCatalogueSizeUncapped) {
    struct Row {
        const char* what;
        uint32_t reported;
        size_t actual;
        std::vector<std::string> percents;
    };
    const Row rows[] = {
        {"smaller than delivered", 4, 10, {"0%", "100%", "200%", "250%"}},
        {"size zero with data", 0, 10, {"0%", "0%", "0%", "0%", "100%"}},
        {"larger than delivered", 40, 10, {"0%", "10%", "20%", "25%"}},
    };
    for (const Row& row : rows) {
        camsim::Profile profile;
        profile.blockSize = 4;
        profile.files = {File("F", "JPG", row.actual)};
        profile.files[0].sizeOverridden = true;
        profile.files[0].reportedSize = row.reported;
        RunRig rig(profile);
        rig.Select({"F"});
        rig.session.StartDownloadRun();
        ASSERT_GT(rig.RunToEnd(), 0) << row.what;
        EXPECT_EQ(row.percents, rig.view.percents) << row.what;
        EXPECT_EQ("Saved", rig.Status("F")) << row.what;
    }
}

TEST(DownloadRun, SelectionAndConvertAviAreLatchedAtDownload) {
    camsim::Profile profile;
    profile.files = {File("CLIP", "AVI", 100), File("clip2", "avi", 50), File("PIC", "JPG", 10)};
    RunRig rig(profile);

    rig.session.StartDownloadRun();  // nothing selected
    EXPECT_EQ(0, rig.session.downloadState);
    EXPECT_EQ(kModeReady, rig.session.controlMode);
    EXPECT_TRUE(rig.view.remaining.empty());

    rig.Select({"CLIP", "clip2", "PIC"});
    rig.view.convertAviChecked = true;
    rig.session.StartDownloadRun();
    rig.view.convertAviChecked = false;  // changed during the run: no effect
    rig.view.rows.assign(rig.view.rows.size(), 0);
    ASSERT_GT(rig.RunToEnd(), 0);
    EXPECT_EQ((std::vector<std::string>{kFolder + "clip2.avi", kFolder + "CLIP.AVI"}), rig.converted);
    EXPECT_EQ(3u, rig.store.files.size());

    // Saved items are downloaded again; this time the box was clear at Download.
    rig.converted.clear();
    rig.store.files.clear();
    rig.Select({"CLIP"});
    rig.session.StartDownloadRun();
    rig.view.convertAviChecked = true;
    ASSERT_GT(rig.RunToEnd(), 0);
    EXPECT_TRUE(rig.converted.empty());
    EXPECT_EQ(rig.model.files()[0].content, rig.store.files.at(kFolder + "CLIP.AVI"));
    EXPECT_EQ("Saved", rig.Status("CLIP"));
}

TEST(DownloadRun, SameNameTwiceLeavesOneFile) {
    camsim::Profile profile;
    profile.files = {File("TWIN", "JPG", 20, 1), File("TWIN", "JPG", 30, 2)};
    RunRig rig(profile);
    rig.view.rows.assign(2, listStateSelected);
    rig.session.StartDownloadRun();
    ASSERT_GT(rig.RunToEnd(), 0);
    EXPECT_EQ(1u, rig.store.files.size());
    EXPECT_EQ(2, rig.session.downloadDone);
    EXPECT_EQ(2, rig.Count(41, false));
}

TEST(DownloadRun, EveryFailureEndsTheRunWithNoFileLeft) {
    camsim::Profile base;
    base.blockSize = 8;
    base.files = {File("B", "JPG", 20), File("CLIP", "AVI", 20), File("A", "JPG", 4)};
    const int statusReads = RequestsToReady(base, 34, true);
    const int memoryReads = RequestsToReady(base, 3, true);
    using camsim::FaultKind;
    using camsim::Direction;
    struct Row {
        const char* what;
        const char* item;
        std::vector<camsim::Fault> faults;
        bool failCreate = false;
        size_t spaceLeft = SIZE_MAX;
        bool failClose = false;
        int convertResult = 0;
        bool writesExpected = true;
    };
    const Row rows[] = {
        {"status read fails", "B", {{FaultKind::Fail, 34, Direction::Get, uint32_t(statusReads + 2)}}},
        {"status carries error", "B", {{FaultKind::StatusError, 42, Direction::Set, 1}}},
        {"memory read fails", "B", {{FaultKind::Fail, 3, Direction::Get, uint32_t(memoryReads + 2)}}},
        {"camera unplugged", "B", {{FaultKind::Unplug, 42, Direction::Set, 2}}},
        // A refused request leaves the camera's status on the block before: taking that as
        // the answer would write the block twice (or the listing's last block as the file).
        {"file next fails", "B", {{FaultKind::Fail, 42, Direction::Set, 1}}},
        {"file open fails", "B", {{FaultKind::Fail, 41, Direction::Set, 1}}, false, SIZE_MAX, false, 0, false},
        {"file open refused", "B", {{FaultKind::StatusError, 41, Direction::Set, 1}}, false, SIZE_MAX, false, 0, false},
        {"output not creatable", "B", {}, true, SIZE_MAX, false, 0, false},
        {"disk full", "B", {}, false, 10},
        {"close fails", "B", {}, false, SIZE_MAX, true},
        {"conversion fails", "CLIP", {}, false, SIZE_MAX, false, 3},
        {"block longer than any buffer", "B", {{FaultKind::HugeLength, 41, Direction::Set, 1, 0x7FFFFFF0}},
         false, SIZE_MAX, false, 0, false},
    };
    for (const Row& row : rows) {
        camsim::Profile profile = base;
        profile.faults = row.faults;
        RunRig rig(profile);
        ASSERT_EQ(kModeReady, rig.session.controlMode) << row.what;
        rig.store.failCreate = row.failCreate;
        rig.store.spaceLeft = row.spaceLeft;
        rig.store.failClose = row.failClose;
        rig.convertResult = row.convertResult;
        rig.view.convertAviChecked = true;
        rig.Select({row.item, "A"});  // A comes after it and is never tried
        rig.session.StartDownloadRun();
        ASSERT_GT(rig.RunToEnd(), 0) << row.what;
        EXPECT_EQ(Failed, rig.session.connectionState) << row.what;
        EXPECT_EQ(kStringFailed, rig.view.messages.back()) << row.what;
        EXPECT_EQ(kModeReady, rig.session.controlMode) << row.what;
        EXPECT_TRUE(rig.store.files.empty()) << row.what << ": a partial file is left";
        EXPECT_TRUE(rig.store.open.empty()) << row.what << ": the file is still open";
        EXPECT_EQ(row.writesExpected, !rig.store.writes.empty()) << row.what;
        EXPECT_EQ("Error!", rig.Status(row.item)) << row.what;
        EXPECT_EQ(0, rig.session.downloadDone) << row.what;
        EXPECT_EQ("", rig.Status("A")) << row.what;
    }
}

TEST(DownloadRun, HostileNamesNeverReachTheDisk) {
    const char* const names[] = {"..", "CON", "nul", "COM1", "A*B", "A?B", "A|B", "A<B", "A\"B", "A B ", "A\\B", "A/B", "C:X"};
    for (const char* name : names) {
        camsim::Profile profile;
        profile.files = {File("GOOD", "JPG", 10)};
        profile.extraEntries = {RawEntry(name, "JPG", 10)};
        RunRig rig(profile);
        ASSERT_EQ(2u, rig.session.catalogue.size()) << name;
        rig.view.rows.assign(2, listStateSelected);
        rig.session.StartDownloadRun();
        ASSERT_GT(rig.RunToEnd(), 0) << name;
        for (const auto& file : rig.store.files)
            EXPECT_EQ(kFolder + "GOOD.JPG", file.first) << name;
        EXPECT_EQ("Error!", rig.Status(name)) << name;
        EXPECT_EQ(Failed, rig.session.connectionState) << name;
    }
}

TEST(DeleteRun, CountsDownAndRemovesRowsTogetherAtTheEnd) {
    camsim::Profile profile;
    profile.notReadyPolls = 1;
    profile.files = {File("D1", "JPG", 1), File("D2", "JPG", 1), File("KEEP", "JPG", 1), File("D3", "wav", 1)};
    RunRig rig(profile);
    rig.Select({"D1", "D2", "D3"});
    rig.session.StartDeleteRun();
    EXPECT_EQ(kModeDeleteRunning, rig.session.controlMode);
    int ticks = 0;
    while (rig.session.deleteState != 0 && ticks < 100) {
        rig.session.ConnectionStep();
        ++ticks;
        if (rig.session.deleteState != 0) {
            EXPECT_TRUE(rig.view.deletedRows.empty()) << "tick " << ticks;
            EXPECT_EQ(4u, rig.session.catalogue.size()) << "tick " << ticks;
        }
    }
    EXPECT_EQ((std::vector<std::string>{"3", "2", "1", "0"}), rig.view.remaining);
    ASSERT_EQ(1u, rig.session.catalogue.size());
    EXPECT_EQ("KEEP", rig.session.catalogue[0].name);
    EXPECT_EQ(1u, rig.view.rows.size());
    EXPECT_EQ(kModeReady, rig.session.controlMode);
    EXPECT_EQ(Serving, rig.session.connectionState);
}

TEST(DeleteRun, TheCameraGetsTheNameAsCatalogued) {
    camsim::Profile profile;
    profile.extraEntries = {RawEntry("A*B", "JPG", 1)};
    RunRig rig(profile);
    rig.Select({"A*B"});
    rig.session.StartDeleteRun();
    rig.RunToEnd();
    bool rawSent = false;
    for (const auto& r : rig.model.trace())
        if (r.property == 43 && !r.isGet && r.bytes.size() >= 12)
            rawSent |= std::equal(r.bytes.begin(), r.bytes.begin() + 11, RawEntry("A*B", "JPG", 1).begin());
    EXPECT_TRUE(rawSent);
}

TEST(DeleteRun, StatusFailureEndsTheRunAndPurgesWhatWasDeleted) {
    camsim::Profile base;
    base.files = {File("D1", "JPG", 1), File("D2", "JPG", 1)};
    camsim::Profile profile = base;
    profile.faults = {{camsim::FaultKind::StatusError, 43, camsim::Direction::Set, 2}};
    RunRig rig(profile);
    rig.Select({"D1", "D2"});
    rig.session.StartDeleteRun();
    ASSERT_GT(rig.RunToEnd(), 0);
    EXPECT_EQ(Failed, rig.session.connectionState);
    ASSERT_EQ(1u, rig.session.catalogue.size()) << "the confirmed delete leaves the list";
    EXPECT_EQ("Deleting", rig.Status(rig.session.catalogue[0].name));
}

TEST(CancelRuns, DuringATransferAndDuringAnAwaitedDelete) {
    camsim::Profile profile;
    profile.blockSize = 4;
    profile.notReadyPolls = 2;
    profile.files = {File("A", "JPG", 40), File("B", "JPG", 4)};
    RunRig rig(profile);

    rig.Select({"A"});
    rig.session.StartDownloadRun();
    for (int i = 0; i < 6; ++i) rig.session.ConnectionStep();
    ASSERT_EQ(2, rig.session.downloadState);
    ASSERT_FALSE(rig.store.files.at(kFolder + "A.JPG").empty());
    int requests = int(rig.model.trace().size());
    rig.session.CancelRuns();
    EXPECT_EQ(requests, int(rig.model.trace().size())) << "Cancel sends nothing";
    EXPECT_TRUE(rig.store.files.empty());
    EXPECT_TRUE(rig.store.open.empty());
    EXPECT_EQ("", rig.Status("A"));
    EXPECT_EQ(kModeReady, rig.session.controlMode);
    EXPECT_EQ(0, rig.session.downloadState);

    // The next run starts cleanly after the abandoned one.
    rig.view.rows.assign(rig.view.rows.size(), 0);
    rig.Select({"B"});
    rig.session.StartDownloadRun();
    ASSERT_GT(rig.RunToEnd(), 0);
    EXPECT_EQ(rig.model.files()[1].content, rig.store.files.at(kFolder + "B.JPG"));
    EXPECT_EQ("Saved", rig.Status("B"));

    // Downloading a saved item again replaces its file; cancelled, neither copy is left, so
    // the item no longer shows "Saved".
    rig.session.StartDownloadRun();
    rig.session.ConnectionStep();
    ASSERT_EQ(2, rig.session.downloadState);
    rig.session.CancelRuns();
    EXPECT_TRUE(rig.store.files.empty());
    EXPECT_EQ("", rig.Status("B"));

    rig.view.rows.assign(rig.view.rows.size(), 0);
    rig.Select({"A", "B"});
    rig.session.StartDeleteRun();
    rig.session.ConnectionStep();  // B's delete is sent, its status is busy
    ASSERT_EQ(2, rig.session.deleteState);
    rig.session.CancelRuns();
    EXPECT_EQ(0, rig.session.deleteState);
    ASSERT_EQ(1u, rig.session.catalogue.size());
    EXPECT_EQ("A", rig.session.catalogue[0].name);
    EXPECT_EQ(kModeReady, rig.session.controlMode);
}
