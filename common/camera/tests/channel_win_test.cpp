// The camera channel over the real DirectShow path: the system device enumerator lists the
// simulated camera's devices registered in the test prefix, and the camera's trace shows
// the bytes that crossed to it.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "camera_channel.h"
#include "directshow_transport.h"
#include "scoped_win.h"
#include "windriver.h"
#include "wintest.h"

namespace {

using camtools::ComScope;

std::string Scratch(const std::string& name) {
    return windriver::Environment("TEST_SCRATCH") + "/" + name;
}

// A camera profile in the scratch folder whose trace goes to NAME.trace; an old trace is
// removed so that the test sees only its own requests.
class Profile {
public:
    Profile(const std::string& name, const std::string& text)
        : path_(Scratch(name + ".profile")), trace_(Scratch(name + ".trace")) {
        windriver::WriteTextFile(path_, text + "\ntrace " + name + ".trace\n");
        windriver::RemoveFile(trace_);
    }
    const std::string& path() const { return path_; }
    std::vector<std::string> Trace() const { return windriver::ReadTrace(trace_); }

private:
    std::string path_;
    std::string trace_;
};

// A channel over DirectShow with the default camera answering from one profile.
class Fixture {
public:
    explicit Fixture(const std::string& profileText)
        : profile_("channel", profileText),
          variable_("CAMSIM_PROFILE", profile_.path()),
          channel_(camera::CreateDirectShowTransport()) {}
    ~Fixture() { channel_.Close(); }
    camera::CameraChannel& channel() { return channel_; }
    std::vector<std::string> Trace() const { return profile_.Trace(); }

private:
    ComScope com_;
    Profile profile_;
    windriver::ScopedEnvironment variable_;
    camera::CameraChannel channel_;
};

std::string Show(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += "\n    " + line;
    return out.empty() ? " (nothing)" : out;
}

// A u32 as the trace shows it: four little-endian bytes.
std::string HexBytes(uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%02x %02x %02x %02x", value & 0xFF, (value >> 8) & 0xFF,
                  (value >> 16) & 0xFF, value >> 24);
    return text;
}

#define CHECK_TRACE(actual, ...)                                                    \
    do {                                                                            \
        const std::vector<std::string> expected_ = {__VA_ARGS__};                   \
        const std::vector<std::string> actual_ = (actual);                          \
        WT_CHECK_MSG(actual_ == expected_,                                          \
                     "trace:" + Show(actual_) + "\n  expected:" + Show(expected_)); \
    } while (0)

}  // namespace

WT_TEST(OpenFindsTheCameraAndReadsRegister1856) {
    Fixture camera("register 1856 0x3c\n");
    WT_CHECK(!camera.channel().IsOpen());
    WT_CHECK(camera.channel().Open());
    WT_CHECK(camera.channel().IsOpen());
    uint8_t value = 0;
    WT_CHECK(camera.channel().ReadRegister(1856, value));
    WT_CHECK_EQ(value, uint8_t(0x3c));
    CHECK_TRACE(camera.Trace(), "set 0 len=4 40 07 00 00 ok", "get 2 len=1 3c ok");
}

WT_TEST(FindsTheExactNameFirstInEnumerationOrder) {
    const std::string camera = "ZQ71R Camera";
    const std::string tooLong = camera + std::string(80, '.');  // does not fit 80 bytes
    // Each row: the devices in enumeration order and the slot that must be bound (-1: none).
    struct Row {
        const char* what;
        std::vector<std::string> devices;
        int slot;
    } rows[] = {
        {"camera alone", {camera}, 0},
        {"differs in case", {"ZQ71R CAMERA", "zq71r camera"}, -1},
        {"case decoy first", {"zq71r camera", camera}, 1},
        {"trailing space", {"ZQ71R Camera "}, -1},
        {"space decoys first", {"ZQ71R Camera ", " ZQ71R Camera", camera}, 2},
        {"shorter name", {"ZQ71R Camer"}, -1},
        {"name beyond 80 bytes", {tooLong}, -1},
        {"long name first", {tooLong, camera}, 1},
        {"two of the name", {camera, camera}, 0},
        {"two after another device", {"USB Video", camera, camera}, 1},
        {"no video devices", {}, -1},
    };
    for (const Row& row : rows) {
        ComScope com;
        windriver::CameraDevices devices(row.devices);
        WT_CHECK_MSG(devices.Installed(), row.what);
        // Every slot answers register 1 with its own number plus one, from its own profile.
        std::vector<Profile> profiles;
        std::vector<std::unique_ptr<windriver::ScopedEnvironment>> variables;
        profiles.reserve(row.devices.size());
        for (size_t slot = 0; slot < row.devices.size(); ++slot) {
            profiles.emplace_back("slot" + std::to_string(slot),
                                  "register 1 " + std::to_string(slot + 1) + "\n");
            variables.push_back(std::make_unique<windriver::ScopedEnvironment>(
                "CAMSIM_PROFILE_" + std::to_string(slot), profiles.back().path()));
        }

        camera::CameraChannel channel(camera::CreateDirectShowTransport());
        bool opened = channel.Open();
        WT_CHECK_MSG(opened == (row.slot >= 0), row.what);
        WT_CHECK_MSG(channel.IsOpen() == opened, row.what);
        if (opened) {
            uint8_t value = 0;
            WT_CHECK_MSG(channel.ReadRegister(1, value), row.what);
            WT_CHECK_MSG(value == row.slot + 1,
                         std::string(row.what) + ": bound slot " + std::to_string(int(value) - 1));
        }
        channel.Close();
        WT_CHECK_MSG(!channel.IsOpen(), row.what);
        // Only the bound device saw requests.
        for (size_t slot = 0; slot < profiles.size(); ++slot)
            WT_CHECK_MSG(profiles[slot].Trace().size() == (int(slot) == row.slot ? 2u : 0u),
                         std::string(row.what) + ": trace of slot " + std::to_string(slot));
    }
}

WT_TEST(RegisterAccessSendsTheAddressAndOneByte) {
    Fixture camera("register 1856 0xa5\n");
    camera::CameraChannel& channel = camera.channel();
    WT_CHECK(channel.Open());
    uint8_t value = 0;
    WT_CHECK(channel.ReadRegister(1856, value));
    WT_CHECK_EQ(value, uint8_t(0xa5));
    // Only the low 8 bits of the value are written.
    WT_CHECK(channel.WriteRegister(0x1234, 0x1A5C3));
    WT_CHECK(channel.ReadRegister(0x1234, value));
    WT_CHECK_EQ(value, uint8_t(0xC3));
    // An address the camera refuses ends the operation after the address select.
    WT_CHECK(!channel.WriteRegister(70000, 1));
    WT_CHECK(!channel.ReadRegister(70000, value));
    CHECK_TRACE(camera.Trace(), "set 0 len=4 40 07 00 00 ok", "get 2 len=1 a5 ok",
                "set 0 len=4 34 12 00 00 ok", "set 2 len=1 c3 ok", "set 0 len=4 34 12 00 00 ok",
                "get 2 len=1 c3 ok", "set 0 len=4 70 11 01 00 fail",
                "set 0 len=4 70 11 01 00 fail");
}

WT_TEST(ReadRegisterFailsWithoutGetSupportAfterTheAddressSelect) {
    Fixture camera("register 1856 7\nfault unsupported 2 get\n");
    camera::CameraChannel& channel = camera.channel();
    WT_CHECK(channel.Open());
    uint8_t value = 0x77;
    WT_CHECK(!channel.ReadRegister(1856, value));
    WT_CHECK_EQ(value, uint8_t(0x77));
    // Writing needs only set support, which is there.
    WT_CHECK(channel.WriteRegister(1856, 9));
    CHECK_TRACE(camera.Trace(), "set 0 len=4 40 07 00 00 ok", "set 0 len=4 40 07 00 00 ok",
                "set 2 len=1 09 ok");
}

// S_FALSE is a success code, but not the driver's "done": a request answered with it, or a
// support query answered with it, fails.
WT_TEST(SFalseFromTheDriverIsAFailure) {
    struct Row {
        const char* fault;
        std::vector<std::string> trace;
    } rows[] = {
        {"s-false 67 get", {"get 67 len=4 fail"}},
        {"s-false 24 set", {"set 24 len=0 null fail"}},
        {"support-s-false 67", {}},
        {"support-s-false 24", {}},
    };
    for (const Row& row : rows) {
        Fixture camera(std::string("fault ") + row.fault + "\n");
        camera::CameraChannel& channel = camera.channel();
        WT_CHECK_MSG(channel.Open(), row.fault);
        uint32_t ready = 7;
        const bool ok = std::string(row.fault).find(" 67") != std::string::npos
                            ? channel.GetFirmwareReady(ready)
                            : channel.UpdateFirmwareToFlash();
        WT_CHECK_MSG(!ok, row.fault);
        WT_CHECK_MSG(ready == 7, row.fault);
        WT_CHECK_MSG(camera.Trace() == row.trace,
                     std::string(row.fault) + ": trace:" + Show(camera.Trace()));
    }
}

WT_TEST(StoredFileNamesCrossAsFileNameRecords) {
    Fixture camera("file A B hex=00\nfile LONGNAME JPE hex=00\n");
    camera::CameraChannel& channel = camera.channel();
    WT_CHECK(channel.Open());
    WT_CHECK(channel.OpenStoredFile("A", "B"));
    // Longer names are cut to 8 and 3 characters.
    WT_CHECK(channel.DeleteStoredFile("LONGNAMEX", "JPEG"));
    CHECK_TRACE(camera.Trace(), "set 41 len=12 41 00 00 00 00 00 00 00 42 00 00 00 ok",
                "set 43 len=12 4c 4f 4e 47 4e 41 4d 45 4a 50 45 00 ok");
}

WT_TEST(RequestsWithoutDataCarryANullBuffer) {
    Fixture camera("");
    camera::CameraChannel& channel = camera.channel();
    WT_CHECK(channel.Open());
    WT_CHECK(channel.UpdateFirmwareToFlash());
    WT_CHECK(channel.RequestSystemInfo());
    WT_CHECK(channel.NextCatalogueBlock());
    WT_CHECK(channel.NextFileBlock());
    // The simulated driver refuses a request whose instance data is not its property data,
    // so these lines also prove that both lengths were 0.
    CHECK_TRACE(camera.Trace(), "set 24 len=0 null ok", "set 49 len=0 null ok",
                "set 40 len=0 null ok", "set 42 len=0 null ok");
}

WT_TEST(StatusMemoryAndFirmwareRequests) {
    Fixture camera("firmware-ready-after 1\n");
    camera::CameraChannel& channel = camera.channel();
    WT_CHECK(channel.Open());
    // The storage query leaves the presence word in camera memory, described by the status.
    WT_CHECK(channel.RequestSystemInfo());
    camera::SystemInfo info;
    WT_CHECK(channel.GetSystemInfo(info));
    // Where the model puts a result is its own choice; the trace must carry that address.
    const std::string address = HexBytes(info.address);
    WT_CHECK_EQ(info.length, uint32_t(4));
    WT_CHECK_EQ(info.flags & camera::kStatusReady, camera::kStatusReady);
    uint8_t word[4] = {};
    WT_CHECK(channel.ReadMemory(info.address, 4, word));
    WT_CHECK_EQ(word[0], uint8_t(1));
    WT_CHECK(channel.OpenCatalogue(0));

    uint32_t ready = 9;
    WT_CHECK(channel.GetFirmwareReady(ready));
    WT_CHECK_EQ(ready, uint32_t(0));
    WT_CHECK(channel.GetFirmwareReady(ready));
    WT_CHECK_EQ(ready, uint32_t(1));
    const uint8_t firmware[10] = {8, 0, 0, 0, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
    WT_CHECK(channel.DownloadFirmware(firmware, sizeof firmware));
    CHECK_TRACE(camera.Trace(), "set 49 len=0 null ok",
                "get 34 len=12 " + address + " 04 00 00 00 01 00 00 00 ok",
                "set 1 len=8 " + address + " 04 00 00 00 ok", "get 3 len=4 01 00 00 00 ok",
                "set 39 len=1 00 ok", "get 67 len=4 00 00 00 00 ok", "get 67 len=4 01 00 00 00 ok",
                "set 20 len=8 08 00 00 00 aa bb cc dd ok");
}

WT_TEST(FilterReferencesReachZeroAfterClose) {
    Fixture camera("");
    camera::CameraChannel& channel = camera.channel();
    WT_CHECK(channel.Open());
    uint8_t value = 0;
    WT_CHECK(channel.ReadRegister(1856, value));
    WT_CHECK(channel.RequestSystemInfo());
    // The channel holds the filter, and nothing else, between requests.
    WT_CHECK_HR(windriver::CameraDllCanUnloadNow(), S_FALSE);
    channel.Close();
    WT_CHECK(!channel.IsOpen());
    WT_CHECK_HR(windriver::CameraDllCanUnloadNow(), S_OK);
    channel.Close();  // closing a closed channel does nothing
    WT_CHECK(!channel.IsOpen());
    // It opens again afterwards.
    WT_CHECK(channel.Open());
    channel.Close();
    WT_CHECK_HR(windriver::CameraDllCanUnloadNow(), S_OK);
}

int main(int argc, char** argv) { return wintest::RunAll(argc, argv); }
