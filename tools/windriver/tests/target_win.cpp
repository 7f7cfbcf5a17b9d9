// A small dialog for the driver's own tests: texts from its environment and working
// directory, two message boxes (one after long work), an open-file dialog, a check box, a
// disabled button, a slow button that can be pressed once, and a report list whose second
// column comes from a display callback and whose column clicks are shown.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include "target_resource.h"

namespace {

const wchar_t* const kNames[] = {L"alpha.jpg", L"beta.avi", L"gamma.wav"};
const wchar_t* const kSizes[] = {L"1 KB", L"22 KB", L"333 KB"};

void FillList(HWND list) {
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = 120;
    column.pszText = const_cast<wchar_t*>(L"Name");
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    column.pszText = const_cast<wchar_t*>(L"Size");
    SendMessageW(list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
    for (int row = 0; row < 3; ++row) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = row;
        item.iImage = 10 + row;
        item.pszText = const_cast<wchar_t*>(kNames[row]);
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        LVITEMW size = {};
        size.iSubItem = 1;
        size.pszText = LPSTR_TEXTCALLBACKW;
        SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&size));
    }
}

// Holds a top-level window for a second once it is shown: a message box stays visible before
// its modal loop takes the first message.
LRESULT CALLBACK HoldShownWindow(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_WINDOWPOSCHANGED &&
        (reinterpret_cast<const WINDOWPOS*>(sent->lParam)->flags & SWP_SHOWWINDOW) &&
        !(GetWindowLongW(sent->hwnd, GWL_STYLE) & WS_CHILD))
        Sleep(1000);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

INT_PTR CALLBACK TargetProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        wchar_t text[MAX_PATH];
        DWORD length = GetEnvironmentVariableW(L"TARGET_GREETING", text, MAX_PATH);
        SetDlgItemTextW(dialog, IDC_GREETING, length && length < MAX_PATH ? text : L"(none)");
        GetCurrentDirectoryW(MAX_PATH, text);
        SetDlgItemTextW(dialog, IDC_DIRECTORY, text);
        CheckDlgButton(dialog, IDC_CHECK, BST_CHECKED);
        FillList(GetDlgItem(dialog, IDC_LIST));
        return TRUE;
    }
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lParam);
        if (header->idFrom == IDC_LIST && header->code == LVN_COLUMNCLICK) {
            wchar_t text[32];
            wsprintfW(text, L"Column %d", reinterpret_cast<NMLISTVIEW*>(lParam)->iSubItem);
            SetDlgItemTextW(dialog, IDC_ANSWER, text);
            return TRUE;
        }
        auto* info = reinterpret_cast<NMLVDISPINFOW*>(lParam);
        if (header->idFrom != IDC_LIST || header->code != LVN_GETDISPINFOW) break;
        if ((info->item.mask & LVIF_TEXT) && info->item.iSubItem == 1)
            lstrcpynW(info->item.pszText, kSizes[info->item.iItem % 3], info->item.cchTextMax);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_SHOW: {
            int answer =
                MessageBoxW(dialog, L"Pressed", L"Driver Target", MB_OKCANCEL | MB_ICONWARNING);
            SetDlgItemTextW(dialog, IDC_ANSWER,
                            answer == IDOK ? L"Answered OK" : L"Answered Cancel");
            return TRUE;
        }
        case IDC_NOTE: {
            // The box ends more than 5 s of work, as a long update's does: Wine counts the
            // thread as hung until its modal loop takes a message, and the hook keeps the
            // shown box in that state for a while.
            Sleep(5500);
            HHOOK hold = SetWindowsHookExW(WH_CALLWNDPROCRET, HoldShownWindow, nullptr,
                                           GetCurrentThreadId());
            MessageBoxW(dialog, L"Noted", L"Driver Target", MB_OK | MB_ICONINFORMATION);
            if (hold) UnhookWindowsHookEx(hold);
            return TRUE;
        }
        case IDC_OPEN: {
            wchar_t file[MAX_PATH] = L"";
            OPENFILENAMEW ofn = {};
            ofn.lStructSize = sizeof ofn;
            ofn.hwndOwner = dialog;
            ofn.lpstrFilter = L"Text files\0*.txt\0";
            ofn.lpstrFile = file;
            ofn.nMaxFile = MAX_PATH;
            ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_EXPLORER;
            SetDlgItemTextW(dialog, IDC_ANSWER, GetOpenFileNameW(&ofn) ? file : L"Open cancelled");
            return TRUE;
        }
        case IDC_ONCE:
            // Slow on purpose: a driver that does not wait for the handler still finds the
            // button enabled.
            Sleep(300);
            EnableWindow(GetDlgItem(dialog, IDC_ONCE), FALSE);
            return TRUE;
        case IDC_HANG:
            for (;;) Sleep(1000);
        case IDC_QUIT: EndDialog(dialog, 7); return TRUE;
        case IDCANCEL: EndDialog(dialog, 3); return TRUE;
        }
        break;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    return int(DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_TARGET), nullptr, TargetProc, 0));
}
