// Conversion speed and memory, ours against ffmpeg's and against the floor, on the same clips:
//   convert_bench WORK_FOLDER CLIP...
// Each run is a child process, three runs each:
//   ours       ConvertClipToI420 as the product runs it (the fast decoding)
//   reference  ConvertClipToI420 with the reference decoding (full YCbCr scanlines)
//   ffmpeg     `ffmpeg -threads 1 -c:v rawvideo -pix_fmt yuvj420p -c:a copy`, and the same with
//              ffmpeg's default threads ("ffmpeg mt", for information)
//   floor      what no conversion can avoid: libjpeg decoding every frame into its raw
//              component planes (no upsampling, no repacking), and writing as many bytes as
//              ours writes, in large sequential writes
// The first table gives frames per second by the wall clock, the ratios and each child's peak
// resident memory; the second the CPU time (user + system) of each, which a busy machine
// disturbs less.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

#include "clip_conversion.h"
#include "riff_avi.h"

extern char** environ;

namespace {

struct Run {
    double seconds = 0;
    double cpuSeconds = 0;
    long peakKiB = 0;
    bool ok = false;
};

class NoRegistry : public media::Registry {
public:
    std::unique_ptr<media::RegistryKey> OpenMachineKey(const char*) override { return nullptr; }
    std::unique_ptr<media::RegistryKey> OpenMachineKeyForReading(const char*) override {
        return nullptr;
    }
};

Run Finish(pid_t child, std::chrono::steady_clock::time_point start) {
    int status = 0;
    rusage usage{};
    Run run;
    if (wait4(child, &status, 0, &usage) == child) {
        run.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.cpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        run.peakKiB = usage.ru_maxrss;
        run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return run;
}

template <typename F>
Run InChild(F work) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) _exit(work());
    return Finish(child, start);
}

Run Ours(const std::string& clip, const std::string& copy, media::DecodePath path) {
    std::filesystem::copy_file(clip, copy, std::filesystem::copy_options::overwrite_existing);
    return InChild([&] {
        media::PortableClipPlatform platform;
        NoRegistry registry;
        media::UsbCameraSettings settings;
        return int(media::ConvertClipToI420(copy, platform, registry, settings, path));
    });
}

Run Ffmpeg(const std::string& clip, const std::string& work, bool oneThread) {
    const std::string out = work + "/ffmpeg.avi";
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
    if (oneThread) args.insert(args.end(), {"-threads", "1"});
    args.insert(args.end(),
                {"-i", clip, "-c:v", "rawvideo", "-pix_fmt", "yuvj420p", "-c:a", "copy", out});
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) return {};
    return Finish(child, start);
}

bool WriteAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n <= 0) return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

// The floor's child: decodes every frame's raw planes and writes `bytes` bytes, one frame's
// worth at a time.
int Floor(const std::string& clip, const std::string& out, uint64_t bytes) {
    std::unique_ptr<media::AviFile> file = media::OpenRiffAvi(clip);
    media::AviFileInfo info;
    if (!file || !file->Info(info)) return 1;
    std::unique_ptr<media::AviStream> video;
    for (uint32_t i = 0; i < info.streams; ++i) {
        std::unique_ptr<media::AviStream> s = file->GetStream(i);
        media::AviStreamInfo si;
        if (s && s->Info(si) && si.fccType == media::kStreamTypeVideo) video = std::move(s);
    }
    if (!video) return 1;
    const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return 1;
    const size_t frameSize = media::I420FrameSize(info.width, info.height);
    std::vector<uint8_t> compressed(frameSize), frame(frameSize, 0x80);
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    for (int32_t p = video->Start(); p < video->Start() + video->Length(); ++p) {
        int32_t size = 0;
        if (video->Read(p, 1, nullptr, 0, &size, nullptr) != 0) return 1;
        if (size_t(size) > compressed.size()) compressed.resize(size_t(size));
        if (video->Read(p, 1, compressed.data(), int32_t(compressed.size()), &size, nullptr) != 0)
            return 1;
        jpeg_mem_src(&cinfo, compressed.data(), static_cast<unsigned long>(size));
        jpeg_read_header(&cinfo, TRUE);
        cinfo.raw_data_out = TRUE;
        jpeg_start_decompress(&cinfo);
        JSAMPARRAY planes[3];
        for (int c = 0; c < 3; ++c)
            planes[c] =
                (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                           cinfo.comp_info[c].width_in_blocks * DCTSIZE,
                                           JDIMENSION(cinfo.comp_info[c].v_samp_factor * DCTSIZE));
        const JDIMENSION rows = JDIMENSION(cinfo.max_v_samp_factor * DCTSIZE);
        while (cinfo.output_scanline < cinfo.output_height)
            jpeg_read_raw_data(&cinfo, planes, rows);
        jpeg_finish_decompress(&cinfo);
        const size_t n = size_t(std::min<uint64_t>(bytes, frameSize));
        if (!WriteAll(fd, frame.data(), n)) return 1;
        bytes -= n;
    }
    jpeg_destroy_decompress(&cinfo);
    while (bytes > 0) {  // the rest of ours: headers, sound and index
        const size_t n = size_t(std::min<uint64_t>(bytes, frameSize));
        if (!WriteAll(fd, frame.data(), n)) return 1;
        bytes -= n;
    }
    return close(fd) == 0 ? 0 : 1;
}

// The least wall time and the least CPU time of three runs (each may come from another run),
// and the largest peak memory.
template <typename F>
Run Best(F convert) {
    Run best;
    for (int i = 0; i < 3; ++i) {
        Run run = convert();
        if (!run.ok) return run;
        if (best.ok) {
            run.seconds = std::min(run.seconds, best.seconds);
            run.cpuSeconds = std::min(run.cpuSeconds, best.cpuSeconds);
            run.peakKiB = std::max(run.peakKiB, best.peakKiB);
        }
        best = run;
    }
    return best;
}

int Frames(const std::string& clip) {
    std::unique_ptr<media::AviFile> file = media::OpenRiffAvi(clip);
    media::AviFileInfo info;
    if (!file || !file->Info(info)) return 0;
    for (uint32_t i = 0; i < info.streams; ++i) {
        std::unique_ptr<media::AviStream> s = file->GetStream(i);
        media::AviStreamInfo si;
        if (s && s->Info(si) && si.fccType == media::kStreamTypeVideo) return s->Length();
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: convert_bench WORK_FOLDER CLIP...\n");
        return 2;
    }
    const std::string work = argv[1];
    std::filesystem::create_directories(work);
    struct Row {
        std::string name;
        int frames;
        Run ours, theirs, reference, theirsMt, floor;
    };
    std::vector<Row> rows;
    int failures = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string clip = argv[i];
        Row row{std::filesystem::path(clip).filename().string(), Frames(clip), {}, {}, {}, {}, {}};
        const std::string copy = work + "/ours.avi";
        row.ours = Best([&] { return Ours(clip, copy, media::DecodePath::kFast); });
        const uint64_t bytes = row.ours.ok ? std::filesystem::file_size(copy) : 0;
        row.theirs = Best([&] { return Ffmpeg(clip, work, true); });
        row.reference = Best([&] { return Ours(clip, copy, media::DecodePath::kReference); });
        row.theirsMt = Best([&] { return Ffmpeg(clip, work, false); });
        row.floor =
            Best([&] { return InChild([&] { return Floor(clip, work + "/floor.avi", bytes); }); });
        const bool ok = row.ours.ok && row.theirs.ok && row.reference.ok && row.theirsMt.ok &&
                        row.floor.ok && row.frames > 0;
        if (!ok) {
            std::printf("%s failed (ours %d, ffmpeg %d, reference %d, ffmpeg mt %d, floor %d)\n",
                        row.name.c_str(), row.ours.ok, row.theirs.ok, row.reference.ok,
                        row.theirsMt.ok, row.floor.ok);
            ++failures;
            continue;
        }
        rows.push_back(row);
    }
    std::printf("%-26s %6s %8s %10s %6s %12s %12s | %8s %11s %7s | %9s %12s | %8s %11s %10s\n",
                "clip", "frames", "ours fps", "ffmpeg fps", "ratio", "ours peak", "ffmpeg peak",
                "ref fps", "ref peak", "ours/ref", "mt fps", "mt peak", "floor fps", "floor peak",
                "floor/ours");
    for (const Row& r : rows) {
        auto fps = [&](const Run& run) { return r.frames / run.seconds; };
        std::printf(
            "%-26s %6d %8.1f %10.1f %6.2f %8ld KiB %8ld KiB | %8.1f %7ld KiB %7.2f | "
            "%9.1f %8ld KiB | %8.1f %7ld KiB %10.2f\n",
            r.name.c_str(), r.frames, fps(r.ours), fps(r.theirs), fps(r.ours) / fps(r.theirs),
            r.ours.peakKiB, r.theirs.peakKiB, fps(r.reference), r.reference.peakKiB,
            fps(r.ours) / fps(r.reference), fps(r.theirsMt), r.theirsMt.peakKiB, fps(r.floor),
            r.floor.peakKiB, fps(r.floor) / fps(r.ours));
    }
    std::printf("\nCPU seconds (user + system), the least of the three runs\n");
    std::printf("%-26s %8s %8s %10s %8s %8s %12s %12s\n", "clip", "ours", "ffmpeg", "reference",
                "mt", "floor", "ffmpeg/ours", "ours/floor");
    for (const Row& r : rows) {
        std::printf("%-26s %8.3f %8.3f %10.3f %8.3f %8.3f %12.2f %12.2f\n", r.name.c_str(),
                    r.ours.cpuSeconds, r.theirs.cpuSeconds, r.reference.cpuSeconds,
                    r.theirsMt.cpuSeconds, r.floor.cpuSeconds,
                    r.theirs.cpuSeconds / r.ours.cpuSeconds,
                    r.ours.cpuSeconds / r.floor.cpuSeconds);
    }
    return failures == 0 ? 0 : 1;
}
