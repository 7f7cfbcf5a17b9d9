#include "message_pump_win.h"

namespace camflash {

MessagePump::~MessagePump() {
    if (quit_) PostQuitMessage(int(quitCode_));
}

void MessagePump::TakeMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // Not ours to act on in the middle of an update; kept for later.
            quit_ = true;
            quitCode_ = message.wParam;
            continue;
        }
        if (IsWindow(dialog_) && IsDialogMessageW(dialog_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void MessagePump::Wait(uint32_t milliseconds) {
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const LONGLONG span = LONGLONG(milliseconds) * frequency.QuadPart / 1000;
    for (;;) {
        TakeMessages();
        QueryPerformanceCounter(&now);
        const LONGLONG left = span - (now.QuadPart - start.QuadPart);
        if (left <= 0) return;
        // Rounded up, so the wait is never shorter than asked.
        const DWORD leftMs = DWORD((left * 1000 + frequency.QuadPart - 1) / frequency.QuadPart);
        MsgWaitForMultipleObjectsEx(0, nullptr, leftMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

}  // namespace camflash
