// The simulated camera: registers, memory, firmware update and file storage, answering the
// vendor property requests exactly as the camera's driver would. Portable: the COM filter
// (filter_win.cpp) and native tests (ModelTransport) wrap the same model.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "property_transport.h"

namespace camsim {

// One file in the camera's storage.
struct StoredFile {
    std::string name;       // up to 8 bytes in the catalogue entry; longer names are cut there
    std::string extension;  // up to 3 bytes
    std::vector<uint8_t> content;
    // The size the catalogue entry reports; the content's size when absent.
    bool sizeOverridden = false;
    uint32_t reportedSize = 0;
    // The entry's last-write time and date in FAT's packed form (0: none).
    uint16_t writeTime = 0;
    uint16_t writeDate = 0;
};

enum class Direction { Any, Get, Set };

enum class FaultKind {
    Fail,          // the request fails (the driver returns an error)
    StatusError,   // the status record of the matching command answers with the error flag
    Unplug,        // this and every later request fails
    Unsupported,   // QuerySupported reports no support for this property
    HugeLength,    // the status record of the matching command reports this length instead
    FalseAnswer,   // the driver answers S_FALSE; the request does not reach the camera
    FalseSupport,  // QuerySupported answers S_FALSE (with its support bits) for this property
};

// Fires on the nth request (1-based) of property id in the given direction;
// nth == 0 means every request.
struct Fault {
    FaultKind kind = FaultKind::Fail;
    uint32_t property = 0;
    Direction direction = Direction::Any;
    uint32_t nth = 0;
    uint32_t length = 0;  // HugeLength only
};

struct Profile {
    std::string friendlyName = "ZQ71R Camera";
    std::map<uint32_t, uint8_t> registers;  // the rest read 0
    uint32_t firmwareReadyAfterPolls = 0;   // property 67 reads 0 this many times, then 1
    bool firmwareNeverReady = false;
    uint32_t firmwareNotReadyValue = 0;  // what property 67 answers while not ready
    uint32_t flashDoneAfterReads = 0;    // status reads after property 24 before `ready`
    uint32_t notReadyPolls = 0;          // status reads without `ready` before each storage answer
    uint32_t blockSize = 4096;           // bytes per file block and per catalogue block
    bool storagePresent = true;          // bit 0 of the presence word
    std::vector<StoredFile> files;
    // Raw 32-byte catalogue entries delivered after those made from `files` (hostile names,
    // wrong sizes); each must be 32 bytes.
    std::vector<std::vector<uint8_t>> extraEntries;
    std::vector<Fault> faults;
    std::string tracePath;  // where the filter appends its trace; empty: no trace file
    // The link: every request that reaches the camera takes requestLatencyUs, and a memory
    // read (property 3) of L bytes L / readBytesPerSecond seconds more (0: no limit).
    uint32_t requestLatencyUs = 0;
    uint32_t readBytesPerSecond = 0;
};

// Parses the text format documented in README.md. Relative file paths are taken from
// baseDir. Returns false and sets error on a malformed profile.
bool ParseProfile(const std::string& text, const std::string& baseDir, Profile& profile,
                  std::string& error);
// Reads and parses a profile file; relative paths inside it are taken from the file's folder.
bool LoadProfile(const std::string& path, Profile& profile, std::string& error);

struct TraceRecord {
    uint32_t property = 0;
    bool isGet = false;
    uint32_t length = 0;
    bool bufferNull = false;
    std::vector<uint8_t> bytes;  // set: what was sent; get: what was answered
    bool ok = false;
};

// One trace record as a line of text: "set 0 len=4 00 07 00 00 ok" (format in README.md).
std::string FormatTraceRecord(const TraceRecord& record);
// The reverse, for tests that read a trace file; false when the line is not a trace record.
bool ParseTraceRecord(const std::string& line, TraceRecord& record);

class CameraModel {
public:
    explicit CameraModel(Profile profile);

    const Profile& profile() const { return profile_; }

    // What QuerySupported reports for the property in one direction.
    bool Supports(uint32_t property, bool get) const;
    // Whether QuerySupported answers S_FALSE for the property.
    bool SupportAnswersFalse(uint32_t property) const;
    // Whether the latest request of the property in that direction, failed, is to be answered
    // S_FALSE rather than as a device error.
    bool AnswersFalse(uint32_t property, bool get) const {
        return MatchFault(property, get, FaultKind::FalseAnswer) != nullptr;
    }
    // Requests as the driver receives them; each returns whether the request succeeded and
    // appends a trace record.
    bool Get(uint32_t property, void* buffer, uint32_t length);
    bool Set(uint32_t property, const void* buffer, uint32_t length);

    // The modeled link's clock, in nanoseconds: the sum of every request's time so far, plus
    // what Advance added. The filter waits out each request's time for real; native tests and
    // benchmarks read this clock instead, so they never sleep.
    uint64_t clockNs() const { return clockNs_; }
    // The time of the latest request on the link.
    uint64_t lastRequestNs() const { return lastRequestNs_; }
    // Time passing between requests (a test's idle ticks).
    void Advance(uint64_t ns) { clockNs_ += ns; }

    const std::vector<TraceRecord>& trace() const { return trace_; }
    void ClearTrace() { trace_.clear(); }
    // Called with every record as it is appended (the filter writes them to its trace file).
    void SetTraceSink(std::function<void(const TraceRecord&)> sink) {
        traceSink_ = std::move(sink);
    }

    // Inspection for tests.
    uint8_t RegisterValue(uint32_t address) const;
    const std::vector<uint8_t>& LastFirmwareDownload() const { return firmware_; }
    const std::vector<StoredFile>& files() const { return profile_.files; }
    void Unplug() { unplugged_ = true; }
    bool unplugged() const { return unplugged_; }

    // Where results are placed in camera memory: consecutive results alternate between these
    // two addresses, and only the latest result can be read.
    static constexpr uint32_t kResultAddressA = 0x00200000;
    static constexpr uint32_t kResultAddressB = 0x00300000;

private:
    struct State;
    bool HandleGet(uint32_t property, uint8_t* buffer, uint32_t length, TraceRecord& record);
    bool HandleSet(uint32_t property, const uint8_t* buffer, uint32_t length);
    const Fault* MatchFault(uint32_t property, bool get, FaultKind kind) const;
    void Append(TraceRecord record);
    void ChargeLink(uint32_t property, bool get, uint32_t length);

    Profile profile_;
    std::vector<TraceRecord> trace_;
    std::function<void(const TraceRecord&)> traceSink_;
    std::vector<uint8_t> firmware_;
    bool unplugged_ = false;
    uint64_t clockNs_ = 0;
    uint64_t lastRequestNs_ = 0;
    std::shared_ptr<State> state_;  // protocol state, defined in camera_model.cpp
};

// The model as the camera channel's transport, for native tests: FindDevice matches the
// profile's friendly name byte for byte.
class ModelTransport : public camera::PropertyTransport {
public:
    explicit ModelTransport(CameraModel& model) : model_(model) {}
    bool FindDevice(const char* friendlyName) override;
    void Release() override { held_ = false; }
    bool GetProperty(uint32_t id, void* buffer, uint32_t length) override;
    bool SetProperty(uint32_t id, const void* buffer, uint32_t length) override;

private:
    CameraModel& model_;
    bool held_ = false;
};

}  // namespace camsim
