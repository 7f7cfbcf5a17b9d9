#include "main_dialog_win.h"

#include "dram_dialog_win.h"
#include "file_source_win.h"
#include "resource.h"
#include "texts.h"
#include "update_sequence.h"
#include "win_util_win.h"
#include "work_indicators_win.h"

namespace camflash {
namespace {

struct MainDialog {
    HINSTANCE instance = nullptr;
    camera::CameraChannel* camera = nullptr;
    HICON icon = nullptr;
    HICON smallIcon = nullptr;
    MainDialogState state;
};

MainDialog* Get(HWND dialog) {
    return reinterpret_cast<MainDialog*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

// What the update sequence shows, shown in this dialog.
class DialogUi : public UpdateUi {
public:
    DialogUi(HWND dialog, HINSTANCE instance) : dialog_(dialog), instance_(instance) {}

    std::string LoadText(unsigned id) override { return Narrow(LoadResourceString(id)); }
    void ShowMessage(const std::string& text) override { ShowWarning(dialog_, Widen(text)); }
    void SetStatus(const std::string& text) override {
        SetDlgItemTextW(dialog_, IDC_STATUS, W(Widen(text)));
        // The sequence blocks the message loop: paint the new text now.
        UpdateWindow(GetDlgItem(dialog_, IDC_STATUS));
    }
    bool ChooseDramScript(std::string& path) override {
        WideString chosen;
        if (!ShowDramSettingDialog(instance_, dialog_, chosen)) return false;
        path = Narrow(chosen);
        return true;
    }
    void Pause(uint32_t milliseconds) override { Sleep(milliseconds); }
    void EndDialog() override { ::EndDialog(dialog_, IDOK); }

private:
    HWND dialog_;
    HINSTANCE instance_;
};

BOOL OnInitDialog(HWND dialog, MainDialog& data) {
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(data.icon));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL,
                 reinterpret_cast<LPARAM>(data.smallIcon ? data.smallIcon : data.icon));
    data.state = InitializeMainDialog(*data.camera);
    if (!data.state.cameraOpened) {
        // Shown before the dialog ever appears; the program ends after OK.
        ShowWarning(dialog, LoadResourceString(IDS_DEVICE_NOT_FOUND));
        EndDialog(dialog, IDOK);
    }
    SetWindowTextW(dialog, W(Widen(MainDialogCaption())));
    CenterDialog(dialog);
    return TRUE;
}

void OnUpdate(HWND dialog, MainDialog& data) {
    DialogUi ui(dialog, data.instance);
    Win32FileOpener files;
    UpdateSettings settings;
    settings.firmwareFileName = data.state.firmwareFileName;
    settings.needsPreparation = data.state.needsPreparation;
    camtools::SystemKeepAwake awake;
    RunUpdateKeepingAwake(awake, *data.camera, files, ui, settings);
}

// Minimised, the dialog shows its icon centred in the client area.
bool OnPaint(HWND dialog, MainDialog& data) {
    if (!IsIconic(dialog)) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    SendMessageW(dialog, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT client;
    GetClientRect(dialog, &client);
    int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, data.icon);
    EndPaint(dialog, &paint);
    return true;
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
        return OnInitDialog(dialog, *reinterpret_cast<MainDialog*>(lParam));
    case WM_PAINT:
        return Get(dialog) && OnPaint(dialog, *Get(dialog));
    case WM_QUERYDRAGICON:
        return Get(dialog) ? reinterpret_cast<INT_PTR>(Get(dialog)->icon) : 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_UPDATE:
            OnUpdate(dialog, *Get(dialog));
            return TRUE;
        case IDOK:
            EndDialog(dialog, IDOK);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    case WM_DESTROY:
        if (MainDialog* data = Get(dialog)) {
            if (data->state.cameraOpened) data->camera->Close();
        }
        return FALSE;
    }
    return FALSE;
}

}  // namespace

INT_PTR RunMainDialog(HINSTANCE instance, camera::CameraChannel& camera) {
    MainDialog data;
    data.instance = instance;
    data.camera = &camera;
    data.icon = LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
    data.smallIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME),
                                                   IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                   GetSystemMetrics(SM_CYSMICON), 0));
    INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_CAMFLASH_DIALOG), nullptr,
                                     MainDialogProc, reinterpret_cast<LPARAM>(&data));
    if (data.smallIcon) DestroyIcon(data.smallIcon);
    return result;
}

}  // namespace camflash
