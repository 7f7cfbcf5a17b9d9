#include "conversion_job.h"

#include <algorithm>
#include <system_error>
#include <thread>

namespace media {
namespace {

class StdJobThread : public JobThread {
public:
    explicit StdJobThread(std::function<void()> body) : thread_(std::move(body)) {}
    ~StdJobThread() override { thread_.join(); }

private:
    std::thread thread_;
};

}  // namespace

std::unique_ptr<JobThread> StartStdThread(std::function<void()> body) {
    try {
        return std::make_unique<StdJobThread>(std::move(body));
    } catch (const std::system_error&) {
        return nullptr;
    }
}

unsigned DecodingWorkers() { return std::max(std::thread::hardware_concurrency(), 1u); }

ConversionJob::ConversionJob(Work work, const ThreadStarter& start) {
    thread_ = start([this, work = std::move(work)] {
        ConvertResult result;
        try {
            result = work(control_);
        } catch (...) {
            // Nothing may leave the thread; a conversion throws only for lack of memory.
            result = ConvertResult::NotEnoughSpace;
        }
        result_ = result;
        ended_.store(true, std::memory_order_release);
    });
    if (!thread_) {
        result_ = ConvertResult::NotEnoughSpace;
        ended_.store(true, std::memory_order_release);
    }
}

ConversionJob::~ConversionJob() {
    control_.Cancel();
    thread_.reset();
}

}  // namespace media
