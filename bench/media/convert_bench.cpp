// Conversion speed and memory, ours against ffmpeg's and against the floor, on the same clips:
//   convert_bench WORK_FOLDER CLIP...
// Each run is a child process; every way runs once per round, three rounds, so that what else
// the machine does falls on all of them alike:
//   ours 1, 2, all  ConvertClipToI420 as the product runs it (the fast decoding), with 1
//                   decoding thread (the sequential way), 2, and one per core
//   reference       the same with the reference decoding (full YCbCr scanlines), on every core
//   ffmpeg 1        `ffmpeg -threads 1 -c:v rawvideo -pix_fmt yuvj420p -c:a copy`, and
//   ffmpeg mt       the same with ffmpeg's default threads
//   floor           what no conversion can avoid on one core: libjpeg decoding every frame
//                   into its raw component planes (no upsampling, no repacking), and writing
//                   as many bytes as ours writes, in large sequential writes
// For each: frames per second by the wall clock and its ratio to ffmpeg 1's, the CPU time
// (user + system, which a busy machine disturbs less) and its ratio, and the peak resident
// memory. Ours also waits for its output to reach the disk before it replaces the clip.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
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

Run Ours(const std::string& clip, const std::string& copy, media::DecodePath path,
         unsigned workers) {
    std::filesystem::copy_file(clip, copy, std::filesystem::copy_options::overwrite_existing);
    return InChild([&] {
        media::PortableClipPlatform platform;
        NoRegistry registry;
        media::UsbCameraSettings settings;
        media::ConvertOptions options;
        options.decodePath = path;
        options.workers = workers;
        return int(media::ConvertClipToI420(copy, platform, registry, settings, options));
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

// The least wall time and the least CPU time of the runs (each may come from another run),
// and the largest peak memory.
void Keep(Run& best, const Run& run, bool first) {
    if (first) {
        best = run;
        return;
    }
    best.ok = best.ok && run.ok;
    best.seconds = std::min(run.seconds, best.seconds);
    best.cpuSeconds = std::min(run.cpuSeconds, best.cpuSeconds);
    best.peakKiB = std::max(run.peakKiB, best.peakKiB);
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
    const std::string copy = work + "/ours.avi";
    const unsigned cores = media::DecodingWorkers();
    struct Way {
        std::string name;
        std::function<Run(const std::string& clip, uint64_t oursBytes)> run;
    };
    const std::vector<Way> ways = {
        {"ours 1", [&](const std::string& clip,
                       uint64_t) { return Ours(clip, copy, media::DecodePath::kFast, 1); }},
        {"ours 2", [&](const std::string& clip,
                       uint64_t) { return Ours(clip, copy, media::DecodePath::kFast, 2); }},
        {"ours all (" + std::to_string(cores) + ")",
         [&](const std::string& clip, uint64_t) {
             return Ours(clip, copy, media::DecodePath::kFast, cores);
         }},
        {"reference all",
         [&](const std::string& clip, uint64_t) {
             return Ours(clip, copy, media::DecodePath::kReference, cores);
         }},
        {"ffmpeg 1", [&](const std::string& clip, uint64_t) { return Ffmpeg(clip, work, true); }},
        {"ffmpeg mt", [&](const std::string& clip, uint64_t) { return Ffmpeg(clip, work, false); }},
        {"floor",
         [&](const std::string& clip, uint64_t bytes) {
             return InChild([&] { return Floor(clip, work + "/floor.avi", bytes); });
         }},
    };
    const size_t kFfmpegOne = 4;
    int failures = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string clip = argv[i];
        const std::string name = std::filesystem::path(clip).filename().string();
        const int frames = Frames(clip);
        std::vector<Run> best(ways.size());
        uint64_t bytes = 0;
        for (int round = 0; round < 3; ++round) {
            for (size_t w = 0; w < ways.size(); ++w) {
                Keep(best[w], ways[w].run(clip, bytes), round == 0);
                if (w == 0 && bytes == 0 && best[0].ok) bytes = std::filesystem::file_size(copy);
            }
        }
        std::printf("\n%s, %d frames (best of 3 rounds)\n", name.c_str(), frames);
        std::printf("%-16s %8s %8s %8s %8s %12s\n", "", "fps", "ratio", "CPU s", "CPU ratio",
                    "peak");
        const Run& theirs = best[kFfmpegOne];
        for (size_t w = 0; w < ways.size(); ++w) {
            const Run& r = best[w];
            if (!r.ok || frames <= 0) {
                std::printf("%-16s failed\n", ways[w].name.c_str());
                ++failures;
                continue;
            }
            std::printf("%-16s %8.1f %8.2f %8.3f %8.2f %8ld KiB\n", ways[w].name.c_str(),
                        frames / r.seconds, theirs.seconds / r.seconds, r.cpuSeconds,
                        theirs.cpuSeconds / r.cpuSeconds, r.peakKiB);
        }
    }
    std::printf("\nratio: ffmpeg 1's wall time over the way's; CPU ratio: the same for CPU time\n");
    return failures == 0 ? 0 : 1;
}
