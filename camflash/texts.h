// The texts camflash shows. The string table of the resources carries ids 1, 2 and 5 with
// the same texts (checked by the Win32-level tests); StringTableText serves them where no
// resources exist.
#pragma once

#include <string>

namespace camflash {

constexpr unsigned kIdsDeviceNotFound = 1;
constexpr unsigned kIdsUpdateFailed = 2;
constexpr unsigned kIdsUpdateFinished = 5;

// The text of a string table entry; empty for an unknown id.
const char* StringTableText(unsigned id);

constexpr const char* kProductName = "ZQ71R";
constexpr const char* kFirmwareFileName = "DUVOZE.bin";
constexpr const char* kInstanceMutexName = "Voreruvoru";
constexpr const char* kRegistryCompany = "Voreruvoru";
constexpr const char* kDramSection = "DRAM Setting";
constexpr const char* kDramValue = "FileName";

constexpr const char* kTextPleaseWait = "Please wait for finish update !!";
// The question of the main dialog, restored after the DRAM dialog is cancelled: a blank
// and four tabs after the question mark.
constexpr const char* kTextQuestion =
    "Are you sure you will update your device firmware? \t\t\t\tIf so, please press Update "
    "button. Otherwise press Exit button.";
constexpr const char* kTextDownloadFailed = "DownloadFirmware Failed";
constexpr const char* kTextStillWaiting = "Still Waiting for the Firmware Ready!!";
constexpr const char* kTextFlashFailed = "UpdateFirmwareToFlash Failed";
constexpr const char* kTextWaitingTooLong = "GetSystemInfo Failed!! waiting too long";
constexpr const char* kTextReboot = "Please ReBoot the device";
// The status line while an update runs, one text per step, and the reason given to the
// system for holding off the end of the session.
constexpr const char* kTextPreparing = "Preparing the camera...";
constexpr const char* kTextSending = "Sending the firmware...";
constexpr const char* kTextWaiting = "Waiting for the camera...";
constexpr const char* kTextProgramming =
    "Programming the camera's flash. Do not unplug the camera.";
constexpr const char* kTextShutdownBlocked =
    "The camera's firmware is being updated. Do not unplug the camera.";
constexpr const char* kTextSelectDramFile = "Please select a DRAM setting file";
constexpr const char* kTextOleFailed = "OLE initialization failed";

// "ZQ71RU_V2.0.1.0 UPDATE FIRMWARE"
std::string MainDialogCaption();

}  // namespace camflash
