// camfetch's process-level start-up and shut-down around its modal main dialog.
#pragma once

#include <windows.h>

#include <memory>

#include "main_dialog_win.h"
#include "property_transport.h"
#include "settings.h"

namespace camfetch {

struct FetchAppOptions {
    DialogTiming timing;
    uint32_t readyPollLimit = kReadyPollLimit;
};

// One copy at a time (mutex "ZQ71RD"), COM, settings from HKLM\SOFTWARE\ZQ71R (and a folder
// kept per user under HKCU\Software\ZQ71R), the camera on `transport`, the readiness wait, the
// main dialog, then everything released in reverse order.
// Returns 0; a second copy returns at once without touching anything.
int RunFetchApplication(HINSTANCE instance, std::unique_ptr<camera::PropertyTransport> transport,
                        const FetchAppOptions& options = FetchAppOptions());

}  // namespace camfetch
