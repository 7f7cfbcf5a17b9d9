// How fast status requests cross the full path to the camera: the completion poll after
// flash programming reads the status record back to back, so its length is set by this
// rate. Measures, on a camera found once (device enumeration is not counted):
//   channel   CameraChannel::GetSystemInfo: QueryInterface, QuerySupported, Get, Release
//   per-call  the same four calls made here directly, to check the channel adds nothing
//   get-only  IKsPropertySet::Get on an interface held throughout, the driver's own share
// Prints one line per measurement; not a test, nothing is asserted.
//   camflash_status_bench [requests]   (default 50002, one worst-case completion poll)
#include <windows.h>
#include <dshow.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "camera_channel.h"
#include "camera_protocol.h"
#include "directshow_transport.h"
#include "scoped_win.h"
#include "vendor_set_win.h"

namespace {

using camtools::ComPtr;

double Now() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(frequency.QuadPart);
}

void Report(const char* what, unsigned requests, unsigned failures, double seconds) {
    std::printf("%-9s %8u requests  %8.3f s  %10.0f requests/s  %7.2f us/request  failed %u\n",
                what, requests, seconds, requests / seconds, seconds * 1e6 / requests, failures);
    std::fflush(stdout);
}

// The camera's filter, found by name as the channel finds it.
ComPtr<IBaseFilter> FindCameraFilter() {
    ComPtr<IBaseFilter> filter;
    ComPtr<ICreateDevEnum> devices;
    if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devices.OutVoid())))
        return filter;
    ComPtr<IEnumMoniker> monikers;
    if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Out(), 0) != S_OK)
        return filter;
    ComPtr<IMoniker> moniker;
    while (!filter && monikers->Next(1, moniker.Out(), nullptr) == S_OK) {
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.OutVoid())))
            continue;
        camtools::ScopedVariant name;
        V_VT(name.Get()) = VT_BSTR;
        char text[80] = {};
        if (SUCCEEDED(bag->Read(L"FriendlyName", name.Get(), nullptr)) &&
            V_VT(name.Get()) == VT_BSTR)
            WideCharToMultiByte(CP_ACP, 0, V_BSTR(name.Get()), -1, text, sizeof text, nullptr,
                                nullptr);
        if (std::strcmp(text, camera::kCameraFriendlyName) == 0)
            moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.OutVoid());
    }
    return filter;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned requests = argc > 1 ? unsigned(std::strtoul(argv[1], nullptr, 10)) : 50002;
    if (requests == 0) requests = 1;
    camtools::ComScope com;
    int status = 0;
    {
        camera::CameraChannel channel(camera::CreateDirectShowTransport());
        double t0 = Now();
        bool opened = channel.Open();
        std::printf("open      %8.3f s (device enumeration, not counted below)\n", Now() - t0);
        if (!opened) {
            std::printf("the camera was not found\n");
            status = 1;
        } else {
            unsigned failures = 0;
            camera::SystemInfo info;
            channel.RequestSystemInfo();
            t0 = Now();
            for (unsigned i = 0; i < requests; ++i) failures += !channel.GetSystemInfo(info);
            Report("channel", requests, failures, Now() - t0);
            channel.Close();
        }
    }
    if (ComPtr<IBaseFilter> filter = status == 0 ? FindCameraFilter() : ComPtr<IBaseFilter>()) {
        uint8_t record[camera::kSystemInfoSize];
        DWORD returned = 0;
        unsigned failures = 0;
        double t0 = Now();
        for (unsigned i = 0; i < requests; ++i) {
            ComPtr<IKsPropertySet> set;
            DWORD support = 0;
            bool ok = SUCCEEDED(filter->QueryInterface(IID_IKsPropertySet, set.OutVoid())) &&
                      set->QuerySupported(camera::kVendorSetGuid, camera::kPropSystemInfo,
                                          &support) == S_OK &&
                      set->Get(camera::kVendorSetGuid, camera::kPropSystemInfo, record,
                               sizeof record, record, sizeof record, &returned) == S_OK;
            failures += !ok;
        }
        Report("per-call", requests, failures, Now() - t0);

        ComPtr<IKsPropertySet> set;
        failures = 0;
        if (SUCCEEDED(filter->QueryInterface(IID_IKsPropertySet, set.OutVoid()))) {
            t0 = Now();
            for (unsigned i = 0; i < requests; ++i)
                failures += set->Get(camera::kVendorSetGuid, camera::kPropSystemInfo, record,
                                     sizeof record, record, sizeof record, &returned) != S_OK;
            Report("get-only", requests, failures, Now() - t0);
        }
    }
    return status;
}
