#include <windows.h>

#include "media_win.h"
#include "scoped_win.h"

namespace media {
namespace {

// The camera settings of this run, loaded by its first conversion on the calling thread.
UsbCameraSettings& RunSettings() {
    static UsbCameraSettings settings;
    return settings;
}

class Win32JobThread : public JobThread {
public:
    explicit Win32JobThread(std::function<void()> body) : body_(std::move(body)) {}
    ~Win32JobThread() override {
        if (thread_) WaitForSingleObject(thread_.Get(), INFINITE);
    }
    bool Start() {
        thread_.Reset(CreateThread(nullptr, 0, Run, this, 0, nullptr));
        return bool(thread_);
    }

private:
    static DWORD WINAPI Run(void* self) {
        static_cast<Win32JobThread*>(self)->body_();
        return 0;
    }

    std::function<void()> body_;
    camtools::ScopedHandle thread_;
};

}  // namespace

std::unique_ptr<JobThread> StartWin32Thread(std::function<void()> body) {
    auto thread = std::make_unique<Win32JobThread>(std::move(body));
    if (!thread->Start()) return nullptr;
    return thread;
}

ConvertResult ConvertClipToI420(const std::string& path) {
    std::unique_ptr<ClipPlatform> platform = CreateAviFilePlatform();
    std::unique_ptr<Registry> registry = CreateMachineRegistry();
    ConvertOptions options;
    options.startThread = StartWin32Thread;
    return ConvertClipToI420(path, *platform, *registry, RunSettings(), options);
}

std::unique_ptr<ConversionJob> StartClipConversion(const std::string& path) {
    {
        std::unique_ptr<Registry> registry = CreateMachineRegistry();
        LoadUsbCameraSettings(RunSettings(), *registry);
    }
    const UsbCameraSettings loaded = RunSettings();
    return std::make_unique<ConversionJob>(
        [path, loaded](ConvertControl& control) {
            // COM and the AVIFile services for this thread, which opens, uses and releases
            // every file and stream of the conversion.
            camtools::ComScope com;
            std::unique_ptr<ClipPlatform> platform = CreateAviFilePlatform();
            std::unique_ptr<Registry> registry = CreateMachineRegistry();
            UsbCameraSettings settings = loaded;
            ConvertOptions options;
            options.startThread = StartWin32Thread;
            options.control = &control;
            return ConvertClipToI420(path, *platform, *registry, settings, options);
        },
        StartWin32Thread);
}

}  // namespace media
