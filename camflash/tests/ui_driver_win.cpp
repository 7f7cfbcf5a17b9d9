#include "ui_driver_win.h"

#include "resource.h"

namespace camflash_test {
namespace {

UiDriver* current = nullptr;

constexpr UINT kTurnMessage = WM_APP + 0x77;
constexpr int kMessageTextId = 0xFFFF;
constexpr int kMessageIconId = 0x0440;
constexpr int kOpenFileNameCombo = 0x047C;
constexpr int kOpenFileNameEdit = 0x0480;

std::string PopFront(std::deque<std::string>& answers, const char* whenEmpty) {
    if (answers.empty()) return whenEmpty;
    std::string answer = answers.front();
    answers.pop_front();
    return answer;
}

void Command(HWND window, int id) { PostMessageW(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

}  // namespace

std::string WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> text(size_t(length) + 1, 0);
    GetWindowTextW(window, text.data(), length + 1);
    return camflash::Narrow(camflash::FromWide(text.data()));
}

std::string ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return camflash::Narrow(camflash::FromWide(name));
}

UiDriver::UiDriver() {
    current = this;
    hook_ = SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId());
    returnHook_ = SetWindowsHookExW(WH_CALLWNDPROCRET, ReturnHook, nullptr, GetCurrentThreadId());
    messageHook_ = SetWindowsHookExW(WH_GETMESSAGE, MessageHook, nullptr, GetCurrentThreadId());
}

UiDriver::~UiDriver() {
    if (hook_) UnhookWindowsHookEx(hook_);
    if (returnHook_) UnhookWindowsHookEx(returnHook_);
    if (messageHook_) UnhookWindowsHookEx(messageHook_);
    current = nullptr;
}

LRESULT CALLBACK UiDriver::Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && current) current->OnActivate(reinterpret_cast<HWND>(wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK UiDriver::MessageHook(int code, WPARAM wParam, LPARAM lParam) {
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE && current && message->message == kTurnMessage &&
        IsWindow(message->hwnd))
        current->Answer(message->hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The Update handler has returned: the dialog is idle again.
LRESULT CALLBACK UiDriver::ReturnHook(int code, WPARAM wParam, LPARAM lParam) {
    const CWPRETSTRUCT* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && current && call->message == WM_COMMAND &&
        LOWORD(call->wParam) == IDC_UPDATE && GetDlgItem(call->hwnd, IDC_UPDATE))
        current->AnswerMain(call->hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void UiDriver::AnswerMain(HWND window) {
    if (mainAnswers.empty()) return;
    std::string answer = mainAnswers.front();
    mainAnswers.pop_front();
    log.push_back("main[" + WindowText(GetDlgItem(window, IDC_STATUS)) + "]: " + answer);
    if (answer == "Update") PostMessageW(GetDlgItem(window, IDC_UPDATE), BM_CLICK, 0, 0);
    else Command(window, answer == "Exit" ? IDOK : IDCANCEL);
}

void UiDriver::OnActivate(HWND window) {
    if (ClassOf(window) == "#32770") PostMessageW(window, kTurnMessage, 0, 0);
}

void UiDriver::Answer(HWND window) {
    const std::string caption = WindowText(window);
    if (HWND text = GetDlgItem(window, kMessageTextId)) {
        WindowFacts facts;
        facts.caption = caption;
        facts.messageText = WindowText(text);
        facts.okOnly = GetDlgItem(window, IDOK) && !GetDlgItem(window, IDCANCEL) &&
                       !GetDlgItem(window, IDYES) && !GetDlgItem(window, IDNO);
        HWND icon = GetDlgItem(window, kMessageIconId);
        facts.warningIcon = icon && reinterpret_cast<HICON>(SendMessageW(icon, STM_GETICON, 0, 0)) ==
                                        LoadIconW(nullptr, IDI_EXCLAMATION);
        messageBoxes.push_back(facts);
        log.push_back("message: " + facts.messageText);
        Command(window, IDOK);
    } else if (caption == "DRAM Setting ") {
        std::string answer = PopFront(dramAnswers, "Cancel");
        log.push_back("dram[" + WindowText(GetDlgItem(window, IDC_DRAM_FILE)) + "]: " + answer);
        Command(window, answer == "OK" ? IDOK : answer == "Browse" ? IDC_DRAM_BROWSE : IDCANCEL);
    } else if (GetDlgItem(window, kOpenFileNameCombo) || GetDlgItem(window, kOpenFileNameEdit)) {
        std::string path = PopFront(openAnswers, "");
        log.push_back("open: " + (path.empty() ? std::string("cancel") : path));
        if (path.empty()) {
            Command(window, IDCANCEL);
        } else {
            int id = GetDlgItem(window, kOpenFileNameCombo) ? kOpenFileNameCombo : kOpenFileNameEdit;
            SetDlgItemTextW(window, id, camflash::W(camflash::Widen(path)));
            Command(window, IDOK);
        }
    } else if (GetDlgItem(window, IDC_UPDATE)) {
        // Re-activations while an update runs (after a message box or the DRAM dialog has
        // closed) are not the user's turn; ReturnHook answers when an update has returned.
        if (mainShown_) return;
        mainShown_ = true;
        dragIcon = reinterpret_cast<HICON>(SendMessageW(window, WM_QUERYDRAGICON, 0, 0));
        AnswerMain(window);
    }
}

}  // namespace camflash_test
