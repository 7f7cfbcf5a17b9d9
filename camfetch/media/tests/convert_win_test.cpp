// Clip conversion through the platform's AVIFile services. The source clips are made by
// ffmpeg before this program runs (make_clips.sh); argv[1] is their folder and argv[2] a folder
// for the converted copies, which probe_converted.sh then checks with ffprobe.
#include <windows.h>
#include <vfw.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "frame_decoder.h"
#include "media_win.h"
#include "scoped_win.h"
#include "windriver.h"
#include "wintest.h"

namespace {

std::string g_sources;
std::string g_converted;

struct Stream {
    AVISTREAMINFOA info;
    std::vector<uint8_t> format;
    std::vector<std::vector<uint8_t>> frames;  // video
    std::vector<uint8_t> sound;                // audio, all bytes
};

// Reads a whole clip through AVIFile; false when it cannot be opened.
bool ReadClip(const std::string& path, std::vector<Stream>& streams) {
    camtools::ScopedAviFile file;
    if (AVIFileOpenA(file.Out(), path.c_str(), OF_READ, nullptr) != 0) return false;
    AVIFILEINFOA info;
    AVIFileInfoA(file.Get(), &info, sizeof info);
    for (DWORD i = 0; i < info.dwStreams; ++i) {
        camtools::ScopedAviStream held;
        if (AVIFileGetStream(file.Get(), held.Out(), 0, LONG(i)) != 0) break;
        PAVISTREAM s = held.Get();
        Stream stream;
        AVIStreamInfoA(s, &stream.info, sizeof stream.info);
        LONG size = 0;
        AVIStreamReadFormat(s, AVIStreamStart(s), nullptr, &size);
        stream.format.resize(size_t(size));
        AVIStreamReadFormat(s, AVIStreamStart(s), stream.format.data(), &size);
        const LONG start = AVIStreamStart(s), end = start + AVIStreamLength(s);
        if (stream.info.fccType == streamtypeVIDEO) {
            for (LONG p = start; p < end; ++p) {
                LONG bytes = 0;
                AVIStreamRead(s, p, 1, nullptr, 0, &bytes, nullptr);
                std::vector<uint8_t> frame(static_cast<size_t>(bytes));
                if (bytes) AVIStreamRead(s, p, 1, frame.data(), bytes, nullptr, nullptr);
                stream.frames.push_back(std::move(frame));
            }
        } else {
            const LONG block = stream.format.size() >= 14
                                   ? std::max(stream.format[12] | stream.format[13] << 8, 1)
                                   : 1;
            for (LONG p = start; p < end;) {
                std::vector<uint8_t> run(65536);
                LONG bytes = 0, samples = 0;
                const LONG want = std::min<LONG>(end - p, LONG(run.size()) / block);
                if (AVIStreamRead(s, p, want, run.data(), LONG(run.size()), &bytes, &samples) !=
                        0 ||
                    samples <= 0)
                    break;
                stream.sound.insert(stream.sound.end(), run.begin(), run.begin() + bytes);
                p += samples;
            }
        }
        streams.push_back(std::move(stream));
    }
    return true;
}

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::vector<uint8_t> bytes;
    camtools::ScopedHandle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    if (!file) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes.insert(bytes.end(), buffer, buffer + got);
    file.Close();
    return bytes;
}

int Temporaries(const std::string& folder) {
    WIN32_FIND_DATAA found;
    camtools::ScopedFind find(FindFirstFileA((folder + "Zan*").c_str(), &found));
    if (!find) return 0;
    int count = 0;
    do ++count;
    while (FindNextFileA(find.Get(), &found));
    return count;
}

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

// Checks a converted clip against its source, frame by frame and byte for byte.
void ExpectConverted(const std::string& name, bool mirror, const std::vector<Stream>& source,
                     const std::vector<Stream>& out) {
    WT_CHECK_MSG(out.size() == source.size(), name);
    if (out.empty() || source.empty()) return;
    const Stream& video = out[0];
    const Stream& original = source[0];
    WT_CHECK_MSG(video.info.fccType == streamtypeVIDEO, name);
    WT_CHECK_MSG(video.info.fccHandler == mmioFOURCC('I', '4', '2', '0'), name);
    WT_CHECK_MSG(
        video.info.dwRate == original.info.dwRate && video.info.dwScale == original.info.dwScale,
        name);
    WT_CHECK_MSG(video.format.size() == 40, name);
    if (video.format.size() < 40) return;
    const uint32_t w = Get32(video.format, 4), h = Get32(video.format, 8);
    const size_t frameSize = size_t(w) * h * 3 / 2;
    WT_CHECK_MSG(
        Get32(video.format, 0) == 40 && Get32(video.format, 16) == mmioFOURCC('I', '4', '2', '0'),
        name);
    WT_CHECK_MSG((video.format[14] | video.format[15] << 8) == 12, name);
    WT_CHECK_MSG(Get32(video.format, 20) == frameSize, name);
    WT_CHECK_MSG(video.frames.size() == original.frames.size(), name);
    media::FrameDecoder decoder;
    std::vector<uint8_t> expected(frameSize);
    for (size_t i = 0; i < video.frames.size() && i < original.frames.size(); ++i) {
        const std::vector<uint8_t>& jpeg = original.frames[i];
        media::DecodeResult r =
            decoder.DecodeFrameToI420(jpeg.data(), jpeg.size(), expected.data(), frameSize, w, h);
        if (r.error == 0 && mirror) media::MirrorI420Frame(expected.data(), w, h, w);
        WT_CHECK_MSG(r.error == 0 && video.frames[i] == expected,
                     name + " frame " + std::to_string(i));
    }
    if (source.size() > 1) {
        const Stream& sound = out[1];
        WT_CHECK_MSG(sound.info.fccType == streamtypeAUDIO, name);
        WT_CHECK_MSG(sound.format.size() >= 16 &&
                         std::memcmp(sound.format.data(), source[1].format.data(), 16) == 0,
                     name);
        // Wine's writer records the sound's length in runs rather than samples, so its reader
        // does not give the bytes back; probe_converted.sh compares them with ffmpeg instead.
        WT_CHECK_MSG(sound.info.dwSampleSize == source[1].info.dwSampleSize, name);
        WT_CHECK_MSG(!sound.sound.empty() && std::equal(sound.sound.begin(), sound.sound.end(),
                                                        source[1].sound.begin()),
                     name + " first sound bytes");
    }
}

WT_TEST(ConvertsClipsInPlaceWithAviFile) {
    for (const char* name : {"mjpg422_320_u8mono", "mjpg420_640_s16stereo", "mjpg422_640_silent"}) {
        const std::string source = g_sources + name + ".avi";
        const std::string clip = g_converted + name + ".avi";
        WT_CHECK_MSG(CopyFileA(source.c_str(), clip.c_str(), FALSE), name);
        std::vector<Stream> before, after;
        WT_CHECK_MSG(ReadClip(source, before), name);
        WT_CHECK_EQ(media::ConvertClipToI420(clip), media::ConvertResult::Converted);
        WT_CHECK_MSG(Temporaries(g_converted) == 0, name);
        WT_CHECK_MSG(ReadClip(clip, after), name);
        ExpectConverted(name, false, before, after);
    }
}

// The job converts on a thread of its own (which initialises COM and AVIFile itself) into the
// same bytes as a conversion on the calling thread; cancelled, it leaves the clip as it was.
WT_TEST(ConvertsBesideTheCallingThread) {
    const std::string source = g_sources + "mjpg420_640_s16stereo.avi";
    const std::string clip = g_converted + "job.avi";
    auto wait = [](media::ConversionJob& job) {
        while (!job.Ended()) Sleep(1);
    };
    WT_CHECK(CopyFileA(source.c_str(), clip.c_str(), FALSE));
    WT_CHECK_EQ(media::ConvertClipToI420(clip), media::ConvertResult::Converted);
    const std::vector<uint8_t> converted = FileBytes(clip);

    WT_CHECK(CopyFileA(source.c_str(), clip.c_str(), FALSE));
    std::unique_ptr<media::ConversionJob> job = media::StartClipConversion(clip);
    wait(*job);
    WT_CHECK_EQ(job->Result(), media::ConvertResult::Converted);
    WT_CHECK(job->FramesTotal() == 30 && job->FramesDone() == 30);
    WT_CHECK(FileBytes(clip) == converted);

    WT_CHECK(CopyFileA(source.c_str(), clip.c_str(), FALSE));
    const std::vector<uint8_t> original = FileBytes(clip);
    job = media::StartClipConversion(clip);
    job->Cancel();
    wait(*job);
    WT_CHECK_EQ(job->Result(), media::ConvertResult::Cancelled);
    WT_CHECK(FileBytes(clip) == original);
    WT_CHECK(Temporaries(g_converted) == 0);

    // Dropped while it runs: its threads are waited for, and it leaves no temporary file.
    job = media::StartClipConversion(clip);
    job.reset();
    WT_CHECK(Temporaries(g_converted) == 0);
    const std::vector<uint8_t> after = FileBytes(clip);
    WT_CHECK(after == original || after == converted);
}

// A clip the conversion cannot convert stays as it was, and no temporary file is left: also
// when the failure comes after the output was made (not one frame decodes).
WT_TEST(LeavesOtherClipsAsTheyWere) {
    {
        // The first clip with every frame's start-of-image marker cleared.
        std::vector<uint8_t> bytes = FileBytes(g_sources + "mjpg422_320_u8mono.avi");
        const char tag[] = "00dc";
        for (auto at = bytes.begin();
             (at = std::search(at, bytes.end(), tag, tag + 4)) != bytes.end(); at += 4)
            if (bytes.end() - at > 9 && at[8] == 0xFF && at[9] == 0xD8) at[8] = at[9] = 0;
        camtools::ScopedHandle file(CreateFileA((g_converted + "untouched_undecodable.avi").c_str(),
                                                GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        WT_CHECK(file &&
                 WriteFile(file.Get(), bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                 written == bytes.size());
    }
    struct Row {
        const char* name;
        media::ConvertResult code;
    };
    for (const Row& row : {Row{"raw_i420.avi", media::ConvertResult::NotMotionJpeg},
                           Row{"missing.avi", media::ConvertResult::CannotOpen},
                           Row{"undecodable.avi", media::ConvertResult::NoFrameDecoded}}) {
        const std::string clip = g_converted + "untouched_" + row.name;
        CopyFileA((g_sources + row.name).c_str(), clip.c_str(), FALSE);
        const std::vector<uint8_t> before = FileBytes(clip);
        WT_CHECK_MSG(media::ConvertClipToI420(clip) == row.code, row.name);
        WT_CHECK_MSG(FileBytes(clip) == before, row.name);
        WT_CHECK_MSG(Temporaries(g_converted) == 0, row.name);
    }
}

// FlipHorz is read from the machine's registry by a run's first conversion.
WT_TEST(MirrorsWhenTheRegistrySaysSo) {
    const char* const settingsKey = "SOFTWARE\\ZQ71R\\UsbCamera";
    const DWORD five = 5;
    WT_CHECK(windriver::SetRegistryValue(HKEY_LOCAL_MACHINE, settingsKey, "FlipHorz", REG_DWORD,
                                         &five, sizeof five));
    const std::string source = g_sources + "mjpg422_320_u8mono.avi";
    const std::string clip = g_converted + "mirrored.avi";
    CopyFileA(source.c_str(), clip.c_str(), FALSE);
    media::UsbCameraSettings settings;
    {
        auto platform = media::CreateAviFilePlatform();
        auto registry = media::CreateMachineRegistry();
        WT_CHECK_EQ(media::ConvertClipToI420(clip, *platform, *registry, settings),
                    media::ConvertResult::Converted);
    }
    windriver::DeleteRegistryValues(HKEY_LOCAL_MACHINE, settingsKey, {"FlipHorz"});
    WT_CHECK(settings.loaded && settings.mirror);
    std::vector<Stream> before, after;
    ReadClip(source, before);
    ReadClip(clip, after);
    ExpectConverted("mirrored", true, before, after);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: camfetch_media_win_tests SOURCES CONVERTED [filter]\n");
        return 2;
    }
    g_sources = std::string(argv[1]) + "\\";
    g_converted = std::string(argv[2]) + "\\";
    CreateDirectoryA(argv[2], nullptr);
    char* filterArgs[] = {argv[0], argc > 3 ? argv[3] : nullptr};
    AVIFileInit();  // for the test's own reading; each conversion has its own
    const int result = wintest::RunAll(argc > 3 ? 2 : 1, filterArgs);
    AVIFileExit();
    return result;
}
