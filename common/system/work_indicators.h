// What a program tells the system while long work runs: that the PC must not sleep, and how
// far the work has come, on the program's taskbar button. Both are interfaces, so that tests
// can prove each request is released on every way the work ends; the Win32 versions are in
// work_indicators_win.h.
#pragma once

namespace camtools {

class KeepAwake {
public:
    virtual ~KeepAwake() = default;
    virtual void Request() = 0;  // the system must not sleep until Release
    virtual void Release() = 0;
};

// Holds a KeepAwake request for its lifetime: every way out of the scope releases it.
class ScopedKeepAwake {
public:
    explicit ScopedKeepAwake(KeepAwake& awake) : awake_(awake) { awake_.Request(); }
    ~ScopedKeepAwake() { awake_.Release(); }
    ScopedKeepAwake(const ScopedKeepAwake&) = delete;
    ScopedKeepAwake& operator=(const ScopedKeepAwake&) = delete;

private:
    KeepAwake& awake_;
};

enum class TaskbarState { NoProgress, Normal, Error };

class TaskbarProgress {
public:
    virtual ~TaskbarProgress() = default;
    virtual void SetState(TaskbarState state) = 0;
    virtual void SetValue(int percent) = 0;  // 0 to 100
};

}  // namespace camtools
