#include "camera_model.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "camera_protocol.h"

namespace camsim {

using namespace camera;

namespace {

constexpr uint32_t kRegisterCount = 65536;
constexpr uint32_t kEntrySize = 32;
constexpr uint8_t kArchiveAttribute = 0x20;  // what a FAT file entry carries at byte 11

uint32_t RoundUp4(uint32_t n) { return uint32_t((uint64_t(n) + 3) & ~uint64_t(3)); }

// The 32-byte catalogue entry of one stored file: FAT short-name layout, zero-padded.
std::vector<uint8_t> MakeEntry(const StoredFile& file) {
    std::vector<uint8_t> entry(kEntrySize, 0);
    std::memcpy(entry.data(), file.name.data(), std::min<size_t>(file.name.size(), 8));
    std::memcpy(entry.data() + 8, file.extension.data(),
                std::min<size_t>(file.extension.size(), 3));
    entry[11] = kArchiveAttribute;
    entry[22] = uint8_t(file.writeTime);
    entry[23] = uint8_t(file.writeTime >> 8);
    entry[24] = uint8_t(file.writeDate);
    entry[25] = uint8_t(file.writeDate >> 8);
    uint32_t size = file.sizeOverridden ? file.reportedSize : uint32_t(file.content.size());
    StoreU32(entry.data() + 28, size);
    return entry;
}

// Whether a file name record (12 bytes) names this file as its catalogue entry does.
bool NamesFile(const uint8_t* record, const StoredFile& file) {
    std::vector<uint8_t> entry = MakeEntry(file);
    return std::memcmp(record, entry.data(), 11) == 0 && record[11] == 0;
}

}  // namespace

// What the camera is doing between requests: the register and window selections, the result
// of the last command, and the listing or file being read.
struct CameraModel::State {
    uint32_t selectedRegister = 0;
    MemoryWindow window;
    std::vector<uint8_t> registers = std::vector<uint8_t>(kRegisterCount, 0);

    // The latest result: its status record and its bytes in camera memory at
    // status.address (readable up to the length rounded up to 4 bytes).
    SystemInfo status;
    std::vector<uint8_t> memory;
    bool placeAtB = false;
    uint32_t busyReads = 0;       // status reads left without `ready` before the result shows
    uint32_t flashBusyReads = 0;  // status reads left while the flash is being programmed
    uint32_t readyPolls = 0;      // property 67 reads since power-on or the last download

    // The listing or file being read: all its blocks, and the index of the next one.
    enum class Stream { None, Catalogue, File } stream = Stream::None;
    std::vector<std::vector<uint8_t>> blocks;
    size_t nextBlock = 0;

    std::map<uint32_t, uint32_t> getCount, setCount;
};

CameraModel::CameraModel(Profile profile)
    : profile_(std::move(profile)), state_(std::make_shared<State>()) {
    for (const auto& [address, value] : profile_.registers)
        if (address < kRegisterCount) state_->registers[address] = value;
}

uint8_t CameraModel::RegisterValue(uint32_t address) const {
    return address < kRegisterCount ? state_->registers[address] : 0;
}

bool CameraModel::Supports(uint32_t property, bool get) const {
    for (const Fault& fault : profile_.faults) {
        if (fault.kind != FaultKind::Unsupported || fault.property != property) continue;
        if (fault.direction == Direction::Any || (fault.direction == Direction::Get) == get)
            return false;
    }
    switch (property) {
    case kPropRegisterValue: return true;
    case kPropMemoryData:
    case kPropSystemInfo:
    case kPropFirmwareReady: return get;
    case kPropRegisterSelect:
    case kPropMemoryWindow:
    case kPropFirmwareDownload:
    case kPropFirmwareToFlash:
    case kPropCatalogueStart:
    case kPropCatalogueNext:
    case kPropFileOpen:
    case kPropFileNext:
    case kPropFileDelete:
    case kPropSystemInfoRequest: return !get;
    default: return false;
    }
}

bool CameraModel::SupportAnswersFalse(uint32_t property) const {
    for (const Fault& fault : profile_.faults)
        if (fault.kind == FaultKind::FalseSupport && fault.property == property) return true;
    return false;
}

const Fault* CameraModel::MatchFault(uint32_t property, bool get, FaultKind kind) const {
    uint32_t gets = state_->getCount[property];
    uint32_t sets = state_->setCount[property];
    for (const Fault& fault : profile_.faults) {
        if (fault.kind != kind || fault.property != property) continue;
        uint32_t count;
        if (fault.direction == Direction::Any) {
            count = gets + sets;
        } else {
            if ((fault.direction == Direction::Get) != get) continue;
            count = get ? gets : sets;
        }
        if (fault.nth == 0 || fault.nth == count) return &fault;
    }
    return nullptr;
}

void CameraModel::ChargeLink(uint32_t property, bool get, uint32_t length) {
    uint64_t ns = uint64_t(profile_.requestLatencyUs) * 1000;
    if (get && property == kPropMemoryData && profile_.readBytesPerSecond)
        ns += uint64_t(length) * 1000000000 / profile_.readBytesPerSecond;
    lastRequestNs_ = ns;
    clockNs_ += ns;
}

void CameraModel::Append(TraceRecord record) {
    trace_.push_back(std::move(record));
    if (traceSink_) traceSink_(trace_.back());
}

bool CameraModel::Get(uint32_t property, void* buffer, uint32_t length) {
    TraceRecord record;
    record.property = property;
    record.isGet = true;
    record.length = length;
    record.bufferNull = buffer == nullptr;
    ChargeLink(property, true, length);
    ++state_->getCount[property];
    if (MatchFault(property, true, FaultKind::Unplug)) unplugged_ = true;
    bool ok = !unplugged_ && Supports(property, true) &&
              !MatchFault(property, true, FaultKind::Fail) && !AnswersFalse(property, true) &&
              (buffer != nullptr || length == 0) &&
              HandleGet(property, static_cast<uint8_t*>(buffer), length, record);
    record.ok = ok;
    if (!ok) record.bytes.clear();
    Append(std::move(record));
    return ok;
}

bool CameraModel::Set(uint32_t property, const void* buffer, uint32_t length) {
    TraceRecord record;
    record.property = property;
    record.isGet = false;
    record.length = length;
    record.bufferNull = buffer == nullptr;
    if (buffer) {
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        record.bytes.assign(bytes, bytes + length);
    }
    ChargeLink(property, false, length);
    ++state_->setCount[property];
    if (MatchFault(property, false, FaultKind::Unplug)) unplugged_ = true;
    bool ok = !unplugged_ && Supports(property, false) &&
              !MatchFault(property, false, FaultKind::Fail) && !AnswersFalse(property, false) &&
              (buffer != nullptr || length == 0) &&
              HandleSet(property, static_cast<const uint8_t*>(buffer), length);
    record.ok = ok;
    Append(std::move(record));
    return ok;
}

bool CameraModel::HandleGet(uint32_t property, uint8_t* buffer, uint32_t length,
                            TraceRecord& record) {
    State& s = *state_;
    switch (property) {
    case kPropRegisterValue:
        if (length != 1) return false;
        buffer[0] = s.registers[s.selectedRegister];
        break;
    case kPropMemoryData: {
        // Only the latest result is in memory; a window reaching past it (after rounding
        // its length up to whole words) is refused.
        if (length < s.window.length) return false;
        uint64_t start = s.status.address;
        uint64_t end = start + RoundUp4(uint32_t(s.memory.size()));
        uint64_t from = s.window.address;
        uint64_t to = from + s.window.length;
        if (from < start || to > end) return false;
        // The result's bytes, then the padding's zeros (copied whole: blocks reach 16 MiB).
        uint64_t offset = from - start;
        uint64_t count = to - from;
        uint64_t real =
            offset < s.memory.size() ? std::min<uint64_t>(count, s.memory.size() - offset) : 0;
        if (real > 0) std::memcpy(buffer, s.memory.data() + offset, size_t(real));
        std::memset(buffer + real, 0, size_t(count - real));
        length = s.window.length;
        break;
    }
    case kPropSystemInfo: {
        if (length != kSystemInfoSize) return false;
        SystemInfo answer;  // busy: all zero, no `ready`
        bool busy = s.busyReads > 0 || s.flashBusyReads > 0;
        if (s.busyReads > 0) --s.busyReads;
        if (s.flashBusyReads > 0) --s.flashBusyReads;
        if (!busy) answer = s.status;
        if (MatchFault(property, true, FaultKind::StatusError)) answer.flags |= kStatusError;
        if (const Fault* huge = MatchFault(property, true, FaultKind::HugeLength))
            answer.length = huge->length;
        EncodeSystemInfo(answer, buffer);
        break;
    }
    case kPropFirmwareReady: {
        if (length != 4) return false;
        bool ready =
            !profile_.firmwareNeverReady && s.readyPolls >= profile_.firmwareReadyAfterPolls;
        ++s.readyPolls;
        StoreU32(buffer, ready ? 1 : profile_.firmwareNotReadyValue);
        break;
    }
    default: return false;
    }
    record.bytes.assign(buffer, buffer + length);
    return true;
}

bool CameraModel::HandleSet(uint32_t property, const uint8_t* buffer, uint32_t length) {
    State& s = *state_;

    // Commands that leave a result: the status record reports it after `busy` reads.
    auto publish = [&](std::vector<uint8_t> data, uint32_t flags) {
        s.placeAtB = !s.placeAtB;
        s.status.address = s.placeAtB ? kResultAddressB : kResultAddressA;
        s.status.length = uint32_t(data.size());
        s.status.flags = flags;
        s.memory = std::move(data);
        if (MatchFault(property, false, FaultKind::StatusError)) s.status.flags |= kStatusError;
        if (const Fault* huge = MatchFault(property, false, FaultKind::HugeLength))
            s.status.length = huge->length;
    };
    // While the flash is being programmed, the programming alone decides when `ready` shows.
    auto storageAnswer = [&](std::vector<uint8_t> data, uint32_t flags) {
        publish(std::move(data), flags);
        s.busyReads = s.flashBusyReads > 0 ? 0 : profile_.notReadyPolls;
    };
    auto nextBlock = [&](State::Stream stream) {
        if (s.stream != stream || s.nextBlock >= s.blocks.size()) {
            storageAnswer({}, kStatusError);
            return;
        }
        size_t index = s.nextBlock++;
        uint32_t flags = kStatusReady;
        if (s.nextBlock == s.blocks.size()) {
            flags |= kStatusLast;
            s.stream = State::Stream::None;
        }
        storageAnswer(s.blocks[index], flags);
    };
    auto findFile = [&](const uint8_t* record) {
        auto& files = profile_.files;
        return std::find_if(files.begin(), files.end(),
                            [&](const StoredFile& f) { return NamesFile(record, f); });
    };

    switch (property) {
    case kPropRegisterSelect: {
        if (length != 4) return false;
        uint32_t address = LoadU32(buffer);
        if (address >= kRegisterCount) return false;
        s.selectedRegister = address;
        return true;
    }
    case kPropRegisterValue:
        if (length != 1) return false;
        s.registers[s.selectedRegister] = buffer[0];
        return true;
    case kPropMemoryWindow:
        if (length != kMemoryWindowSize) return false;
        s.window = DecodeMemoryWindow(buffer);
        return true;
    case kPropFirmwareDownload:
        if (length < 4 || LoadU32(buffer) != length) return false;
        firmware_.assign(buffer, buffer + length);
        s.readyPolls = 0;
        return true;
    case kPropFirmwareToFlash:
        if (length != 0) return false;
        s.flashBusyReads = profile_.flashDoneAfterReads;
        publish({}, kStatusReady);
        return true;
    case kPropSystemInfoRequest: {
        if (length != 0) return false;
        std::vector<uint8_t> word(4, 0);
        StoreU32(word.data(), profile_.storagePresent ? 1 : 0);
        storageAnswer(std::move(word), kStatusReady);
        return true;
    }
    case kPropCatalogueStart: {
        if (length != 1) return false;
        std::vector<std::vector<uint8_t>> entries;
        for (const StoredFile& file : profile_.files) entries.push_back(MakeEntry(file));
        for (const auto& raw : profile_.extraEntries) {
            std::vector<uint8_t> entry(raw);
            entry.resize(kEntrySize, 0);
            entries.push_back(std::move(entry));
        }
        size_t perBlock = std::max<size_t>(1, profile_.blockSize / kEntrySize);
        s.blocks.clear();
        for (size_t i = 0; i < entries.size(); i += perBlock) {
            std::vector<uint8_t> block;
            for (size_t j = i; j < std::min(entries.size(), i + perBlock); ++j)
                block.insert(block.end(), entries[j].begin(), entries[j].end());
            s.blocks.push_back(std::move(block));
        }
        if (s.blocks.empty()) s.blocks.emplace_back();
        s.stream = State::Stream::Catalogue;
        s.nextBlock = 0;
        nextBlock(State::Stream::Catalogue);
        return true;
    }
    case kPropCatalogueNext:
        if (length != 0) return false;
        nextBlock(State::Stream::Catalogue);
        return true;
    case kPropFileOpen: {
        if (length != kFileNameRecordSize) return false;
        auto file = findFile(buffer);
        if (file == profile_.files.end()) {
            s.stream = State::Stream::None;
            storageAnswer({}, kStatusError);
            return true;
        }
        size_t blockSize = std::max<uint32_t>(1, profile_.blockSize);
        const std::vector<uint8_t>& content = file->content;
        s.blocks.clear();
        for (size_t i = 0; i < content.size(); i += blockSize)
            s.blocks.emplace_back(content.begin() + i,
                                  content.begin() + std::min(content.size(), i + blockSize));
        if (s.blocks.empty()) s.blocks.emplace_back();
        s.stream = State::Stream::File;
        s.nextBlock = 0;
        nextBlock(State::Stream::File);
        return true;
    }
    case kPropFileNext:
        if (length != 0) return false;
        nextBlock(State::Stream::File);
        return true;
    case kPropFileDelete: {
        if (length != kFileNameRecordSize) return false;
        auto file = findFile(buffer);
        if (file == profile_.files.end()) {
            storageAnswer({}, kStatusError);
            return true;
        }
        profile_.files.erase(file);
        // A file being read is abandoned (it may be the one deleted); a listing goes on.
        if (s.stream == State::Stream::File) s.stream = State::Stream::None;
        storageAnswer({}, kStatusReady);
        return true;
    }
    default: return false;
    }
}

std::string FormatTraceRecord(const TraceRecord& record) {
    std::string line = record.isGet ? "get " : "set ";
    line += std::to_string(record.property);
    line += " len=" + std::to_string(record.length);
    if (record.bufferNull) line += " null";
    char hex[4];
    for (uint8_t byte : record.bytes) {
        std::snprintf(hex, sizeof hex, " %02x", byte);
        line += hex;
    }
    line += record.ok ? " ok" : " fail";
    return line;
}

bool ParseTraceRecord(const std::string& line, TraceRecord& record) {
    std::vector<std::string> words;
    if (!line.empty() && line.back() == ' ') return false;
    size_t start = 0;
    while (start < line.size()) {
        size_t end = line.find(' ', start);
        if (end == std::string::npos) end = line.size();
        if (end == start) return false;  // words are separated by exactly one blank
        words.push_back(line.substr(start, end - start));
        start = end + 1;
    }
    if (words.size() < 4 || (words[0] != "get" && words[0] != "set")) return false;
    auto number = [](const std::string& text, uint32_t& value) {
        if (text.empty() || text.size() > 10 ||
            text.find_first_not_of("0123456789") != std::string::npos)
            return false;
        unsigned long long v = std::stoull(text);
        if (v > 0xFFFFFFFFull) return false;
        value = uint32_t(v);
        return true;
    };
    TraceRecord parsed;
    parsed.isGet = words[0] == "get";
    if (!number(words[1], parsed.property)) return false;
    if (words[2].compare(0, 4, "len=") != 0 || !number(words[2].substr(4), parsed.length))
        return false;
    size_t i = 3;
    if (words[i] == "null") {
        parsed.bufferNull = true;
        ++i;
    }
    for (; i + 1 < words.size(); ++i) {
        const std::string& hex = words[i];
        if (hex.size() != 2 || hex.find_first_not_of("0123456789abcdef") != std::string::npos)
            return false;
        parsed.bytes.push_back(uint8_t(std::stoul(hex, nullptr, 16)));
    }
    if (i != words.size() - 1 || (words[i] != "ok" && words[i] != "fail")) return false;
    parsed.ok = words[i] == "ok";
    record = std::move(parsed);
    return true;
}

bool ModelTransport::FindDevice(const char* friendlyName) {
    // The device search compares names converted into an 80-byte buffer, so a name of 80
    // bytes or more never matches.
    const std::string& name = model_.profile().friendlyName;
    held_ = !model_.unplugged() && name.size() < 80 && name == friendlyName;
    return held_;
}

bool ModelTransport::GetProperty(uint32_t id, void* buffer, uint32_t length) {
    if (!held_ || !model_.Supports(id, true)) return false;
    return model_.Get(id, buffer, length);
}

bool ModelTransport::SetProperty(uint32_t id, const void* buffer, uint32_t length) {
    if (!held_ || !model_.Supports(id, false)) return false;
    return model_.Set(id, buffer, length);
}

}  // namespace camsim
