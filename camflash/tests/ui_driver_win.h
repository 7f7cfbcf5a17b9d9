// Answers camflash's windows inside the test process, as a user would: a WH_CBT hook on the
// UI thread sees each window as it is activated and queues a turn for it; when the window's
// message loop reaches that turn (so whatever activated it has finished), the driver notes
// what the window shows and posts the next answer from the test's lists. Message boxes are
// always answered with OK.
//
// Log lines:
//   "main[<status line>]: Update"     the main dialog, when it is the user's turn: when it
//                                     first appears and each time an update has returned
//   "dram[<path shown>]: OK"          the DRAM Setting dialog
//   "open: <path>" / "open: cancel"   the open-file dialog
//   "message: <text>"                 a message box
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "win_util_win.h"

namespace camflash_test {

struct WindowFacts {
    std::string caption;
    std::string messageText;  // message boxes
    bool okOnly = false;      // message box with an OK button and nothing else
    bool warningIcon = false;
};

class UiDriver {
public:
    std::deque<std::string> mainAnswers;  // "Update", "Exit", "Cancel"
    std::deque<std::string> dramAnswers;  // "OK", "Cancel", "Browse"
    std::deque<std::string> openAnswers;  // a path to choose; "" cancels
    std::vector<std::string> log;
    std::vector<WindowFacts> messageBoxes;
    HICON dragIcon = nullptr;  // what the main dialog answered to WM_QUERYDRAGICON

    UiDriver();
    ~UiDriver();
    UiDriver(const UiDriver&) = delete;
    UiDriver& operator=(const UiDriver&) = delete;

private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK ReturnHook(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK MessageHook(int code, WPARAM wParam, LPARAM lParam);
    void Answer(HWND window);
    void OnActivate(HWND window);
    void AnswerMain(HWND window);
    HHOOK hook_ = nullptr;
    HHOOK returnHook_ = nullptr;
    HHOOK messageHook_ = nullptr;
    bool mainShown_ = false;
};

std::string WindowText(HWND window);
std::string ClassOf(HWND window);

}  // namespace camflash_test
