#include "update_sequence.h"

#include <vector>

#include "dram_script.h"
#include "firmware_image.h"
#include "texts.h"

namespace camflash {
namespace {

// The script's writes go to the camera, its pauses to the user interface.
class CameraScriptHost : public ScriptHost {
public:
    CameraScriptHost(camera::CameraChannel& camera, UpdateUi& ui) : camera_(camera), ui_(ui) {}
    void WriteRegister(uint32_t address, uint8_t value) override {
        camera_.WriteRegister(address, value);
    }
    void Pause(uint32_t milliseconds) override { ui_.Pause(milliseconds); }

private:
    camera::CameraChannel& camera_;
    UpdateUi& ui_;
};

void Prepare(camera::CameraChannel& camera, UpdateUi& ui) {
    camera.WriteRegister(kRegMode, 2);
    camera.WriteRegister(kRegBoot, 0);
    camera.WriteRegister(kRegClock, 0);
    ui.Pause(kPreparationPauseMs);
    // Clear the preparation bit; only a value actually read may be written back.
    uint8_t value = 0;
    if (camera.ReadRegister(kRegPreparation, value))
        camera.WriteRegister(kRegPreparation, value & ~kPreparationBit & 0xFF);
}

void WaitForFirmwareReady(camera::CameraChannel& camera, UpdateUi& ui) {
    unsigned attempts = 0;
    for (;;) {
        uint32_t ready = 0;
        if (camera.GetFirmwareReady(ready) && ready == 1) return;
        ui.Pause(kReadyPollPauseMs);
        if (++attempts >= kReadyPollsPerReminder) {
            ui.ShowMessage(kTextStillWaiting);
            attempts = 0;
        }
    }
}

}  // namespace

UpdateResult RunUpdate(camera::CameraChannel& camera, FileOpener& files, UpdateUi& ui,
                       const UpdateSettings& settings) {
    std::vector<uint8_t> image;
    if (!LoadFirmwareImage(files, settings.firmwareFileName, image)) {
        ui.ShowMessage(ui.LoadText(kIdsUpdateFailed));
        return UpdateResult::ImageNotLoaded;
    }
    ui.SetStatus(kTextPleaseWait);

    if (settings.needsPreparation) Prepare(camera, ui);
    camera.WriteRegister(kRegDram, 0xFF);

    std::string scriptPath;
    if (!ui.ChooseDramScript(scriptPath)) {
        ui.SetStatus(kTextQuestion);
        return UpdateResult::Cancelled;
    }
    CameraScriptHost host(camera, ui);
    std::string scriptMessage = RunDramScript(scriptPath, files, host);
    if (!scriptMessage.empty()) ui.ShowMessage(scriptMessage);

    bool downloaded = camera.DownloadFirmware(image.data(), image.size());
    std::vector<uint8_t>().swap(image);
    if (!downloaded) {
        ui.ShowMessage(kTextDownloadFailed);
        return UpdateResult::DownloadFailed;
    }

    WaitForFirmwareReady(camera, ui);

    if (!camera.UpdateFirmwareToFlash()) {
        ui.ShowMessage(kTextFlashFailed);
        return UpdateResult::FlashFailed;
    }
    if (!camera.RequestSystemInfo()) return UpdateResult::RequestFailed;

    // Back to back: the camera answers as fast as it programs.
    bool finished = false;
    for (unsigned reads = 0; reads < kCompletionPollLimit && !finished; ++reads) {
        camera::SystemInfo info;
        if (!camera.GetSystemInfo(info)) return UpdateResult::StatusFailed;
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

}  // namespace camflash
