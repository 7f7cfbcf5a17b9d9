#include "main_dialog_win.h"

#include "dialog_win.h"
#include "dpi_win.h"
#include "dram_dialog_win.h"
#include "file_source_win.h"
#include "resource.h"
#include "scoped_win.h"
#include "texts.h"
#include "update_sequence.h"
#include "win_util_win.h"
#include "work_indicators_win.h"

namespace camflash {
namespace {

// Posted on a DPI change (wParam: the new DPI), so that the icons follow once the dialog
// manager has rescaled the dialog.
constexpr UINT kMsgApplyDpi = WM_APP + 1;

// What the update sequence shows, shown in this dialog.
class DialogUi : public UpdateUi {
public:
    DialogUi(HWND dialog, HINSTANCE instance) : dialog_(dialog), instance_(instance) {}

    std::string LoadText(unsigned id) override { return Narrow(LoadResourceString(id)); }
    void ShowMessage(const std::string& text) override { ShowWarning(dialog_, Widen(text)); }
    void SetStatus(const std::string& text) override {
        SetDlgItemTextW(dialog_, IDC_STATUS, Widen(text).c_str());
        // The sequence blocks the message loop: paint the new text now.
        UpdateWindow(GetDlgItem(dialog_, IDC_STATUS));
    }
    bool ChooseDramScript(std::string& path) override {
        WString chosen;
        if (!ShowDramSettingDialog(instance_, dialog_, chosen)) return false;
        path = camtools::NarrowPath(chosen);
        return true;
    }
    void Pause(uint32_t milliseconds) override { Sleep(milliseconds); }
    void EndDialog() override { ::EndDialog(dialog_, IDOK); }

private:
    HWND dialog_;
    HINSTANCE instance_;
};

class MainDialog : public camtools::Dialog {
public:
    MainDialog(HINSTANCE instance, camera::CameraChannel& camera)
        : instance_(instance),
          camera_(camera),
          icon_(LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME))) {}

private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM) override {
        switch (message) {
        case WM_INITDIALOG: return OnInitDialog();
        case WM_PAINT: return OnPaint();
        case WM_QUERYDRAGICON: return reinterpret_cast<INT_PTR>(icon_);
        case camtools::kWmDpiChanged: OnDpiChanged(LOWORD(wParam)); return FALSE;
        case kMsgApplyDpi: ApplyDpi(UINT(wParam)); return TRUE;
        case WM_COMMAND: return OnCommand(LOWORD(wParam));
        case WM_DESTROY: OnDestroy(); return FALSE;
        }
        return FALSE;
    }

    BOOL OnInitDialog() {
        ApplyDpi(camtools::WindowDpi(hwnd_));
        state_ = InitializeMainDialog(camera_);
        if (!state_.cameraOpened) {
            // Shown before the dialog ever appears; the program ends after OK.
            ShowWarning(hwnd_, LoadResourceString(IDS_DEVICE_NOT_FOUND));
            EndDialog(hwnd_, IDOK);
        }
        SetWindowTextW(hwnd_, Widen(MainDialogCaption()).c_str());
        CenterDialog(hwnd_);
        return TRUE;
    }

    BOOL OnCommand(int id) {
        switch (id) {
        case IDC_UPDATE: OnUpdate(); return TRUE;
        case IDOK:
        case IDCANCEL: EndDialog(hwnd_, id); return TRUE;
        }
        return FALSE;
    }

    void OnUpdate() {
        DialogUi ui(hwnd_, instance_);
        Win32FileOpener files;
        UpdateSettings settings;
        settings.firmwareFileName = state_.firmwareFileName;
        settings.needsPreparation = state_.needsPreparation;
        camtools::SystemKeepAwake awake;
        RunUpdateKeepingAwake(awake, camera_, files, ui, settings);
    }

    // On Windows 10 1703 and later the dialog manager rescales the dialog itself after this
    // (the procedure returns FALSE to let it); the icons follow once it has.
    void OnDpiChanged(UINT dpi) { PostMessageW(hwnd_, kMsgApplyDpi, dpi, 0); }

    // The window's icons at the icon sizes of its DPI, taken from the resource's images.
    void ApplyDpi(UINT dpi) {
        dpi_ = dpi;
        camtools::ScopedIcon newBig(
            camtools::LoadIconForDpi(instance_, IDR_MAINFRAME, SM_CXICON, dpi));
        camtools::ScopedIcon newSmall(
            camtools::LoadIconForDpi(instance_, IDR_MAINFRAME, SM_CXSMICON, dpi));
        SendMessageW(hwnd_, WM_SETICON, ICON_BIG,
                     reinterpret_cast<LPARAM>(newBig ? newBig.Get() : icon_));
        SendMessageW(hwnd_, WM_SETICON, ICON_SMALL,
                     reinterpret_cast<LPARAM>(newSmall ? newSmall.Get() : icon_));
        bigIcon_ = std::move(newBig);  // the window no longer shows the old ones
        smallIcon_ = std::move(newSmall);
    }

    // Minimised, the dialog shows its icon centred in the client area.
    BOOL OnPaint() {
        if (!IsIconic(hwnd_)) return FALSE;
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(hwnd_, &paint);
        SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT client;
        GetClientRect(hwnd_, &client);
        const int width = camtools::SystemMetricForDpi(SM_CXICON, dpi_);
        const int height = camtools::SystemMetricForDpi(SM_CYICON, dpi_);
        int x = (client.right - client.left - width + 1) / 2;
        int y = (client.bottom - client.top - height + 1) / 2;
        DrawIconEx(dc, x, y, bigIcon_ ? bigIcon_.Get() : icon_, width, height, 0, nullptr,
                   DI_NORMAL);
        EndPaint(hwnd_, &paint);
        return TRUE;
    }

    void OnDestroy() {
        if (state_.cameraOpened) camera_.Close();
    }

    HINSTANCE instance_;
    camera::CameraChannel& camera_;
    HICON icon_;  // shared: LoadIcon's icons are never destroyed; the drag icon
    // The window's icons at its DPI (LoadImage's own copies).
    UINT dpi_ = camtools::kDefaultDpi;
    camtools::ScopedIcon bigIcon_, smallIcon_;
    MainDialogState state_;
};

}  // namespace

INT_PTR RunMainDialog(HINSTANCE instance, camera::CameraChannel& camera) {
    return MainDialog(instance, camera).RunModal(instance, IDD_CAMFLASH_DIALOG, nullptr);
}

}  // namespace camflash
