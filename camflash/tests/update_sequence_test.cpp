#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "camera_channel.h"
#include "camera_model.h"
#include "memory_files.h"
#include "texts.h"
#include "trace_ops.h"
#include "update_sequence.h"

using camflash::UpdateResult;

namespace {

const char* const kString2 =
    "Firmware update failed. Please check USB connection or firmware file to make sure cable "
    "is plugged in and firmware file is present.";
const char* const kString5 = "Firmware update finished !!";
const char* const kQuestion =
    "Are you sure you will update your device firmware? \t\t\t\tIf so, please press Update "
    "button. Otherwise press Exit button.";

// Records everything the sequence shows, in order, and answers the DRAM dialog from a list
// (an empty answer cancels). `sequence` holds the same events with the camera operations
// made before each of them, so the order between the two is seen. What keeps the window
// answering is kept apart: `steps` (the status line's step with the number of camera
// operations made before it), `answeredAt` (the same number at each TakeMessages) and
// `updating`. `onCall`, when set, runs at every call: a message reaching the window then.
class RecordingUi : public camflash::UpdateUi {
public:
    std::vector<std::string> events;
    std::vector<std::string> sequence;
    std::deque<std::string> dramAnswers;
    const camsim::CameraModel* camera = nullptr;
    std::vector<std::pair<std::string, size_t>> steps;
    std::vector<size_t> answeredAt;
    std::vector<bool> updating;
    std::function<void()> onCall;

    std::string LoadText(unsigned id) override { return camflash::StringTableText(id); }
    void ShowMessage(const std::string& text) override { Event("message: " + text); }
    void SetStatus(const std::string& text) override { Event("status: " + text); }
    bool ChooseDramScript(std::string& path) override {
        Event("dram dialog");
        std::string answer = dramAnswers.empty() ? "" : dramAnswers.front();
        if (!dramAnswers.empty()) dramAnswers.pop_front();
        if (answer.empty()) return false;
        path = answer;
        return true;
    }
    void Pause(uint32_t milliseconds) override { Event("pause " + std::to_string(milliseconds)); }
    void EndDialog() override { Event("end dialog"); }
    void TakeMessages() override {
        if (onCall) onCall();
        answeredAt.push_back(OperationsSoFar());
    }
    void ShowStep(camflash::UpdateStep step) override {
        if (onCall) onCall();
        steps.emplace_back(camflash::StepText(step), OperationsSoFar());
    }
    void SetUpdating(bool on) override { updating.push_back(on); }

    // Moves the camera operations not yet in `sequence` there.
    void TakeCameraOperations() {
        if (!camera) return;
        const auto& trace = camera->trace();
        std::vector<camsim::TraceRecord> fresh(trace.begin() + std::min(seen_, trace.size()),
                                               trace.end());
        seen_ = trace.size();
        for (std::string& op : camflash_test::TraceOperations(fresh))
            sequence.push_back("camera " + op);
    }

private:
    // Counted as the trace grows: between two calls every operation is whole.
    size_t OperationsSoFar() {
        if (!camera) return 0;
        const auto& trace = camera->trace();
        std::vector<camsim::TraceRecord> fresh(trace.begin() + std::min(counted_, trace.size()),
                                               trace.end());
        counted_ = trace.size();
        operations_ += camflash_test::TraceOperations(fresh).size();
        return operations_;
    }
    void Event(const std::string& event) {
        if (onCall) onCall();
        TakeCameraOperations();
        events.push_back(event);
        sequence.push_back(event);
    }
    size_t seen_ = 0;
    size_t counted_ = 0, operations_ = 0;
};

// The camera's side of one run: the simulated camera behind a real channel, the files the
// program may read, and the user interface.
struct Rig {
    camsim::CameraModel model;
    camera::CameraChannel channel;
    camflash_test::MemoryFileOpener files;
    RecordingUi ui;
    camflash::MainDialogState state;
    struct : camtools::KeepAwake {
        void Request() override {}
        void Release() override {}
    } noSleep;

    explicit Rig(camsim::Profile profile, size_t imageLength = 16)
        : model(std::move(profile)), channel(std::make_unique<camsim::ModelTransport>(model)) {
        std::string image;
        for (size_t i = 0; i < imageLength; ++i) image += char(i * 3 + 1);
        files.files["DUVOZE.bin"].content = image;
        files.files["dram.txt"].content = "";
        ui.dramAnswers = {"dram.txt"};
        state = camflash::InitializeMainDialog(channel);
        model.ClearTrace();
        ui.camera = &model;
    }

    camflash::UpdateSettings Settings() const {
        camflash::UpdateSettings settings;
        settings.firmwareFileName = state.firmwareFileName;
        settings.needsPreparation = state.needsPreparation;
        return settings;
    }

    UpdateResult Update(camtools::KeepAwake* awake = nullptr) {
        const camflash::UpdateSettings settings = Settings();
        if (awake) return camflash::RunUpdateKeepingAwake(*awake, channel, files, ui, settings);
        return camflash::RunUpdate(channel, files, ui, settings);
    }

    std::vector<std::string> Operations() const {
        return camflash_test::TraceOperations(model.trace());
    }
};

camsim::Profile WithRegister1856(uint8_t value) {
    camsim::Profile profile;
    profile.registers[1856] = value;
    return profile;
}

std::vector<std::string> Repeat(const std::string& item, size_t count) {
    return std::vector<std::string>(count, item);
}

std::vector<std::string> Join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

using camflash_test::CountOf;

camsim::Fault FailOn(uint32_t property, camsim::Direction direction, uint32_t nth) {
    camsim::Fault fault;
    fault.kind = camsim::FaultKind::Fail;
    fault.property = property;
    fault.direction = direction;
    fault.nth = nth;
    return fault;
}

}  // namespace

TEST(MainDialogInit, PreparationFollowsBit5OfRegister1856) {
    struct Row {
        uint8_t value;
        bool needsPreparation;
    } rows[] = {{0x20, true}, {0x25, true}, {0xFF, true}, {0xDF, false}, {0x00, false}};
    for (const Row& row : rows) {
        Rig rig(WithRegister1856(row.value));
        EXPECT_TRUE(rig.state.cameraOpened) << int(row.value);
        EXPECT_EQ("DUVOZE.bin", rig.state.firmwareFileName) << int(row.value);
        EXPECT_EQ(row.needsPreparation, rig.state.needsPreparation) << int(row.value);
    }
}

TEST(MainDialogInit, FailedReadMeansNoPreparationAndAbsentCameraMeansNothing) {
    camsim::Profile failing = WithRegister1856(0xFF);
    failing.faults.push_back(FailOn(camera::kPropRegisterValue, camsim::Direction::Get, 1));
    Rig rig(failing);
    EXPECT_TRUE(rig.state.cameraOpened);
    EXPECT_FALSE(rig.state.needsPreparation);

    camsim::Profile other;
    other.friendlyName = "ZQ71R camera";
    Rig absent(other);
    EXPECT_FALSE(absent.state.cameraOpened);
    EXPECT_EQ("", absent.state.firmwareFileName);
}

TEST(UpdateSequence, FullRunWithPreparation) {
    camsim::Profile profile = WithRegister1856(0x25);
    profile.firmwareReadyAfterPolls = 3;
    profile.flashDoneAfterReads = 5;
    Rig rig(profile, 101);
    rig.files.files["dram.txt"].content = "740 DF\r\nSleep 20\r\n10 1\r\n";
    ASSERT_TRUE(rig.state.needsPreparation);

    EXPECT_EQ(UpdateResult::Finished, rig.Update());
    // The camera's requests and what the user sees, in one order.
    const std::vector<std::string> poll = {"camera ready?", "pause 10"};
    EXPECT_EQ(Join({{"status: Please wait for finish update !!", "camera W C=02", "camera W 200=00",
                     "camera W 7A8=00", "pause 100", "camera R 740", "camera W 740=05",
                     "camera W 7B9=FF", "dram dialog", "camera W 740=DF", "pause 20",
                     "camera W 10=01", "camera download 111"},
                    poll,
                    poll,
                    poll,
                    {"camera ready?", "camera flash", "camera request"},
                    Repeat("camera status", 6),
                    {std::string("message: ") + kString5, "message: Please ReBoot the device",
                     "end dialog"}}),
              rig.ui.sequence);
}

TEST(UpdateSequence, WithoutPreparationTheFirstWriteIsRegister1977) {
    Rig rig(WithRegister1856(0xDF));
    ASSERT_FALSE(rig.state.needsPreparation);
    EXPECT_EQ(UpdateResult::Finished, rig.Update());
    EXPECT_EQ((std::vector<std::string>{"W 7B9=FF", "download 23", "ready?", "flash", "request",
                                        "status"}),
              rig.Operations());
    EXPECT_EQ((std::vector<std::string>{"status: Please wait for finish update !!", "dram dialog",
                                        std::string("message: ") + kString5, "end dialog"}),
              rig.ui.events);
}

TEST(UpdateSequence, DownloadBufferAsTheCameraReceivesIt) {
    struct Row {
        size_t length;
        size_t total;
    } rows[] = {{0, 7}, {1, 11}, {4, 11}, {100, 107}, {101, 111}};
    for (const Row& row : rows) {
        Rig rig(camsim::Profile{}, row.length);
        ASSERT_EQ(UpdateResult::Finished, rig.Update()) << "L=" << row.length;
        const std::vector<uint8_t>& got = rig.model.LastFirmwareDownload();
        std::vector<uint8_t> expected(row.total, 0);
        camera::StoreU32(expected.data(), uint32_t(row.total));
        for (size_t i = 0; i < row.length; ++i) expected[4 + i] = uint8_t(i * 3 + 1);
        EXPECT_EQ(expected, got) << "L=" << row.length;
        EXPECT_EQ(1u, CountOf(rig.Operations(), "download " + std::to_string(row.total)))
            << "L=" << row.length;
    }
}

TEST(UpdateSequence, ImageNotLoadedSendsNothing) {
    struct Row {
        const char* name;
        bool remove;
        size_t deliverAtMost;
        bool sizeFails;
    } rows[] = {{"missing", true, SIZE_MAX, false},
                {"short read", false, 10, false},
                {"nothing read", false, 0, false},
                {"size unknown", false, SIZE_MAX, true}};
    for (const Row& row : rows) {
        Rig rig(WithRegister1856(0x20));
        camflash_test::MemoryFile& image = rig.files.files["DUVOZE.bin"];
        image.deliverAtMost = row.deliverAtMost;
        image.sizeFails = row.sizeFails;
        if (row.remove) rig.files.files.erase("DUVOZE.bin");
        EXPECT_EQ(UpdateResult::ImageNotLoaded, rig.Update()) << row.name;
        EXPECT_EQ(std::vector<std::string>{std::string("message: ") + kString2}, rig.ui.events)
            << row.name;
        EXPECT_TRUE(rig.model.trace().empty()) << row.name;
    }
}

TEST(UpdateSequence, CancelledDramDialogThenASecondUpdate) {
    Rig rig(WithRegister1856(0x20));
    rig.ui.dramAnswers = {"", "dram.txt"};
    EXPECT_EQ(UpdateResult::Cancelled, rig.Update());
    EXPECT_EQ((std::vector<std::string>{"status: Please wait for finish update !!", "pause 100",
                                        "dram dialog", std::string("status: ") + kQuestion}),
              rig.ui.events);
    EXPECT_EQ((std::vector<std::string>{"W C=02", "W 200=00", "W 7A8=00", "R 740", "W 740=00",
                                        "W 7B9=FF"}),
              rig.Operations());

    // Update again: the whole sequence from loading the file.
    rig.ui.events.clear();
    rig.model.ClearTrace();
    rig.files.opened.clear();
    EXPECT_EQ(UpdateResult::Finished, rig.Update());
    EXPECT_EQ("DUVOZE.bin", rig.files.opened.at(0));
    EXPECT_EQ("W C=02", rig.Operations().at(0));
    EXPECT_EQ("end dialog", rig.ui.events.back());
}

TEST(UpdateSequence, FailureTable) {
    using camsim::Direction;
    struct Row {
        const char* name;
        camsim::Fault fault;
        UpdateResult result;
        const char* message;  // the last message shown; null: none at all
        const char* lastOperation;
    } rows[] = {
        {"download fails", FailOn(camera::kPropFirmwareDownload, Direction::Set, 1),
         UpdateResult::DownloadFailed, "DownloadFirmware Failed", "download 23!"},
        {"flash programming fails", FailOn(camera::kPropFirmwareToFlash, Direction::Set, 1),
         UpdateResult::FlashFailed, "UpdateFirmwareToFlash Failed", "flash!"},
        {"status request fails", FailOn(camera::kPropSystemInfoRequest, Direction::Set, 1),
         UpdateResult::RequestFailed, nullptr, "request!"},
        {"status read fails", FailOn(camera::kPropSystemInfo, Direction::Get, 1),
         UpdateResult::StatusFailed, nullptr, "status!"},
    };
    for (const Row& row : rows) {
        camsim::Profile profile;
        profile.faults.push_back(row.fault);
        Rig rig(profile);
        EXPECT_EQ(row.result, rig.Update()) << row.name;
        std::vector<std::string> messages;
        for (const std::string& e : rig.ui.events)
            if (e.rfind("message: ", 0) == 0) messages.push_back(e);
        if (row.message)
            EXPECT_EQ(std::vector<std::string>{std::string("message: ") + row.message}, messages)
                << row.name;
        else
            EXPECT_TRUE(messages.empty()) << row.name;
        EXPECT_EQ(row.lastOperation, rig.Operations().back()) << row.name;
        EXPECT_NE("end dialog", rig.ui.events.back()) << row.name;
        EXPECT_EQ("status: Please wait for finish update !!", rig.ui.events.front()) << row.name;
    }
}

TEST(UpdateSequence, CompletionPollGivesUpAfter50002Reads) {
    struct Row {
        uint32_t readsWithoutCompletion;
        UpdateResult result;
        size_t statusReads;
    } rows[] = {{0, UpdateResult::Finished, 1},
                {50001, UpdateResult::Finished, 50002},
                {50002, UpdateResult::WaitedTooLong, 50002},
                {80000, UpdateResult::WaitedTooLong, 50002}};
    for (const Row& row : rows) {
        camsim::Profile profile;
        profile.flashDoneAfterReads = row.readsWithoutCompletion;
        // Every status read carries `error`: flags other than `ready` do not end the wait.
        camsim::Fault error = FailOn(camera::kPropSystemInfo, camsim::Direction::Get, 0);
        error.kind = camsim::FaultKind::StatusError;
        profile.faults.push_back(error);
        Rig rig(profile);
        EXPECT_EQ(row.result, rig.Update()) << row.readsWithoutCompletion;
        EXPECT_EQ(row.statusReads, CountOf(rig.Operations(), "status"))
            << row.readsWithoutCompletion;
        // No pause between the reads.
        EXPECT_EQ(0u, CountOf(rig.ui.events, "pause 10")) << row.readsWithoutCompletion;
        if (row.result == UpdateResult::WaitedTooLong) {
            EXPECT_EQ("message: GetSystemInfo Failed!! waiting too long", rig.ui.events.back());
        }
    }
}

TEST(UpdateSequence, ReminderAfterEach51ReadinessPolls) {
    camsim::Profile profile;
    profile.firmwareReadyAfterPolls = 119;
    profile.firmwareNotReadyValue = 2;  // only exactly 1 means ready
    // A failed readiness request counts as not ready, without a message of its own.
    profile.faults.push_back(FailOn(camera::kPropFirmwareReady, camsim::Direction::Get, 7));
    Rig rig(profile);
    EXPECT_EQ(UpdateResult::Finished, rig.Update());
    const std::string reminder = "message: Still Waiting for the Firmware Ready!!";
    EXPECT_EQ(Join({{"status: Please wait for finish update !!", "dram dialog"},
                    Repeat("pause 10", 51),
                    {reminder},
                    Repeat("pause 10", 51),
                    {reminder},
                    Repeat("pause 10", 18),
                    {std::string("message: ") + kString5, "end dialog"}}),
              rig.ui.events);
    EXPECT_EQ(121u, CountOf(rig.Operations(), "ready?") + CountOf(rig.Operations(), "ready?!"));
}

TEST(UpdateSequence, PreparationWithoutAReadableRegister1856) {
    camsim::Profile profile = WithRegister1856(0x20);
    // The second read of register 1856 (the one in the preparation) fails.
    profile.faults.push_back(FailOn(camera::kPropRegisterValue, camsim::Direction::Get, 2));
    Rig rig(profile);
    ASSERT_TRUE(rig.state.needsPreparation);
    EXPECT_EQ(UpdateResult::Finished, rig.Update());
    std::vector<std::string> ops = rig.Operations();
    EXPECT_EQ((std::vector<std::string>{"W C=02", "W 200=00", "W 7A8=00", "R 740!", "W 7B9=FF"}),
              std::vector<std::string>(ops.begin(), ops.begin() + 5));
    EXPECT_EQ(0x20, rig.model.RegisterValue(1856));
}

TEST(UpdateSequence, ScriptProblemsDoNotStopTheUpdate) {
    camsim::Profile profile;
    // The first register write of the sequence (1977) fails; the rest goes on.
    profile.faults.push_back(FailOn(camera::kPropRegisterValue, camsim::Direction::Set, 1));
    Rig rig(profile);
    rig.ui.dramAnswers = {"C:\\missing.txt"};
    EXPECT_EQ(UpdateResult::Finished, rig.Update());
    EXPECT_EQ((std::vector<std::string>{"status: Please wait for finish update !!", "dram dialog",
                                        "message: File could not be opened : C:\\missing.txt",
                                        std::string("message: ") + kString5, "end dialog"}),
              rig.ui.events);
    EXPECT_EQ("W 7B9=FF!", rig.Operations().at(0));
    EXPECT_EQ("download 23", rig.Operations().at(1));
}

// The PC is kept awake before the first thing the update does and released after the last,
// whichever way it ends.
TEST(UpdateSequence, PcKeptAwakeFromStartToEndOnEveryRoute) {
    struct Probe : camtools::KeepAwake {
        Rig* rig = nullptr;
        int held = 0;
        std::vector<size_t> at;  // the events and camera requests made before each call
        size_t Done() const { return rig->ui.events.size() + rig->model.trace().size(); }
        void Request() override { ++held, at.push_back(Done()); }
        void Release() override { --held, at.push_back(Done()); }
    };
    const struct {
        const char* what;
        bool noImage;
        const char* dramAnswer;
        camsim::Fault fault;
        UpdateResult result;
    } rows[] = {
        {"finished", false, "dram.txt", {}, UpdateResult::Finished},
        {"no image", true, "dram.txt", {}, UpdateResult::ImageNotLoaded},
        {"DRAM dialog cancelled", false, "", {}, UpdateResult::Cancelled},
        {"download fails", false, "dram.txt",
         FailOn(camera::kPropFirmwareDownload, camsim::Direction::Set, 1),
         UpdateResult::DownloadFailed},
        {"status read fails", false, "dram.txt",
         FailOn(camera::kPropSystemInfo, camsim::Direction::Get, 1), UpdateResult::StatusFailed},
    };
    for (const auto& row : rows) {
        camsim::Profile profile = WithRegister1856(0x20);
        if (row.fault.property) profile.faults.push_back(row.fault);
        Rig rig(profile);
        if (row.noImage) rig.files.files.erase("DUVOZE.bin");
        rig.ui.dramAnswers = {row.dramAnswer};
        Probe awake;
        awake.rig = &rig;
        EXPECT_EQ(row.result, rig.Update(&awake)) << row.what;
        EXPECT_EQ(0, awake.held) << row.what;
        EXPECT_EQ((std::vector<size_t>{0, awake.Done()}), awake.at) << row.what;
    }
}

// The window takes its messages before every camera request of the update, and the status
// line names the step each request belongs to, cleared at the end.
TEST(UpdateSequence, WindowAnswersBeforeEveryRequestAndTheStatusNamesTheStep) {
    camsim::Profile profile = WithRegister1856(0x25);
    profile.firmwareReadyAfterPolls = 2;
    profile.flashDoneAfterReads = 3;
    Rig rig(profile);
    rig.files.files["dram.txt"].content = "740 DF\n10 1\n";
    EXPECT_EQ(UpdateResult::Finished, rig.Update());
    const std::vector<std::string> ops = rig.Operations();
    const std::set<size_t> answered(rig.ui.answeredAt.begin(), rig.ui.answeredAt.end());
    for (size_t i = 0; i < ops.size(); ++i)
        EXPECT_EQ(1u, answered.count(i))
            << "no messages taken before " << ops[i] << " (#" << i << ")";

    auto at = [&](const std::string& op) {
        return size_t(std::find(ops.begin(), ops.end(), op) - ops.begin());
    };
    using Step = std::pair<std::string, size_t>;
    EXPECT_EQ((std::vector<Step>{
                  {"Preparing the camera...", 0},
                  {"Sending the firmware...", at("download 23")},
                  {"Waiting for the camera...", at("ready?")},
                  {"Programming the camera's flash. Do not unplug the camera.", at("flash")}}),
              rig.ui.steps);
}

// While an update runs, from its first event to its last, a close request or a second Update
// reaching the window is refused, whichever step the update is at and whichever way it ends.
TEST(UpdateSequence, CloseAndUpdateRefusedInEveryPhase) {
    const struct {
        const char* what;
        const char* dramAnswer;
        camsim::Fault fault;
        UpdateResult result;
    } rows[] = {
        {"finished", "dram.txt", {}, UpdateResult::Finished},
        {"DRAM dialog cancelled", "", {}, UpdateResult::Cancelled},
        {"flash programming fails", "dram.txt",
         FailOn(camera::kPropFirmwareToFlash, camsim::Direction::Set, 1),
         UpdateResult::FlashFailed},
    };
    for (const auto& row : rows) {
        camsim::Profile profile = WithRegister1856(0x20);
        profile.firmwareReadyAfterPolls = 52;  // a reminder on the way
        profile.flashDoneAfterReads = 2;
        if (row.fault.property) profile.faults.push_back(row.fault);
        Rig rig(profile);
        rig.files.files["dram.txt"].content = "Sleep 5\n10 1\n";
        rig.ui.dramAnswers = {row.dramAnswer};
        camflash::UpdateRunner runner;
        camtools::KeepAwake& awake = rig.noSleep;
        const camflash::UpdateSettings settings = rig.Settings();
        UpdateResult result = UpdateResult::ImageNotLoaded;
        std::set<std::string> refusedIn;  // the steps at which the window's requests came
        rig.ui.onCall = [&] {
            const std::string step = rig.ui.steps.empty() ? "start" : rig.ui.steps.back().first;
            EXPECT_FALSE(runner.MayClose()) << row.what << ", " << step;
            EXPECT_FALSE(runner.Run(awake, rig.channel, rig.files, rig.ui, settings, result))
                << row.what << ", " << step;
            refusedIn.insert(step);
        };
        EXPECT_TRUE(runner.Run(awake, rig.channel, rig.files, rig.ui, settings, result))
            << row.what;
        EXPECT_EQ(row.result, result) << row.what;
        EXPECT_TRUE(runner.MayClose()) << row.what;
        EXPECT_EQ((std::vector<bool>{true, false}), rig.ui.updating) << row.what;
        EXPECT_EQ("", rig.ui.steps.back().first) << row.what;  // cleared at the end
        rig.ui.steps.pop_back();
        for (const auto& step : rig.ui.steps)
            EXPECT_EQ(1u, refusedIn.count(step.first)) << row.what << ", " << step.first;
    }
}
