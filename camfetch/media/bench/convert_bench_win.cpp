// Conversion speed of this build's clip conversion as camfetch runs it (AVIFile, the
// registry, this build's libjpeg), for the Windows build under Wine beside the native one:
//   convert_bench_win WORK_FOLDER CLIP...
// Each clip is copied into WORK_FOLDER and converted in place by ConvertClipToI420, best of
// three runs; prints the frames, the best time and frames per second.
#include <windows.h>
#include <vfw.h>

#include <cstdio>
#include <string>

#include "media_win.h"
#include "windriver.h"

namespace {

LONG VideoFrames(const std::string& clip) {
    PAVIFILE file = nullptr;
    if (AVIFileOpenA(&file, clip.c_str(), OF_READ, nullptr) != 0) return 0;
    PAVISTREAM video = nullptr;
    LONG frames = 0;
    if (AVIFileGetStream(file, &video, streamtypeVIDEO, 0) == 0) {
        frames = AVIStreamLength(video);
        AVIStreamRelease(video);
    }
    AVIFileRelease(file);
    return frames;
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
    std::printf("%-28s %7s %10s %10s\n", "clip", "frames", "seconds", "fps");
    int failed = 0;
    for (int i = 2; i < argc; ++i) {
        const std::string clip = windriver::WindowsPath(argv[i]);
        const std::string copy = work + "\\bench.avi";
        const LONG frames = VideoFrames(clip);
        double best = 0;
        for (int run = 0; run < 3; ++run) {
            if (!CopyFileA(clip.c_str(), copy.c_str(), FALSE)) break;
            LARGE_INTEGER start, end;
            QueryPerformanceCounter(&start);
            const media::ConvertResult result = media::ConvertClipToI420(copy);
            QueryPerformanceCounter(&end);
            if (result != media::ConvertResult::Converted) {
                std::printf("%s: conversion failed with %d\n", argv[i], int(result));
                best = 0;
                break;
            }
            const double seconds =
                double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
            if (best == 0 || seconds < best) best = seconds;
        }
        const std::string name = clip.substr(clip.find_last_of('\\') + 1);
        if (best > 0)
            std::printf("%-28s %7ld %10.3f %10.1f\n", name.c_str(), long(frames), best,
                        frames / best);
        else
            ++failed;
        DeleteFileA(copy.c_str());
    }
    AVIFileExit();
    return failed ? 1 : 0;
}
