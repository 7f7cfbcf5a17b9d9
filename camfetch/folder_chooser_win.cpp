#include "folder_chooser_win.h"

#include <commdlg.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <vector>

#include "resource.h"
#include "scoped_win.h"

namespace camfetch {
namespace {

int CALLBACK BrowseCallback(HWND browser, UINT message, LPARAM, LPARAM data) {
    // Preselect the current folder once the browser is up.
    if (message == BFFM_INITIALIZED) SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

bool ShellFolderBrowser(std::string& path, HWND owner, const std::string& title) {
    char displayName[MAX_PATH] = {};
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = displayName;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.lpfn = BrowseCallback;
    info.lParam = reinterpret_cast<LPARAM>(path.c_str());
    LPITEMIDLIST list = SHBrowseForFolderA(&info);
    if (!list) return false;
    char chosen[MAX_PATH] = {};
    bool converted = SHGetPathFromIDListA(list, chosen) != FALSE;
    camtools::ComPtr<IMalloc> malloc;
    bool freed = SUCCEEDED(SHGetMalloc(malloc.Out())) && malloc;
    if (freed) malloc->Free(list);
    if (converted && freed) path = chosen;
    return converted && freed;
}

struct PickerState {
    bool firstPaintPending = true;
};

UINT_PTR CALLBACK PickerHook(HWND dialog, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        auto* ofn = reinterpret_cast<OPENFILENAMEA*>(lParam);
        SetWindowLongPtrA(dialog, DWLP_USER, LONG_PTR(ofn->lCustData));
        for (int id : {IDC_PICKER_TYPES_LABEL, IDC_PICKER_FILE_NAME_LABEL, IDC_PICKER_FILE_NAME,
                       IDC_PICKER_FILES, IDC_PICKER_TYPES})
            ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
        SetDlgItemTextA(dialog, IDC_PICKER_FILE_NAME, "Junk");
        SetFocus(GetDlgItem(dialog, IDC_PICKER_DIRECTORIES));
        return FALSE;  // the focus is set
    }
    case WM_PAINT: {
        auto* state = reinterpret_cast<PickerState*>(GetWindowLongPtrA(dialog, DWLP_USER));
        if (state && state->firstPaintPending) {
            state->firstPaintPending = false;
            SendDlgItemMessageA(dialog, IDC_PICKER_DIRECTORIES, LB_SETCURSEL, 0, 0);
        }
        return FALSE;
    }
    }
    return FALSE;
}

bool DirectoryPickerDialog(std::string& path, HWND owner, const std::string& title) {
    char file[MAX_PATH] = {};
    PickerState state;
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.hInstance = GetModuleHandleA(nullptr);
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.lpstrInitialDir = path.c_str();
    ofn.lpstrTitle = title.c_str();
    ofn.Flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | OFN_ENABLETEMPLATE | OFN_ENABLEHOOK;
    ofn.Flags &= ~DWORD(OFN_EXPLORER);
    ofn.lpTemplateName = MAKEINTRESOURCEA(IDD_DIRECTORY_PICKER);
    ofn.lpfnHook = PickerHook;
    ofn.lCustData = reinterpret_cast<LPARAM>(&state);
    if (!GetSaveFileNameA(&ofn)) return false;
    // The platform returns "<directory>\Junk": keep the directory without its backslash.
    WORD offset = ofn.nFileOffset;
    if (offset == 0 || offset > lstrlenA(file)) return false;
    path.assign(file, offset - 1);
    return true;
}

}  // namespace

bool FolderChooser(std::string& path, HWND owner, bool forceOldStyle, const std::string& title) {
    DWORD version = GetVersion();
    if (LOBYTE(LOWORD(version)) < 4 || forceOldStyle)
        return DirectoryPickerDialog(path, owner, title);
    return ShellFolderBrowser(path, owner, title);
}

std::string CompactPathForControl(HWND control, const std::string& path) {
    std::vector<char> buffer(path.begin(), path.end());
    buffer.push_back(0);
    // The client width: the text must fit inside the control's sunken edge, which its window
    // rectangle includes.
    RECT rect = {};
    GetClientRect(control, &rect);
    camtools::WindowDc dc(control);
    if (!dc) return path;
    {
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
        camtools::SelectedObject selected(dc.Get(), font);
        PathCompactPathA(dc.Get(), buffer.data(), UINT(rect.right - rect.left));
    }
    return buffer.data();
}

}  // namespace camfetch
