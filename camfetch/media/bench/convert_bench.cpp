// Conversion speed and memory, ours against ffmpeg's on the same clips:
//   convert_bench WORK_FOLDER CLIP...
// Each clip is converted in a child process by ConvertClipToI420 and by
// `ffmpeg -threads 1 -c:v rawvideo -pix_fmt yuvj420p -c:a copy`, best of three runs each;
// the table gives frames per second, the ratio and each child's peak resident memory.
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "clip_conversion.h"
#include "riff_avi.h"

extern char** environ;

namespace {

struct Run {
    double seconds = 0;
    long peakKiB = 0;
    bool ok = false;
};

class NoRegistry : public media::Registry {
public:
    std::unique_ptr<media::RegistryKey> OpenMachineKey(const char*) override { return nullptr; }
    std::unique_ptr<media::RegistryKey> OpenMachineKeyForReading(const char*) override { return nullptr; }
};

Run Finish(pid_t child, std::chrono::steady_clock::time_point start) {
    int status = 0;
    rusage usage{};
    Run run;
    if (wait4(child, &status, 0, &usage) == child) {
        run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        run.peakKiB = usage.ru_maxrss;
        run.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    return run;
}

Run Ours(const std::string& clip, const std::string& work) {
    const std::string copy = work + "/ours.avi";
    std::filesystem::copy_file(clip, copy, std::filesystem::copy_options::overwrite_existing);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        media::PortableClipPlatform platform;
        NoRegistry registry;
        media::UsbCameraSettings settings;
        _exit(media::ConvertClipToI420(copy, platform, registry, settings));
    }
    return Finish(child, start);
}

Run Ffmpeg(const std::string& clip, const std::string& work) {
    const std::string out = work + "/ffmpeg.avi";
    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-v", "error", "-y", "-threads", "1",
                                     "-i", clip, "-c:v", "rawvideo", "-pix_fmt", "yuvj420p",
                                     "-c:a", "copy", out};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    if (posix_spawnp(&child, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) return {};
    return Finish(child, start);
}

template <typename F>
Run Best(F convert) {
    Run best;
    for (int i = 0; i < 3; ++i) {
        Run run = convert();
        if (!run.ok) return run;
        if (!best.ok || run.seconds < best.seconds) best = run;
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
    std::printf("%-28s %7s %10s %10s %7s %12s %12s\n", "clip", "frames", "ours fps", "ffmpeg fps",
                "ratio", "ours peak", "ffmpeg peak");
    int failures = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string clip = argv[i];
        const int frames = Frames(clip);
        const Run ours = Best([&] { return Ours(clip, work); });
        const Run theirs = Best([&] { return Ffmpeg(clip, work); });
        if (!ours.ok || !theirs.ok || frames == 0) {
            std::printf("%-28s failed (ours %s, ffmpeg %s)\n",
                        std::filesystem::path(clip).filename().c_str(), ours.ok ? "ok" : "failed",
                        theirs.ok ? "ok" : "failed");
            ++failures;
            continue;
        }
        const double oursFps = frames / ours.seconds, theirFps = frames / theirs.seconds;
        std::printf("%-28s %7d %10.1f %10.1f %7.2f %9ld KiB %9ld KiB\n",
                    std::filesystem::path(clip).filename().c_str(), frames, oursFps, theirFps,
                    oursFps / theirFps, ours.peakKiB, theirs.peakKiB);
    }
    return failures == 0 ? 0 : 1;
}
