#include "main_dialog_win.h"

#include <commctrl.h>

#include <ctime>
#include <memory>
#include <vector>

#include "dpi_win.h"
#include "fetch_session.h"
#include "folder_chooser_win.h"
#include "folders.h"
#include "resource.h"
#include "wide_string_win.h"

namespace camfetch {
namespace {

constexpr UINT_PTR kConnectionTimer = 100;
constexpr UINT_PTR kCountdownTimer = 101;
// Runs the next tick of camera work at once, when the last one stopped with the camera ready.
constexpr UINT kMsgContinueTick = WM_APP + 1;

uint64_t MonotonicMicroseconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return uint64_t(now.QuadPart / frequency.QuadPart * 1000000 +
                    now.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart);
}

// Keyboard or mouse input is waiting for this thread: a person expects an answer.
bool InputWaiting() { return HIWORD(GetQueueStatus(QS_INPUT)) != 0; }
// Posted on a DPI change (wParam: the new DPI), so that the icons and columns are measured
// after the dialog manager has rescaled the dialog and given its controls their new fonts.
constexpr UINT kMsgApplyDpi = WM_APP + 2;

struct Column {
    const wchar_t* heading;
    int format;
    const wchar_t* sample;  // the column is as wide as this text in the list's font
    bool icon;              // and the small icon beside it
};
const Column kColumns[] = {
    {L"Name", LVCFMT_LEFT, L"MMMMMMMM", true},
    {L"Type", LVCFMT_LEFT, L"MMMM", false},
    {L"Size", LVCFMT_RIGHT, L"MMMMMKB", false},
    {L"Status", LVCFMT_LEFT, L"MMMMMMMMMMMMM", false},
};

int ColumnWidth(HWND list, const Column& column, int iconWidth) {
    return int(SendMessageW(list, LVM_GETSTRINGWIDTHW, 0, LPARAM(column.sample))) +
           (column.icon ? iconWidth : 0);
}

// Camera names, paths and the texts made from them are in the ANSI code page.
camtools::WString Widen(const std::string& text) { return camtools::WidenPath(text); }

camtools::WString LoadText(HINSTANCE instance, UINT id) {
    const wchar_t* text = nullptr;
    int n = LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    return n > 0 ? camtools::WString(text, size_t(n)) : camtools::WString();
}

// The About box: OK and Cancel end it.
class AboutDialog : public camtools::Dialog {
private:
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM) override {
        switch (message) {
        case WM_INITDIALOG: return TRUE;
        case WM_COMMAND: return OnCommand(LOWORD(wParam));
        }
        return FALSE;
    }
    BOOL OnCommand(int id) {
        if (id != IDOK && id != IDCANCEL) return FALSE;
        EndDialog(hwnd_, id);
        return TRUE;
    }
};

}  // namespace

FetchMainDialog::FetchMainDialog(HINSTANCE instance, MainDialogParams& params)
    : instance_(instance), params_(params), session_(*params.camera, *this) {
    appIcon_ = LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME));
}

void FetchMainDialog::ShowMessage(int stringId) {
    SetDlgItemTextW(hwnd_, IDC_MESSAGE, LoadText(instance_, UINT(stringId)).c_str());
}

void FetchMainDialog::ShowFolderMessage(int stringId, const std::string& folder) {
    camtools::WString text = LoadText(instance_, UINT(stringId));
    const camtools::WString mark = L"%s";
    const size_t at = text.find(mark);
    if (at != camtools::WString::npos) text.replace(at, mark.size(), Widen(folder));
    SetDlgItemTextW(hwnd_, IDC_MESSAGE, text.c_str());
}

void FetchMainDialog::ShowCountdown(int seconds) {
    wchar_t text[16];
    wsprintfW(text, L"%d", seconds);
    SetDlgItemTextW(hwnd_, IDC_COUNTDOWN, text);
}

void FetchMainDialog::RevealCountdownLine() {
    for (int id : {IDC_COUNTDOWN, IDC_COUNTDOWN_LABEL, IDC_COUNTDOWN_UNIT})
        ShowWindow(GetDlgItem(hwnd_, id), SW_SHOW);
}

void FetchMainDialog::StartCountdownTimer() {
    countdownTimer_ = SetTimer(hwnd_, kCountdownTimer, params_.timing.countdownPeriodMs, nullptr);
}

void FetchMainDialog::AddStorageSource(const char* text, int data) {
    LRESULT index = SendDlgItemMessageW(hwnd_, IDC_STORAGE_SOURCE, CB_ADDSTRING, 0,
                                        LPARAM(Widen(text).c_str()));
    if (index >= 0)
        SendDlgItemMessageW(hwnd_, IDC_STORAGE_SOURCE, CB_SETITEMDATA, WPARAM(index), data);
}

int FetchMainDialog::SelectFirstStorageSource() {
    SendDlgItemMessageW(hwnd_, IDC_STORAGE_SOURCE, CB_SETCURSEL, 0, 0);
    return int(SendDlgItemMessageW(hwnd_, IDC_STORAGE_SOURCE, CB_GETITEMDATA, 0, 0));
}

void FetchMainDialog::DeleteAllRows() { ListView_DeleteAllItems(list_); }

void FetchMainDialog::AppendRows(size_t count) {
    int row = ListView_GetItemCount(list_);
    // A block may add thousands of rows: reserve room and draw once at the end rather than
    // after every row.
    SendMessageW(list_, WM_SETREDRAW, FALSE, 0);
    ListView_SetItemCount(list_, row + int(count));
    for (size_t i = 0; i < count; ++i, ++row) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = row;
        item.pszText = LPSTR_TEXTCALLBACKW;
        item.iImage = I_IMAGECALLBACK;
        SendMessageW(list_, LVM_INSERTITEMW, 0, LPARAM(&item));
    }
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list_, nullptr, TRUE);
}

void FetchMainDialog::DeleteRow(size_t row) { ListView_DeleteItem(list_, int(row)); }

// Only the selected rows and the focused one are visited, so that a large list with a small
// selection costs little.
void FetchMainDialog::ReadRowStates(std::vector<uint32_t>& states) {
    states.assign(size_t(ListView_GetItemCount(list_)), 0);
    for (int row = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
         row >= 0 && size_t(row) < states.size();
         row = ListView_GetNextItem(list_, row, LVNI_SELECTED))
        states[size_t(row)] |= LVIS_SELECTED;
    int focused = ListView_GetNextItem(list_, -1, LVNI_FOCUSED);
    if (focused >= 0 && size_t(focused) < states.size()) states[size_t(focused)] |= LVIS_FOCUSED;
}

void FetchMainDialog::WriteRowStates(const std::vector<uint32_t>& states) {
    ListView_SetItemState(list_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    for (size_t row = 0; row < states.size(); ++row)
        if (states[row] & (LVIS_SELECTED | LVIS_FOCUSED)) SetRowState(row, states[row]);
}

void FetchMainDialog::SetRowState(size_t row, uint32_t state) {
    ListView_SetItemState(list_, int(row), state & (LVIS_SELECTED | LVIS_FOCUSED),
                          LVIS_SELECTED | LVIS_FOCUSED);
}

void FetchMainDialog::SuspendRedraw() { SendMessageW(list_, WM_SETREDRAW, FALSE, 0); }

// Every row may show another item now. Only the rows in view are drawn; asking the list to
// redraw all of them one by one costs far more with thousands of rows and shows the same.
void FetchMainDialog::RedrawRows() {
    SendMessageW(list_, WM_SETREDRAW, TRUE, 0);
    int top = ListView_GetTopIndex(list_);
    ListView_RedrawItems(list_, top, top + ListView_GetCountPerPage(list_));
    InvalidateRect(list_, nullptr, TRUE);
    UpdateWindow(list_);
}

void FetchMainDialog::ShowStatusLine(const std::string& text) {
    SetDlgItemTextW(hwnd_, IDC_STATUS_LINE, Widen(text).c_str());
}

// The percent and the bar are given with every block; they are redrawn only when they change.
void FetchMainDialog::ShowPercent(const std::string& text) {
    if (text == shownPercent_) return;
    shownPercent_ = text;
    SetDlgItemTextW(hwnd_, IDC_PERCENT, Widen(text).c_str());
}

void FetchMainDialog::SetProgress(int percent) {
    if (percent == shownProgress_) return;
    shownProgress_ = percent;
    SendDlgItemMessageW(hwnd_, IDC_PROGRESS, PBM_SETPOS, WPARAM(percent), 0);
}

void FetchMainDialog::ShowRemaining(const std::string& text) {
    SetDlgItemTextW(hwnd_, IDC_REMAINING, Widen(text).c_str());
}

void FetchMainDialog::RefreshRow(size_t row) { ListView_Update(list_, int(row)); }

void FetchMainDialog::EnsureRowVisible(size_t row) {
    ListView_EnsureVisible(list_, int(row), FALSE);
}

bool FetchMainDialog::IsConvertAviChecked() {
    return IsDlgButtonChecked(hwnd_, IDC_CONVERT_AVI) == BST_CHECKED;
}

void FetchMainDialog::SelectAllRows(bool selected) {
    ListView_SetItemState(list_, -1, selected ? LVIS_SELECTED : 0, LVIS_SELECTED);
}

void FetchMainDialog::Enable(int id, bool on) { EnableWindow(GetDlgItem(hwnd_, id), on); }

INT_PTR FetchMainDialog::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: return OnInitDialog();
    case WM_DESTROY: OnDestroy(); return FALSE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == IDM_ABOUTBOX) {
            OnAbout();
            SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, 0);
            return TRUE;
        }
        return FALSE;
    case WM_PAINT: return OnPaint();
    case WM_QUERYDRAGICON:  // answered by the procedure's own return value, not DWLP_MSGRESULT
        return reinterpret_cast<INT_PTR>(appIcon_);
    case WM_TIMER: OnTimer(wParam); return TRUE;
    case kMsgContinueTick:
        continuePosted_ = false;
        RunConnectionTick();
        return TRUE;
    case camtools::kWmDpiChanged: OnDpiChanged(LOWORD(wParam)); return FALSE;
    case kMsgApplyDpi: ApplyDpi(UINT(wParam)); return TRUE;
    case WM_COMMAND: OnCommand(LOWORD(wParam), HIWORD(wParam)); return TRUE;
    case WM_NOTIFY: {
        LRESULT result = OnNotify(reinterpret_cast<NMHDR*>(lParam));
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
        return TRUE;
    }
    }
    return FALSE;
}

BOOL FetchMainDialog::OnInitDialog() {
    list_ = GetDlgItem(hwnd_, IDC_FILE_LIST);

    std::time_t now = std::time(nullptr);
    std::tm local = {};
#ifdef _MSC_VER
    localtime_s(&local, &now);
#else
    if (std::tm* t = std::localtime(&now)) local = *t;
#endif
    datedFolderName_ = MakeDatedFolderName(local);
    session_.SetDatedFolderName(datedFolderName_);
    session_.SetDownloadFolder(params_.downloadFolder);
    session_.SetDownloadStore(&store_);
    session_.SetClipConverter(StartDownloadedClipConversion);
    session_.SetTickBudget(
        {uint64_t(params_.timing.tickBudgetMs) * 1000, MonotonicMicroseconds, InputWaiting});
    taskbar_ = std::make_unique<camtools::TaskbarButtonProgress>(hwnd_);
    runIndicator_ = std::make_unique<RunIndicator>(awake_, *taskbar_);

    camtools::WString about = LoadText(instance_, IDS_ABOUTBOX);
    if (HMENU menu = GetSystemMenu(hwnd_, FALSE); menu && !about.empty()) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, about.c_str());
    }

    ApplyDpi(camtools::WindowDpi(hwnd_));  // the window's icons and the list's image list
    ShowMessage(IDS_CONNECTING);
    connectionTimer_ =
        SetTimer(hwnd_, kConnectionTimer, params_.timing.connectionPeriodMs, nullptr);
    ShowDownloadFolder();
    SendDlgItemMessageW(hwnd_, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));

    InsertColumns();

    session_.SetControlMode(kModeConnecting);

    RECT rect = {};
    GetWindowRect(hwnd_, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    SetWindowPos(hwnd_, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
    SetWindowTextW(hwnd_, L"Image Download Utility");
    return TRUE;  // the platform sets the initial focus
}

void FetchMainDialog::InsertColumns() {
    const int iconWidth = camtools::SystemMetricForDpi(SM_CXSMICON, dpi_);
    int index = 0;
    for (const Column& c : kColumns) {
        LVCOLUMNW column = {};
        column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
        column.fmt = c.format;
        column.cx = ColumnWidth(list_, c, iconWidth);
        column.pszText = const_cast<wchar_t*>(c.heading);
        column.iSubItem = index;
        SendMessageW(list_, LVM_INSERTCOLUMNW, WPARAM(index), LPARAM(&column));
        ++index;
    }
}

// On Windows 10 1703 and later the dialog manager rescales the dialog itself after this
// (the procedure returns FALSE to let it); the rest follows once it has.
void FetchMainDialog::OnDpiChanged(UINT dpi) { PostMessageW(hwnd_, kMsgApplyDpi, dpi, 0); }

// The sizes the dialog manager does not scale: the window's icons, the list's small icons
// (a new image list at the small-icon size), the columns' icon room and the text measured in
// the list's font, and the folder compacted to its control's width.
void FetchMainDialog::ApplyDpi(UINT dpi) {
    const bool changed = smallIcons_ && dpi != dpi_;
    dpi_ = dpi;
    camtools::ScopedIcon newBig(camtools::LoadIconForDpi(instance_, IDR_MAINFRAME, SM_CXICON, dpi));
    camtools::ScopedIcon newSmall(
        camtools::LoadIconForDpi(instance_, IDR_MAINFRAME, SM_CXSMICON, dpi));
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, LPARAM(newBig ? newBig.Get() : appIcon_));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, LPARAM(newSmall ? newSmall.Get() : appIcon_));
    bigIcon_ = std::move(newBig);  // the window no longer shows the old ones
    smallIcon_ = std::move(newSmall);

    const int width = camtools::SystemMetricForDpi(SM_CXSMICON, dpi);
    const int height = camtools::SystemMetricForDpi(SM_CYSMICON, dpi);
    camtools::ScopedImageList icons(ImageList_Create(width, height, ILC_MASK | ILC_COLOR32, 2, 2));
    for (int id : {IDI_PICTURE, IDI_FILMSTRIP}) {
        camtools::ScopedIcon icon(
            HICON(LoadImageW(instance_, MAKEINTRESOURCEW(id), IMAGE_ICON, width, height, 0)));
        ImageList_AddIcon(icons.Get(), icon.Get());  // the list keeps a copy
    }
    ListView_SetImageList(list_, icons.Get(), LVSIL_SMALL);
    smallIcons_ = std::move(icons);  // the list no longer uses the old one
    if (!changed) return;
    int index = 0;
    for (const Column& c : kColumns)
        ListView_SetColumnWidth(list_, index++, ColumnWidth(list_, c, width));
    ShowDownloadFolder();
}

void FetchMainDialog::ApplyControlMode(ControlMode mode) {
    if (mode < kModeConnecting || mode > kModeDeleteRunning) return;
    bool progress = mode == kModeDownloadRunning || mode == kModeDeleteRunning;
    bool command = mode == kModeReady;
    bool destination = mode == kModeReady;
    bool source =
        mode == kModeReady && SendDlgItemMessageW(hwnd_, IDC_STORAGE_SOURCE, CB_GETCOUNT, 0, 0) > 1;
    for (int id : {IDC_PERCENT, IDC_REMAINING_LABEL, IDC_REMAINING, IDC_STATUS_LINE, IDC_PROGRESS})
        Enable(id, progress);
    for (int id : {IDC_DESELECT_ALL, IDC_SELECT_ALL, IDC_DOWNLOAD, IDC_DELETE, IDC_CANCEL_RUN,
                   IDC_FILE_LIST})
        Enable(id, command);
    for (int id : {IDC_BROWSE, IDC_DOWNLOAD_FOLDER, IDC_DOWNLOAD_TO_LABEL}) Enable(id, destination);
    for (int id : {IDC_STORAGE_SOURCE, IDC_STORAGE_SOURCE_LABEL}) Enable(id, source);
    Enable(IDC_CANCEL_RUN, progress);
    Enable(IDOK, !progress);
}

// A file cut off mid-transfer would pass for a good one under the camera file's name; a clip's
// conversion stops and leaves the clip as downloaded.
void FetchMainDialog::StopRuns() {
    if (session_.downloadState() != RunState::Idle || session_.deleteState() != RunState::Idle)
        session_.CancelRuns();
}

void FetchMainDialog::OnDestroy() {
    StopRuns();
    runIndicator_.reset();  // releases the keep-awake request of a run cut off here
    taskbar_.reset();
    WinHelpW(hwnd_, nullptr, HELP_QUIT, 0);  // closes help shown for this window, if any
    if (connectionTimer_) KillTimer(hwnd_, kConnectionTimer);
    if (countdownTimer_) KillTimer(hwnd_, kCountdownTimer);
    connectionTimer_ = countdownTimer_ = 0;
    session_.ClearCatalogue();
    if (smallIcons_) {
        ListView_SetImageList(list_, nullptr, LVSIL_SMALL);
        smallIcons_.Close();
    }
}

void FetchMainDialog::OnTimer(UINT_PTR id) {
    if (id == kConnectionTimer) return RunConnectionTick();
    if (id == kCountdownTimer) session_.CountdownStep();
    if (runIndicator_) runIndicator_->Update(session_);
}

// One tick of camera work. When it stopped with the camera ready for more, the window paints
// what changed and the next tick is posted, to run once the messages before it are answered;
// posted messages come before input, so with input waiting the timer's next tick goes on
// instead, after the input.
void FetchMainDialog::RunConnectionTick() {
    bool more = session_.ConnectionStep();
    if (runIndicator_) runIndicator_->Update(session_);
    if (!more || continuePosted_ || InputWaiting()) return;
    RedrawWindow(hwnd_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    continuePosted_ = PostMessageW(hwnd_, kMsgContinueTick, 0, 0) != FALSE;
}

void FetchMainDialog::OnCommand(int id, int code) {
    switch (id) {
    case IDOK:
        StopRuns();
        EndDialog(hwnd_, IDOK);
        break;
    case IDCANCEL: OnCancel(); break;
    case IDC_BROWSE: OnBrowse(); break;
    case IDC_SELECT_ALL: SelectAllRows(true); break;
    case IDC_DESELECT_ALL: SelectAllRows(false); break;
    case IDC_DOWNLOAD: session_.StartDownloadRun(); break;
    case IDC_DELETE: session_.StartDeleteRun(); break;
    case IDC_CANCEL_RUN: session_.CancelRuns(); break;
    case IDC_STORAGE_SOURCE:
        if (code == CBN_SELENDOK) {
            LRESULT index = SendDlgItemMessageW(hwnd_, IDC_STORAGE_SOURCE, CB_GETCURSEL, 0, 0);
            session_.StorageSourceChanged(int(
                SendDlgItemMessageW(hwnd_, IDC_STORAGE_SOURCE, CB_GETITEMDATA, WPARAM(index), 0)));
        }
        break;
    }
    if (runIndicator_) runIndicator_->Update(session_);  // a run may have started or ended
}

LRESULT FetchMainDialog::OnNotify(NMHDR* header) {
    if (header->idFrom != IDC_FILE_LIST) return 0;
    if (header->code == LVN_GETDISPINFOW) {
        OnDisplayInfo(reinterpret_cast<NMLVDISPINFOW*>(header));
    } else if (header->code == LVN_COLUMNCLICK) {
        session_.ColumnClick(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
    }
    return 0;
}

void FetchMainDialog::OnDisplayInfo(NMLVDISPINFOW* info) {
    LVITEMW& item = info->item;
    if (item.iItem < 0 || size_t(item.iItem) >= session_.catalogue().size()) return;
    const CatalogueItem& entry = session_.catalogue()[size_t(item.iItem)];
    if (item.mask & LVIF_TEXT) {
        const std::string* text = nullptr;
        std::string status;
        switch (item.iSubItem) {
        case 0: text = &entry.name; break;
        case 1: text = &entry.typeText; break;
        case 2: text = &entry.sizeText; break;
        case 3:
            status = StatusWord(entry.flags);
            text = &status;
            break;
        }
        if (text && item.pszText && item.cchTextMax > 0) {
            displayText_ = Widen(*text);
            lstrcpynW(item.pszText, displayText_.c_str(), item.cchTextMax);
        }
    }
    if (item.mask & LVIF_IMAGE) {
        if (entry.kind == kKindJpeg)
            item.iImage = 0;
        else if (entry.kind == kKindAvi)
            item.iImage = 1;
        else
            item.iImage = I_IMAGENONE;  // sound recordings have no icon
    }
}

bool FetchMainDialog::OnPaint() {
    if (!IsIconic(hwnd_)) return false;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd_, &paint);
    SendMessageW(hwnd_, WM_ICONERASEBKGND, WPARAM(dc), 0);
    RECT client;
    GetClientRect(hwnd_, &client);
    const int width = camtools::SystemMetricForDpi(SM_CXICON, dpi_);
    const int height = camtools::SystemMetricForDpi(SM_CYICON, dpi_);
    DrawIconEx(dc, (client.right - width + 1) / 2, (client.bottom - height + 1) / 2,
               bigIcon_ ? bigIcon_.Get() : appIcon_, width, height, 0, nullptr, DI_NORMAL);
    EndPaint(hwnd_, &paint);
    return true;
}

void FetchMainDialog::OnAbout() { AboutDialog().RunModal(instance_, IDD_ABOUTBOX, hwnd_); }

// The window goes some time after EndDialog (seconds under Wine): the runs stop now.
void FetchMainDialog::OnCancel() {
    StopRuns();
    EndDialog(hwnd_, IDCANCEL);
}

void FetchMainDialog::OnBrowse() {
    std::string working = params_.downloadFolder;
    char title[128] = {};
    LoadStringA(instance_, IDS_CHOOSE_DIRECTORY, title, sizeof title);
    if (!FolderChooser(working, hwnd_, false, title)) return;
    params_.downloadFolder = working;
    session_.SetDownloadFolder(working);
    ShowDownloadFolder();
}

void FetchMainDialog::ShowDownloadFolder() {
    HWND control = GetDlgItem(hwnd_, IDC_DOWNLOAD_FOLDER);
    SetWindowTextW(control, Widen(CompactPathForControl(control, params_.downloadFolder)).c_str());
}

INT_PTR RunFetchMainDialog(HINSTANCE instance, MainDialogParams& params) {
    auto dialog = std::make_unique<FetchMainDialog>(instance, params);
    return dialog->RunModal(instance, IDD_CAMFETCH_DIALOG, nullptr);
}

}  // namespace camfetch
