// How long a program's window goes unanswered while it works (scripts/bench-responsiveness).
// A probe thread sends the window WM_NULL every 20 ms with SendMessageTimeout, as Windows does
// before it calls a window "Not Responding", and keeps the longest wait for an answer; the
// main thread drives the program through one case meanwhile.
//   responsiveness_bench camfetch-download CAMFETCH_EXE BYTES [convert]
//     waits for the listing, selects every row and downloads them (BYTES in all), with Convert
//     AVI ticked when asked; prints the listing's and the run's length, the rate, how long the
//     clip's conversion took, and the longest unanswered time.
//   responsiveness_bench camflash-update CAMFLASH_EXE WORK_DIR
//     presses Update in camflash started in WORK_DIR, accepts the DRAM script it offers and
//     answers every message; prints the update's length (from the DRAM dialog's OK to
//     "Firmware update finished !!") and the longest unanswered time.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "resource.h"
#include "windriver.h"

namespace {

double NowMs() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// Sends WM_NULL every 20 ms until stopped, and keeps the longest wait for an answer.
class Probe {
public:
    explicit Probe(HWND window)
        : window_(window), thread_([this] {
              while (!stop_) {
                  double start = NowMs();
                  DWORD_PTR result = 0;
                  SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &result);
                  double waited = NowMs() - start;
                  if (waited > longestMs_) longestMs_ = waited;
                  if (waited > 100) ++over100_;
                  ++probes_;
                  Sleep(20);
              }
          }) {}
    ~Probe() { Stop(); }
    void Stop() {
        stop_ = true;
        thread_.Join();
    }
    void Print() const {
        std::printf("  probes %d, longest unanswered %.0f ms, answered later than 100 ms: %d\n",
                    probes_.load(), longestMs_.load(), over100_.load());
    }

private:
    HWND window_;
    std::atomic<bool> stop_{false};
    std::atomic<double> longestMs_{0};
    std::atomic<int> probes_{0}, over100_{0};
    windriver::Thread thread_;
};

int CamfetchDownload(const char* program, double bytes, bool convert) {
    windriver::Process process;
    windriver::StartOptions options;
    options.program = program;
    if (!process.Start(options)) {
        std::printf("camfetch did not start: %s\n", process.Error().c_str());
        return 1;
    }
    HWND main = windriver::WaitForWindow(process.Id(), "#32770", "Image Download Utility", 60000);
    if (!main) return std::printf("the main dialog did not appear\n"), 1;
    Probe probe(main);
    double listStart = NowMs();
    if (!windriver::WaitUntil([&] { return windriver::IsEnabled(main, IDC_DOWNLOAD); }, 600000))
        return std::printf("the listing did not complete\n"), 1;
    std::printf("  listed in %.2f s\n", (NowMs() - listStart) / 1000);
    HWND list = windriver::Control(main, IDC_FILE_LIST);
    windriver::Click(main, IDC_SELECT_ALL);
    if (convert)
        SendMessageW(windriver::Control(main, IDC_CONVERT_AVI), BM_SETCHECK, BST_CHECKED, 0);
    double start = NowMs();
    windriver::Click(main, IDC_DOWNLOAD);
    windriver::WaitUntil([&] { return !windriver::IsEnabled(main, IDC_DOWNLOAD); }, 30000);
    double converting = 0;
    bool ended = windriver::WaitUntil(
        [&] {
            if (converting == 0 &&
                windriver::ControlText(main, IDC_STATUS_LINE).rfind("Converting", 0) == 0)
                converting = NowMs();
            return windriver::IsEnabled(main, IDC_DOWNLOAD);
        },
        1800000);
    double seconds = (NowMs() - start) / 1000;
    if (convert)
        std::printf("  the conversion took %.2f s (from the status line's \"Converting\")\n",
                    converting > 0 ? (NowMs() - converting) / 1000 : 0.0);
    probe.Stop();
    std::string last = windriver::ListCellText(list, 0, 3);
    std::printf("  download %s in %.2f s: %.0f bytes, %.2f MB/s; row 1 \"%s\"\n",
                ended ? "ended" : "DID NOT END", seconds, bytes, bytes / seconds / 1e6,
                last.c_str());
    probe.Print();
    windriver::Click(main, IDOK);
    DWORD code = 1;
    process.WaitForExit(code, 30000);
    return ended ? 0 : 1;
}

// camflash's main dialog: its caption and the Update button (camflash/resource.h).
const char kCamflashCaption[] = "ZQ71RU_V2.0.1.0 UPDATE FIRMWARE";
constexpr int kCamflashUpdate = 1000;

int CamflashUpdate(const char* program, const char* workDir) {
    windriver::Process process;
    windriver::StartOptions options;
    options.program = program;
    options.workingDirectory = workDir;
    if (!process.Start(options)) {
        std::printf("camflash did not start: %s\n", process.Error().c_str());
        return 1;
    }
    HWND main = windriver::WaitForWindow(process.Id(), "#32770", kCamflashCaption, 60000);
    if (!main) return std::printf("the main dialog did not appear\n"), 1;
    Probe probe(main);
    windriver::Click(main, kCamflashUpdate);
    HWND dram = windriver::WaitForWindow(process.Id(), "#32770", "DRAM Setting ", 60000);
    if (!dram) return std::printf("the DRAM Setting dialog did not appear\n"), 1;
    double start = NowMs();
    windriver::Click(dram, IDOK);
    bool finished = false;
    DWORD code = 1;
    while (!process.WaitForExit(code, 20)) {
        windriver::MessageBoxInfo box;
        if (!windriver::FindMessageBox(process.Id(), box, main)) continue;
        std::printf("  after %.2f s: \"%s\"\n", (NowMs() - start) / 1000, box.text.c_str());
        if (box.text == "Firmware update finished !!") {
            finished = true;
            probe.Stop();
        }
        windriver::AnswerMessageBox(box, IDOK);
    }
    probe.Stop();
    std::printf("  update %s\n", finished ? "finished" : "DID NOT FINISH");
    probe.Print();
    return finished ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string what = argc > 1 ? argv[1] : "";
    if (what == "camfetch-download" && argc > 3)
        return CamfetchDownload(argv[2], std::atof(argv[3]),
                                argc > 4 && std::string(argv[4]) == "convert");
    if (what == "camflash-update" && argc > 3) return CamflashUpdate(argv[2], argv[3]);
    std::printf(
        "usage: responsiveness_bench camfetch-download CAMFETCH_EXE BYTES [convert]\n"
        "       responsiveness_bench camflash-update CAMFLASH_EXE WORK_DIR\n");
    return 2;
}
