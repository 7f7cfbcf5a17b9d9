#include "texts.h"

namespace camflash {

const char* StringTableText(unsigned id) {
    switch (id) {
    case kIdsDeviceNotFound:
        return "Device can't be initialized. Please check driver or hardware settings.";
    case kIdsUpdateFailed:
        return "Firmware update failed. Please check USB connection or firmware file to make "
               "sure cable is plugged in and firmware file is present.";
    case kIdsUpdateFinished: return "Firmware update finished !!";
    default: return "";
    }
}

std::string MainDialogCaption() { return std::string(kProductName) + "U_V2.0.1.0 UPDATE FIRMWARE"; }

}  // namespace camflash
