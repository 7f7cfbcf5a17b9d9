#include "dram_dialog_win.h"

#include <commdlg.h>

#include <vector>

#include "dialog_win.h"
#include "resource.h"
#include "texts.h"

namespace camflash {
namespace {

class DramDialog : public camtools::Dialog {
public:
    explicit DramDialog(WString fileName) : fileName_(std::move(fileName)) {}
    const WString& fileName() const { return fileName_; }

private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM) override {
        switch (message) {
        case WM_INITDIALOG: return OnInitDialog();
        case WM_COMMAND: return OnCommand(LOWORD(wParam));
        }
        return FALSE;
    }

    BOOL OnInitDialog() {
        SetDlgItemTextW(hwnd_, IDC_DRAM_FILE, fileName_.c_str());
        CenterDialog(hwnd_);
        return TRUE;
    }

    BOOL OnCommand(int id) {
        switch (id) {
        case IDC_DRAM_BROWSE: OnBrowse(); return TRUE;
        case IDOK: OnOk(); return TRUE;
        case IDCANCEL:  // Cancel, Escape and the close box; the setting is not written
            EndDialog(hwnd_, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }

    void OnBrowse() {
        // Room for any path the system can hand back.
        std::vector<wchar_t> file(32768, L'\0');
        const wchar_t initial[] = L"*.txt";
        std::copy(initial, initial + sizeof initial / sizeof initial[0], file.begin());
        static const wchar_t filter[] = L"TXT file *.txt\0*.txt\0All Files (*.*)\0*.*\0";
        OPENFILENAMEW ofn = {};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = hwnd_;
        ofn.lpstrFilter = filter;
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = file.data();
        ofn.nMaxFile = DWORD(file.size());
        ofn.lpstrDefExt = L"txt";
        ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_EXPLORER |
                    OFN_ENABLESIZING;
        if (!GetOpenFileNameW(&ofn)) return;  // cancelled: the old path stays
        fileName_ = WString(file.data());
        SetDlgItemTextW(hwnd_, IDC_DRAM_FILE, fileName_.c_str());
    }

    void OnOk() {
        if (fileName_.empty()) {
            ShowWarning(hwnd_, Widen(kTextSelectDramFile));
            return;
        }
        WriteDramSetting(fileName_);
        EndDialog(hwnd_, IDOK);
    }

    WString fileName_;
};

}  // namespace

bool ShowDramSettingDialog(HINSTANCE instance, HWND owner, WString& path) {
    DramDialog dialog(ReadDramSetting());
    if (dialog.RunModal(instance, IDD_DRAM_SETTING, owner) != IDOK) return false;
    path = dialog.fileName();
    return true;
}

}  // namespace camflash
