// Waits that keep a dialog answering. The update runs on the window's thread (the camera's
// COM objects live there), so each of its pauses and each gap between two camera requests
// takes the thread's messages, as the dialog's own modal loop would.
#pragma once

#include <windows.h>

#include <cstdint>

namespace camflash {

class MessagePump {
public:
    explicit MessagePump(HWND dialog) : dialog_(dialog) {}
    // A WM_QUIT taken meanwhile goes back to the thread's queue for the loop it was meant for.
    ~MessagePump();
    MessagePump(const MessagePump&) = delete;
    MessagePump& operator=(const MessagePump&) = delete;

    // Dispatches every message waiting for the thread: messages sent from other threads,
    // the dialog's keys through the dialog manager, paint, input.
    void TakeMessages();
    // Returns after at least `milliseconds`, taking messages as they come meanwhile.
    void Wait(uint32_t milliseconds);

private:
    HWND dialog_;
    bool quit_ = false;
    WPARAM quitCode_ = 0;
};

}  // namespace camflash
