// camfetch's storage work against the simulated camera's model on a modeled USB link (650 us a
// request, 16 MB/s memory reads), ticked as the dialog ticks it: a tick that stops with the
// camera ready is followed at once by the next, any other waits for the next 100 ms timer tick.
// Time is the model's link clock, so the figures do not depend on this machine's speed.
// Prints, for a 4 MiB download per block size: the rate, the link's bound (a block over the
// time of its requests and its read), their ratio, the longest tick, the requests per block and
// the CPU time per block outside the camera requests; then the time of listing 10,000 entries
// and of deleting 100 files. Not a test: scripts/bench-camfetch-download runs it.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>

#include "camera_model.h"
#include "fetch_session.h"
#include "row_state_view.h"

namespace {

double ThreadCpuSeconds() {
    timespec t = {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The model's transport, with the CPU time spent inside it added up.
class TimedTransport : public camera::PropertyTransport {
public:
    explicit TimedTransport(camsim::CameraModel& model) : inner_(model) {}
    bool FindDevice(const char* name) override { return inner_.FindDevice(name); }
    void Release() override { inner_.Release(); }
    bool GetProperty(uint32_t id, void* buffer, uint32_t length) override {
        double start = ThreadCpuSeconds();
        bool ok = inner_.GetProperty(id, buffer, length);
        inside += ThreadCpuSeconds() - start;
        ++requests;
        return ok;
    }
    bool SetProperty(uint32_t id, const void* buffer, uint32_t length) override {
        double start = ThreadCpuSeconds();
        bool ok = inner_.SetProperty(id, buffer, length);
        inside += ThreadCpuSeconds() - start;
        ++requests;
        return ok;
    }
    double inside = 0;
    long requests = 0;

private:
    camsim::ModelTransport inner_;
};

// Writes into one real folder, each file under the last part of the path the run names, the
// way the product does: data synced to the disk at Close, then renamed into place and the folder
// synced. Adds up the wall-clock time those syncs and the rename take.
class PosixStore : public camfetch::DownloadStore {
public:
    explicit PosixStore(std::string folder) : folder_(std::move(folder)) {
        ::mkdir(folder_.c_str(), 0755);
    }
    ~PosixStore() override { Close(); }
    bool CreateFolder(const std::string&) override { return true; }
    bool CreateOutput(const std::string& path) override {
        fd_ = ::open(Local(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        return fd_ >= 0;
    }
    bool Write(const uint8_t* data, size_t size) override {
        return fd_ >= 0 && ::write(fd_, data, size) == ssize_t(size);
    }
    bool Close() override {
        if (fd_ < 0) return true;
        auto start = std::chrono::steady_clock::now();
        bool synced = ::fsync(fd_) == 0;
        bool ok = ::close(fd_) == 0 && synced;
        fd_ = -1;
        durableSeconds += Since(start);
        return ok;
    }
    bool MoveIntoPlace(const std::string& from, const std::string& to) override {
        auto start = std::chrono::steady_clock::now();
        bool ok = std::rename(Local(from).c_str(), Local(to).c_str()) == 0;
        int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
        ok = ok && dir >= 0 && ::fsync(dir) == 0;
        if (dir >= 0) ::close(dir);
        durableSeconds += Since(start);
        ++files;
        return ok;
    }
    bool Remove(const std::string& path) override { return std::remove(Local(path).c_str()) == 0; }
    void SetWriteTime(const std::string&, uint16_t, uint16_t) override {}

    double durableSeconds = 0;
    int files = 0;

private:
    std::string Local(const std::string& path) const {
        return folder_ + "/" + path.substr(path.find_last_of('\\') + 1);
    }
    static double Since(std::chrono::steady_clock::time_point start) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    std::string folder_;
    int fd_ = -1;
};

const char* const kBenchFolder = "/tmp/camfetch_download_bench";
constexpr uint32_t kLatencyUs = 650;
constexpr uint32_t kReadRate = 16000000;
constexpr uint64_t kTimerUs = 100000;
constexpr uint64_t kBudgetUs = 50000;

// A session on the model, ticked as the dialog ticks it.
struct Rig {
    explicit Rig(camsim::Profile profile) : model(WithLink(std::move(profile))) {
        auto owned = std::make_unique<TimedTransport>(model);
        transport = owned.get();
        channel = std::make_unique<camera::CameraChannel>(std::move(owned));
        channel->Open();
        session = std::make_unique<camfetch::FetchSession>(*channel, view);
        session->SetDownloadFolder("c:\\bench");
        session->SetDatedFolderName("dated");
        session->SetDownloadStore(&store);
        session->SetTickBudget({kBudgetUs, [this] { return model.clockNs() / 1000; }, nullptr});
    }
    static camsim::Profile WithLink(camsim::Profile profile) {
        profile.requestLatencyUs = kLatencyUs;
        profile.readBytesPerSecond = kReadRate;
        return profile;
    }
    uint64_t NowUs() const { return model.clockNs() / 1000; }
    // Ticks until `done`; returns the link time it took, in microseconds, from the first tick
    // to the end of the tick that got it done.
    template <typename Done>
    uint64_t TickUntil(Done done) {
        const uint64_t start = NowUs();
        while (!done()) {
            const uint64_t tickStart = NowUs();
            bool more = session->ConnectionStep();
            longestTickUs = std::max(longestTickUs, NowUs() - tickStart);
            if (!more && !done()) model.Advance((kTimerUs - NowUs() % kTimerUs) * 1000);
        }
        return NowUs() - start;
    }
    void SelectAll() { view.rows.assign(view.rows.size(), camfetch::listStateSelected); }

    camsim::CameraModel model;
    TimedTransport* transport = nullptr;
    std::unique_ptr<camera::CameraChannel> channel;
    RowStateView view;
    PosixStore store{kBenchFolder};
    std::unique_ptr<camfetch::FetchSession> session;
    uint64_t longestTickUs = 0;
};

bool Listed(const Rig& rig) { return rig.session->controlMode() == camfetch::kModeReady; }

// Pictures P0000000.JPG, P0000001.JPG, ... of `bytes` bytes each, the i-th filled with i.
std::vector<camsim::StoredFile> NumberedPictures(unsigned count, size_t bytes) {
    std::vector<camsim::StoredFile> files(count);
    for (unsigned i = 0; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "P%07u", i);
        files[i].name = name;
        files[i].extension = "JPG";
        files[i].content.assign(bytes, uint8_t(i));
    }
    return files;
}

void Download() {
    const uint32_t kFileSize = 4u << 20;
    std::printf("A 4 MiB download, %u us a request, %.0f MB/s reads:\n", kLatencyUs,
                kReadRate / 1e6);
    std::printf("%-8s %8s %8s %7s %10s %9s %12s\n", "block", "MB/s", "bound", "ratio", "long tick",
                "req/block", "CPU/block");
    for (uint32_t block : {4u << 10, 16u << 10, 64u << 10, 1u << 20}) {
        camsim::Profile profile;
        profile.blockSize = block;
        camsim::StoredFile file;
        file.name = "BIG";
        file.extension = "JPG";
        file.content.resize(kFileSize);
        for (size_t i = 0; i < file.content.size(); ++i) file.content[i] = uint8_t(i % 251);
        profile.files.push_back(file);
        Rig rig(profile);
        rig.TickUntil([&] { return Listed(rig); });
        rig.SelectAll();
        rig.session->StartDownloadRun();
        rig.transport->inside = 0;
        rig.transport->requests = 0;
        rig.longestTickUs = 0;
        double cpuStart = ThreadCpuSeconds();
        uint64_t us =
            rig.TickUntil([&] { return rig.session->downloadState() == camfetch::RunState::Idle; });
        double cpu = ThreadCpuSeconds() - cpuStart - rig.transport->inside;
        const uint32_t blocks = (kFileSize + block - 1) / block;
        const double requestsPerBlock = double(rig.transport->requests) / blocks;
        const double rate = kFileSize / (us / 1e6) / 1e6;
        const double bound = block / (4 * kLatencyUs / 1e6 + double(block) / kReadRate) / 1e6;
        std::printf("%-8u %8.2f %8.2f %6.0f%% %7.1f ms %9.2f %9.1f us\n", block, rate, bound,
                    100 * rate / bound, rig.longestTickUs / 1e3, requestsPerBlock,
                    cpu / blocks * 1e6);
        if (rig.session->downloadDone() != 1) std::printf("  the download did not complete\n");
    }
}

void ListAndDelete() {
    camsim::Profile profile;
    profile.blockSize = 4096;  // 128 entries a block
    profile.files = NumberedPictures(10000, 0);
    Rig rig(profile);
    uint64_t listUs = rig.TickUntil([&] { return Listed(rig); });
    std::printf(
        "Listing 10,000 entries at 128 a block: %.3f s of link time, longest tick %.1f ms\n",
        listUs / 1e6, rig.longestTickUs / 1e3);
    for (size_t i = 0; i < rig.view.rows.size(); ++i)
        rig.view.rows[i] = i < 100 ? camfetch::listStateSelected : 0;
    rig.longestTickUs = 0;
    rig.session->StartDeleteRun();
    uint64_t deleteUs =
        rig.TickUntil([&] { return rig.session->deleteState() == camfetch::RunState::Idle; });
    std::printf("Deleting 100 files: %.3f s of link time, longest tick %.1f ms; %zu rows left\n",
                deleteUs / 1e6, rig.longestTickUs / 1e3, rig.session->catalogue().size());
}

// What making each file durable costs: 100 files of 16 KiB, one block each.
void Flush() {
    camsim::Profile profile;
    profile.blockSize = 16384;
    profile.files = NumberedPictures(100, 16384);
    Rig rig(profile);
    rig.TickUntil([&] { return Listed(rig); });
    rig.SelectAll();
    rig.session->StartDownloadRun();
    uint64_t us =
        rig.TickUntil([&] { return rig.session->downloadState() == camfetch::RunState::Idle; });
    std::printf(
        "100 files of 16 KiB: %.3f s of link time; syncing each to the disk and "
        "renaming it into place took %.2f ms a file (wall clock, %s)\n",
        us / 1e6, rig.store.durableSeconds * 1e3 / rig.store.files, kBenchFolder);
}

}  // namespace

int main() {
    Download();
    ListAndDelete();
    Flush();
    std::system((std::string("rm -rf ") + kBenchFolder).c_str());
    return 0;
}
