// The program's one camera object. Every operation is a fixed sequence of property requests
// (see camera_protocol.h); each returns true on success and never retries, waits or shows
// anything: callers decide what a failure means.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "camera_protocol.h"
#include "property_transport.h"

namespace camera {

constexpr const char* kCameraFriendlyName = "ZQ71R Camera";

class CameraChannel {
public:
    explicit CameraChannel(std::unique_ptr<PropertyTransport> transport);
    virtual ~CameraChannel();

    CameraChannel(const CameraChannel&) = delete;
    CameraChannel& operator=(const CameraChannel&) = delete;

    bool Open();
    void Close();
    bool IsOpen() const { return open_; }

    bool ReadRegister(uint32_t address, uint8_t& value);
    // Only the low 8 bits of value are sent.
    bool WriteRegister(uint32_t address, uint32_t value);
    // buffer must hold at least length bytes.
    bool ReadMemory(uint32_t address, uint32_t length, void* buffer);
    // The request length is the little-endian word in the buffer's first 4 bytes;
    // a buffer shorter than that word is refused without a request.
    bool DownloadFirmware(const uint8_t* buffer, size_t bufferSize);
    bool UpdateFirmwareToFlash();
    bool RequestSystemInfo();
    bool GetSystemInfo(SystemInfo& info);
    bool GetFirmwareReady(uint32_t& ready);
    bool OpenCatalogue(uint8_t parameter);
    bool NextCatalogueBlock();
    bool OpenStoredFile(const std::string& name, const std::string& extension);
    bool NextFileBlock();
    bool DeleteStoredFile(const std::string& name, const std::string& extension);

private:
    std::unique_ptr<PropertyTransport> transport_;
    bool open_ = false;
};

}  // namespace camera
