// The simulated camera's profile parser over any text, with relative file paths taken from a
// scratch folder holding one small file. A profile it accepts must give a camera that answers
// a status request; one it refuses must say which line.
#include <string>

#include "camera_model.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Devices that never end (path=/dev/zero) and many fill= files of 256 MiB each are the
    // profile author's choice, not input to defend against; they would only hit the limits.
    if (text.find("/dev") != std::string::npos || text.find("/proc") != std::string::npos) return 0;
    size_t fills = 0;
    for (size_t at = text.find("fill="); at != std::string::npos; at = text.find("fill=", at + 1))
        ++fills;
    if (fills > 1) return 0;

    const std::string folder = fuzz::ScratchFolder();
    static const bool written = [&] {
        const uint8_t content[] = {0xFF, 0xD8, 0xFF, 0xD9};
        fuzz::WriteBytes(folder + "pic.jpg", content, sizeof content);
        return true;
    }();
    (void)written;

    camsim::Profile profile;
    std::string error;
    if (!camsim::ParseProfile(text, folder, profile, error)) {
        FUZZ_CHECK(error.compare(0, 5, "line ") == 0, error);
        return 0;
    }
    camsim::CameraModel model(profile);
    uint8_t status[12] = {};
    model.Get(34, status, sizeof status);
    return 0;
}
