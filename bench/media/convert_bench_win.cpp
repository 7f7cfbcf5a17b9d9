// Conversion speed of this build's clip conversion as camfetch runs it (AVIFile, the
// registry, this build's libjpeg), for the Windows build under Wine beside the native one:
//   convert_bench_win WORK_FOLDER CLIP...
// Each clip is copied into WORK_FOLDER and converted in place by ConvertClipToI420 with 1
// decoding thread (the sequential way), 2 and one per core, and by the job that camfetch starts
// beside its window (StartClipConversion, one per core), three rounds of each way; prints the
// frames, the best time, frames per second and the least CPU time (user + system) of a run.
#include <windows.h>
#include <vfw.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "media_win.h"
#include "scoped_win.h"
#include "windriver.h"

namespace {

LONG VideoFrames(const std::string& clip) {
    camtools::ScopedAviFile file;
    if (AVIFileOpenA(file.Out(), clip.c_str(), OF_READ, nullptr) != 0) return 0;
    camtools::ScopedAviStream video;
    if (AVIFileGetStream(file.Get(), video.Out(), streamtypeVIDEO, 0) != 0) return 0;
    return AVIStreamLength(video.Get());
}

double CpuSeconds() {
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& t) {
        return double(uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

media::ConvertResult ConvertWith(const std::string& clip, unsigned workers) {
    auto platform = media::CreateAviFilePlatform();
    auto registry = media::CreateMachineRegistry();
    media::UsbCameraSettings settings;
    media::ConvertOptions options;
    options.workers = workers;
    options.startThread = media::StartWin32Thread;
    return media::ConvertClipToI420(clip, *platform, *registry, settings, options);
}

media::ConvertResult ConvertAsJob(const std::string& clip) {
    std::unique_ptr<media::ConversionJob> job = media::StartClipConversion(clip);
    while (!job->Ended()) Sleep(1);
    return job->Result();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: convert_bench_win WORK_FOLDER CLIP...\n");
        return 2;
    }
    AVIFileInit();
    const std::string work = windriver::WindowsPath(argv[1]);
    CreateDirectoryA(work.c_str(), nullptr);
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const unsigned cores = media::DecodingWorkers();
    struct Way {
        std::string name;
        std::function<media::ConvertResult(const std::string&)> convert;
    };
    const Way ways[] = {
        {"1 thread", [](const std::string& c) { return ConvertWith(c, 1); }},
        {"2 threads", [](const std::string& c) { return ConvertWith(c, 2); }},
        {"all (" + std::to_string(cores) + ")",
         [cores](const std::string& c) { return ConvertWith(c, cores); }},
        {"job", ConvertAsJob},
    };
    std::printf("%-28s %-10s %7s %10s %10s %8s\n", "clip", "way", "frames", "seconds", "fps",
                "CPU s");
    int failed = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string clip = windriver::WindowsPath(argv[i]);
        const std::string copy = work + "\\bench.avi";
        const std::string name = clip.substr(clip.find_last_of('\\') + 1);
        const LONG frames = VideoFrames(clip);
        const size_t count = sizeof ways / sizeof ways[0];
        std::vector<double> best(count, 0), bestCpu(count, 0);
        for (int round = 0; round < 3; ++round) {
            for (size_t w = 0; w < count; ++w) {
                if (!CopyFileA(clip.c_str(), copy.c_str(), FALSE)) break;
                LARGE_INTEGER start, end;
                const double cpuStart = CpuSeconds();
                QueryPerformanceCounter(&start);
                const media::ConvertResult result = ways[w].convert(copy);
                QueryPerformanceCounter(&end);
                const double cpu = CpuSeconds() - cpuStart;
                if (result != media::ConvertResult::Converted) {
                    std::printf("%s, %s: conversion failed with %d\n", argv[i],
                                ways[w].name.c_str(), int(result));
                    ++failed;
                    continue;
                }
                const double seconds =
                    double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
                if (best[w] == 0 || seconds < best[w]) best[w] = seconds;
                if (bestCpu[w] == 0 || cpu < bestCpu[w]) bestCpu[w] = cpu;
            }
        }
        for (size_t w = 0; w < count; ++w)
            if (best[w] > 0)
                std::printf("%-28s %-10s %7ld %10.3f %10.1f %8.3f\n", name.c_str(),
                            ways[w].name.c_str(), long(frames), best[w], frames / best[w],
                            bestCpu[w]);
        DeleteFileA(copy.c_str());
    }
    AVIFileExit();
    return failed ? 1 : 0;
}
