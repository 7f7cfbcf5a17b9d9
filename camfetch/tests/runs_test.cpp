// Download and delete runs against the simulated camera's model, tick by tick, with the files
// kept in memory so that every failure of the disk can be staged.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "camera_model.h"
#include "fake_view.h"
#include "fetch_session.h"
#include "session_peer.h"
#include "run_indicator.h"

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
    media::ConvertResult convertResult = media::ConvertResult::Converted;
    // A conversion of the test's own, on a thread of its own; without one each conversion has
    // ended with convertResult by the time it is started.
    std::function<media::ConvertResult(media::ConvertControl&)> conversion;

    explicit RunRig(camsim::Profile profile)
        : model(std::move(profile)),
          channel(std::make_unique<camsim::ModelTransport>(model)),
          session(channel, view) {
        channel.Open();
        session.SetDownloadFolder(kBase);
        session.SetDatedFolderName(kDated);
        session.SetDownloadStore(&store);
        session.SetClipConverter([this](const std::string& path) {
            converted.push_back(path);
            if (conversion) return std::make_unique<media::ConversionJob>(conversion);
            struct Done : media::JobThread {};
            return std::make_unique<media::ConversionJob>(
                [this](media::ConvertControl&) { return convertResult; },
                [](std::function<void()> body) {
                    body();
                    return std::make_unique<Done>();
                });
        });
        for (int tick = 0; tick < 1000 && session.controlMode() != kModeReady; ++tick)
            session.ConnectionStep();
    }
    size_t Row(const std::string& name) const {
        for (size_t i = 0; i < session.catalogue().size(); ++i)
            if (session.catalogue()[i].name == name) return i;
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
            if (session.downloadState() == RunState::Idle &&
                session.deleteState() == RunState::Idle)
                return tick;
        }
        return -1;
    }
    // Ticks while a conversion runs on its thread, then until the runs are idle.
    int RunToEndConverting() {
        while (session.downloadState() == RunState::Converting) {
            session.ConnectionStep();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return RunToEnd();
    }
    // Ticks work within `us` of the model's link time; `input` stands for the window's queue.
    void UseBudget(uint64_t us, const bool* input = nullptr) {
        session.SetTickBudget(
            {us, [this] { return model.clockNs() / 1000; }, [input] { return input && *input; }});
    }
    int Count(uint32_t property, bool get) const {
        int n = 0;
        for (const auto& r : model.trace()) n += r.property == property && r.isGet == get;
        return n;
    }
    std::vector<uint32_t> ReadLengths() const {  // memory reads: get 3
        std::vector<uint32_t> lengths;
        for (const auto& r : model.trace())
            if (r.property == camera::kPropMemoryData && r.isGet) lengths.push_back(r.length);
        return lengths;
    }
    std::string Status(const std::string& name) const {
        return StatusWord(session.catalogue()[Row(name)].flags);
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
    EXPECT_EQ(kModeDownloadRunning, rig.session.controlMode());
    EXPECT_EQ(std::vector<std::string>{"2"}, rig.view.remaining);
    EXPECT_TRUE(rig.model.trace().empty()) << "the first file waits for the next tick";

    // Rows sort by name, descending: ODD first. One block per tick.
    rig.session.ConnectionStep();
    EXPECT_EQ(RunState::InProgress, rig.session.downloadState());
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
    EXPECT_EQ((std::vector<std::string>{"0%", "38%", "76%", "100%", "0%", "100%"}),
              rig.view.percents);
    EXPECT_EQ((std::vector<int>{0, 38, 76, 100, 0, 100}), rig.view.progress);
    EXPECT_EQ((std::vector<std::string>{"2", "1", "0"}), rig.view.remaining);
    EXPECT_EQ("Saved", rig.Status("ODD"));
    EXPECT_EQ("Saved", rig.Status("EMPTY"));
    EXPECT_EQ(kModeReady, rig.session.controlMode());
    EXPECT_EQ(ConnectionState::Serving, rig.session.connectionState());
    EXPECT_EQ(2, rig.session.downloadDone());
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
        uint32_t blockSize = 4;
    };
    const Row rows[] = {
        {"smaller than delivered", 4, 10, {"0%", "100%", "200%", "250%"}},
        {"size zero with data", 0, 10, {"0%", "0%", "0%", "0%", "100%"}},
        {"larger than delivered", 40, 10, {"0%", "10%", "20%", "25%"}},
        // bytes x 100 no longer fits 32 bits from 42.9 MB on
        {"45 MB of 50 MB",
         50000000,
         45000000,
         {"0%", "33%", "67%", "90%"},
         uint32_t(kMaxBlockLength)},
    };
    for (const Row& row : rows) {
        camsim::Profile profile;
        profile.blockSize = row.blockSize;
        profile.files = {File("F", "JPG", 0)};
        profile.files[0].content.assign(row.actual, 0x5A);
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
    EXPECT_EQ(RunState::Idle, rig.session.downloadState());
    EXPECT_EQ(kModeReady, rig.session.controlMode());
    EXPECT_TRUE(rig.view.remaining.empty());

    rig.Select({"CLIP", "clip2", "PIC"});
    rig.view.convertAviChecked = true;
    rig.session.StartDownloadRun();
    rig.view.convertAviChecked = false;  // changed during the run: no effect
    rig.view.rows.assign(rig.view.rows.size(), 0);
    ASSERT_GT(rig.RunToEnd(), 0);
    EXPECT_EQ(
        (std::vector<std::string>{kFolder + "clip2.partial.avi", kFolder + "CLIP.partial.AVI"}),
        rig.converted)
        << "a clip is converted before it takes its name";
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

// The conversion runs on its own thread while the ticks go on: the status line names the clip,
// the percent follows its frames, and the run moves on, marking the clip saved, only once it
// has ended. Cancel (and the session's end) stops it: the downloaded clip stays as the camera
// sent it, and saved.
TEST(DownloadRun, AConversionRunsBesideTheTicksAndStopsOnCancel) {
    camsim::Profile profile;
    profile.files = {File("CLIP", "AVI", 100), File("A", "JPG", 10)};
    for (const bool cancel : {false, true}) {
        SCOPED_TRACE(cancel ? "cancelled" : "to its end");
        RunRig rig(profile);
        std::promise<void> reached, release;
        std::shared_future<void> released = release.get_future().share();
        rig.conversion = [&](media::ConvertControl& control) {
            control.Start(10);
            for (int i = 0; i < 4; ++i) control.FrameDone();
            reached.set_value();
            while (released.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
                if (control.Cancelled()) return media::ConvertResult::Cancelled;
            for (int i = 0; i < 6; ++i) control.FrameDone();
            return media::ConvertResult::Converted;
        };
        rig.view.convertAviChecked = true;
        rig.Select({"CLIP", "A"});
        rig.session.StartDownloadRun();
        for (int tick = 0; tick < 1000 && rig.converted.empty(); ++tick)
            rig.session.ConnectionStep();
        ASSERT_EQ(1u, rig.converted.size());
        reached.get_future().wait();
        const int opens = rig.Count(41, false);
        for (int tick = 0; tick < 5; ++tick) rig.session.ConnectionStep();
        EXPECT_EQ(RunState::Converting, rig.session.downloadState());
        EXPECT_EQ("Converting CLIP.AVI", rig.view.statusLines.back());
        EXPECT_EQ("40%", rig.view.percents.back());
        EXPECT_EQ(40, rig.view.progress.back());
        EXPECT_EQ(20, RunPercent(rig.session)) << "40% of the first of two files";
        EXPECT_EQ("Downloading", rig.Status("CLIP"));
        EXPECT_EQ(opens, rig.Count(41, false)) << "the next file waits for the conversion";
        EXPECT_EQ(1u, rig.store.files.count(kFolder + "CLIP.partial.AVI"));
        EXPECT_EQ(0u, rig.store.files.count(kFolder + "CLIP.AVI")) << "converted, then placed";
        if (cancel) {
            rig.session.CancelRuns();  // returns once the conversion has stopped
            EXPECT_EQ(RunState::Idle, rig.session.downloadState());
            EXPECT_EQ("", rig.Status("A"));
        } else {
            release.set_value();
            ASSERT_GT(rig.RunToEndConverting(), 0);
            EXPECT_EQ("Saved", rig.Status("A"));
            EXPECT_EQ("100%", rig.view.percents.back());
        }
        EXPECT_EQ("Saved", rig.Status("CLIP"));
        EXPECT_EQ(rig.model.files()[0].content, rig.store.files.at(kFolder + "CLIP.AVI"));
        EXPECT_EQ(kModeReady, rig.session.controlMode());
        EXPECT_EQ(ConnectionState::Serving, rig.session.connectionState());
    }
    // A session that ends mid-conversion stops it and waits for it.
    bool stopped = false;
    {
        RunRig rig(profile);
        std::promise<void> reached;
        rig.conversion = [&](media::ConvertControl& control) {
            reached.set_value();
            while (!control.Cancelled()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            stopped = true;
            return media::ConvertResult::Cancelled;
        };
        rig.view.convertAviChecked = true;
        rig.Select({"CLIP"});
        rig.session.StartDownloadRun();
        for (int tick = 0; tick < 1000 && rig.converted.empty(); ++tick)
            rig.session.ConnectionStep();
        reached.get_future().wait();
    }
    EXPECT_TRUE(stopped);
}

// One file name on disk for two items (the same name, or names differing only in letter
// case): the later download replaces the earlier file once it is complete, and the earlier
// item loses its mark then; a later download that fails leaves the earlier file and its mark.
TEST(DownloadRun, AFileReplacedByAnotherItemIsNoLongerSaved) {
    struct Row {
        const char* what;
        const char* first;  // lists before the second: names sort descending
        const char* second;
        std::vector<std::vector<size_t>> runs;  // the rows each run selects
        std::vector<camsim::Fault> faults;
        std::string statuses;  // first, second
        size_t filesLeft;
    };
    const Row rows[] = {
        {"same name", "TWIN", "TWIN", {{0, 1}}, {}, "/Saved", 1},
        {"letter case", "abc", "ABC", {{0, 1}}, {}, "/Saved", 1},
        {"letter case, in two runs", "abc", "ABC", {{0}, {1}}, {}, "/Saved", 1},
        {"letter case of z", "abz", "ABZ", {{0, 1}}, {}, "/Saved", 1},
        {"later one fails",
         "abc",
         "ABC",
         {{0, 1}},
         {{camsim::FaultKind::StatusError, camera::kPropFileOpen, camsim::Direction::Set, 2}},
         "Saved/Error!",
         1},
        {"other name", "abc", "ABD", {{0, 1}}, {}, "Saved/Saved", 2},
    };
    for (const Row& row : rows) {
        camsim::Profile profile;
        profile.files = {File(row.first, "jpg", 20, 1), File(row.second, "JPG", 30, 2)};
        profile.faults = row.faults;
        RunRig rig(profile);
        for (const auto& run : row.runs) {
            rig.view.rows.assign(2, 0);
            for (size_t selected : run) rig.view.rows[selected] = listStateSelected;
            rig.session.StartDownloadRun();
            ASSERT_GT(rig.RunToEnd(), 0) << row.what;
        }
        const auto& items = rig.session.catalogue();
        EXPECT_EQ(row.statuses,
                  std::string(StatusWord(items[0].flags)) + "/" + StatusWord(items[1].flags))
            << row.what;
        EXPECT_EQ(row.filesLeft, rig.store.files.size()) << row.what;
        if (row.filesLeft == 1) {
            const size_t saved = items[0].flags & flagSaved ? 0 : 1;
            EXPECT_EQ(items[saved].size, rig.store.files.begin()->second.size()) << row.what;
        }
    }
}

TEST(DownloadRun, EveryFailureEndsTheRunWithNoFileLeft) {
    camsim::Profile base;
    base.blockSize = 8;
    base.files = {File("B", "JPG", 20), File("CLIP", "AVI", 20), File("A", "JPG", 4)};
    const int statusReads = RequestsToReady(base, camera::kPropSystemInfo, true);
    const int memoryReads = RequestsToReady(base, camera::kPropMemoryData, true);
    using camsim::Direction;
    using camsim::FaultKind;
    struct Row {
        const char* what;
        const char* item;
        const char* reason;  // in the failure's words
        std::vector<camsim::Fault> faults;
        media::ConvertResult convertResult = media::ConvertResult::Converted;
        bool writesExpected = true;
    };
    using media::ConvertResult;
    constexpr ConvertResult Converted = ConvertResult::Converted;
    const Row rows[] = {
        {"status read fails",
         "B",
         "the status could not be read",
         {{FaultKind::Fail, camera::kPropSystemInfo, Direction::Get, uint32_t(statusReads + 2)}}},
        {"status carries error",
         "B",
         "the camera reported an error",
         {{FaultKind::StatusError, camera::kPropFileNext, Direction::Set, 1}}},
        {"memory read fails",
         "B",
         "the block could not be read",
         {{FaultKind::Fail, camera::kPropMemoryData, Direction::Get, uint32_t(memoryReads + 2)}}},
        {"camera unplugged",
         "B",
         "the file next was refused",
         {{FaultKind::Unplug, camera::kPropFileNext, Direction::Set, 2}}},
        {"file open answers error",
         "B",
         "the camera reported an error",
         {{FaultKind::StatusError, camera::kPropFileOpen, Direction::Set, 1}},
         Converted,
         false},
        {"file open refused",
         "B",
         "the file open was refused",
         {{FaultKind::Fail, camera::kPropFileOpen, Direction::Set, 1}},
         Converted,
         false},
        {"file next refused",
         "B",
         "the file next was refused",
         {{FaultKind::Fail, camera::kPropFileNext, Direction::Set, 1}}},
        {"conversion fails",
         "CLIP",
         "the clip conversion failed: not Motion-JPEG (3)",
         {},
         ConvertResult::NotMotionJpeg},
        {"block longer than any buffer",
         "B",
         "longer than the limit",
         {{FaultKind::HugeLength, camera::kPropFileOpen, Direction::Set, 1, 0x7FFFFFF0}},
         Converted,
         false},
        {"block one byte above the limit",
         "B",
         "longer than the limit",
         {{FaultKind::HugeLength, camera::kPropFileOpen, Direction::Set, 1, kMaxBlockLength + 1}},
         Converted,
         false},
        {"block length negative as signed",
         "B",
         "longer than the limit",
         {{FaultKind::HugeLength, camera::kPropFileOpen, Direction::Set, 1, 0x80000000}},
         Converted,
         false},
        {"later block length negative as signed",
         "B",
         "longer than the limit",
         {{FaultKind::HugeLength, camera::kPropFileNext, Direction::Set, 1, 0xFFFFFFFF}}},
    };
    for (const Row& row : rows) {
        camsim::Profile profile = base;
        profile.faults = row.faults;
        RunRig rig(profile);
        ASSERT_EQ(kModeReady, rig.session.controlMode()) << row.what;
        rig.convertResult = row.convertResult;
        rig.view.convertAviChecked = true;
        rig.Select({row.item, "A"});  // A comes after it and is never tried
        rig.session.StartDownloadRun();
        ASSERT_GT(rig.RunToEnd(), 0) << row.what;
        EXPECT_EQ(ConnectionState::Failed, rig.session.connectionState()) << row.what;
        EXPECT_NE(std::string::npos, FetchSessionPeer::Failure(rig.session).find(row.reason))
            << row.what << ": " << FetchSessionPeer::Failure(rig.session);
        EXPECT_EQ(kStringFailed, rig.view.messages.back()) << row.what;
        EXPECT_EQ(kModeReady, rig.session.controlMode()) << row.what;
        EXPECT_TRUE(rig.store.files.empty()) << row.what << ": a partial file is left";
        EXPECT_TRUE(rig.store.open.empty()) << row.what << ": the file is still open";
        EXPECT_EQ(row.writesExpected, !rig.store.writes.empty()) << row.what;
        EXPECT_EQ("Error!", rig.Status(row.item)) << row.what;
        EXPECT_EQ(0, rig.session.downloadDone()) << row.what;
        EXPECT_EQ("", rig.Status("A")) << row.what;
    }
}

// A failure of this machine's disk ends the run with a message naming the folder; the camera is
// fine, so the connection goes on serving. The real name holds an earlier copy or nothing, never
// a partial file, even when the partial file cannot be removed.
TEST(DownloadRun, ADiskFailureEndsTheRunAndKeepsTheConnection) {
    struct Row {
        const char* what;
        int message;  // 0: the camera failed, message 104
        void (*stage)(MemoryStore&);
        std::vector<camsim::Fault> faults = {};
        bool partialLeft = false;
    };
    const Row rows[] = {
        {"folder not made", kStringFolderNotMade, [](MemoryStore& s) { s.failFolder = true; }},
        {"file not created", kStringFileNotCreated, [](MemoryStore& s) { s.failCreate = true; }},
        {"disk full", kStringFileNotWritten, [](MemoryStore& s) { s.spaceLeft = 10; }},
        {"flush or close fails", kStringFileNotCompleted,
         [](MemoryStore& s) { s.failClose = true; }},
        {"the old file is held", kStringFileNotPlaced, [](MemoryStore& s) { s.failMove = true; }},
        {"camera fails, partial held",
         0,
         [](MemoryStore& s) { s.failRemove = true; },
         {{camsim::FaultKind::Fail, camera::kPropFileNext, camsim::Direction::Set, 2}},
         true},
    };
    for (const Row& row : rows) {
        camsim::Profile profile;
        profile.blockSize = 8;
        profile.files = {File("B", "JPG", 20), File("A", "JPG", 4)};
        profile.faults = row.faults;
        RunRig rig(profile);
        const std::vector<uint8_t> earlier = {1, 2, 3};
        rig.store.files[kFolder + "B.JPG"] = earlier;  // an earlier complete copy
        row.stage(rig.store);
        rig.Select({"B", "A"});
        rig.session.StartDownloadRun();
        ASSERT_GT(rig.RunToEnd(), 0) << row.what;
        EXPECT_EQ("Error!", rig.Status("B")) << row.what;
        EXPECT_EQ("", rig.Status("A")) << row.what << ": the run ended";
        EXPECT_EQ(kModeReady, rig.session.controlMode()) << row.what;
        EXPECT_EQ(earlier, rig.store.files.at(kFolder + "B.JPG")) << row.what;
        EXPECT_EQ(row.partialLeft, rig.store.files.count(kFolder + "B.partial.JPG") == 1)
            << row.what;
        if (row.message == 0) {
            EXPECT_EQ(ConnectionState::Failed, rig.session.connectionState()) << row.what;
            EXPECT_EQ(kStringFailed, rig.view.messages.back()) << row.what;
            continue;
        }
        EXPECT_EQ(ConnectionState::Serving, rig.session.connectionState()) << row.what;
        EXPECT_EQ(std::vector<std::string>{std::to_string(row.message) + " " +
                                           kFolder.substr(0, kFolder.size() - 1)},
                  rig.view.folderMessages)
            << row.what;
        EXPECT_EQ(0, rig.view.countdownTimersStarted) << row.what;
        // Another folder, and the download goes through.
        rig.store = MemoryStore();
        rig.session.SetDownloadFolder("d:\\other");
        rig.session.StartDownloadRun();
        ASSERT_GT(rig.RunToEnd(), 0) << row.what;
        EXPECT_EQ("Saved", rig.Status("B")) << row.what;
        EXPECT_EQ(2u, rig.store.files.size()) << row.what;
    }
}

TEST(DownloadRun, HostileNamesNeverReachTheDisk) {
    const char* const names[] = {"..",  "CON",  "nul",  "COM1", "A*B", "A?B", "A|B",
                                 "A<B", "A\"B", "A B ", "A\\B", "A/B", "C:X"};
    for (const char* name : names) {
        camsim::Profile profile;
        profile.files = {File("GOOD", "JPG", 10)};
        profile.extraEntries = {RawEntry(name, "JPG", 10)};
        RunRig rig(profile);
        ASSERT_EQ(2u, rig.session.catalogue().size()) << name;
        rig.view.rows.assign(2, listStateSelected);
        rig.session.StartDownloadRun();
        ASSERT_GT(rig.RunToEnd(), 0) << name;
        for (const auto& file : rig.store.files)
            EXPECT_EQ(kFolder + "GOOD.JPG", file.first) << name;
        EXPECT_EQ("Error!", rig.Status(name)) << name;
        EXPECT_EQ(ConnectionState::Failed, rig.session.connectionState()) << name;
    }
}

TEST(DeleteRun, CountsDownAndRemovesRowsTogetherAtTheEnd) {
    camsim::Profile profile;
    profile.notReadyPolls = 1;
    profile.files = {File("D1", "JPG", 1), File("D2", "JPG", 1), File("KEEP", "JPG", 1),
                     File("D3", "wav", 1)};
    RunRig rig(profile);
    rig.Select({"D1", "D2", "D3"});
    rig.session.StartDeleteRun();
    EXPECT_EQ(kModeDeleteRunning, rig.session.controlMode());
    int ticks = 0;
    while (rig.session.deleteState() != RunState::Idle && ticks < 100) {
        rig.session.ConnectionStep();
        ++ticks;
        if (rig.session.deleteState() != RunState::Idle) {
            EXPECT_TRUE(rig.view.deletedRows.empty()) << "tick " << ticks;
            EXPECT_EQ(4u, rig.session.catalogue().size()) << "tick " << ticks;
        }
    }
    EXPECT_EQ((std::vector<std::string>{"3", "2", "1", "0"}), rig.view.remaining);
    EXPECT_EQ((std::vector<size_t>{1, 2, 3}), rig.view.madeVisible) << "rows of D3, D2, D1";
    ASSERT_EQ(1u, rig.session.catalogue().size());
    EXPECT_EQ("KEEP", rig.session.catalogue()[0].name);
    EXPECT_EQ(1u, rig.view.rows.size());
    EXPECT_EQ(kModeReady, rig.session.controlMode());
    EXPECT_EQ(ConnectionState::Serving, rig.session.connectionState());
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
        if (r.property == camera::kPropFileDelete && !r.isGet && r.bytes.size() >= 12)
            rawSent |= std::equal(r.bytes.begin(), r.bytes.begin() + 11,
                                  RawEntry("A*B", "JPG", 1).begin());
    EXPECT_TRUE(rawSent);
}

TEST(DeleteRun, AFailedDeleteEndsTheRunAndPurgesWhatWasDeleted) {
    struct Row {
        const char* what;
        camsim::Fault fault;  // on the second delete
        size_t cameraKeeps;
    };
    const Row rows[] = {
        {"status carries error",
         {camsim::FaultKind::StatusError, camera::kPropFileDelete, camsim::Direction::Set, 2},
         0},
        {"delete refused",
         {camsim::FaultKind::Fail, camera::kPropFileDelete, camsim::Direction::Set, 2},
         1},
    };
    for (const Row& row : rows) {
        camsim::Profile profile;
        profile.files = {File("D1", "JPG", 1), File("D2", "JPG", 1)};
        profile.faults = {row.fault};
        RunRig rig(profile);
        rig.Select({"D1", "D2"});
        rig.session.StartDeleteRun();
        ASSERT_GT(rig.RunToEnd(), 0) << row.what;
        EXPECT_EQ(ConnectionState::Failed, rig.session.connectionState()) << row.what;
        EXPECT_EQ(kModeReady, rig.session.controlMode()) << row.what;
        ASSERT_EQ(1u, rig.session.catalogue().size())
            << row.what << ": the confirmed delete leaves the list";
        EXPECT_EQ("Error!", rig.Status("D1")) << row.what;
        EXPECT_EQ(row.cameraKeeps, rig.model.files().size()) << row.what;
    }
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
    ASSERT_EQ(RunState::InProgress, rig.session.downloadState());
    ASSERT_FALSE(rig.store.files.at(kFolder + "A.partial.JPG").empty());
    EXPECT_EQ(0u, rig.store.files.count(kFolder + "A.JPG")) << "the real name waits";
    int requests = int(rig.model.trace().size());
    rig.session.CancelRuns();
    EXPECT_EQ(requests, int(rig.model.trace().size())) << "Cancel sends nothing";
    EXPECT_TRUE(rig.store.files.empty());
    EXPECT_TRUE(rig.store.open.empty());
    EXPECT_EQ("", rig.Status("A"));
    EXPECT_EQ(kModeReady, rig.session.controlMode());
    EXPECT_EQ(RunState::Idle, rig.session.downloadState());

    // The next run starts cleanly after the abandoned one.
    rig.view.rows.assign(rig.view.rows.size(), 0);
    rig.Select({"B"});
    rig.session.StartDownloadRun();
    ASSERT_GT(rig.RunToEnd(), 0);
    EXPECT_EQ(rig.model.files()[1].content, rig.store.files.at(kFolder + "B.JPG"));
    EXPECT_EQ("Saved", rig.Status("B"));

    // Downloading a saved item again, cancelled: the earlier copy and its mark stay.
    rig.session.StartDownloadRun();
    rig.session.ConnectionStep();
    ASSERT_EQ(RunState::InProgress, rig.session.downloadState());
    rig.session.CancelRuns();
    EXPECT_EQ(1u, rig.store.files.size());
    EXPECT_EQ(rig.model.files()[1].content, rig.store.files.at(kFolder + "B.JPG"));
    EXPECT_EQ("Saved", rig.Status("B"));

    // Cancel between two deletes: B's confirmed delete takes its row away, A is not sent.
    rig.view.rows.assign(rig.view.rows.size(), 0);
    rig.Select({"A", "B"});
    rig.session.StartDeleteRun();
    for (int tick = 0; tick < 100 && rig.session.deleteDone() == 0; ++tick)
        rig.session.ConnectionStep();
    ASSERT_EQ(RunState::NextItem, rig.session.deleteState());
    rig.session.CancelRuns();
    ASSERT_EQ(1u, rig.session.catalogue().size());
    EXPECT_EQ("A", rig.session.catalogue()[0].name);
    EXPECT_EQ(1, rig.Count(43, false));

    // Cancel while a delete is awaited: it went out, so the row goes.
    rig.Select({"A"});
    rig.session.StartDeleteRun();
    rig.session.ConnectionStep();  // A's delete is sent, its status is busy
    ASSERT_EQ(RunState::InProgress, rig.session.deleteState());
    rig.session.CancelRuns();
    EXPECT_EQ(RunState::Idle, rig.session.deleteState());
    EXPECT_TRUE(rig.session.catalogue().empty());
    EXPECT_EQ(kModeReady, rig.session.controlMode());
}

TEST(DownloadRun, SavedFilesTakeTheCameraTimeWhenItIsValid) {
    camsim::Profile profile;
    profile.files = {File("DATED", "JPG", 9), File("NODATE", "JPG", 9), File("BADDATE", "JPG", 9)};
    profile.files[0].writeDate = 0x5891, profile.files[0].writeTime = 0x6DA5;
    profile.files[2].writeDate = 0x5880;  // day 0
    RunRig rig(profile);
    rig.view.rows.assign(3, listStateSelected);
    rig.session.StartDownloadRun();
    ASSERT_GT(rig.RunToEnd(), 0);
    EXPECT_EQ(3u, rig.store.files.size());
    EXPECT_EQ((std::map<std::string, uint32_t>{{kFolder + "DATED.JPG", 0x58916DA5u}}),
              rig.store.times);
}

namespace {

// What the system is told about runs: the keep-awake requests held, and the taskbar button's
// states ("normal", "error", "none") and values, in order.
struct SystemProbe : camtools::KeepAwake, camtools::TaskbarProgress {
    int held = 0;
    std::vector<std::string> taskbar;
    void Request() override { ++held; }
    void Release() override { --held; }
    void SetState(camtools::TaskbarState state) override {
        taskbar.push_back(state == camtools::TaskbarState::Normal  ? "normal"
                          : state == camtools::TaskbarState::Error ? "error"
                                                                   : "none");
    }
    void SetValue(int percent) override { taskbar.push_back(std::to_string(percent)); }
};

}  // namespace

TEST(RunIndicator, AwakeWhileARunIsActiveAndReleasedOnEveryRoute) {
    camsim::Profile base;
    base.blockSize = 10;
    base.files = {File("A", "JPG", 20), File("B", "JPG", 10)};
    const uint32_t memoryReads = uint32_t(RequestsToReady(base, camera::kPropMemoryData, true));
    enum class End { Complete, Fail, Cancel, Close };
    const struct {
        const char* what;
        bool download;
        End end;
        std::vector<std::string> taskbar;
        bool afterDownload = false;  // a complete download run of both files came first
    } rows[] = {
        // B (one block) is taken first, then A (two blocks).
        {"download completes", true, End::Complete, {"normal", "0", "50", "75", "100", "none"}},
        {"download fails", true, End::Fail, {"normal", "0", "50", "error"}},
        {"download cancelled", true, End::Cancel, {"normal", "0", "50", "none"}},
        {"dialog closed mid-download", true, End::Close, {"normal", "0", "50"}},
        {"delete completes", false, End::Complete, {"normal", "0", "50", "100", "none"}},
        {"delete cancelled", false, End::Cancel, {"normal", "0", "50", "none"}},
        {"delete after a download",
         false,
         End::Complete,
         {"normal", "0", "50", "100", "none"},
         true},
    };
    for (const auto& row : rows) {
        camsim::Profile profile = base;
        if (row.end == End::Fail)  // the first block of A
            profile.faults = {{camsim::FaultKind::Fail, camera::kPropMemoryData,
                               camsim::Direction::Get, memoryReads + 2}};
        RunRig rig(profile);
        SystemProbe probe;
        RunIndicator indicator(probe, probe);
        rig.view.rows.assign(2, listStateSelected);
        if (row.afterDownload) {
            rig.session.StartDownloadRun();
            ASSERT_GT(rig.RunToEnd(), 0) << row.what;
            indicator.Update(rig.session);
            probe.taskbar.clear();
        }
        if (row.download)
            rig.session.StartDownloadRun();
        else
            rig.session.StartDeleteRun();
        indicator.Update(rig.session);
        for (int tick = 0; tick < 100 && rig.session.controlMode() != kModeReady; ++tick) {
            EXPECT_EQ(1, probe.held) << row.what << ", tick " << tick;
            if (row.end >= End::Cancel && tick == 1) {
                if (row.end == End::Close) break;
                rig.session.CancelRuns();
            } else {
                rig.session.ConnectionStep();
            }
            indicator.Update(rig.session);
        }
        if (row.end == End::Close) indicator.Close();
        EXPECT_EQ(0, probe.held) << row.what;
        EXPECT_EQ(row.taskbar, probe.taskbar) << row.what;
    }
}

TEST(TickBudget, RoundsGoOnWhileTheCameraIsReadyAndTheBudgetLasts) {
    using camsim::Direction;
    using camsim::FaultKind;
    enum class Then { Finish, Cancel };
    struct Row {
        const char* what;
        uint32_t latencyUs;
        uint32_t notReadyPolls;
        size_t fileSize;  // 4 KiB blocks
        uint64_t budgetUs;
        bool input;                         // input waits in the window's queue
        std::vector<camsim::Fault> faults;  // counted from the run's first request
        Then then;
        int firstTickReads;  // memory reads the first tick of the run makes
        bool firstTickMore;  // what that tick returns
    };
    const uint32_t k = 4096;
    const Then kFinish = Then::Finish, kCancel = Then::Cancel;
    // At 650 us a request the first round (with the file open) takes 3.25 ms, each after it 2.6.
    const Row rows[] = {
        {"no link time: all of it", 0, 0, 40 * k, 50000, false, {}, kFinish, 40, false},
        {"10 blocks fit 50 ms", 650, 0, 10 * k, 50000, false, {}, kFinish, 10, false},
        {"the budget ends the tick", 650, 0, 100 * k, 50000, false, {}, kFinish, 18, true},
        {"a zero budget: one round", 650, 0, 10 * k, 0, false, {}, kFinish, 1, true},
        {"a busy answer ends it", 0, 1, 10 * k, 50000, false, {}, kFinish, 0, false},
        {"input ends it after a round", 0, 0, 10 * k, 50000, true, {}, kFinish, 1, true},
        {"Cancel between two ticks", 650, 0, 100 * k, 50000, false, {}, kCancel, 18, true},
        {"a failed read mid-tick",
         650,
         0,
         100 * k,
         50000,
         false,
         {{FaultKind::Fail, camera::kPropMemoryData, Direction::Get, 5}},
         kFinish,
         5,
         false},
    };
    for (const Row& row : rows) {
        camsim::Profile profile;
        profile.blockSize = k;
        profile.requestLatencyUs = row.latencyUs;
        profile.notReadyPolls = row.notReadyPolls;
        profile.files = {File("A", "JPG", row.fileSize)};
        const int memoryReads = RequestsToReady(profile, camera::kPropMemoryData, true);
        for (camsim::Fault fault : row.faults) {
            fault.nth += uint32_t(memoryReads);
            profile.faults.push_back(fault);
        }
        RunRig rig(profile);
        bool input = row.input;
        rig.UseBudget(row.budgetUs, &input);
        rig.Select({"A"});
        rig.session.StartDownloadRun();
        const uint64_t start = rig.model.clockNs() / 1000;
        EXPECT_EQ(row.firstTickMore, rig.session.ConnectionStep()) << row.what;
        const uint64_t tickUs = rig.model.clockNs() / 1000 - start;
        EXPECT_EQ(row.firstTickReads, rig.Count(3, true) - memoryReads) << row.what;
        if (row.budgetUs) {
            EXPECT_LE(tickUs, row.budgetUs) << row.what;
        }
        if (!row.faults.empty()) {
            EXPECT_EQ(ConnectionState::Failed, rig.session.connectionState()) << row.what;
            EXPECT_EQ(kStringFailed, rig.view.messages.back()) << row.what;
            EXPECT_EQ("Error!", rig.Status("A")) << row.what;
            EXPECT_TRUE(rig.store.files.empty()) << row.what << ": a partial file is left";
            continue;
        }
        if (row.then == Then::Cancel) {
            ASSERT_EQ(RunState::InProgress, rig.session.downloadState()) << row.what;
            rig.session.CancelRuns();
            EXPECT_TRUE(rig.store.files.empty()) << row.what << ": a partial file is left";
            EXPECT_EQ("", rig.Status("A")) << row.what;
            continue;
        }
        input = false;
        ASSERT_GT(rig.RunToEnd(), 0) << row.what;
        EXPECT_EQ(rig.model.files()[0].content, rig.store.files.at(kFolder + "A.JPG")) << row.what;
        EXPECT_EQ("Saved", rig.Status("A")) << row.what;
    }
}

TEST(TickBudget, ListingAndDeletesMoveAsFarAsTheBudgetGoes) {
    camsim::Profile profile;
    profile.blockSize = 64;  // two entries a block
    for (const char* name : {"A", "B", "C", "D", "E", "F", "G", "H", "I", "J"})
        profile.files.push_back(File(name, "JPG", 1));
    camsim::CameraModel model(profile);
    camera::CameraChannel channel(std::make_unique<camsim::ModelTransport>(model));
    channel.Open();
    FakeView view;
    FetchSession session(channel, view);
    session.SetTickBudget({50000, [&] { return model.clockNs() / 1000; }, nullptr});
    EXPECT_FALSE(session.ConnectionStep()) << "the connection and the whole listing, one tick";
    EXPECT_EQ(kModeReady, session.controlMode());
    EXPECT_EQ(10u, session.catalogue().size());

    // 650 us a request: ten deletes with their confirmations take 13 ms, well within a tick.
    profile.requestLatencyUs = 650;
    RunRig slow(profile);
    slow.UseBudget(50000);
    slow.view.rows.assign(slow.view.rows.size(), listStateSelected);
    slow.session.StartDeleteRun();
    EXPECT_FALSE(slow.session.ConnectionStep());
    EXPECT_TRUE(slow.session.catalogue().empty());
    EXPECT_EQ(10, slow.Count(43, false));
}
