// The camera's vendor property set: ids and the little-endian records that cross it.
//
// Glossary:
//   register  one byte of camera state, selected by a 32-bit address (property 0)
//   window    a run of camera memory (address, length) selected for a read (property 1)
//   status    the 12-byte SystemInfo record (property 34): where the result of the last
//             command lies in camera memory, how long it is, and what state it is in
//   block     one piece of a listing or of a stored file, described by one status record
//   entry     one 32-byte record of a catalogue block, naming one stored file
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace camera {

// {FA4BB020-CB5C-44A2-80B8-19ED4A514A4A}
struct SetId {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
constexpr SetId kVendorPropertySet = {
    0xFA4BB020, 0xCB5C, 0x44A2, {0x80, 0xB8, 0x19, 0xED, 0x4A, 0x51, 0x4A, 0x4A}};

enum PropertyId : uint32_t {
    kPropRegisterSelect = 0,
    kPropMemoryWindow = 1,
    kPropRegisterValue = 2,
    kPropMemoryData = 3,
    kPropFirmwareDownload = 20,
    kPropFirmwareToFlash = 24,
    kPropSystemInfo = 34,
    kPropCatalogueStart = 39,
    kPropCatalogueNext = 40,
    kPropFileOpen = 41,
    kPropFileNext = 42,
    kPropFileDelete = 43,
    kPropSystemInfoRequest = 49,
    kPropFirmwareReady = 67,
};

// Status flags of SystemInfo; other bits carry no meaning for either program.
constexpr uint32_t kStatusReady = 0x0001;
constexpr uint32_t kStatusLast = 0x0002;
constexpr uint32_t kStatusError = 0x8000;

struct SystemInfo {
    uint32_t address = 0;
    uint32_t length = 0;
    uint32_t flags = 0;
};
constexpr size_t kSystemInfoSize = 12;

struct MemoryWindow {
    uint32_t address = 0;
    uint32_t length = 0;
};
constexpr size_t kMemoryWindowSize = 8;

constexpr size_t kFileNameRecordSize = 12;
constexpr size_t kFileNameBaseMax = 8;
constexpr size_t kFileNameExtMax = 3;

inline uint32_t LoadU32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void StoreU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

void EncodeSystemInfo(const SystemInfo& info, uint8_t out[kSystemInfoSize]);
SystemInfo DecodeSystemInfo(const uint8_t in[kSystemInfoSize]);
void EncodeMemoryWindow(const MemoryWindow& window, uint8_t out[kMemoryWindowSize]);
MemoryWindow DecodeMemoryWindow(const uint8_t in[kMemoryWindowSize]);

// Zero-filled record: at most 8 bytes of base name, at most 3 of extension, no terminators.
void BuildFileNameRecord(const std::string& name, const std::string& extension,
                         uint8_t out[kFileNameRecordSize]);

}  // namespace camera
