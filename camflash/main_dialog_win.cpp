#include "main_dialog_win.h"

#include "dialog_win.h"
#include "dpi_win.h"
#include "dram_dialog_win.h"
#include "file_source_win.h"
#include "message_pump_win.h"
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

// What the update sequence shows, shown in this dialog; its waits take the dialog's messages.
class DialogUi : public UpdateUi {
public:
    DialogUi(HWND dialog, HINSTANCE instance)
        : dialog_(dialog), instance_(instance), pump_(dialog) {}

    std::string LoadText(unsigned id) override { return Narrow(LoadResourceString(id)); }
    void ShowMessage(const std::string& text) override { ShowWarning(dialog_, Widen(text)); }
    void SetStatus(const std::string& text) override {
        status_ = Widen(text);
        ShowStatus(status_);
    }
    bool ChooseDramScript(std::string& path) override {
        WString chosen;
        if (!ShowDramSettingDialog(instance_, dialog_, chosen)) return false;
        path = Narrow(chosen);  // UTF-8: any character of the path survives
        return true;
    }
    void Pause(uint32_t milliseconds) override { pump_.Wait(milliseconds); }
    void TakeMessages() override { pump_.TakeMessages(); }
    void ShowStep(UpdateStep step) override {
        if (step != UpdateStep::None) {
            stepShown_ = true;
            ShowStatus(Widen(StepText(step)));
        } else if (stepShown_) {
            stepShown_ = false;
            ShowStatus(status_);
        }
    }
    void SetUpdating(bool updating) override {
        HWND update = GetDlgItem(dialog_, IDC_UPDATE);
        EnableWindow(update, !updating);
        EnableWindow(GetDlgItem(dialog_, IDOK), !updating);
        // Greys the close box and the system menu's Close; the dialog refuses them anyway.
        EnableMenuItem(GetSystemMenu(dialog_, FALSE), SC_CLOSE,
                       MF_BYCOMMAND | (updating ? MF_GRAYED : MF_ENABLED));
        if (updating) {
            ShutdownBlockReasonCreate(dialog_, Widen(kTextShutdownBlocked).c_str());
        } else {
            ShutdownBlockReasonDestroy(dialog_);
            // Disabling Update took the focus away; give it back while the dialog is active.
            if (GetActiveWindow() == dialog_)
                SendMessageW(dialog_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(update), TRUE);
        }
    }
    void EndDialog() override { ::EndDialog(dialog_, IDOK); }

private:
    void ShowStatus(const WString& text) {
        SetDlgItemTextW(dialog_, IDC_STATUS, text.c_str());
        // Painted now: the next pump may come only after a camera request.
        UpdateWindow(GetDlgItem(dialog_, IDC_STATUS));
    }

    HWND dialog_;
    HINSTANCE instance_;
    MessagePump pump_;
    WString status_;  // the text SetStatus gave last, shown again once no step is
    bool stepShown_ = false;
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
        case WM_SYSCOMMAND: return OnSysCommand(wParam);
        case WM_CLOSE: return OnClose();
        case WM_QUERYENDSESSION: return OnQueryEndSession();
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
        case IDCANCEL:  // Exit, Enter, Esc, and the close box through WM_CLOSE
            if (runner_.MayClose()) EndDialog(hwnd_, id);
            return TRUE;
        }
        return FALSE;
    }

    // The close box, Alt+F4 and the system menu's Close do nothing while the camera is being
    // updated: an interrupted update can leave it without working firmware.
    BOOL OnSysCommand(WPARAM command) {
        return (command & 0xFFF0) == SC_CLOSE && !runner_.MayClose();
    }
    BOOL OnClose() { return !runner_.MayClose(); }

    // Windows asks before logging off or shutting down; while the camera is being updated
    // the answer is no (the reason shown was given by DialogUi::SetUpdating).
    BOOL OnQueryEndSession() {
        if (runner_.MayClose()) return FALSE;  // the default answer: yes
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, FALSE);
        return TRUE;
    }

    // Runs on this thread, taking messages in its pauses and between camera requests; a
    // second press of Update meanwhile finds the runner busy and does nothing.
    void OnUpdate() {
        DialogUi ui(hwnd_, instance_);
        Win32FileOpener files;
        UpdateSettings settings;
        settings.firmwareFileName = state_.firmwareFileName;
        settings.needsPreparation = state_.needsPreparation;
        camtools::SystemKeepAwake awake;
        UpdateResult result = UpdateResult::Cancelled;
        runner_.Run(awake, camera_, files, ui, settings, result);
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
    UpdateRunner runner_;
};

}  // namespace

INT_PTR RunMainDialog(HINSTANCE instance, camera::CameraChannel& camera) {
    return MainDialog(instance, camera).RunModal(instance, IDD_CAMFLASH_DIALOG, nullptr);
}

}  // namespace camflash
