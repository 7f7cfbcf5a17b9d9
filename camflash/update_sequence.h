// The firmware update run by the main dialog's Update button, as one sequence on the
// window's thread: load the image, prepare the camera's registers, let the user choose and
// play the DRAM setting script, send the image, wait for the firmware, program the flash, and
// poll the status record until the camera reports completion. Everything the user sees goes
// through UpdateUi, so the sequence runs the same against the real dialogs and in tests; the
// window keeps answering because every pause and every gap between two camera requests goes
// through UpdateUi too.
#pragma once

#include <cstdint>
#include <string>

#include "camera_channel.h"
#include "file_source.h"
#include "work_indicators.h"

namespace camflash {

// Registers the update touches.
constexpr uint32_t kRegMode = 12;
constexpr uint32_t kRegBoot = 512;
constexpr uint32_t kRegClock = 1960;
constexpr uint32_t kRegPreparation = 1856;  // bit 5: the update needs the preparation writes
constexpr uint32_t kRegDram = 1977;
constexpr uint8_t kPreparationBit = 0x20;

// Readiness polls without success before the user is reminded; the wait itself never ends.
constexpr unsigned kReadyPollsPerReminder = 51;
constexpr uint32_t kReadyPollPauseMs = 10;
constexpr uint32_t kPreparationPauseMs = 100;
// Status reads after flash programming before the update is given up.
constexpr unsigned kCompletionPollLimit = 50002;

// The step an update is at, as the status line tells it while the sequence runs.
enum class UpdateStep { None, Preparing, Sending, Waiting, Programming };

// "Preparing the camera..." and so on; empty for None.
const char* StepText(UpdateStep step);

class UpdateUi {
public:
    virtual ~UpdateUi() = default;
    // The text of a string table entry.
    virtual std::string LoadText(unsigned id) = 0;
    // A modal message box with an OK button; returns when the user has pressed OK.
    virtual void ShowMessage(const std::string& text) = 0;
    // Replaces the main dialog's status line.
    virtual void SetStatus(const std::string& text) = 0;
    // Runs the DRAM Setting dialog; true with the chosen path, false when cancelled.
    virtual bool ChooseDramScript(std::string& path) = 0;
    // Waits this long while the window keeps answering.
    virtual void Pause(uint32_t milliseconds) = 0;
    // Lets the window answer what has come in. Called before every camera request of the
    // update, so the window goes unanswered only inside a single request.
    virtual void TakeMessages() = 0;
    // Shows the step in progress on the status line; None puts back the text SetStatus gave
    // last, which is what the dialog keeps when the update stops.
    virtual void ShowStep(UpdateStep step) = 0;
    // While an update runs: Update and Exit disabled, closing and the session's end refused.
    virtual void SetUpdating(bool updating) = 0;
    // Ends the main dialog (and with it the program) after a successful update.
    virtual void EndDialog() = 0;
};

// How a run of the sequence ended.
enum class UpdateResult {
    ImageNotLoaded,  // string 2; nothing was sent
    Cancelled,       // the DRAM dialog was cancelled
    DownloadFailed,
    FlashFailed,
    RequestFailed,  // the status request failed (no message)
    StatusFailed,   // a status read failed (no message)
    WaitedTooLong,
    Finished,  // the dialog has been ended
};

struct UpdateSettings {
    std::string firmwareFileName;
    bool needsPreparation = false;
};

UpdateResult RunUpdate(camera::CameraChannel& camera, FileOpener& files, UpdateUi& ui,
                       const UpdateSettings& settings);

// RunUpdate with the PC kept from sleeping from its start to its end, whichever way it ends:
// an update cut off by sleep can leave the camera without working firmware.
UpdateResult RunUpdateKeepingAwake(camtools::KeepAwake& awake, camera::CameraChannel& camera,
                                   FileOpener& files, UpdateUi& ui, const UpdateSettings& settings);

// The main dialog's update: one at a time, and no way out of the dialog until it has ended.
// A message the window takes during the update may be a second press of Update or a request
// to close; the dialog asks here what to do with it.
class UpdateRunner {
public:
    // Runs the update with the PC kept awake, the dialog marked as updating from its start to
    // its end and the status line's step cleared afterwards. Does nothing and returns false
    // while an update runs already.
    bool Run(camtools::KeepAwake& awake, camera::CameraChannel& camera, FileOpener& files,
             UpdateUi& ui, const UpdateSettings& settings, UpdateResult& result);
    // Exit, the close box, Alt+F4, Esc, the system menu's Close and the end of the session.
    bool MayClose() const { return !running_; }

private:
    bool running_ = false;
};

// What the main dialog learns when it opens: whether the camera was found and, if so, the
// firmware file name and whether the update needs the preparation writes.
struct MainDialogState {
    bool cameraOpened = false;
    std::string firmwareFileName;
    bool needsPreparation = false;
};

// Opens the camera and reads register 1856. A failed read leaves needsPreparation false:
// a value that was never delivered says nothing about the camera.
MainDialogState InitializeMainDialog(camera::CameraChannel& camera);

}  // namespace camflash
