#include "camera_channel.h"

namespace camera {

CameraChannel::CameraChannel(std::unique_ptr<PropertyTransport> transport)
    : transport_(std::move(transport)) {}

// Destroying the channel destroys its transport, which releases any device it still holds;
// Close releases the device earlier and leaves the channel ready to open again.
CameraChannel::~CameraChannel() = default;

bool CameraChannel::Open() {
    if (open_) return true;
    open_ = transport_->FindDevice(kCameraFriendlyName);
    return open_;
}

void CameraChannel::Close() {
    if (!open_) return;
    transport_->Release();
    open_ = false;
}

bool CameraChannel::ReadRegister(uint32_t address, uint8_t& value) {
    uint8_t select[4];
    StoreU32(select, address);
    if (!transport_->SetProperty(kPropRegisterSelect, select, sizeof select)) return false;
    return transport_->GetProperty(kPropRegisterValue, &value, 1);
}

bool CameraChannel::WriteRegister(uint32_t address, uint32_t value) {
    uint8_t select[4];
    StoreU32(select, address);
    if (!transport_->SetProperty(kPropRegisterSelect, select, sizeof select)) return false;
    uint8_t byte = uint8_t(value & 0xFF);
    return transport_->SetProperty(kPropRegisterValue, &byte, 1);
}

bool CameraChannel::ReadMemory(uint32_t address, uint32_t length, void* buffer) {
    uint8_t window[kMemoryWindowSize];
    EncodeMemoryWindow(MemoryWindow{address, length}, window);
    if (!transport_->SetProperty(kPropMemoryWindow, window, sizeof window)) return false;
    return transport_->GetProperty(kPropMemoryData, buffer, length);
}

bool CameraChannel::DownloadFirmware(const uint8_t* buffer, size_t bufferSize) {
    if (bufferSize < 4) return false;
    uint32_t length = LoadU32(buffer);
    if (length > bufferSize) return false;
    return transport_->SetProperty(kPropFirmwareDownload, buffer, length);
}

bool CameraChannel::UpdateFirmwareToFlash() {
    return transport_->SetProperty(kPropFirmwareToFlash, nullptr, 0);
}

bool CameraChannel::RequestSystemInfo() {
    return transport_->SetProperty(kPropSystemInfoRequest, nullptr, 0);
}

bool CameraChannel::GetSystemInfo(SystemInfo& info) {
    uint8_t record[kSystemInfoSize] = {};
    if (!transport_->GetProperty(kPropSystemInfo, record, sizeof record)) return false;
    info = DecodeSystemInfo(record);
    return true;
}

bool CameraChannel::GetFirmwareReady(uint32_t& ready) {
    uint8_t word[4] = {};
    if (!transport_->GetProperty(kPropFirmwareReady, word, sizeof word)) return false;
    ready = LoadU32(word);
    return true;
}

bool CameraChannel::OpenCatalogue(uint8_t parameter) {
    return transport_->SetProperty(kPropCatalogueStart, &parameter, 1);
}

bool CameraChannel::NextCatalogueBlock() {
    return transport_->SetProperty(kPropCatalogueNext, nullptr, 0);
}

bool CameraChannel::OpenStoredFile(const std::string& name, const std::string& extension) {
    uint8_t record[kFileNameRecordSize];
    BuildFileNameRecord(name, extension, record);
    return transport_->SetProperty(kPropFileOpen, record, sizeof record);
}

bool CameraChannel::NextFileBlock() { return transport_->SetProperty(kPropFileNext, nullptr, 0); }

bool CameraChannel::DeleteStoredFile(const std::string& name, const std::string& extension) {
    uint8_t record[kFileNameRecordSize];
    BuildFileNameRecord(name, extension, record);
    return transport_->SetProperty(kPropFileDelete, record, sizeof record);
}

}  // namespace camera
