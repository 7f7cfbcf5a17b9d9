// How long the real dialog's file list takes with 10,000 items: filling it (one row per item,
// texts asked for when drawn) and one SortCatalogue with every seventh row selected. Run under
// Wine by scripts/bench-camfetch; not a test. Prints one line per figure.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "camera_model.h"
#include "camera_protocol.h"
#include "main_dialog_win.h"
#include "resource.h"
#include "row_state_view.h"

using namespace camfetch;

namespace camfetch {
// The dialog's session, driven here without a camera.
struct FetchMainDialogPeer {
    static FetchSession& Session(FetchMainDialog& dialog) { return dialog.session_; }
};
}  // namespace camfetch

namespace {

constexpr size_t kItems = 10000;
constexpr int kRounds = 5;

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return double(to.QuadPart - from.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

std::vector<CatalogueItem> Items() {
    std::vector<uint8_t> entry(32, 0);
    std::mt19937 random(7);
    const char* extensions[] = {"JPG", "AVI", "WAV"};
    std::vector<CatalogueItem> items;
    for (size_t i = 0; i < kItems; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "IMG%05u", unsigned(random() % 100000));
        std::memcpy(entry.data(), name, 8);
        std::memcpy(entry.data() + 8, extensions[random() % 3], 3);
        camera::StoreU32(entry.data() + 28, uint32_t(random()));
        CatalogueItem item;
        ParseCatalogueEntry(entry.data(), item);
        items.push_back(item);
    }
    return items;
}

void Pump() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void Report(const char* what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%-40s median %8.1f ms   min %8.1f ms   (%d rounds)\n", what,
                times[times.size() / 2], times.front(), int(times.size()));
}

}  // namespace

int main() {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    camsim::CameraModel model{camsim::Profile()};
    camera::CameraChannel channel(std::make_unique<camsim::ModelTransport>(model));
    MainDialogParams params;
    params.camera = &channel;
    params.downloadFolder = "c:\\";
    params.timing.connectionPeriodMs = 0x7FFFFFFF;  // the camera stays out of the figures
    FetchMainDialog dialog(GetModuleHandleW(nullptr), params);
    HWND hwnd = dialog.Create(GetModuleHandleW(nullptr), IDD_CAMFETCH_DIALOG, nullptr);
    if (!hwnd) {
        std::printf("the dialog could not be created\n");
        return 1;
    }
    dialog.ApplyControlMode(kModeReady);
    ShowWindow(hwnd, SW_SHOW);
    Pump();
    const std::vector<CatalogueItem> items = Items();
    FetchSession& session = FetchMainDialogPeer::Session(dialog);
    std::vector<double> fill, sort;
    for (int round = 0; round < kRounds; ++round) {
        session.ClearCatalogue();
        Pump();
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        FetchSessionPeer::Stage(session, items);
        dialog.AppendRows(items.size());
        UpdateWindow(hwnd);
        Pump();
        QueryPerformanceCounter(&end);
        fill.push_back(Milliseconds(start, end));

        std::vector<uint32_t> states(items.size(), 0);
        for (size_t i = 0; i < items.size(); i += 7) states[i] = listStateSelected;
        states[3] = listStateSelected | listStateFocused;
        dialog.WriteRowStates(states);
        Pump();
        QueryPerformanceCounter(&start);
        session.ColumnClick(round % 2 == 0 ? 2 : 0);  // by size, then by name
        Pump();
        QueryPerformanceCounter(&end);
        sort.push_back(Milliseconds(start, end));
    }
    std::printf("camfetch file list, %u items, under Wine:\n", unsigned(items.size()));
    Report("fill the list (rows + first paint)", fill);
    Report("SortCatalogue (column click, redraw)", sort);
    DestroyWindow(hwnd);
    return 0;
}
