#include "clip_conversion.h"

#include <gtest/gtest.h>

#include "conversion_job.h"
#include <cstring>
#include <filesystem>
#include <future>
#include <optional>
#include <random>
#include <thread>

#include "fake_registry.h"
#include "frame_decoder.h"
#include "jpeg_samples.h"
#include "riff_avi.h"
#include "test_clips.h"

namespace {

using namespace media_test;

const std::string kVideo320 = "-f lavfi -i testsrc2=size=320x240:rate=15:duration=2 ";
const std::string kVideo640 = "-f lavfi -i testsrc2=size=640x480:rate=25:duration=1.2 ";
const std::string kMjpg422 = "-c:v mjpeg -q:v 3 -huffman default -pix_fmt yuvj422p ";
const std::string kMjpg420 = "-c:v mjpeg -q:v 3 -huffman default -pix_fmt yuvj420p ";
const std::string kMono8 =
    "-f lavfi -i sine=frequency=440:sample_rate=8000:duration=2 -c:a pcm_u8 -ac 1 ";
const std::string kStereo16 =
    "-f lavfi -i sine=frequency=300:sample_rate=22050:duration=1.2 -c:a pcm_s16le -ac 2 ";

std::string Clip422Mono() {
    return SourceClip("mjpg422_320_u8mono", kVideo320 + kMono8 + kMjpg422);
}
std::string Clip420Stereo() {
    return SourceClip("mjpg420_640_s16stereo", kVideo640 + kStereo16 + kMjpg420);
}
std::string Clip422Silent640() { return SourceClip("mjpg422_640_silent", kVideo640 + kMjpg422); }
std::string Clip420Silent320() { return SourceClip("mjpg420_320_silent", kVideo320 + kMjpg420); }

// The portable back end with one chosen failure, and a chosen amount of free space.
class FaultyPlatform : public media::ClipPlatform {
public:
    explicit FaultyPlatform(std::string fault = "") : fault(std::move(fault)) {}

    struct Stream : media::AviStream {
        Stream(std::unique_ptr<media::AviStream> s, FaultyPlatform& p, std::string k)
            : inner(std::move(s)), platform(p), kind(std::move(k)) {}
        bool Info(media::AviStreamInfo& i) override { return inner->Info(i); }
        int32_t Start() override { return inner->Start(); }
        int32_t Length() override { return inner->Length(); }
        long Read(int32_t p, int32_t n, void* b, int32_t c, int32_t* bytes, int32_t* got) override {
            return inner->Read(p, n, b, c, bytes, got);
        }
        long ReadFormat(int32_t p, void* f, int32_t* s) override {
            return inner->ReadFormat(p, f, s);
        }
        long SetFormat(int32_t p, const void* f, int32_t s) override {
            if (platform.fault == kind + "-format") return -1;
            return inner->SetFormat(p, f, s);
        }
        long Write(int32_t p, int32_t n, const void* d, int32_t b, uint32_t flags) override {
            if (kind == "video" && platform.beforeFrame) platform.beforeFrame(writes);
            if (kind == "video") platform.videoWrites.push_back(p);
            if (kind == "audio") platform.audioWrites.push_back(p);
            if ((platform.fault == "write-frame-5" && kind == "video" && writes == 5) ||
                (platform.fault == "write-audio" && kind == "audio"))
                return -1;
            ++writes;
            return inner->Write(p, n, d, b, flags);
        }
        std::unique_ptr<media::AviStream> inner;
        FaultyPlatform& platform;
        std::string kind;
        int writes = 0;
    };
    struct File : media::AviFile {
        File(std::unique_ptr<media::AviFile> f, FaultyPlatform& p, std::string at)
            : inner(std::move(f)), platform(p), path(std::move(at)) {}
        // "full-at-close": the volume fills while the output's last data reaches it, so the
        // file ends halfway, though every write of the writer succeeded.
        ~File() override {
            inner.reset();
            if (platform.fault == "full-at-close")
                std::filesystem::resize_file(path, std::filesystem::file_size(path) / 2);
        }
        bool Info(media::AviFileInfo& i) override { return inner->Info(i); }
        std::unique_ptr<media::AviStream> GetStream(uint32_t i) override {
            return inner->GetStream(i);
        }
        std::unique_ptr<media::AviStream> CreateStream(const media::AviStreamInfo& info) override {
            const std::string kind = info.fccType == media::kStreamTypeVideo ? "video" : "audio";
            if (platform.fault == "create-" + kind + "-stream") return nullptr;
            auto stream = inner->CreateStream(info);
            if (!stream) return nullptr;
            return std::make_unique<Stream>(std::move(stream), platform, kind);
        }
        std::unique_ptr<media::AviFile> inner;
        FaultyPlatform& platform;
        std::string path;
    };

    std::unique_ptr<media::AviFile> OpenClip(const std::string& path) override {
        return real.OpenClip(path);
    }
    std::unique_ptr<media::AviFile> CreateClip(const std::string& path) override {
        if (fault == "create-clip") return nullptr;
        auto file = real.CreateClip(path);
        if (!file) return nullptr;
        return std::make_unique<File>(std::move(file), *this, path);
    }
    bool FreeSpace(const std::string& folder, uint64_t& bytes) override {
        if (freeSpace) {
            bytes = *freeSpace;
            return true;
        }
        return real.FreeSpace(folder, bytes);
    }
    bool MakeTempFile(const std::string& folder, const char* prefix, std::string& path) override {
        if (fault == "temp") return false;
        return real.MakeTempFile(folder, prefix, path);
    }
    bool RemoveFile(const std::string& path) override { return real.RemoveFile(path); }
    bool ReplaceFile(const std::string& from, const std::string& to) override {
        if (fault == "replace") return false;
        return real.ReplaceFile(from, to);
    }

    std::string fault;
    std::optional<uint64_t> freeSpace;
    std::function<void(int frame)> beforeFrame;  // before each video frame is written
    std::vector<int32_t> videoWrites, audioWrites;
    media::PortableClipPlatform real;
};

media::ConvertResult Convert(const std::string& path, media::ClipPlatform& platform,
                             std::optional<uint32_t> flip = std::nullopt,
                             const media::ConvertOptions& options = media::ConvertOptions()) {
    FakeRegistry registry(flip);
    media::UsbCameraSettings settings;
    return media::ConvertClipToI420(path, platform, registry, settings, options);
}

media::ConvertOptions Workers(unsigned workers, media::ConvertControl* control = nullptr) {
    media::ConvertOptions options;
    options.workers = workers;
    options.control = control;
    return options;
}

// Converts a copy of `source` in a fresh folder and checks the result with ffprobe and ffmpeg.
void ExpectFaithfulConversion(const std::string& name, const std::string& source, int videoIndex) {
    SCOPED_TRACE(name);
    const std::string folder = FreshFolder(name);
    const std::string clip = folder + "clip.avi";
    CopyFile(source, clip);
    media::PortableClipPlatform platform;
    ASSERT_EQ(Convert(clip, platform), media::ConvertResult::Converted);
    EXPECT_TRUE(LeftoverTemporaries(folder).empty());

    const auto before = Probe(source);
    const auto after = Probe(clip);
    const std::map<std::string, std::string>* sourceVideo = nullptr;
    const std::map<std::string, std::string>* sourceAudio = nullptr;
    int videos = 0;
    for (const auto& s : before) {
        if (s.at("codec_type") == "video" && videos++ == videoIndex) sourceVideo = &s;
        if (s.at("codec_type") == "audio") sourceAudio = &s;
    }
    ASSERT_TRUE(sourceVideo);
    ASSERT_EQ(after.size(), sourceAudio ? 2u : 1u);
    const auto& video = after[0];
    EXPECT_EQ(video.at("codec_type"), "video");
    EXPECT_EQ(video.at("codec_name"), "rawvideo");
    EXPECT_EQ(video.at("pix_fmt"), "yuv420p");
    for (const char* key : {"width", "height", "r_frame_rate", "nb_read_packets"})
        EXPECT_EQ(video.at(key), sourceVideo->at(key)) << key;
    if (sourceAudio) {
        const auto& audio = after[1];
        for (const char* key :
             {"codec_type", "codec_name", "sample_rate", "channels", "bits_per_sample"})
            EXPECT_EQ(audio.at(key), sourceAudio->at(key)) << key;
        const std::vector<uint8_t> sourceSound = AudioBytes(source);
        EXPECT_GT(sourceSound.size(), 1000u);
        EXPECT_TRUE(AudioBytes(clip) == sourceSound) << "audio bytes differ";
    }

    const uint32_t width = uint32_t(std::stoul(sourceVideo->at("width")));
    const uint32_t height = uint32_t(std::stoul(sourceVideo->at("height")));
    // The output's BITMAPINFOHEADER: planar I420 at 12 bits per pixel.
    const uint32_t frameSize = width * height * 3 / 2;
    std::vector<uint8_t> expectedFormat(40, 0);
    for (auto [at, value] : {std::pair<int, uint32_t>{0, 40},
                             {4, width},
                             {8, height},
                             {12, 1 | 12 << 16},
                             {16, media::MakeFourCC('I', '4', '2', '0')},
                             {20, frameSize}})
        std::memcpy(&expectedFormat[at], &value, 4);
    std::vector<uint8_t> format(64, 0);
    int32_t formatSize = int32_t(format.size());
    std::unique_ptr<media::AviFile> converted = media::OpenRiffAvi(clip);
    ASSERT_TRUE(converted);
    ASSERT_EQ(converted->GetStream(0)->ReadFormat(0, format.data(), &formatSize), 0);
    format.resize(size_t(formatSize));
    EXPECT_EQ(format, expectedFormat);
    const std::vector<uint8_t> theirs = FfmpegI420(source, videoIndex, false);
    const std::vector<uint8_t> ours = FfmpegI420(clip, 0, true);
    ASSERT_EQ(ours.size(), theirs.size());
    ASSERT_EQ(ours.size(), std::stoul(sourceVideo->at("nb_read_packets")) * width * height * 3 / 2);
    const PlanesPsnr psnr = ComparePlanes(ours, theirs, width, height);
    EXPECT_GE(psnr.luma, 50.0);
    EXPECT_GE(psnr.chroma, 30.0);
}

TEST(ConvertClipToI420, WritesClipsThatFfmpegReadsAsTheSource) {
    ExpectFaithfulConversion("422_320_mono8", Clip422Mono(), 0);
    ExpectFaithfulConversion("420_640_stereo16", Clip420Stereo(), 0);
    ExpectFaithfulConversion("422_640_silent", Clip422Silent640(), 0);
    ExpectFaithfulConversion("420_320_silent", Clip420Silent320(), 0);
}

TEST(ConvertClipToI420, ConvertsFramesWithoutHuffmanTables) {
    const std::string folder = FreshFolder("no_dht_source");
    const std::string bare = folder + "bare.avi";
    RewriteClip(Clip422Mono(), bare,
                [](int, std::vector<uint8_t>& frame) { frame = StripHuffmanTables(frame); });
    ASSERT_LT(ReadFile(bare).size(), ReadFile(Clip422Mono()).size());
    ExpectFaithfulConversion("no_dht", bare, 0);
}

TEST(ConvertClipToI420, ConvertsTheLaterOfTwoVideoStreams) {
    const std::string source =
        SourceClip("two_video", kVideo320 +
                                    "-f lavfi -i smptebars=size=320x240:rate=15:duration=2 "
                                    "-map 0:v -map 1:v " +
                                    kMjpg422);
    ExpectFaithfulConversion("two_video", source, 1);
}

TEST(ConvertClipToI420, LeavesClipsItCannotConvertAsTheyWere) {
    const std::string raw =
        SourceClip("raw_i420", kVideo320 + "-c:v rawvideo -pix_fmt yuv420p -vtag I420 -frames:v 5");
    const std::string folder = FreshFolder("untouched");
    std::FILE* text = std::fopen((folder + "text.avi").c_str(), "wb");
    std::fputs("not a clip", text);
    std::fclose(text);
    CopyFile(raw, folder + "raw.avi");
    // A clip whose file header gives a width but a height of 0 (avih's dwHeight).
    std::vector<uint8_t> flat = ReadFile(Clip420Silent320());
    const size_t avih = std::string(flat.begin(), flat.end()).find("avih");
    ASSERT_NE(avih, std::string::npos);
    std::memset(&flat[avih + 8 + 36], 0, 4);
    std::FILE* out = std::fopen((folder + "flat.avi").c_str(), "wb");
    std::fwrite(flat.data(), 1, flat.size(), out);
    std::fclose(out);
    // A sound whose format has no block alignment and whose stream header gives a sample
    // size of 0xFFFFFFFF: one sample would need a 4 GB buffer.
    std::vector<uint8_t> huge = ReadFile(Clip422Mono());
    const std::string hugeText(huge.begin(), huge.end());
    const size_t auds = hugeText.find("auds");  // the sound's stream header's fccType
    ASSERT_NE(auds, std::string::npos);
    ASSERT_EQ(hugeText.substr(auds - 8, 4), "strh");
    const size_t strf = hugeText.find("strf", auds);
    ASSERT_NE(strf, std::string::npos);
    std::memset(&huge[auds + 44], 0xFF, 4);   // dwSampleSize
    std::memset(&huge[strf + 8 + 12], 0, 2);  // nBlockAlign
    out = std::fopen((folder + "huge_sample.avi").c_str(), "wb");
    std::fwrite(huge.data(), 1, huge.size(), out);
    std::fclose(out);
    struct Row {
        const char* name;
        media::ConvertResult code;
    };
    const Row rows[] = {{"raw.avi", media::ConvertResult::NotMotionJpeg},
                        {"flat.avi", media::ConvertResult::NotMotionJpeg},
                        {"huge_sample.avi", media::ConvertResult::NotEnoughSpace},
                        {"text.avi", media::ConvertResult::CannotOpen},
                        {"missing.avi", media::ConvertResult::CannotOpen}};
    media::PortableClipPlatform platform;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = folder + row.name;
        const std::vector<uint8_t> before = ReadFile(path);
        EXPECT_EQ(Convert(path, platform), row.code);
        EXPECT_EQ(ReadFile(path), before);
        EXPECT_TRUE(LeftoverTemporaries(folder).empty());
    }
}

// Broken frames become empty frames in place; the clip's frames around them are unharmed.
TEST(ConvertClipToI420, WritesFramesItCannotDecodeEmpty) {
    const std::string folder = FreshFolder("broken_frames");
    const std::string clip = folder + "clip.avi";
    const std::vector<uint8_t> otherSize = EncodePicture(160, 120, 2, 1);
    std::vector<uint8_t> larger;
    RewriteClip(Clip422Mono(), clip, [&](int index, std::vector<uint8_t>& frame) {
        if (index == 3) std::fill(frame.begin() + 2, frame.end(), 0x11);  // corrupt
        if (index == 5) frame.resize(frame.size() / 2);                   // cut short
        if (index == 7) frame.clear();                                    // dropped
        if (index == 9) frame = otherSize;                                // another size
        if (index == 11) {  // a frame larger than an I420 frame, padded after its end
            frame.resize(200000, 0);
            larger = frame;
        }
    });
    const auto source = VideoFrames(clip);
    ASSERT_GT(source[11].size(), 115200u);
    media::PortableClipPlatform platform;
    ASSERT_EQ(Convert(clip, platform), media::ConvertResult::Converted);
    const auto frames = VideoFrames(clip);
    ASSERT_EQ(frames.size(), source.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        const bool broken = i == 3 || i == 7 || i == 9;
        EXPECT_EQ(frames[i].size(), broken ? 0u : 115200u) << "frame " << i;
    }
    // The frame cut short keeps the rows its data reached.
    media::FrameDecoder decoder;
    std::vector<uint8_t> expected(115200);
    const std::vector<uint8_t> intact = VideoFrames(Clip422Mono())[5];
    ASSERT_EQ(
        decoder.DecodeFrameToI420(intact.data(), intact.size(), expected.data(), 115200).error, 0);
    EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + 320 * 16, frames[5].begin()));
    ASSERT_EQ(
        decoder.DecodeFrameToI420(larger.data(), larger.size(), expected.data(), 115200).error, 0);
    EXPECT_EQ(frames[11], expected);
}

// Not one decoded frame: the clip is kept, as it was, and the conversion fails; one decoded
// frame is enough for the frames around it to be written empty.
TEST(ConvertClipToI420, KeepsTheClipWhenNoFrameDecodes) {
    const std::vector<uint8_t> smaller = EncodePicture(160, 120, 2, 1);
    const std::vector<uint8_t> larger = EncodePicture(640, 480, 2, 1);
    struct Row {
        const char* name;
        int keep;  // the one frame left as it was; -1: none
        const std::vector<uint8_t>* replacement;
        media::ConvertResult code;
    };
    const Row rows[] = {{"smaller", -1, &smaller, media::ConvertResult::NoFrameDecoded},
                        {"larger", -1, &larger, media::ConvertResult::NoFrameDecoded},
                        {"empty", -1, nullptr, media::ConvertResult::NoFrameDecoded},
                        {"one frame decodes", 29, &smaller, media::ConvertResult::Converted}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string folder = FreshFolder(std::string("undecodable_") + row.name);
        RewriteClip(Clip422Mono(), folder + "clip.avi",
                    [&](int index, std::vector<uint8_t>& frame) {
                        if (index == row.keep) return;
                        if (row.replacement)
                            frame = *row.replacement;
                        else
                            frame.clear();
                    });
        const std::vector<uint8_t> before = ReadFile(folder + "clip.avi");
        media::PortableClipPlatform platform;
        EXPECT_EQ(Convert(folder + "clip.avi", platform), row.code);
        EXPECT_TRUE(LeftoverTemporaries(folder).empty());
        if (row.code != media::ConvertResult::Converted) {
            EXPECT_TRUE(ReadFile(folder + "clip.avi") == before);
        } else {
            const auto frames = VideoFrames(folder + "clip.avi");
            ASSERT_EQ(frames.size(), 30u);
            EXPECT_EQ(frames[0].size(), 0u);
            EXPECT_EQ(frames[29].size(), 115200u);
        }
    }
}

// An audio stream that holds no sound at all is copied as such.
TEST(ConvertClipToI420, ConvertsAClipWhoseSoundHasNoSamples) {
    const std::string folder = FreshFolder("no_samples");
    {
        std::unique_ptr<media::AviFile> source = media::OpenRiffAvi(Clip422Mono());
        std::unique_ptr<media::AviFile> clip = media::CreateRiffAvi(folder + "clip.avi");
        std::unique_ptr<media::AviStream> video[2] = {source->GetStream(0), nullptr};
        std::unique_ptr<media::AviStream> audio[2] = {source->GetStream(1), nullptr};
        for (auto* pair : {video, audio}) {
            media::AviStreamInfo info;
            ASSERT_TRUE(pair[0]->Info(info));
            info.dwLength = 0;
            pair[1] = clip->CreateStream(info);
            std::vector<uint8_t> format(100);
            int32_t size = int32_t(format.size());
            ASSERT_EQ(pair[0]->ReadFormat(0, format.data(), &size), 0);
            ASSERT_EQ(pair[1]->SetFormat(0, format.data(), size), 0);
        }
        const auto frames = VideoFrames(Clip422Mono());
        for (size_t i = 0; i < frames.size(); ++i)
            ASSERT_EQ(video[1]->Write(int32_t(i), 1, frames[i].data(), int32_t(frames[i].size()),
                                      media::kKeyFrameFlag),
                      0);
    }
    media::PortableClipPlatform platform;
    ASSERT_EQ(Convert(folder + "clip.avi", platform), media::ConvertResult::Converted);
    std::unique_ptr<media::AviFile> converted = media::OpenRiffAvi(folder + "clip.avi");
    ASSERT_TRUE(converted);
    media::AviFileInfo info;
    ASSERT_TRUE(converted->Info(info));
    EXPECT_EQ(info.streams, 2u);
    EXPECT_EQ(converted->GetStream(1)->Length(), 0);
    EXPECT_EQ(VideoFrames(folder + "clip.avi").size(), 30u);
}

TEST(ConvertClipToI420, MirrorsEveryDecodedFrameWhenFlipHorzIsSet) {
    const std::string folder = FreshFolder("mirror");
    RewriteClip(Clip422Mono(), folder + "a.avi", [](int index, std::vector<uint8_t>& frame) {
        if (index == 2) frame.clear();
    });
    CopyFile(folder + "a.avi", folder + "b.avi");
    media::PortableClipPlatform platform;
    ASSERT_EQ(Convert(folder + "a.avi", platform, 0), media::ConvertResult::Converted);
    ASSERT_EQ(Convert(folder + "b.avi", platform, 7), media::ConvertResult::Converted);
    const auto plain = VideoFrames(folder + "a.avi");
    const auto mirrored = VideoFrames(folder + "b.avi");
    ASSERT_EQ(plain.size(), mirrored.size());
    for (size_t i = 0; i < plain.size(); ++i) {
        std::vector<uint8_t> expected = plain[i];
        if (!expected.empty()) media::MirrorI420Frame(expected.data(), 320, 240, 320);
        EXPECT_EQ(mirrored[i], expected) << "frame " << i;
        if (!plain[i].empty()) {
            EXPECT_NE(mirrored[i], plain[i]) << "frame " << i;
        }
    }
    EXPECT_TRUE(mirrored[2].empty());
    EXPECT_EQ(AudioBytes(folder + "b.avi"), AudioBytes(Clip422Mono()));
}

// 100 frames of 320x240 need 100 x 115200 + 8192 bytes.
TEST(ConvertClipToI420, ProceedsOnlyWithRoomForTheConvertedVideo) {
    const std::string source = SourceClip(
        "mjpg422_320_100", "-f lavfi -i testsrc2=size=320x240:rate=25:duration=4 " + kMjpg422);
    struct Row {
        uint64_t freeSpace;
        media::ConvertResult code;
    };
    for (const Row& row : {Row{11528192, media::ConvertResult::Converted},
                           Row{11528191, media::ConvertResult::NotEnoughSpace}}) {
        SCOPED_TRACE(row.freeSpace);
        const std::string folder = FreshFolder("space_" + std::to_string(row.freeSpace));
        CopyFile(source, folder + "clip.avi");
        FaultyPlatform platform;
        platform.freeSpace = row.freeSpace;
        EXPECT_EQ(Convert(folder + "clip.avi", platform), row.code);
        EXPECT_TRUE(LeftoverTemporaries(folder).empty());
        if (row.code != media::ConvertResult::Converted) {
            EXPECT_TRUE(ReadFile(folder + "clip.avi") == ReadFile(source));
        }
    }
}

void Overwrite(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_TRUE(out);
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
}

// A Motion-JPEG clip of empty frames whose header claims width x height, with the video
// stream named `name` and starting at position `start`.
void WriteHeaderClip(const std::string& path, uint32_t width, uint32_t height, int frames,
                     uint32_t start = 0, const char* name = "") {
    {
        std::unique_ptr<media::AviFile> file = media::CreateRiffAvi(path);
        media::AviStreamInfo info;
        info.fccType = media::kStreamTypeVideo;
        info.fccHandler = media::MakeFourCC('M', 'J', 'P', 'G');
        info.dwScale = 1;
        info.dwRate = 30;
        std::snprintf(info.szName, sizeof info.szName, "%s", name);
        auto stream = file->CreateStream(info);
        uint8_t format[40] = {40, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 24, 0, 'M', 'J', 'P', 'G'};
        for (int i = 0; i < 4; ++i) {
            format[4 + i] = uint8_t(width >> (8 * i));
            format[8 + i] = uint8_t(height >> (8 * i));
        }
        ASSERT_EQ(stream->SetFormat(0, format, 40), 0);
        for (int i = 0; i < frames; ++i) ASSERT_EQ(stream->Write(i, 1, nullptr, 0, 0), 0);
    }
    if (start == 0) return;
    // The writer counts positions from 0; the start is put into the stream header afterwards.
    std::vector<uint8_t> bytes = ReadFile(path);
    const char strh[] = "strh";
    auto at = std::search(bytes.begin(), bytes.end(), strh, strh + 4);
    ASSERT_NE(at, bytes.end());
    for (int i = 0; i < 4; ++i) at[8 + 28 + i] = uint8_t(start >> (8 * i));
    Overwrite(path, bytes);
}

// 9400 frames of 640x480 need more than 4 GiB, which a 32-bit sum would wrap to 36 MB.
TEST(ConvertClipToI420, CountsTheSpaceNeededIn64Bits) {
    const std::string folder = FreshFolder("space_64");
    WriteHeaderClip(folder + "long.avi", 640, 480, 9400);
    FaultyPlatform platform;
    platform.freeSpace = uint64_t(1) << 30;
    EXPECT_EQ(Convert(folder + "long.avi", platform), media::ConvertResult::NotEnoughSpace);
    EXPECT_TRUE(platform.videoWrites.empty());
    EXPECT_TRUE(LeftoverTemporaries(folder).empty());
}

// The frame buffers are sized from the header before any frame is read: a header asking for
// more than a picture can be is refused before anything is allocated or written.
// A side of 8192 is the largest taken (its frames are empty, so the clip then fails as one
// with nothing decodable, after every frame was written).
TEST(ConvertClipToI420, RefusesHeadersAskingForAbsurdFrames) {
    constexpr media::ConvertResult kRefused = media::ConvertResult::NotEnoughSpace;
    constexpr media::ConvertResult kTaken = media::ConvertResult::NoFrameDecoded;
    struct Row {
        uint32_t width, height;
        media::ConvertResult code;
    };
    for (const Row& row :
         {Row{32, 20000000, kRefused}, Row{20000000, 32, kRefused},
          Row{0xFFFFFFFF, 0x7FFFFFFF, kRefused}, Row{8192, 8192, kRefused}, Row{8192, 16, kTaken},
          Row{8193, 16, kRefused}, Row{16, 8192, kTaken}, Row{16, 8193, kRefused}}) {
        SCOPED_TRACE(std::to_string(row.width) + "x" + std::to_string(row.height));
        const std::string folder = FreshFolder("absurd");
        WriteHeaderClip(folder + "clip.avi", row.width, row.height, 3);
        const std::vector<uint8_t> before = ReadFile(folder + "clip.avi");
        FaultyPlatform platform;
        platform.freeSpace = uint64_t(1) << 62;
        EXPECT_EQ(Convert(folder + "clip.avi", platform), row.code);
        EXPECT_EQ(platform.videoWrites.size(), row.code == kRefused ? 0u : 3u);
        EXPECT_TRUE(ReadFile(folder + "clip.avi") == before);
        EXPECT_TRUE(LeftoverTemporaries(folder).empty());
    }
}

// Positions are 32-bit: a stream starting near the limit is written while its positions fit,
// and never past them. (Its frames are empty, so it is then refused untouched as a clip with
// nothing decodable.)
TEST(ConvertClipToI420, ConvertsStreamsStartingNearThePositionLimit) {
    struct Row {
        int frames;
        media::ConvertResult code;
    };
    for (const Row& row : {Row{2, media::ConvertResult::NoFrameDecoded},
                           Row{3, media::ConvertResult::NoFrameDecoded}}) {
        SCOPED_TRACE(row.frames);
        const std::string folder = FreshFolder("late_start");
        WriteHeaderClip(folder + "clip.avi", 16, 16, row.frames, 0x7FFFFFFE);
        const std::vector<uint8_t> before = ReadFile(folder + "clip.avi");
        FaultyPlatform platform;
        EXPECT_EQ(Convert(folder + "clip.avi", platform), row.code);
        ASSERT_EQ(platform.videoWrites.size(), 2u);
        EXPECT_EQ(platform.videoWrites[0], 0x7FFFFFFE);
        EXPECT_EQ(platform.videoWrites[1], 0x7FFFFFFF);
        EXPECT_TRUE(ReadFile(folder + "clip.avi") == before);
        EXPECT_TRUE(LeftoverTemporaries(folder).empty());
    }
}

TEST(ConvertClipToI420, WritesEveryStreamInOrder) {
    const std::string folder = FreshFolder("order");
    CopyFile(Clip422Mono(), folder + "clip.avi");
    FaultyPlatform platform;
    ASSERT_EQ(Convert(folder + "clip.avi", platform), media::ConvertResult::Converted);
    ASSERT_EQ(platform.videoWrites.size(), 30u);
    for (size_t i = 0; i < platform.videoWrites.size(); ++i)
        EXPECT_EQ(platform.videoWrites[i], int32_t(i));
    ASSERT_FALSE(platform.audioWrites.empty());
    for (int32_t p : platform.audioWrites) EXPECT_EQ(p, media::kAppendPosition);
}

// Whatever fails, the clip stays as it was and no temporary file is left.
TEST(ConvertClipToI420, KeepsTheClipWhenAStepFails) {
    struct Row {
        const char* fault;
        media::ConvertResult code;
    };
    const Row rows[] = {
        {"temp", media::ConvertResult::CannotOpen},
        {"create-clip", media::ConvertResult::CannotOpen},
        {"create-video-stream", media::ConvertResult::CannotCreateStream},
        {"create-audio-stream", media::ConvertResult::CannotCreateStream},
        {"video-format", media::ConvertResult::CannotSetFormat},
        {"audio-format", media::ConvertResult::CannotSetFormat},
        {"write-frame-5", media::ConvertResult::WriteFailed},
        {"write-audio", media::ConvertResult::WriteFailed},
        {"full-at-close", media::ConvertResult::WriteFailed},
        {"replace", media::ConvertResult::CannotOpen},
        {"cancel", media::ConvertResult::Cancelled},
    };
    const std::vector<uint8_t> original = ReadFile(Clip422Mono());
    std::random_device seed;
    std::mt19937 random(seed());
    // The same with the frames decoded on the calling thread and on three workers.
    for (unsigned workers : {1u, 3u}) {
        for (const Row& row : rows) {
            const int cancelAt = int(random() % 30);
            SCOPED_TRACE(std::string(row.fault) + ", " + std::to_string(workers) +
                         " workers, cancel at frame " + std::to_string(cancelAt));
            const std::string folder = FreshFolder(std::string("fault_") + row.fault);
            CopyFile(Clip422Mono(), folder + "clip.avi");
            FaultyPlatform platform(row.fault);
            media::ConvertControl control;
            if (row.fault == std::string("cancel"))
                platform.beforeFrame = [&](int frame) {
                    if (frame == cancelAt) control.Cancel();
                };
            EXPECT_EQ(Convert(folder + "clip.avi", platform, 0, Workers(workers, &control)),
                      row.code);
            EXPECT_TRUE(ReadFile(folder + "clip.avi") == original);
            EXPECT_TRUE(LeftoverTemporaries(folder).empty());
            if (row.code == media::ConvertResult::Cancelled) {
                EXPECT_EQ(control.FramesDone(), cancelAt + 1);
            }
        }
    }
}

// The job converts on a thread of its own, reports its frames, and stops when cancelled; the
// window's side never waits for it. A job dropped while it runs stops and is waited for.
TEST(ConversionJob, ConvertsBesideItsOwnerAndStopsWhenCancelled) {
    const std::string folder = FreshFolder("job");
    const std::vector<uint8_t> original = ReadFile(Clip422Mono());
    auto start = [&](FaultyPlatform& platform) {
        return std::make_unique<media::ConversionJob>([&](media::ConvertControl& control) {
            return Convert(folder + "clip.avi", platform, 0, Workers(2, &control));
        });
    };
    auto wait = [](media::ConversionJob& job) {
        while (!job.Ended()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };

    CopyFile(Clip422Mono(), folder + "clip.avi");
    FaultyPlatform whole;
    auto job = start(whole);
    wait(*job);
    EXPECT_EQ(job->Result(), media::ConvertResult::Converted);
    EXPECT_EQ(job->FramesDone(), 30);
    EXPECT_EQ(job->FramesTotal(), 30);
    const std::vector<uint8_t> converted = ReadFile(folder + "clip.avi");
    EXPECT_NE(converted, original);

    // Held at a frame until the owner has cancelled.
    CopyFile(Clip422Mono(), folder + "clip.avi");
    FaultyPlatform held;
    std::promise<void> reached, cancelled;
    held.beforeFrame = [&](int frame) {
        if (frame != 12) return;
        reached.set_value();
        cancelled.get_future().wait();
    };
    job = start(held);
    reached.get_future().wait();
    EXPECT_FALSE(job->Ended());
    EXPECT_EQ(job->FramesDone(), 12);
    job->Cancel();
    cancelled.set_value();
    wait(*job);
    EXPECT_EQ(job->Result(), media::ConvertResult::Cancelled);
    EXPECT_TRUE(ReadFile(folder + "clip.avi") == original);
    EXPECT_TRUE(LeftoverTemporaries(folder).empty());

    FaultyPlatform dropped;
    job = start(dropped);
    job.reset();
    const std::vector<uint8_t> after = ReadFile(folder + "clip.avi");
    EXPECT_TRUE(after == original || after == converted);
    EXPECT_TRUE(LeftoverTemporaries(folder).empty());

    // No thread to run on: ended at once, the clip untouched.
    media::ConversionJob unstarted(
        [](media::ConvertControl&) { return media::ConvertResult::Converted; },
        [](std::function<void()>) { return std::unique_ptr<media::JobThread>(); });
    EXPECT_TRUE(unstarted.Ended());
    EXPECT_EQ(unstarted.Result(), media::ConvertResult::NotEnoughSpace);
}

// A stream-name chunk of no bytes names the stream "".
TEST(RiffAvi, ReadsAnEmptyStreamName) {
    const std::string path = FreshFolder("empty_name") + "clip.avi";
    WriteHeaderClip(path, 16, 16, 1, 0, "1234567");
    std::vector<uint8_t> bytes = ReadFile(path);
    const uint8_t named[] = {'s', 't', 'r', 'n', 8, 0, 0, 0, '1', '2', '3', '4', '5', '6', '7', 0};
    const uint8_t empty[] = {'s', 't', 'r', 'n', 0, 0, 0, 0, 'J', 'U', 'N', 'K', 0, 0, 0, 0};
    auto at = std::search(bytes.begin(), bytes.end(), named, named + sizeof named);
    ASSERT_NE(at, bytes.end());
    std::copy(empty, empty + sizeof empty, at);
    Overwrite(path, bytes);

    std::unique_ptr<media::AviFile> file = media::OpenRiffAvi(path);
    ASSERT_TRUE(file);
    std::unique_ptr<media::AviStream> stream = file->GetStream(0);
    ASSERT_TRUE(stream);
    media::AviStreamInfo info;
    ASSERT_TRUE(stream->Info(info));
    EXPECT_STREQ(info.szName, "");
    EXPECT_EQ(stream->Length(), 1);
}

}  // namespace

// Every way of decoding writes the same file as the reference decoding on the calling thread,
// for every generated clip, also one whose frames are corrupt or cut short, an odd-sized one
// and mirrored ones: the fast decoding, frames decoded on workers, fewer workers than asked
// for (threads that cannot be started) and none at all.
TEST(ConvertClipToI420, EveryWayOfDecodingWritesTheSameClip) {
    const std::string folder = FreshFolder("fast_reference");
    RewriteClip(Clip422Mono(), folder + "no_dht.avi",
                [](int, std::vector<uint8_t>& frame) { frame = StripHuffmanTables(frame); });
    RewriteClip(Clip420Stereo(), folder + "damaged.avi",
                [](int index, std::vector<uint8_t>& frame) {
                    if (index % 3 == 1) frame.resize(frame.size() * 2 / 3);
                    if (index % 3 == 2)
                        std::fill(frame.begin() + frame.size() / 2,
                                  frame.begin() + frame.size() / 2 + 40, 0x11);
                    if (index % 7 == 3) frame.clear();
                });
    const std::string odd = SourceClip(
        "mjpg420_317x239", "-f lavfi -i testsrc2=size=317x239:rate=15:duration=1 " + kMjpg420);
    struct Source {
        std::string path;
        uint32_t flip;
    };
    const Source sources[] = {{Clip422Mono(), 0},
                              {Clip420Stereo(), 0},
                              {Clip422Silent640(), 0},
                              {Clip420Silent320(), 0},
                              {folder + "no_dht.avi", 0},
                              {folder + "damaged.avi", 0},
                              {folder + "damaged.avi", 1},
                              {odd, 0},
                              {odd, 1}};
    int started = 0;
    auto oneThread = [&](std::function<void()> body) {
        return started++ == 0 ? media::StartStdThread(std::move(body)) : nullptr;
    };
    auto noThread = [](std::function<void()>) { return std::unique_ptr<media::JobThread>(); };
    struct Way {
        const char* name;
        media::DecodePath path;
        unsigned workers;
        media::ThreadStarter start;
    };
    const Way ways[] = {{"reference", media::DecodePath::kReference, 1, media::StartStdThread},
                        {"fast", media::DecodePath::kFast, 1, media::StartStdThread},
                        {"fast on 2", media::DecodePath::kFast, 2, media::StartStdThread},
                        {"fast on 5", media::DecodePath::kFast, 5, media::StartStdThread},
                        {"reference on 3", media::DecodePath::kReference, 3, media::StartStdThread},
                        {"1 of 4 started", media::DecodePath::kFast, 4, oneThread},
                        {"none started", media::DecodePath::kFast, 4, noThread}};
    for (const Source& source : sources) {
        std::vector<uint8_t> expected;
        for (const Way& way : ways) {
            SCOPED_TRACE(source.path + " flip " + std::to_string(source.flip) + ", " + way.name);
            const std::string clip = folder + "clip.avi";
            CopyFile(source.path, clip);
            media::PortableClipPlatform platform;
            media::ConvertOptions options;
            options.decodePath = way.path;
            options.workers = way.workers;
            options.startThread = way.start;
            started = 0;
            ASSERT_EQ(Convert(clip, platform, source.flip, options),
                      media::ConvertResult::Converted);
            if (expected.empty()) {
                expected = ReadFile(clip);
                EXPECT_GT(expected.size(), ReadFile(source.path).size());
            } else {
                EXPECT_TRUE(ReadFile(clip) == expected);
            }
        }
        // ffmpeg's frames are ones the fast way takes.
        const std::vector<uint8_t> frame = VideoFrames(source.path)[0];
        std::vector<uint8_t> out(640 * 480 * 3 / 2);
        media::FrameDecoder decoder;
        EXPECT_EQ(
            decoder.DecodeFrameToI420(frame.data(), frame.size(), out.data(), out.size()).error, 0);
        EXPECT_EQ(decoder.LastPath(), media::DecodePath::kFast);
    }
}

// A frame that cannot be written (a full disk) is reported.
TEST(RiffAviWriter, ReportsAFrameItCannotWrite) {
    std::unique_ptr<media::AviFile> file = media::CreateRiffAvi("/dev/full");
    ASSERT_TRUE(file);
    media::AviStreamInfo info;
    info.fccType = media::kStreamTypeVideo;
    auto stream = file->CreateStream(info);
    ASSERT_EQ(stream->SetFormat(0, "format", 6), 0);
    const std::vector<uint8_t> frame(200000, 7);
    EXPECT_NE(stream->Write(0, 1, frame.data(), int32_t(frame.size()), 0), 0);
}
