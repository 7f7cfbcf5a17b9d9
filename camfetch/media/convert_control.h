// What a running clip conversion shares with the thread that follows it, and the threads it
// runs on. The control is written by the conversion and read by its owner at any moment;
// everything in it is atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

namespace media {

// Progress (frames written of the clip's frames) and the request to stop.
class ConvertControl {
public:
    // Asks the conversion to stop; it returns ConvertResult::Cancelled at its next frame.
    void Cancel() { cancelled_.store(true); }
    bool Cancelled() const { return cancelled_.load(); }

    int32_t FramesDone() const { return framesDone_.load(); }
    int32_t FramesTotal() const { return framesTotal_.load(); }

    // The conversion's side.
    void Start(int32_t frames) {
        framesTotal_.store(frames);
        framesDone_.store(0);
    }
    void FrameDone() { framesDone_.fetch_add(1); }

private:
    std::atomic<bool> cancelled_{false};
    std::atomic<int32_t> framesDone_{0};
    std::atomic<int32_t> framesTotal_{0};
};

// A thread running one function; destroying it waits until the function has returned.
class JobThread {
public:
    virtual ~JobThread() = default;
};

// Starts `body` on a new thread; null when no thread can be made. The Win32 builds start
// threads the platform knows (under Wine a thread that calls Win32 must be made by Wine).
using ThreadStarter = std::function<std::unique_ptr<JobThread>(std::function<void()> body)>;

// A std::thread.
std::unique_ptr<JobThread> StartStdThread(std::function<void()> body);

// How many threads decode a clip's frames: one per core of the machine.
unsigned DecodingWorkers();

}  // namespace media
