// The clip conversion on the portable back end, in a folder of its own: on failure the clip
// is byte for byte what it was; on success it is an I420 clip with as many frames as the
// source's converted video stream. Either way no temporary file is left.
#include <memory>
#include <vector>

#include "clip_conversion.h"
#include "fake_registry.h"
#include "fuzz_check.h"
#include "riff_avi.h"

namespace {

// The frame count of the stream the conversion takes: the last video stream.
int32_t SourceFrames(const std::string& path) {
    std::unique_ptr<media::AviFile> file = media::OpenRiffAvi(path);
    media::AviFileInfo info;
    if (!file || !file->Info(info)) return -1;
    int32_t frames = -1;
    for (uint32_t s = 0; s < info.streams; ++s) {
        std::unique_ptr<media::AviStream> stream = file->GetStream(s);
        if (!stream) return -1;  // as for the conversion: a clip with a missing stream fails
        media::AviStreamInfo streamInfo;
        if (stream->Info(streamInfo) && streamInfo.fccType == media::kStreamTypeVideo)
            frames = stream->Length();
    }
    return frames;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const std::string folder = fuzz::ScratchFolder();
    const std::string clip = folder + "clip.avi";
    fuzz::WriteBytes(clip, data + 1, size - 1);
    const std::vector<uint8_t> before(data + 1, data + size);
    const int32_t frames = SourceFrames(clip);

    media::PortableClipPlatform platform;
    // "FlipHorz" from the input's first byte, so both the plain and the mirrored path run.
    media_test::FakeRegistry registry(uint32_t(data[0] & 1));
    media::UsbCameraSettings settings;
    const media::ConvertResult code = media::ConvertClipToI420(clip, platform, registry, settings);

    FUZZ_CHECK(fuzz::FilesIn(folder) == std::vector<std::string>{"clip.avi"},
               "only the clip remains");
    if (code != media::ConvertResult::Converted) {
        FUZZ_CHECK(fuzz::ReadBytes(clip) == before,
                   "a failed conversion leaves the clip as it was");
        return 0;
    }
    std::unique_ptr<media::AviFile> converted = media::OpenRiffAvi(clip);
    FUZZ_CHECK(converted, "the converted clip opens");
    std::unique_ptr<media::AviStream> video = converted->GetStream(0);
    media::AviStreamInfo info;
    FUZZ_CHECK(video && video->Info(info), "the converted clip has a video stream");
    FUZZ_CHECK(info.fccType == media::kStreamTypeVideo &&
                   info.fccHandler == media::MakeFourCC('I', '4', '2', '0'),
               "stream 0 is I420 video");
    FUZZ_CHECK(video->Length() == frames, "as many frames as the source");
    return 0;
}
