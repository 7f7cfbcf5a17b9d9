// Downloads a 4 MiB file from the simulated camera's model at several block sizes and prints,
// per block size, the camera requests per block, the CPU time one tick spends outside the
// camera requests (the step itself: buffer, copy, file write), and the bytes per second that
// one block per 100 ms tick allows. Not a test: scripts/bench-camfetch-download runs it.
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

#include "camera_model.h"
#include "fetch_session.h"

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

class NullView : public camfetch::FetchView {
public:
    std::vector<uint32_t> rows;
    void ShowMessage(int) override {}
    void ApplyControlMode(camfetch::ControlMode) override {}
    void ShowCountdown(int) override {}
    void RevealCountdownLine() override {}
    void StartCountdownTimer() override {}
    void EndDialogAsCancel() override {}
    void AddStorageSource(const char*, int) override {}
    int SelectFirstStorageSource() override { return camfetch::kStorageSourceFlash; }
    void DeleteAllRows() override { rows.clear(); }
    void AppendRows(size_t count) override { rows.resize(rows.size() + count, 0); }
    void DeleteRow(size_t row) override { rows.erase(rows.begin() + ptrdiff_t(row)); }
    void ReadRowStates(std::vector<uint32_t>& states) override { states = rows; }
    void WriteRowStates(const std::vector<uint32_t>& states) override { rows = states; }
    void SuspendRedraw() override {}
    void RedrawRows() override {}
    void ShowStatusLine(const std::string&) override {}
    void ShowPercent(const std::string&) override {}
    void SetProgress(int) override {}
    void ShowRemaining(const std::string&) override {}
    void RefreshRow(size_t) override {}
    void EnsureRowVisible(size_t) override {}
    bool IsConvertAviChecked() override { return false; }
};

// Writes to one real file, whatever path the run names.
class StdioStore : public camfetch::DownloadStore {
public:
    explicit StdioStore(std::string path) : path_(std::move(path)) {}
    ~StdioStore() override { Close(); }
    void CreateFolder(const std::string&) override {}
    bool CreateOutput(const std::string&) override {
        file_ = std::fopen(path_.c_str(), "wb");
        return file_ != nullptr;
    }
    bool Write(const uint8_t* data, size_t size) override {
        return file_ && std::fwrite(data, 1, size, file_) == size;
    }
    bool Close() override {
        if (!file_) return true;
        bool ok = std::fclose(file_) == 0;
        file_ = nullptr;
        return ok;
    }
    bool Remove(const std::string&) override { return std::remove(path_.c_str()) == 0; }
    void SetWriteTime(const std::string&, uint16_t, uint16_t) override {}

private:
    std::string path_;
    std::FILE* file_ = nullptr;
};

}  // namespace

int main() {
    const uint32_t kFileSize = 4u << 20;
    std::printf("%-10s %8s %8s %14s %16s %14s\n", "block", "blocks", "ticks", "requests/block",
                "CPU/tick outside", "bytes/s at 100ms");
    for (uint32_t block : {4u << 10, 64u << 10, 1u << 20}) {
        camsim::Profile profile;
        profile.blockSize = block;
        camsim::StoredFile file;
        file.name = "BIG";
        file.extension = "JPG";
        file.content.resize(kFileSize);
        for (size_t i = 0; i < file.content.size(); ++i) file.content[i] = uint8_t(i % 251);
        profile.files.push_back(file);
        camsim::CameraModel model(profile);
        auto transport = std::make_unique<TimedTransport>(model);
        TimedTransport& timed = *transport;
        camera::CameraChannel channel(std::move(transport));
        channel.Open();
        NullView view;
        StdioStore store("/tmp/camfetch_download_bench.bin");
        camfetch::FetchSession session(channel, view);
        session.SetDownloadFolder("c:\\bench");
        session.SetDatedFolderName("dated");
        session.SetDownloadStore(&store);
        while (session.controlMode() != camfetch::kModeReady) session.ConnectionStep();
        view.rows.assign(view.rows.size(), camfetch::listStateSelected);
        session.StartDownloadRun();

        timed.inside = 0;
        timed.requests = 0;
        int ticks = 0;
        double start = ThreadCpuSeconds();
        while (session.downloadState() != camfetch::RunState::Idle) {
            session.ConnectionStep();
            ++ticks;
        }
        double total = ThreadCpuSeconds() - start;
        uint32_t blocks = (kFileSize + block - 1) / block;
        double outside = (total - timed.inside) / ticks;
        std::printf("%-10u %8u %8d %14.2f %13.1f us %14.0f\n", block, blocks, ticks,
                    double(timed.requests) / blocks, outside * 1e6, double(block) / 0.1);
        if (session.downloadDone() != 1) std::printf("  the download did not complete\n");
    }
    std::remove("/tmp/camfetch_download_bench.bin");
    return 0;
}
