// The one question the driver process cannot put to camflash's main dialog: Wine refuses
// WM_QUERYDRAGICON and WM_GETICON from another process (ERROR_ACCESS_DENIED). So this test
// runs the main dialog in its own process against the simulated camera's model, asks it
// as soon as it has initialised, and closes it.
#include <windows.h>

#include <memory>

#include "camera_channel.h"
#include "camera_model.h"
#include "main_dialog_win.h"
#include "resource.h"
#include "wintest.h"

namespace {

HICON dragIcon = nullptr;
HICON bigIcon = nullptr;

LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG && GetDlgItem(call->hwnd, IDC_UPDATE)) {
        dragIcon = reinterpret_cast<HICON>(SendMessageW(call->hwnd, WM_QUERYDRAGICON, 0, 0));
        bigIcon = reinterpret_cast<HICON>(SendMessageW(call->hwnd, WM_GETICON, ICON_BIG, 0));
        PostMessageW(call->hwnd, WM_COMMAND, IDOK, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

}  // namespace

WT_TEST(MinimisedTheDialogDragsTheProgramIcon) {
    camsim::CameraModel model{camsim::Profile()};
    camera::CameraChannel channel(std::make_unique<camsim::ModelTransport>(model));
    HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROCRET, AfterMessage, nullptr, GetCurrentThreadId());
    WT_CHECK_EQ(camflash::RunMainDialog(GetModuleHandleW(nullptr), channel), INT_PTR(IDOK));
    UnhookWindowsHookEx(hook);
    WT_CHECK(dragIcon != nullptr);
    WT_CHECK(dragIcon == bigIcon);
    WT_CHECK(dragIcon == LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)));
}

int main(int argc, char** argv) { return wintest::RunAll(argc, argv); }
