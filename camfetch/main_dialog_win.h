// The main dialog of camfetch (dialog 102): the file list, the buttons and the message area.
// Camera work runs on timer 100 through FetchSession; this file only shows its results.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include <commctrl.h>

#include "camera_channel.h"
#include "dialog_win.h"
#include "dpi_win.h"
#include "fetch_session.h"
#include "file_store_win.h"
#include "run_indicator.h"
#include "scoped_win.h"
#include "wide_string_win.h"
#include "work_indicators_win.h"

namespace camfetch {

// Timer periods and the camera work's budget per tick. The product runs on 100 ms and 1000 ms;
// tests may pass shorter ones so a countdown does not take 15 real seconds.
struct DialogTiming {
    UINT connectionPeriodMs = 100;
    UINT countdownPeriodMs = 1000;
    // A tick works while the camera is ready for at most this long, then lets the window answer
    // its messages; 0 gives one round of exchanges per tick.
    UINT tickBudgetMs = 50;
};

struct MainDialogParams {
    camera::CameraChannel* camera = nullptr;
    std::string downloadFolder;  // in: the loaded setting; out: the dialog's folder
    int enhance = 0;             // carried only
    DialogTiming timing;
};

// Dialog 102. Row i of its file list shows item i of the session's catalogue; the rows hold no
// texts and ask for them when drawn (LVN_GETDISPINFO).
class FetchMainDialog : public camtools::Dialog, public FetchView {
public:
    FetchMainDialog(HINSTANCE instance, MainDialogParams& params);

    // FetchView
    void ShowMessage(int stringId) override;
    void ShowFolderMessage(int stringId, const std::string& folder) override;
    void ApplyControlMode(ControlMode mode) override;
    void ShowCountdown(int seconds) override;
    void RevealCountdownLine() override;
    void StartCountdownTimer() override;
    void EndDialogAsCancel() override { OnCancel(); }
    void AddStorageSource(const char* text, int data) override;
    int SelectFirstStorageSource() override;
    void DeleteAllRows() override;
    void AppendRows(size_t count) override;
    void DeleteRow(size_t row) override;
    void ReadRowStates(std::vector<uint32_t>& states) override;
    void WriteRowStates(const std::vector<uint32_t>& states) override;
    void SuspendRedraw() override;
    void RedrawRows() override;
    void ShowStatusLine(const std::string& text) override;
    void ShowPercent(const std::string& text) override;
    void SetProgress(int percent) override;
    void ShowRemaining(const std::string& text) override;
    void RefreshRow(size_t row) override;
    void EnsureRowVisible(size_t row) override;
    bool IsConvertAviChecked() override;

private:
    // Benchmarks define it to drive the session without a camera.
    friend struct FetchMainDialogPeer;

    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL OnInitDialog();
    void OnDestroy();
    void StopRuns();
    void OnTimer(UINT_PTR id);
    void RunConnectionTick();
    void OnCommand(int id, int code);
    LRESULT OnNotify(NMHDR* header);
    void OnDisplayInfo(NMLVDISPINFOW* info);
    bool OnPaint();
    void OnAbout();
    void OnCancel();
    void OnBrowse();
    void ShowDownloadFolder();
    void SelectAllRows(bool selected);
    void SetRowState(size_t row, uint32_t state);
    void InsertColumns();
    void OnDpiChanged(UINT dpi);
    void ApplyDpi(UINT dpi);
    void Enable(int id, bool on);

    HINSTANCE instance_;
    MainDialogParams& params_;
    FetchSession session_;
    HWND list_ = nullptr;
    HICON appIcon_ = nullptr;  // shared (LoadIcon): the drag icon
    // What follows the window's DPI: the window's icons and the list's small icons at its
    // icon sizes, the list's columns, the compacted folder and the minimised icon.
    UINT dpi_ = camtools::kDefaultDpi;
    camtools::ScopedIcon bigIcon_, smallIcon_;
    camtools::ScopedImageList smallIcons_;
    UINT_PTR connectionTimer_ = 0;
    UINT_PTR countdownTimer_ = 0;
    bool continuePosted_ = false;  // a kMsgContinueTick is on its way
    std::string shownPercent_;
    int shownProgress_ = 0;
    std::string datedFolderName_;
    camtools::WString displayText_;  // the text a row asked for last; lives until the next ask
    Win32DownloadStore store_;
    camtools::SystemKeepAwake awake_;
    std::unique_ptr<camtools::TaskbarButtonProgress> taskbar_;  // from WM_INITDIALOG on
    std::unique_ptr<RunIndicator> runIndicator_;
};

// Runs dialog 102 modally and returns IDOK (Exit) or IDCANCEL (close box, Escape, countdown).
// params.downloadFolder always holds the dialog's folder afterwards; the caller keeps it only
// after Exit.
INT_PTR RunFetchMainDialog(HINSTANCE instance, MainDialogParams& params);

}  // namespace camfetch
