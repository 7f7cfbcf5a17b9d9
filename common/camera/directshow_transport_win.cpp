#include <windows.h>
#include <dshow.h>

#include <cstring>

#include "camera_protocol.h"
#include "directshow_transport.h"
#include "scoped_win.h"
#include "vendor_set_win.h"

namespace camera {
namespace {

using camtools::ComPtr;

constexpr int kNameBufferSize = 80;

// Reads a moniker's FriendlyName into an 80-byte ANSI buffer. A name that does not fit
// (79 characters and the terminator) leaves the buffer empty, so it never matches.
void ReadFriendlyName(IMoniker* moniker, char (&name)[kNameBufferSize]) {
    name[0] = '\0';
    ComPtr<IPropertyBag> bag;
    if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.OutVoid()))) return;
    camtools::ScopedVariant value;
    V_VT(value.Get()) = VT_BSTR;
    if (FAILED(bag->Read(L"FriendlyName", value.Get(), nullptr))) return;
    if (V_VT(value.Get()) == VT_BSTR) {
        int written = WideCharToMultiByte(CP_ACP, 0, V_BSTR(value.Get()), -1, name, kNameBufferSize,
                                          nullptr, nullptr);
        if (written == 0) name[0] = '\0';
    }
}

// The per-request worker: obtains IKsPropertySet, checks support, makes one request, and
// releases the interface again, so every request is a complete exchange with the driver.
class PropertyChannel {
public:
    static bool FindDevice(const char* friendlyName, ComPtr<IBaseFilter>& slot) {
        ComPtr<ICreateDevEnum> devices;
        if (FAILED(CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_ICreateDevEnum, devices.OutVoid())))
            return false;
        ComPtr<IEnumMoniker> monikers;
        HRESULT hr =
            devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Out(), 0);
        devices.Reset();
        if (hr != S_OK) return false;  // S_FALSE: the category holds no devices

        monikers->Reset();
        for (;;) {
            ComPtr<IMoniker> moniker;
            if (monikers->Next(1, moniker.Out(), nullptr) != S_OK) break;
            char name[kNameBufferSize];
            ReadFriendlyName(moniker.Get(), name);
            if (std::strcmp(name, friendlyName) != 0) continue;
            // The first device of the name is the camera; one that cannot be bound is
            // treated as not found.
            ComPtr<IBaseFilter> filter;
            if (FAILED(
                    moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.OutVoid())) ||
                !filter)
                return false;
            slot = std::move(filter);
            return true;
        }
        return false;
    }

    static bool GetProperty(IBaseFilter* filter, uint32_t id, void* buffer, uint32_t length) {
        ComPtr<IKsPropertySet> set;
        if (!Query(filter, id, KSPROPERTY_SUPPORT_GET, set)) return false;
        DWORD returned = 0;
        return set->Get(kVendorSetGuid, id, buffer, length, buffer, length, &returned) == S_OK;
    }

    static bool SetProperty(IBaseFilter* filter, uint32_t id, const void* buffer, uint32_t length) {
        ComPtr<IKsPropertySet> set;
        if (!Query(filter, id, KSPROPERTY_SUPPORT_SET, set)) return false;
        void* data = const_cast<void*>(buffer);
        return set->Set(kVendorSetGuid, id, data, length, data, length) == S_OK;
    }

private:
    static bool Query(IBaseFilter* filter, uint32_t id, DWORD needed, ComPtr<IKsPropertySet>& set) {
        if (!filter || FAILED(filter->QueryInterface(IID_IKsPropertySet, set.OutVoid())))
            return false;
        DWORD support = 0;
        return set->QuerySupported(kVendorSetGuid, id, &support) == S_OK && (support & needed);
    }
};

class DirectShowTransport : public PropertyTransport {
public:
    bool FindDevice(const char* friendlyName) override {
        return PropertyChannel::FindDevice(friendlyName, filter_);
    }
    void Release() override { filter_.Reset(); }
    bool GetProperty(uint32_t id, void* buffer, uint32_t length) override {
        return PropertyChannel::GetProperty(filter_.Get(), id, buffer, length);
    }
    bool SetProperty(uint32_t id, const void* buffer, uint32_t length) override {
        return PropertyChannel::SetProperty(filter_.Get(), id, buffer, length);
    }

private:
    ComPtr<IBaseFilter> filter_;
};

}  // namespace

std::unique_ptr<PropertyTransport> CreateDirectShowTransport() {
    return std::make_unique<DirectShowTransport>();
}

}  // namespace camera
