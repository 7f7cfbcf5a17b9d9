#include "riff_avi.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

namespace media {
namespace {

constexpr long kOk = 0;
constexpr long kError = -1;
constexpr uint32_t kRiff = MakeFourCC('R', 'I', 'F', 'F');
constexpr uint32_t kList = MakeFourCC('L', 'I', 'S', 'T');
constexpr uint64_t kRiffLimit = 0xFFFFFFF0u;  // a RIFF size field is 32 bits
constexpr uint32_t kAviHasIndex = 0x10;

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
uint32_t Get32(const uint8_t* p) { return uint32_t(Get16(p)) | uint32_t(Get16(p + 2)) << 16; }
void Add16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
void Add32(std::vector<uint8_t>& out, uint32_t v) {
    Add16(out, v);
    Add16(out, v >> 16);
}
void Set32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool ReadAt(std::FILE* f, uint64_t offset, void* data, size_t size) {
    return fseeko(f, off_t(offset), SEEK_SET) == 0 && std::fread(data, 1, size, f) == size;
}

// ---- Reading ----

struct Chunk {
    uint64_t offset;  // of the data
    uint32_t size;
};

struct ReadStreamData {
    AviStreamInfo info;
    std::vector<uint8_t> format;
    std::vector<Chunk> chunks;
    std::vector<uint64_t> before;  // bytes of the stream before each chunk
    uint64_t totalBytes = 0;
};

struct ReadFileData {
    FilePtr file;
    AviFileInfo info;
    std::vector<ReadStreamData> streams;
};

void ParseStreamHeader(const std::vector<uint8_t>& d, AviStreamInfo& info) {
    if (d.size() < 48) return;
    info.fccType = Get32(&d[0]);
    info.fccHandler = Get32(&d[4]);
    info.dwFlags = Get32(&d[8]);
    info.wPriority = Get16(&d[12]);
    info.wLanguage = Get16(&d[14]);
    info.dwInitialFrames = Get32(&d[16]);
    info.dwScale = Get32(&d[20]);
    info.dwRate = Get32(&d[24]);
    info.dwStart = Get32(&d[28]);
    info.dwLength = Get32(&d[32]);
    info.dwSuggestedBufferSize = Get32(&d[36]);
    info.dwQuality = Get32(&d[40]);
    info.dwSampleSize = Get32(&d[44]);
    if (d.size() >= 56) {
        for (int i = 0; i < 4; ++i) info.rcFrame[i] = int16_t(Get16(&d[48 + 2 * i]));
    }
}

class RiffParser {
public:
    RiffParser(ReadFileData& data, uint64_t fileSize) : d_(data), fileSize_(fileSize) {}

    bool Parse() {
        uint64_t at = 0;
        bool first = true;
        while (at + 12 <= fileSize_) {
            uint8_t head[12];
            if (!ReadAt(d_.file.get(), at, head, 12) || Get32(head) != kRiff) break;
            const uint32_t form = Get32(head + 8);
            if (first && form != MakeFourCC('A', 'V', 'I', ' ')) return false;
            if (!first && form != MakeFourCC('A', 'V', 'I', 'X')) break;
            const uint64_t end = std::min<uint64_t>(at + 8 + Get32(head + 4), fileSize_);
            if (!ParseChunks(at + 12, end, first)) return false;
            if (first && !haveHeader_) return false;
            first = false;
            at = end + (end & 1);
        }
        if (first) return false;
        for (ReadStreamData& s : d_.streams) {
            s.before.reserve(s.chunks.size());
            for (const Chunk& c : s.chunks) {
                s.before.push_back(s.totalBytes);
                s.totalBytes += c.size;
            }
        }
        return true;
    }

private:
    bool ParseChunks(uint64_t at, uint64_t end, bool headers) {
        while (at + 8 <= end) {
            uint8_t head[12];
            if (!ReadAt(d_.file.get(), at, head, 8)) return false;
            const uint32_t id = Get32(head);
            const uint32_t size = Get32(head + 4);
            if (id == kList && at + 12 <= end) {
                if (!ReadAt(d_.file.get(), at + 8, head + 8, 4)) return false;
                const uint32_t type = Get32(head + 8);
                const uint64_t listEnd = std::min<uint64_t>(at + 8 + uint64_t(size), end);
                if (type == MakeFourCC('m', 'o', 'v', 'i')) {
                    ScanMovi(at + 12, listEnd);
                } else if (headers && (type == MakeFourCC('h', 'd', 'r', 'l') ||
                                       type == MakeFourCC('s', 't', 'r', 'l'))) {
                    if (type == MakeFourCC('s', 't', 'r', 'l')) d_.streams.emplace_back();
                    if (!ParseChunks(at + 12, listEnd, headers)) return false;
                }
            } else if (headers && at + 8 + uint64_t(size) <= end) {
                if (!ParseHeaderChunk(id, at + 8, size)) return false;
            }
            at += 8 + uint64_t(size) + (size & 1);
        }
        return true;
    }

    bool ParseHeaderChunk(uint32_t id, uint64_t at, uint32_t size) {
        const bool known = id == MakeFourCC('a', 'v', 'i', 'h') ||
                           (!d_.streams.empty() && (id == MakeFourCC('s', 't', 'r', 'h') ||
                                                    id == MakeFourCC('s', 't', 'r', 'f') ||
                                                    id == MakeFourCC('s', 't', 'r', 'n')));
        if (!known || size > (1u << 20)) return true;
        std::vector<uint8_t> data(size);
        if (!ReadAt(d_.file.get(), at, data.data(), size)) return false;
        if (id == MakeFourCC('a', 'v', 'i', 'h')) {
            if (size < 40) return false;
            d_.info.streams = Get32(&data[24]);
            d_.info.width = Get32(&data[32]);
            d_.info.height = Get32(&data[36]);
            haveHeader_ = true;
        } else if (id == MakeFourCC('s', 't', 'r', 'h')) {
            ParseStreamHeader(data, d_.streams.back().info);
        } else if (id == MakeFourCC('s', 't', 'r', 'f')) {
            d_.streams.back().format = std::move(data);
        } else {
            char* name = d_.streams.back().info.szName;
            size_t n = std::min<size_t>(size, sizeof d_.streams.back().info.szName - 1);
            if (n > 0) std::memcpy(name, data.data(), n);  // an empty chunk has no data to copy
            name[n] = '\0';
        }
        return true;
    }

    // Data chunks are named by their stream's number in two decimal digits ("01wb").
    void ScanMovi(uint64_t at, uint64_t end) {
        while (at + 8 <= end) {
            uint8_t head[8];
            if (!ReadAt(d_.file.get(), at, head, 8)) return;
            const uint32_t size = Get32(head + 4);
            if (Get32(head) == kList) {
                at += 12;  // 'rec ' groups: their chunks follow in line
                continue;
            }
            if (at + 8 + uint64_t(size) > end) return;  // cut short
            if (head[0] >= '0' && head[0] <= '9' && head[1] >= '0' && head[1] <= '9') {
                const size_t stream = size_t(head[0] - '0') * 10 + size_t(head[1] - '0');
                if (stream < d_.streams.size()) d_.streams[stream].chunks.push_back({at + 8, size});
            }
            at += 8 + uint64_t(size) + (size & 1);
        }
    }

    ReadFileData& d_;
    uint64_t fileSize_;
    bool haveHeader_ = false;
};

class RiffReadStream : public AviStream {
public:
    RiffReadStream(std::shared_ptr<ReadFileData> file, size_t index)
        : file_(std::move(file)), s_(file_->streams[index]) {}

    bool Info(AviStreamInfo& info) override {
        info = s_.info;
        return true;
    }
    int32_t Start() override { return int32_t(s_.info.dwStart); }
    int32_t Length() override {
        const uint64_t n =
            s_.info.dwSampleSize ? s_.totalBytes / s_.info.dwSampleSize : s_.chunks.size();
        return int32_t(std::min<uint64_t>(n, 0x7FFFFFFF));
    }

    long Read(int32_t position, int32_t samples, void* buffer, int32_t capacity, int32_t* bytes,
              int32_t* samplesRead) override {
        const int64_t first = int64_t(position) - Start();
        if (first < 0 || first >= Length() || samples <= 0) return kError;
        std::FILE* f = file_->file.get();
        if (s_.info.dwSampleSize == 0) {  // one chunk per position
            const Chunk& c = s_.chunks[size_t(first)];
            if (bytes) *bytes = int32_t(c.size);
            if (samplesRead) *samplesRead = 1;
            if (!buffer) return kOk;
            if (capacity < 0 || uint32_t(capacity) < c.size) return kError;
            return ReadAt(f, c.offset, buffer, c.size) ? kOk : kError;
        }
        const uint64_t sampleSize = s_.info.dwSampleSize;
        uint64_t count = std::min<uint64_t>(uint64_t(samples), uint64_t(Length() - first));
        if (buffer) count = std::min<uint64_t>(count, uint64_t(std::max(capacity, 0)) / sampleSize);
        if (count == 0) return kError;
        uint64_t from = uint64_t(first) * sampleSize;
        uint64_t left = count * sampleSize;
        if (bytes) *bytes = int32_t(left);
        if (samplesRead) *samplesRead = int32_t(count);
        if (!buffer) return kOk;
        uint8_t* out = static_cast<uint8_t*>(buffer);
        size_t k =
            size_t(std::upper_bound(s_.before.begin(), s_.before.end(), from) - s_.before.begin()) -
            1;
        for (; left > 0 && k < s_.chunks.size(); ++k) {
            const uint64_t skip = from - s_.before[k];
            const uint64_t take = std::min<uint64_t>(s_.chunks[k].size - skip, left);
            if (!ReadAt(f, s_.chunks[k].offset + skip, out, size_t(take))) return kError;
            out += take;
            from += take;
            left -= take;
        }
        return left == 0 ? kOk : kError;
    }

    long ReadFormat(int32_t, void* format, int32_t* size) override {
        if (!size) return kError;
        const int32_t have = int32_t(s_.format.size());
        const int32_t copy = std::clamp(*size, 0, have);
        if (format && copy > 0) std::memcpy(format, s_.format.data(), size_t(copy));
        const bool fits = !format || *size >= have;
        *size = have;
        return fits ? kOk : kError;
    }
    long SetFormat(int32_t, const void*, int32_t) override { return kError; }
    long Write(int32_t, int32_t, const void*, int32_t, uint32_t) override { return kError; }

private:
    std::shared_ptr<ReadFileData> file_;
    ReadStreamData& s_;
};

class RiffReadFile : public AviFile {
public:
    explicit RiffReadFile(std::shared_ptr<ReadFileData> data) : data_(std::move(data)) {}
    bool Info(AviFileInfo& info) override {
        info = data_->info;
        return true;
    }
    std::unique_ptr<AviStream> GetStream(uint32_t index) override {
        if (index >= data_->streams.size() || index >= data_->info.streams) return nullptr;
        return std::make_unique<RiffReadStream>(data_, index);
    }
    std::unique_ptr<AviStream> CreateStream(const AviStreamInfo&) override { return nullptr; }

private:
    std::shared_ptr<ReadFileData> data_;
};

// ---- Writing ----

struct WriteStreamData {
    AviStreamInfo info;
    std::vector<uint8_t> format;
    uint64_t length = 0;  // positions written
    uint32_t largest = 0;
};

struct IndexEntry {
    uint32_t id, flags, offset, size;
};

// The written file: bytes go out in order, small pieces gathered in a buffer and a large
// piece (a frame) written together with what is gathered, in one system call, without copying.
// The disk starts writing each stretch as soon as it is complete, so that the flush which
// makes the file durable before it replaces the clip finds little left to do.
class SequentialOutput {
public:
    explicit SequentialOutput(int fd) : fd_(fd) { pending_.reserve(kGather); }
    ~SequentialOutput() { Close(); }

    bool Put(const void* data, size_t size) {
        if (failed_) return false;
        if (pending_.size() + size <= kGather) {
            const uint8_t* p = static_cast<const uint8_t*>(data);
            pending_.insert(pending_.end(), p, p + size);
            return true;
        }
        return Write(data, size);
    }
    bool Flush() { return failed_ ? false : Write(nullptr, 0); }
    // Overwrites bytes already written (the headers, once the sizes are known).
    bool PutAt(uint64_t offset, const void* data, size_t size) {
        if (!Flush()) return false;
        const uint8_t* p = static_cast<const uint8_t*>(data);
        while (size > 0) {
            const ssize_t n = pwrite(fd_, p, size, off_t(offset));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return Fail();
            p += n;
            offset += uint64_t(n);
            size -= size_t(n);
        }
        return true;
    }
    // Closes the file; false when anything failed, closing included.
    bool Close() {
        if (fd_ < 0) return !failed_;
        Flush();
        if (::close(fd_) != 0) failed_ = true;
        fd_ = -1;
        return !failed_;
    }

private:
    static constexpr size_t kGather = 64 * 1024;

    bool Fail() {
        failed_ = true;
        return false;
    }
    // Writes what is gathered, then `data`.
    bool Write(const void* data, size_t size) {
        iovec parts[2] = {{pending_.data(), pending_.size()}, {const_cast<void*>(data), size}};
        iovec* part = parts;
        int count = 2;
        while (count > 0) {
            if (part->iov_len == 0) {
                ++part;
                --count;
                continue;
            }
            const ssize_t n = writev(fd_, part, count);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return Fail();
            for (size_t left = size_t(n); left > 0;) {
                const size_t used = std::min(left, part->iov_len);
                part->iov_base = static_cast<uint8_t*>(part->iov_base) + used;
                part->iov_len -= used;
                left -= used;
                if (part->iov_len == 0) {
                    ++part;
                    --count;
                }
            }
        }
        written_ += pending_.size() + size;
        pending_.clear();
        WriteBehind();
        return true;
    }

    void WriteBehind() {
#ifdef SYNC_FILE_RANGE_WRITE
        if (written_ - started_ < kWriteBehind) return;
        // Only a start: whether the data reached the disk is asked when the file is flushed.
        sync_file_range(fd_, off_t(started_), off_t(written_ - started_), SYNC_FILE_RANGE_WRITE);
        started_ = written_;
#endif
    }

    static constexpr uint64_t kWriteBehind = 8 << 20;

    int fd_;
    std::vector<uint8_t> pending_;
    bool failed_ = false;
    uint64_t written_ = 0;  // bytes written in order from the start of the file
    uint64_t started_ = 0;  // the disk was asked to write the bytes before this offset
};

class WriterState {
public:
    explicit WriterState(int fd) : out_(fd) {}
    ~WriterState() { Finish(); }

    int AddStream(const AviStreamInfo& info) {
        if (started_ || streams_.size() >= 100) return -1;
        streams_.push_back({info, {}, 0, 0});
        return int(streams_.size() - 1);
    }

    long SetFormat(size_t stream, const void* format, int32_t size) {
        if (started_ || size < 0) return kError;
        const uint8_t* p = static_cast<const uint8_t*>(format);
        streams_[stream].format.assign(p, p + size);
        return kOk;
    }

    long Write(size_t stream, int32_t position, int32_t samples, const void* data, int32_t bytes,
               uint32_t flags) {
        WriteStreamData& s = streams_[stream];
        if (failed_ || bytes < 0 || samples < 0) return kError;
        if (!started_ && !Start()) return kError;
        const int64_t end = int64_t(s.info.dwStart) + int64_t(s.length);
        if (position == kAppendPosition) position = int32_t(end);
        if (position < end) return kError;  // no rewriting of what is written
        if (position > end && s.info.dwSampleSize != 0) return kError;
        while (int64_t(position) > int64_t(s.info.dwStart) + int64_t(s.length)) {
            if (!AddChunk(stream, nullptr, 0, 0)) return kError;
            s.length += 1;
        }
        if (!AddChunk(stream, data, uint32_t(bytes), flags)) return kError;
        s.length += s.info.dwSampleSize ? uint64_t(bytes) / s.info.dwSampleSize
                                        : uint64_t(std::max(samples, 1));
        return kOk;
    }

    // Writes the final headers and the index; false when any write failed.
    bool Finish() {
        if (finished_) return !failed_;
        finished_ = true;
        if (!started_ && !Start()) return false;
        std::vector<uint8_t> index;
        index.reserve(8 + index_.size() * 16);
        Add32(index, MakeFourCC('i', 'd', 'x', '1'));
        Add32(index, uint32_t(index_.size() * 16));
        for (const IndexEntry& e : index_) {
            Add32(index, e.id);
            Add32(index, e.flags);
            Add32(index, e.offset);
            Add32(index, e.size);
        }
        if (end_ + index.size() > kRiffLimit) failed_ = true;
        if (failed_) return false;
        std::vector<uint8_t> header = Headers();
        Set32(header, 4, uint32_t(end_ + index.size() - 8));
        Set32(header, header.size() - 8, uint32_t(end_ - (header.size() - 4)));
        if (!out_.Put(index.data(), index.size()) || !out_.PutAt(0, header.data(), header.size()) ||
            !out_.Close())
            failed_ = true;
        return !failed_;
    }

private:
    bool Start() {
        started_ = true;
        std::vector<uint8_t> header = Headers();
        moviStart_ = header.size() - 4;  // offsets in the index count from the 'movi' fourcc
        end_ = header.size();
        if (!out_.Put(header.data(), header.size())) failed_ = true;
        return !failed_;
    }

    bool AddChunk(size_t stream, const void* data, uint32_t size, uint32_t flags) {
        const uint32_t type = streams_[stream].info.fccType;
        const char* suffix = type == kStreamTypeVideo   ? "dc"
                             : type == kStreamTypeAudio ? "wb"
                                                        : "tx";
        const uint32_t id =
            MakeFourCC(char('0' + stream / 10), char('0' + stream % 10), suffix[0], suffix[1]);
        const uint64_t padded = 8 + uint64_t(size) + (size & 1);
        if (end_ + padded + (index_.size() + 1) * 16 + 8 > kRiffLimit) {
            failed_ = true;
            return false;
        }
        uint8_t head[8];
        for (int i = 0; i < 4; ++i) {
            head[i] = uint8_t(id >> (8 * i));
            head[4 + i] = uint8_t(size >> (8 * i));
        }
        static const uint8_t zero = 0;
        if (!out_.Put(head, 8) || (size && !out_.Put(data, size)) ||
            ((size & 1) && !out_.Put(&zero, 1))) {
            failed_ = true;
            return false;
        }
        index_.push_back({id, flags, uint32_t(end_ - moviStart_), size});
        end_ += padded;
        streams_[stream].largest = std::max(streams_[stream].largest, size);
        return true;
    }

    std::vector<uint8_t> Headers() const {
        const WriteStreamData* video = nullptr;
        uint32_t largest = 0;
        for (const WriteStreamData& s : streams_) {
            if (!video && s.info.fccType == kStreamTypeVideo) video = &s;
            largest = std::max(largest, s.largest);
        }
        std::vector<uint8_t> h;
        Add32(h, kRiff);
        Add32(h, 0);
        Add32(h, MakeFourCC('A', 'V', 'I', ' '));
        Add32(h, kList);
        const size_t hdrlSize = h.size();
        Add32(h, 0);
        Add32(h, MakeFourCC('h', 'd', 'r', 'l'));
        Add32(h, MakeFourCC('a', 'v', 'i', 'h'));
        Add32(h, 56);
        uint32_t width = 0, height = 0, frames = 0, usPerFrame = 0;
        if (video) {
            if (video->format.size() >= 12) {
                width = Get32(&video->format[4]);
                const int32_t hgt = int32_t(Get32(&video->format[8]));
                height = uint32_t(hgt < 0 ? -int64_t(hgt) : hgt);
            }
            frames = uint32_t(video->length);
            if (video->info.dwRate)
                usPerFrame = uint32_t(uint64_t(video->info.dwScale) * 1000000 / video->info.dwRate);
        }
        for (uint32_t v : {usPerFrame, 0u, 0u, kAviHasIndex, frames, 0u, uint32_t(streams_.size()),
                           largest, width, height, 0u, 0u, 0u, 0u})
            Add32(h, v);
        for (const WriteStreamData& s : streams_) {
            Add32(h, kList);
            const size_t strlSize = h.size();
            Add32(h, 0);
            Add32(h, MakeFourCC('s', 't', 'r', 'l'));
            Add32(h, MakeFourCC('s', 't', 'r', 'h'));
            Add32(h, 56);
            const AviStreamInfo& i = s.info;
            Add32(h, i.fccType);
            Add32(h, i.fccHandler);
            Add32(h, i.dwFlags);
            Add16(h, i.wPriority);
            Add16(h, i.wLanguage);
            Add32(h, i.dwInitialFrames);
            Add32(h, i.dwScale);
            Add32(h, i.dwRate);
            Add32(h, i.dwStart);
            Add32(h, uint32_t(s.length));
            Add32(h, std::max(i.dwSuggestedBufferSize, s.largest));
            Add32(h, i.dwQuality);
            Add32(h, i.dwSampleSize);
            for (int32_t r : i.rcFrame) Add16(h, uint32_t(r));
            Add32(h, MakeFourCC('s', 't', 'r', 'f'));
            Add32(h, uint32_t(s.format.size()));
            h.insert(h.end(), s.format.begin(), s.format.end());
            if (s.format.size() & 1) h.push_back(0);
            const size_t nameLength = strnlen(i.szName, sizeof i.szName);
            if (nameLength > 0) {
                Add32(h, MakeFourCC('s', 't', 'r', 'n'));
                Add32(h, uint32_t(nameLength + 1));
                h.insert(h.end(), i.szName, i.szName + nameLength);
                h.push_back(0);
                if ((nameLength + 1) & 1) h.push_back(0);
            }
            Set32(h, strlSize, uint32_t(h.size() - strlSize - 4));
        }
        Set32(h, hdrlSize, uint32_t(h.size() - hdrlSize - 4));
        Add32(h, kList);
        Add32(h, 0);  // the movi list's size, set when finishing
        Add32(h, MakeFourCC('m', 'o', 'v', 'i'));
        return h;
    }

    SequentialOutput out_;
    std::vector<WriteStreamData> streams_;
    std::vector<IndexEntry> index_;
    bool started_ = false;
    bool finished_ = false;
    bool failed_ = false;
    uint64_t moviStart_ = 0;
    uint64_t end_ = 0;
};

class RiffWriteStream : public AviStream {
public:
    RiffWriteStream(std::shared_ptr<WriterState> state, size_t index, const AviStreamInfo& info)
        : state_(std::move(state)), index_(index), info_(info) {}
    bool Info(AviStreamInfo& info) override {
        info = info_;
        return true;
    }
    int32_t Start() override { return int32_t(info_.dwStart); }
    int32_t Length() override { return 0; }
    long Read(int32_t, int32_t, void*, int32_t, int32_t*, int32_t*) override { return kError; }
    long ReadFormat(int32_t, void*, int32_t*) override { return kError; }
    long SetFormat(int32_t, const void* format, int32_t size) override {
        return state_->SetFormat(index_, format, size);
    }
    long Write(int32_t position, int32_t samples, const void* data, int32_t bytes,
               uint32_t flags) override {
        return state_->Write(index_, position, samples, data, bytes, flags);
    }

private:
    std::shared_ptr<WriterState> state_;
    size_t index_;
    AviStreamInfo info_;
};

class RiffWriteFile : public AviFile {
public:
    explicit RiffWriteFile(std::shared_ptr<WriterState> state) : state_(std::move(state)) {}
    ~RiffWriteFile() override { state_->Finish(); }
    bool Info(AviFileInfo&) override { return false; }
    std::unique_ptr<AviStream> GetStream(uint32_t) override { return nullptr; }
    std::unique_ptr<AviStream> CreateStream(const AviStreamInfo& info) override {
        const int index = state_->AddStream(info);
        if (index < 0) return nullptr;
        return std::make_unique<RiffWriteStream>(state_, size_t(index), info);
    }

private:
    std::shared_ptr<WriterState> state_;
};

}  // namespace

std::unique_ptr<AviFile> OpenRiffAvi(const std::string& path) {
    auto data = std::make_shared<ReadFileData>();
    data->file.reset(std::fopen(path.c_str(), "rb"));
    if (!data->file || fseeko(data->file.get(), 0, SEEK_END) != 0) return nullptr;
    const off_t size = ftello(data->file.get());
    if (size < 0) return nullptr;
    RiffParser parser(*data, uint64_t(size));
    if (!parser.Parse()) return nullptr;
    return std::make_unique<RiffReadFile>(std::move(data));
}

std::unique_ptr<AviFile> CreateRiffAvi(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    return std::make_unique<RiffWriteFile>(std::make_shared<WriterState>(fd));
}

std::unique_ptr<AviFile> PortableClipPlatform::OpenClip(const std::string& path) {
    return OpenRiffAvi(path);
}

std::unique_ptr<AviFile> PortableClipPlatform::CreateClip(const std::string& path) {
    return CreateRiffAvi(path);
}

bool PortableClipPlatform::FreeSpace(const std::string& folder, uint64_t& bytes) {
    std::error_code error;
    const std::filesystem::space_info info =
        std::filesystem::space(folder.empty() ? "." : folder, error);
    if (error) return false;
    bytes = info.available;
    return true;
}

bool PortableClipPlatform::MakeTempFile(const std::string& folder, const char* prefix,
                                        std::string& path) {
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "%s%X.tmp", prefix, unsigned(random() & 0xFFFF));
        const std::string candidate = folder + name;
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (fd >= 0) {
            ::close(fd);
            path = candidate;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

bool PortableClipPlatform::RemoveFile(const std::string& path) {
    return std::remove(path.c_str()) == 0;
}

namespace {

// Waits until what was written to the file or folder at `path` is on the disk.
bool SyncPath(const std::string& path, int flags) {
    const int fd = ::open(path.empty() ? "." : path.c_str(), O_RDONLY | flags);
    if (fd < 0) return false;
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

}  // namespace

// The converted clip may be the user's only copy once the camera's is deleted: its data is on
// the disk before it takes the clip's name, and the new name is on the disk before success.
bool PortableClipPlatform::ReplaceFile(const std::string& from, const std::string& to) {
    if (!SyncPath(from, 0) || std::rename(from.c_str(), to.c_str()) != 0) return false;
    const size_t slash = to.find_last_of('/');
    return SyncPath(slash == std::string::npos ? std::string() : to.substr(0, slash + 1),
                    O_DIRECTORY);
}

}  // namespace media
