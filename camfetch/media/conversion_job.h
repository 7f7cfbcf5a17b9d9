// One clip conversion beside the window: the window's thread starts it, asks on each tick,
// without waiting, whether it has ended and how far it is, and may cancel it. The conversion
// runs on a thread of the job's own (which opens, reads, writes and releases every file) and
// the decoding threads it starts; none of them outlives the job.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "convert_control.h"
#include "convert_result.h"

namespace media {

class ConversionJob {
public:
    // The conversion, run on the job's thread; it reports to and checks the control it is given.
    using Work = std::function<ConvertResult(ConvertControl& control)>;

    // Starts `work` on a thread made by `start`. When no thread can be made, the job has ended
    // at once with NotEnoughSpace, and the clip is untouched.
    explicit ConversionJob(Work work, const ThreadStarter& start = StartStdThread);
    // Cancels the conversion and waits until every thread of it has stopped.
    ~ConversionJob();
    ConversionJob(const ConversionJob&) = delete;
    ConversionJob& operator=(const ConversionJob&) = delete;

    bool Ended() const { return ended_.load(std::memory_order_acquire); }
    // The conversion's result, once Ended.
    ConvertResult Result() const { return result_; }
    int32_t FramesDone() const { return control_.FramesDone(); }
    int32_t FramesTotal() const { return control_.FramesTotal(); }
    // Stops the conversion at its next frame; it then ends with Cancelled (or with its result,
    // when it had already replaced the clip).
    void Cancel() { control_.Cancel(); }

private:
    ConvertControl control_;
    ConvertResult result_ = ConvertResult::Converted;
    std::atomic<bool> ended_{false};
    std::unique_ptr<JobThread> thread_;
};

}  // namespace media
