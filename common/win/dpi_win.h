// The DPI a window is drawn at, and sizes in pixels at that DPI. Both programs declare
// per-monitor DPI awareness, so Windows draws them sharp at any scaling and leaves every
// pixel size they compute themselves to them: icons, image lists, column extras and the
// minimised icon follow the window's DPI through these helpers. The per-monitor functions
// (Windows 10 1607 and later) are looked up at run time, so that the programs still start on
// Windows 7 and 8, where the system DPI applies to every window.
#pragma once

#include <windows.h>

#include "scoped_win.h"

namespace camtools {

// Sent to a top-level window when its DPI changes (it moved to a monitor of another
// scaling, or the scaling changed): wParam's low word is the new DPI, lParam the suggested
// window rectangle. Not every SDK's headers define it.
constexpr UINT kWmDpiChanged = 0x02E0;
constexpr UINT kDefaultDpi = 96;

namespace dpi_detail {

template <typename Function>
Function User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    FARPROC found = user32 ? GetProcAddress(user32, name) : nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
}

inline UINT SystemDpi() {
    static const UINT dpi = [] {
        camtools::WindowDc screen(nullptr);
        int value = screen ? GetDeviceCaps(screen.Get(), LOGPIXELSX) : 0;
        return value > 0 ? UINT(value) : kDefaultDpi;
    }();
    return dpi;
}

}  // namespace dpi_detail

// The DPI of the window: GetDpiForWindow where the system has it, else the system DPI.
inline UINT WindowDpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow =
        dpi_detail::User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    UINT dpi = getDpiForWindow && window ? getDpiForWindow(window) : 0;
    return dpi ? dpi : dpi_detail::SystemDpi();
}

// A system metric (SM_CXSMICON, SM_CXICON, ...) at `dpi`: GetSystemMetricsForDpi where the
// system has it, else the metric at the system DPI scaled to `dpi`.
inline int SystemMetricForDpi(int index, UINT dpi) {
    using GetSystemMetricsForDpiFn = int(WINAPI*)(int, UINT);
    static const auto getSystemMetricsForDpi =
        dpi_detail::User32Function<GetSystemMetricsForDpiFn>("GetSystemMetricsForDpi");
    if (getSystemMetricsForDpi) return getSystemMetricsForDpi(index, dpi);
    return MulDiv(GetSystemMetrics(index), int(dpi), int(dpi_detail::SystemDpi()));
}

// An icon resource at the size of a system icon metric (SM_CXICON or SM_CXSMICON) at `dpi`,
// taken from the resource's image nearest that size; the caller destroys it.
inline HICON LoadIconForDpi(HINSTANCE instance, UINT id, int widthMetric, UINT dpi) {
    const int width = SystemMetricForDpi(widthMetric, dpi);
    const int height =
        SystemMetricForDpi(widthMetric == SM_CXSMICON ? SM_CYSMICON : SM_CYICON, dpi);
    return static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(id), IMAGE_ICON, width, height, 0));
}

}  // namespace camtools
