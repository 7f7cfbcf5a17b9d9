#include "frame_workers.h"

namespace media {

FrameWorkers::FrameWorkers(unsigned workers, DecodePath path, bool mirror, uint32_t width,
                           uint32_t height, const ThreadStarter& start)
    : mirror_(mirror), width_(width), height_(height) {
    const size_t slots = size_t(workers) * 2;
    slots_.resize(slots);
    decoded_.assign(slots, false);
    failures_.resize(slots);
    const size_t frameSize = I420FrameSize(width, height);
    for (Slot& slot : slots_) {
        slot.frame.resize(frameSize);
        slot.compressed.resize(frameSize);
    }
    for (unsigned i = 0; i < workers; ++i)
        decoders_.push_back(std::make_unique<FrameDecoder>(path));
    for (unsigned i = 0; i < workers; ++i) {
        FrameDecoder* decoder = decoders_[i].get();
        std::unique_ptr<JobThread> thread = start([this, decoder] { Work(*decoder); });
        if (!thread) break;  // fewer workers, or none: the owner then decodes itself
        threads_.push_back(std::move(thread));
    }
}

FrameWorkers::~FrameWorkers() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    work_.notify_all();
    threads_.clear();  // joins
}

void FrameWorkers::Submit() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++submitted_;
    }
    work_.notify_one();
}

FrameWorkers::Slot& FrameWorkers::Oldest() {
    const size_t index = released_ % slots_.size();
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return bool(decoded_[index]); });
    if (failures_[index]) std::rethrow_exception(failures_[index]);
    return slots_[index];
}

void FrameWorkers::Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    decoded_[released_ % slots_.size()] = false;
    ++released_;
}

void FrameWorkers::Work(FrameDecoder& decoder) {
    for (;;) {
        size_t index;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_.wait(lock, [&] { return stop_ || taken_ < submitted_; });
            if (stop_) return;
            index = taken_++ % slots_.size();
        }
        Slot& slot = slots_[index];
        std::exception_ptr failure;
        try {
            slot.result =
                decoder.DecodeFrameToI420(slot.compressed.data(), slot.length, slot.frame.data(),
                                          slot.frame.size(), width_, height_);
            if (slot.result.error == 0 && mirror_)
                MirrorI420Frame(slot.frame.data(), width_, height_, width_);
        } catch (...) {
            failure = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            failures_[index] = failure;
            decoded_[index] = true;
        }
        done_.notify_one();
    }
}

}  // namespace media
