// A clip's frames decoded on several threads and handed back in the clip's order.
//
// The thread that owns the clip's files (the owner) reads each compressed frame into a free
// slot and submits it; a worker decodes it with a decoder of its own (and mirrors it when
// asked); the owner takes the oldest slot once it is decoded, writes it and releases it for
// the next frame. The slots are a fixed number, two per worker, so the memory in use does not
// grow with the clip's length. The workers see only the slots' bytes, never the files.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "convert_control.h"
#include "frame_decoder.h"

namespace media {

class FrameWorkers {
public:
    struct Slot {
        int32_t position = 0;
        std::vector<uint8_t> compressed;  // sized by the owner, at least `length` bytes
        size_t length = 0;
        std::vector<uint8_t> frame;  // the decoded frame: `result.length` bytes
        DecodeResult result;
    };

    // Starts up to `workers` threads with `start`; Workers() tells how many started.
    FrameWorkers(unsigned workers, DecodePath path, bool mirror, uint32_t width, uint32_t height,
                 const ThreadStarter& start);
    // Stops the workers after the frames they are decoding and waits for them.
    ~FrameWorkers();
    FrameWorkers(const FrameWorkers&) = delete;
    FrameWorkers& operator=(const FrameWorkers&) = delete;

    unsigned Workers() const { return unsigned(threads_.size()); }

    // Every slot is submitted and not yet released.
    bool Full() const { return submitted_ - released_ == slots_.size(); }
    // A submitted slot is not yet released.
    bool Pending() const { return submitted_ != released_; }
    // The slot to fill next (only while not Full), then handed to the workers by Submit.
    Slot& Next() { return slots_[submitted_ % slots_.size()]; }
    void Submit();
    // Waits until the oldest submitted slot is decoded (only while Pending). What a worker threw
    // while decoding it is thrown here.
    Slot& Oldest();
    // The oldest slot is written; it is free again.
    void Release();

private:
    void Work(FrameDecoder& decoder);

    const bool mirror_;
    const uint32_t width_, height_;
    std::vector<Slot> slots_;
    std::vector<std::unique_ptr<FrameDecoder>> decoders_;
    std::vector<std::unique_ptr<JobThread>> threads_;

    // Counters of slots, taken modulo the slot count; guarded by mutex_ where workers read them.
    uint64_t submitted_ = 0;  // written by the owner only
    uint64_t released_ = 0;   // written by the owner only
    uint64_t taken_ = 0;      // the next submitted slot no worker has taken
    std::vector<bool> decoded_;
    std::vector<std::exception_ptr> failures_;
    bool stop_ = false;
    std::mutex mutex_;
    std::condition_variable work_;  // a slot was submitted, or the workers are to stop
    std::condition_variable done_;  // a slot was decoded
};

}  // namespace media
