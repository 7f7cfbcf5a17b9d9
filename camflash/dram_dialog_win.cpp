#include "dram_dialog_win.h"

#include <commdlg.h>

#include <vector>

#include "resource.h"
#include "texts.h"
#include "win_util_win.h"

namespace camflash {
namespace {

struct DramDialog {
    WideString fileName;
};

DramDialog* Get(HWND dialog) {
    return reinterpret_cast<DramDialog*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
}

void OnBrowse(HWND dialog, DramDialog& data) {
    // Room for any path the system can hand back.
    std::vector<wchar_t> file(32768, L'\0');
    const wchar_t initial[] = L"*.txt";
    std::copy(initial, initial + sizeof initial / sizeof initial[0], file.begin());
    static const wchar_t filter[] = L"TXT file *.txt\0*.txt\0All Files (*.*)\0*.*\0";
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = dialog;
    ofn.lpstrFilter = filter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = DWORD(file.size());
    ofn.lpstrDefExt = L"txt";
    ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER |
                OFN_ENABLESIZING;
    if (!GetOpenFileNameW(&ofn)) return;  // cancelled: the old path stays
    data.fileName = FromWide(file.data());
    SetDlgItemTextW(dialog, IDC_DRAM_FILE, W(data.fileName));
}

void OnOk(HWND dialog, DramDialog& data) {
    if (data.fileName.empty()) {
        ShowWarning(dialog, Widen(kTextSelectDramFile));
        return;
    }
    WriteDramSetting(data.fileName);
    EndDialog(dialog, IDOK);
}

INT_PTR CALLBACK DramDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrW(dialog, GWLP_USERDATA, lParam);
        DramDialog* data = reinterpret_cast<DramDialog*>(lParam);
        SetDlgItemTextW(dialog, IDC_DRAM_FILE, W(data->fileName));
        CenterDialog(dialog);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_DRAM_BROWSE:
            OnBrowse(dialog, *Get(dialog));
            return TRUE;
        case IDOK:
            OnOk(dialog, *Get(dialog));
            return TRUE;
        case IDCANCEL:  // Cancel, Escape and the close box; the setting is not written
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

}  // namespace

bool ShowDramSettingDialog(HINSTANCE instance, HWND owner, WideString& path) {
    DramDialog data;
    data.fileName = ReadDramSetting();
    INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_DRAM_SETTING), owner,
                                     DramDialogProc, reinterpret_cast<LPARAM>(&data));
    if (result != IDOK) return false;
    path = data.fileName;
    return true;
}

}  // namespace camflash
