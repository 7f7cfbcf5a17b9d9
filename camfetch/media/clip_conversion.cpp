#include "clip_conversion.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "frame_decoder.h"
#include "frame_workers.h"

namespace media {
namespace {

constexpr uint32_t kHandlerMjpg = MakeFourCC('M', 'J', 'P', 'G');
constexpr uint32_t kHandlerI420 = MakeFourCC('I', '4', '2', '0');
constexpr uint64_t kSpaceMargin = 8192;
constexpr size_t kWaveFormatSize = 18;        // WAVEFORMATEX with cbSize
constexpr uint32_t kDefaultAudioRun = 65536;  // bytes, when the clip suggests no buffer size
constexpr uint32_t kLargestAudioRun = 1 << 20;
// The largest picture a clip's header may ask for. The header is untrusted and the frame
// buffers are sized from it before any frame is read: beyond these the clip is refused.
constexpr uint32_t kLargestFrameSide = 8192;
constexpr uint64_t kLargestFrameBytes = 64u << 20;  // I420, 8K UHD fits
// The frame buffers of the frames being decoded side by side, at most: fewer workers decode
// large pictures.
constexpr uint64_t kLargestBytesInFlight = 256u << 20;

void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

// The 40-byte BITMAPINFOHEADER of the converted video.
std::vector<uint8_t> I420Format(uint32_t width, uint32_t height, uint32_t frameSize) {
    std::vector<uint8_t> format(40, 0);
    Put32(&format[0], 40);
    Put32(&format[4], width);
    Put32(&format[8], height);
    Put16(&format[12], 1);
    Put16(&format[14], 12);
    Put32(&format[16], kHandlerI420);
    Put32(&format[20], frameSize);
    return format;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// One conversion's open files and streams. Members are released in reverse order of
// declaration: the output's streams, the output, the clip's streams, the clip.
class Conversion {
public:
    Conversion(ClipPlatform& platform, bool mirror, const ConvertOptions& options)
        : platform_(platform), mirror_(mirror), options_(options), decoder_(options.decodePath) {}

    ConvertResult Run(const std::string& path, std::string& outputPath);

private:
    ConvertResult OpenSource(const std::string& path);
    ConvertResult PrepareAudioFormat(std::vector<uint8_t>& format);
    ConvertResult WriteVideo();
    size_t ReadFrame(int32_t position, std::vector<uint8_t>& compressed);
    ConvertResult PutFrame(int32_t position, const uint8_t* frame, const DecodeResult& decoded);
    bool Cancelled() const { return options_.control && options_.control->Cancelled(); }
    ConvertResult WriteAudio(const std::vector<uint8_t>& format);

    ClipPlatform& platform_;
    bool mirror_;
    const ConvertOptions& options_;
    FrameDecoder decoder_;
    int32_t decodedFrames_ = 0;
    AviFileInfo info_;
    AviStream* video_ = nullptr;
    AviStream* audio_ = nullptr;
    AviStreamInfo videoInfo_;
    AviStreamInfo audioInfo_;
    std::unique_ptr<AviFile> source_;
    std::vector<std::unique_ptr<AviStream>> streams_;
    std::unique_ptr<AviFile> output_;
    std::unique_ptr<AviStream> outVideo_;
    std::unique_ptr<AviStream> outAudio_;
};

ConvertResult Conversion::OpenSource(const std::string& path) {
    source_ = platform_.OpenClip(path);
    if (!source_ || !source_->Info(info_)) return ConvertResult::CannotOpen;
    for (uint32_t i = 0; i < info_.streams; ++i) {
        std::unique_ptr<AviStream> stream = source_->GetStream(i);
        if (!stream) return ConvertResult::CannotGetStream;
        streams_.push_back(std::move(stream));
    }
    // The last stream of each type is the one converted.
    for (auto& stream : streams_) {
        AviStreamInfo info;
        if (!stream->Info(info)) return ConvertResult::CannotGetStream;
        if (info.fccType == kStreamTypeVideo) {
            video_ = stream.get();
            videoInfo_ = info;
        } else if (info.fccType == kStreamTypeAudio) {
            audio_ = stream.get();
            audioInfo_ = info;
        }
    }
    if (!video_ || videoInfo_.fccHandler != kHandlerMjpg || info_.width == 0 || info_.height == 0)
        return ConvertResult::NotMotionJpeg;
    return ConvertResult::Converted;
}

// The output's wave format: the clip's, as an 18-byte WAVEFORMATEX without extra bytes; a
// longer format (one that needs its extra bytes to be decoded) is kept whole.
ConvertResult Conversion::PrepareAudioFormat(std::vector<uint8_t>& format) {
    int32_t size = 0;
    const int32_t start = audio_->Start();
    // A WAVEFORMATEX counts its extra bytes in 16 bits: a longer format is no wave format.
    if (audio_->ReadFormat(start, nullptr, &size) != 0 || size <= 0 ||
        size_t(size) > kWaveFormatSize + 0xFFFF)
        return ConvertResult::CannotSetFormat;
    format.assign(std::max<size_t>(size_t(size), kWaveFormatSize), 0);
    int32_t got = size;
    if (audio_->ReadFormat(start, format.data(), &got) != 0) return ConvertResult::CannotSetFormat;
    if (size_t(size) <= kWaveFormatSize) {
        format.resize(kWaveFormatSize);
        Put16(&format[16], 0);
    }
    return ConvertResult::Converted;
}

// Reads the frame at `position` into `compressed`, sized by the frame itself (a frame may be
// larger than an I420 frame); its byte count, 0 for a frame that cannot be read.
size_t Conversion::ReadFrame(int32_t position, std::vector<uint8_t>& compressed) {
    int32_t size = 0;
    // A frame larger than the largest picture is not decoded: its buffer is not allocated.
    if (video_->Read(position, 1, nullptr, 0, &size, nullptr) != 0 || size < 0 ||
        uint64_t(size) > kLargestFrameBytes)
        size = 0;
    if (size_t(size) > compressed.size()) compressed.resize(size_t(size));
    int32_t got = 0;
    if (size == 0 ||
        video_->Read(position, 1, compressed.data(), int32_t(compressed.size()), &got, nullptr) !=
            0 ||
        got < 0)
        got = 0;
    return size_t(got);
}

// Writes one decoded frame (empty when it could not be decoded) at its position.
ConvertResult Conversion::PutFrame(int32_t position, const uint8_t* frame,
                                   const DecodeResult& decoded) {
    if (decoded.error == 0) ++decodedFrames_;
    if (outVideo_->Write(position, 1, frame, int32_t(decoded.length), kKeyFrameFlag) != 0)
        return ConvertResult::WriteFailed;
    if (options_.control) options_.control->FrameDone();
    return ConvertResult::Converted;
}

ConvertResult Conversion::WriteVideo() {
    const uint32_t width = info_.width, height = info_.height;
    const size_t frameSize = I420FrameSize(width, height);
    const int32_t start = video_->Start();
    // In 64 bits: a start near the limit must not wrap. Positions past the last one a 32-bit
    // position can name are not written, so such a clip fails the final length check.
    const int64_t end = std::min<int64_t>(int64_t(start) + std::max<int32_t>(video_->Length(), 0),
                                          int64_t(INT32_MAX) + 1);
    if (options_.control) options_.control->Start(int32_t(end - start));

    // Two slots of two frame buffers per worker.
    const uint64_t workerBytes = 4 * uint64_t(frameSize);
    const unsigned workers = unsigned(std::min<uint64_t>(
        options_.workers, std::max<uint64_t>(kLargestBytesInFlight / workerBytes, 1)));
    std::unique_ptr<FrameWorkers> pool;
    if (workers > 1)
        pool = std::make_unique<FrameWorkers>(workers, options_.decodePath, mirror_, width, height,
                                              options_.startThread);
    if (pool && pool->Workers() > 0) {
        // Reads run ahead of the writes while a slot is free; the frames are written in order.
        for (int64_t position = start; position < end || pool->Pending();) {
            if (Cancelled()) return ConvertResult::Cancelled;
            if (position < end && !pool->Full()) {
                FrameWorkers::Slot& slot = pool->Next();
                slot.position = int32_t(position);
                slot.length = ReadFrame(slot.position, slot.compressed);
                pool->Submit();
                ++position;
                continue;
            }
            FrameWorkers::Slot& slot = pool->Oldest();
            const ConvertResult code = PutFrame(slot.position, slot.frame.data(), slot.result);
            pool->Release();
            if (code != ConvertResult::Converted) return code;
        }
    } else {
        std::vector<uint8_t> compressed(frameSize);
        std::vector<uint8_t> frame(frameSize);
        for (int64_t position = start; position < end; ++position) {
            if (Cancelled()) return ConvertResult::Cancelled;
            const int32_t p = int32_t(position);
            const size_t got = ReadFrame(p, compressed);
            // A frame that cannot be decoded is written empty, and the next one follows.
            DecodeResult decoded = decoder_.DecodeFrameToI420(compressed.data(), got, frame.data(),
                                                              frameSize, width, height);
            if (decoded.error == 0 && mirror_) MirrorI420Frame(frame.data(), width, height, width);
            const ConvertResult code = PutFrame(p, frame.data(), decoded);
            if (code != ConvertResult::Converted) return code;
        }
    }
    // A clip of nothing but empty frames would replace the user's video with nothing.
    if (end > start && decodedFrames_ == 0) return ConvertResult::NoFrameDecoded;
    return ConvertResult::Converted;
}

// Copies the sound in runs of whole samples, appended one after the other.
ConvertResult Conversion::WriteAudio(const std::vector<uint8_t>& format) {
    uint32_t blockAlign = format.size() >= 14 ? uint32_t(format[12] | format[13] << 8) : 0;
    if (blockAlign == 0) blockAlign = std::max<uint32_t>(audioInfo_.dwSampleSize, 1);
    // The header's sample size is untrusted: a sample larger than a whole run is no sound
    // the conversion copies (0xFFFFFFFF would ask for a 4 GB buffer).
    if (blockAlign > kLargestAudioRun) return ConvertResult::NotEnoughSpace;
    // The clip's suggested buffer size, within reason: a run of at least one sample and at
    // most a megabyte.
    uint32_t bufferSize = audioInfo_.dwSuggestedBufferSize;
    if (bufferSize < blockAlign) bufferSize = kDefaultAudioRun;
    bufferSize = std::min(bufferSize, kLargestAudioRun);
    const int32_t run = int32_t(std::max<uint32_t>(bufferSize / blockAlign, 1));
    std::vector<uint8_t> buffer(size_t(run) * blockAlign);
    const int64_t end = int64_t(audio_->Start()) + std::max<int32_t>(audio_->Length(), 0);
    for (int64_t position = audio_->Start(); position < end;) {
        const int32_t n = int32_t(std::min<int64_t>(run, end - position));
        int32_t bytes = 0;
        if (audio_->Read(int32_t(position), n, nullptr, 0, &bytes, nullptr) != 0 || bytes < 0)
            return ConvertResult::WriteFailed;
        if (uint32_t(bytes) > kLargestAudioRun) return ConvertResult::NotEnoughSpace;
        if (size_t(bytes) > buffer.size()) buffer.resize(size_t(bytes));
        int32_t got = 0, samples = 0;
        if (audio_->Read(int32_t(position), n, buffer.data(), int32_t(buffer.size()), &got,
                         &samples) != 0 ||
            samples <= 0)
            return ConvertResult::WriteFailed;
        if (outAudio_->Write(kAppendPosition, samples, buffer.data(), got, kKeyFrameFlag) != 0)
            return ConvertResult::WriteFailed;
        position += samples;
    }
    return ConvertResult::Converted;
}

ConvertResult Conversion::Run(const std::string& path, std::string& outputPath) {
    if (ConvertResult code = OpenSource(path); code != ConvertResult::Converted) return code;
    if (info_.width > kLargestFrameSide || info_.height > kLargestFrameSide ||
        I420FrameSize(info_.width, info_.height) > kLargestFrameBytes)
        return ConvertResult::NotEnoughSpace;

    const std::string folder = FolderOf(path);
    uint64_t freeSpace = 0;
    const bool knowSpace = platform_.FreeSpace(folder, freeSpace);

    std::string placeholder;
    if (!platform_.MakeTempFile(folder, "Zan", placeholder) || placeholder.size() < 4)
        return ConvertResult::CannotOpen;
    outputPath = placeholder.substr(0, placeholder.size() - 4) + ".avi";
    platform_.RemoveFile(placeholder);
    output_ = platform_.CreateClip(outputPath);
    if (!output_) return ConvertResult::CannotOpen;

    const uint64_t frameSize = I420FrameSize(info_.width, info_.height);
    const uint64_t frames = uint64_t(std::max<int32_t>(video_->Length(), 0));
    if (knowSpace && freeSpace < frames * frameSize + kSpaceMargin)
        return ConvertResult::NotEnoughSpace;
    if (frameSize > 0x7FFFFFFF) return ConvertResult::NotEnoughSpace;

    // Every output stream exists, with its format, before the first frame is written.
    AviStreamInfo outInfo = videoInfo_;
    outInfo.fccHandler = kHandlerI420;
    outInfo.dwSuggestedBufferSize = uint32_t(frameSize);
    outVideo_ = output_->CreateStream(outInfo);
    if (!outVideo_) return ConvertResult::CannotCreateStream;
    const std::vector<uint8_t> videoFormat =
        I420Format(info_.width, info_.height, uint32_t(frameSize));
    if (outVideo_->SetFormat(0, videoFormat.data(), int32_t(videoFormat.size())) != 0)
        return ConvertResult::CannotSetFormat;
    std::vector<uint8_t> audioFormat;
    if (audio_) {
        ConvertResult code = PrepareAudioFormat(audioFormat);
        if (code != ConvertResult::Converted) return code;
        outAudio_ = output_->CreateStream(audioInfo_);
        if (!outAudio_) return ConvertResult::CannotCreateStream;
        if (outAudio_->SetFormat(1, audioFormat.data(), int32_t(audioFormat.size())) != 0)
            return ConvertResult::CannotSetFormat;
    }

    if (ConvertResult code = WriteVideo(); code != ConvertResult::Converted) return code;
    if (audio_) {
        ConvertResult code = WriteAudio(audioFormat);
        if (code != ConvertResult::Converted) return code;
    }

    // Close the output and check that it reads back whole before it replaces the clip.
    outAudio_.reset();
    outVideo_.reset();
    output_.reset();
    std::unique_ptr<AviFile> check = platform_.OpenClip(outputPath);
    AviFileInfo checkInfo;
    if (!check || !check->Info(checkInfo) || checkInfo.streams != (audio_ ? 2u : 1u))
        return ConvertResult::WriteFailed;
    std::unique_ptr<AviStream> checkVideo = check->GetStream(0);
    if (!checkVideo || checkVideo->Length() != int32_t(frames)) return ConvertResult::WriteFailed;
    return ConvertResult::Converted;
}

}  // namespace

ConvertResult ConvertClipToI420(const std::string& path, ClipPlatform& platform, Registry& registry,
                                UsbCameraSettings& settings, const ConvertOptions& options) {
    LoadUsbCameraSettings(settings, registry);
    std::string outputPath;
    ConvertResult code;
    try {
        Conversion conversion(platform, settings.mirror, options);
        code = conversion.Run(path, outputPath);
    } catch (const std::bad_alloc&) {
        code = ConvertResult::NotEnoughSpace;
    }
    // Every file is closed here, and every worker has stopped.
    if (code == ConvertResult::Converted && options.control && options.control->Cancelled())
        code = ConvertResult::Cancelled;
    if (code == ConvertResult::Converted && !platform.ReplaceFile(outputPath, path))
        code = ConvertResult::CannotOpen;
    if (code != ConvertResult::Converted && !outputPath.empty()) platform.RemoveFile(outputPath);
    return code;
}

}  // namespace media
