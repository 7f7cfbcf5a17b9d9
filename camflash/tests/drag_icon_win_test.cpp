// The questions the driver process cannot put to camflash's main dialog: Wine refuses
// WM_QUERYDRAGICON and WM_GETICON from another process (ERROR_ACCESS_DENIED). So this test
// runs the main dialog in its own process against the simulated camera's model, asks it
// as soon as it has initialised, tells it that its DPI doubled (as when it moves to a
// monitor of another scaling), closes it and asks again as it goes.
#include <windows.h>

#include <memory>

#include "camera_channel.h"
#include "camera_model.h"
#include "dpi_win.h"
#include "main_dialog_win.h"
#include "resource.h"
#include "scoped_win.h"
#include "wintest.h"

namespace {

HICON dragIcon = nullptr;
UINT dpi = 0;
// The window's big and small icons' widths at its DPI, then after the change.
int iconWidths[2][2] = {};

int Width(HICON icon) {
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return 0;
    camtools::ScopedGdiObject<HBITMAP> color(info.hbmColor), mask(info.hbmMask);
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    return bitmap.bmWidth;
}

void ReadIcons(HWND dialog, int* widths) {
    widths[0] = Width(reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0)));
    widths[1] = Width(reinterpret_cast<HICON>(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0)));
}

LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG && GetDlgItem(call->hwnd, IDC_UPDATE)) {
        dragIcon = reinterpret_cast<HICON>(SendMessageW(call->hwnd, WM_QUERYDRAGICON, 0, 0));
        dpi = camtools::WindowDpi(call->hwnd);
        ReadIcons(call->hwnd, iconWidths[0]);
        SendMessageW(call->hwnd, camtools::kWmDpiChanged, MAKEWPARAM(2 * dpi, 2 * dpi), 0);
        PostMessageW(call->hwnd, WM_COMMAND, IDOK, 0);  // after what the change posted
    } else if (code == HC_ACTION && call->message == WM_DESTROY &&
               GetDlgItem(call->hwnd, IDC_UPDATE)) {
        ReadIcons(call->hwnd, iconWidths[1]);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

WT_TEST(DragIconAndWindowIconsAtTheWindowsDpi) {
    camsim::CameraModel model{camsim::Profile()};
    camera::CameraChannel channel(std::make_unique<camsim::ModelTransport>(model));
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, AfterMessage, nullptr, GetCurrentThreadId());
    WT_CHECK_EQ(camflash::RunMainDialog(GetModuleHandleW(nullptr), channel), INT_PTR(IDOK));
    UnhookWindowsHookEx(hook);
    WT_CHECK(dragIcon != nullptr);
    WT_CHECK(dragIcon == LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)));
    // The window's icons are the program's icon at the icon sizes of the window's DPI.
    for (int i = 0; i < 2; ++i) {
        const UINT at = i == 0 ? dpi : 2 * dpi;
        WT_CHECK_EQ(iconWidths[i][0], camtools::SystemMetricForDpi(SM_CXICON, at));
        WT_CHECK_EQ(iconWidths[i][1], camtools::SystemMetricForDpi(SM_CXSMICON, at));
    }
}

int main(int argc, char** argv) { return wintest::RunAll(argc, argv); }
