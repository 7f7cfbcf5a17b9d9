#include "update_sequence.h"

#include <vector>

#include "dram_script.h"
#include "firmware_image.h"
#include "texts.h"

namespace camflash {
namespace {

// The camera as the sequence reaches it: before each request the window takes what has come
// in, so that it goes unanswered only inside a request.
class AnsweringCamera {
public:
    AnsweringCamera(camera::CameraChannel& camera, UpdateUi& ui) : camera_(camera), ui_(ui) {}
    camera::CameraChannel* operator->() {
        ui_.TakeMessages();
        return &camera_;
    }

private:
    camera::CameraChannel& camera_;
    UpdateUi& ui_;
};

// The script's writes go to the camera, its pauses to the user interface.
class CameraScriptHost : public ScriptHost {
public:
    CameraScriptHost(AnsweringCamera& camera, UpdateUi& ui) : camera_(camera), ui_(ui) {}
    void WriteRegister(uint32_t address, uint8_t value) override {
        camera_->WriteRegister(address, value);
    }
    void Pause(uint32_t milliseconds) override { ui_.Pause(milliseconds); }

private:
    AnsweringCamera& camera_;
    UpdateUi& ui_;
};

void Prepare(AnsweringCamera& camera, UpdateUi& ui) {
    camera->WriteRegister(kRegMode, 2);
    camera->WriteRegister(kRegBoot, 0);
    camera->WriteRegister(kRegClock, 0);
    ui.Pause(kPreparationPauseMs);
    // Clear the preparation bit; only a value actually read may be written back.
    uint8_t value = 0;
    if (camera->ReadRegister(kRegPreparation, value))
        camera->WriteRegister(kRegPreparation, value & ~kPreparationBit & 0xFF);
}

void WaitForFirmwareReady(AnsweringCamera& camera, UpdateUi& ui) {
    unsigned attempts = 0;
    for (;;) {
        uint32_t ready = 0;
        if (camera->GetFirmwareReady(ready) && ready == 1) return;
        ui.Pause(kReadyPollPauseMs);
        if (++attempts >= kReadyPollsPerReminder) {
            ui.ShowMessage(kTextStillWaiting);
            attempts = 0;
        }
    }
}

}  // namespace

const char* StepText(UpdateStep step) {
    switch (step) {
    case UpdateStep::Preparing: return kTextPreparing;
    case UpdateStep::Sending: return kTextSending;
    case UpdateStep::Waiting: return kTextWaiting;
    case UpdateStep::Programming: return kTextProgramming;
    case UpdateStep::None: break;
    }
    return "";
}

UpdateResult RunUpdate(camera::CameraChannel& channel, FileOpener& files, UpdateUi& ui,
                       const UpdateSettings& settings) {
    std::vector<uint8_t> image;
    if (!LoadFirmwareImage(files, settings.firmwareFileName, image)) {
        ui.ShowMessage(ui.LoadText(kIdsUpdateFailed));
        return UpdateResult::ImageNotLoaded;
    }
    ui.SetStatus(kTextPleaseWait);

    AnsweringCamera camera(channel, ui);
    ui.ShowStep(UpdateStep::Preparing);
    if (settings.needsPreparation) Prepare(camera, ui);
    camera->WriteRegister(kRegDram, 0xFF);

    std::string scriptPath;
    if (!ui.ChooseDramScript(scriptPath)) {
        ui.SetStatus(kTextQuestion);
        return UpdateResult::Cancelled;
    }
    CameraScriptHost host(camera, ui);
    std::string scriptMessage = RunDramScript(scriptPath, files, host);
    if (!scriptMessage.empty()) ui.ShowMessage(scriptMessage);

    ui.ShowStep(UpdateStep::Sending);
    bool downloaded = camera->DownloadFirmware(image.data(), image.size());
    std::vector<uint8_t>().swap(image);
    if (!downloaded) {
        ui.ShowMessage(kTextDownloadFailed);
        return UpdateResult::DownloadFailed;
    }

    ui.ShowStep(UpdateStep::Waiting);
    WaitForFirmwareReady(camera, ui);

    ui.ShowStep(UpdateStep::Programming);
    if (!camera->UpdateFirmwareToFlash()) {
        ui.ShowMessage(kTextFlashFailed);
        return UpdateResult::FlashFailed;
    }
    if (!camera->RequestSystemInfo()) return UpdateResult::RequestFailed;

    // Back to back: the camera answers as fast as it programs.
    bool finished = false;
    for (unsigned reads = 0; reads < kCompletionPollLimit && !finished; ++reads) {
        camera::SystemInfo info;
        if (!camera->GetSystemInfo(info)) return UpdateResult::StatusFailed;
        finished = (info.flags & camera::kStatusReady) != 0;
    }
    if (!finished) {
        ui.ShowMessage(kTextWaitingTooLong);
        return UpdateResult::WaitedTooLong;
    }

    ui.ShowMessage(ui.LoadText(kIdsUpdateFinished));
    if (settings.needsPreparation) ui.ShowMessage(kTextReboot);
    ui.EndDialog();
    return UpdateResult::Finished;
}

MainDialogState InitializeMainDialog(camera::CameraChannel& camera) {
    MainDialogState state;
    state.cameraOpened = camera.Open();
    if (!state.cameraOpened) return state;
    state.firmwareFileName = kFirmwareFileName;
    uint8_t value = 0;
    state.needsPreparation =
        camera.ReadRegister(kRegPreparation, value) && (value & kPreparationBit) != 0;
    return state;
}

UpdateResult RunUpdateKeepingAwake(camtools::KeepAwake& awake, camera::CameraChannel& camera,
                                   FileOpener& files, UpdateUi& ui,
                                   const UpdateSettings& settings) {
    camtools::ScopedKeepAwake awakeScope(awake);
    return RunUpdate(camera, files, ui, settings);
}

bool UpdateRunner::Run(camtools::KeepAwake& awake, camera::CameraChannel& camera, FileOpener& files,
                       UpdateUi& ui, const UpdateSettings& settings, UpdateResult& result) {
    if (running_) return false;
    // Undone on every way out, an exception included.
    struct Updating {
        bool& running;
        UpdateUi& ui;
        Updating(bool& r, UpdateUi& u) : running(r), ui(u) {
            running = true;
            ui.SetUpdating(true);
        }
        ~Updating() {
            ui.ShowStep(UpdateStep::None);
            ui.SetUpdating(false);
            running = false;
        }
    } updating(running_, ui);
    result = RunUpdateKeepingAwake(awake, camera, files, ui, settings);
    return true;
}

}  // namespace camflash
