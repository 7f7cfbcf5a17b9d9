// The simulated camera's DLL: class factories for the device slots and the registration of
// the slots as video input devices.
//
//   regsvr32 camsim.dll                                one device, "ZQ71R Camera", in slot 0
//   regsvr32 /n /i:"NAME|NAME|..." camsim.dll          these devices in slots 0, 1, ... in
//                                                      that enumeration order; /i:"" none
//   regsvr32 /u camsim.dll                             removes every slot
#include <windows.h>
#include <dshow.h>
#include <olectl.h>

#include <new>
#include <string>
#include <vector>

#include "filter_win.h"
#include "scoped_win.h"
#include "wide_string_win.h"

namespace camsim {
namespace {

using camtools::ComPtr;
using camtools::ComScope;
using camtools::ScopedRegKey;
using camtools::WString;

HINSTANCE moduleInstance = nullptr;

constexpr const wchar_t* kDefaultDeviceName = L"ZQ71R Camera";
constexpr wchar_t kNameSeparator = L'|';

class ClassFactory final : public IClassFactory {
public:
    explicit ClassFactory(int slot) : slot_(slot) {}

    // The factories are static: their references do not keep the module loaded.
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return CreateCameraFilter(slot_, iid, out);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            ModuleAddRef();
        else
            ModuleRelease();
        return S_OK;
    }

private:
    const int slot_;
};

ClassFactory factories[kSlotCount] = {ClassFactory(0), ClassFactory(1), ClassFactory(2),
                                      ClassFactory(3), ClassFactory(4), ClassFactory(5),
                                      ClassFactory(6), ClassFactory(7)};
static_assert(sizeof factories / sizeof factories[0] == kSlotCount, "one factory per slot");

WString GuidText(REFGUID guid) {
    wchar_t text[40];
    int length = StringFromGUID2(guid, text, 40);  // counts the terminator
    return length > 1 ? WString(text, size_t(length - 1)) : WString();
}

WString ModulePath() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD length = GetModuleFileNameW(moduleInstance, path.data(), DWORD(path.size()));
        if (length == 0) return WString();
        if (length < path.size()) {
            WString result(path.data(), length);
#ifdef __WINE__
            // Wine names a Winelib DLL without its ".so", but no file of that name exists;
            // COM loads the DLL by the path registered here, and Wine loads it by its real
            // file name.
            result += L".so";
#endif
            return result;
        }
        path.resize(path.size() * 2);
    }
}

bool CreateKey(HKEY parent, const WString& path, ScopedRegKey& key) {
    return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.Out(),
                           nullptr) == ERROR_SUCCESS;
}

bool SetText(const ScopedRegKey& key, const wchar_t* name, const WString& value) {
    return RegSetValueExW(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          DWORD((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

HRESULT RegisterSlot(IFilterMapper2* mapper, int slot, const WString& name) {
    const WString clsid = GuidText(SlotClsid(slot));
    const WString path = ModulePath();
    if (path.empty()) return HRESULT_FROM_WIN32(GetLastError());

    ScopedRegKey classKey;
    if (!CreateKey(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid, classKey) ||
        !SetText(classKey, nullptr,
                 L"Simulated camera, device slot " + WString(1, wchar_t(L'0' + slot))))
        return SELFREG_E_CLASS;
    ScopedRegKey serverKey;
    if (!CreateKey(HKEY_CLASSES_ROOT, L"CLSID\\" + clsid + L"\\InprocServer32", serverKey) ||
        !SetText(serverKey, nullptr, path) || !SetText(serverKey, L"ThreadingModel", L"Both"))
        return SELFREG_E_CLASS;

    // A capture device without pins: the programs only use its property set.
    REGFILTER2 filter = {};
    filter.dwVersion = 1;
    filter.dwMerit = MERIT_DO_NOT_USE;
    filter.cPins = 0;
    filter.rgPins = nullptr;
    // The instance key is the class id, so the enumerator lists the slots in slot order.
    return mapper->RegisterFilter(SlotClsid(slot), name.c_str(), nullptr,
                                  &CLSID_VideoInputDeviceCategory, clsid.c_str(), &filter);
}

void UnregisterSlot(IFilterMapper2* mapper, int slot) {
    const WString clsid = GuidText(SlotClsid(slot));
    // Never let a failed conversion turn this into a removal of all of CLSID.
    if (clsid.size() != 38) return;
    mapper->UnregisterFilter(&CLSID_VideoInputDeviceCategory, clsid.c_str(), SlotClsid(slot));
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (L"CLSID\\" + clsid).c_str());
}

std::vector<WString> SplitNames(const wchar_t* list) {
    std::vector<WString> names;
    if (!*list) return names;
    WString current;
    for (const wchar_t* p = list; *p; ++p) {
        if (*p == kNameSeparator) {
            names.push_back(current);
            current.clear();
        } else {
            current += *p;
        }
    }
    names.push_back(current);
    return names;
}

// Replaces every registered slot with one device per name, in order.
HRESULT ReplaceDevices(const std::vector<WString>& names) {
    if (names.size() > size_t(kSlotCount)) return E_INVALIDARG;
    ComScope com;  // the filter mapper needs COM; regsvr32 may or may not have started it
    ComPtr<IFilterMapper2> mapper;
    HRESULT hr = CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IFilterMapper2, mapper.OutVoid());
    if (FAILED(hr)) return hr;
    for (int slot = 0; slot < kSlotCount; ++slot) UnregisterSlot(mapper.Get(), slot);
    for (size_t slot = 0; slot < names.size(); ++slot) {
        hr = RegisterSlot(mapper.Get(), int(slot), names[slot]);
        if (FAILED(hr)) {
            for (int undo = 0; undo <= int(slot); ++undo) UnregisterSlot(mapper.Get(), undo);
            return hr;
        }
    }
    return S_OK;
}

// The exports' way in: no exception leaves the DLL.
HRESULT RegisterDevices(const wchar_t* list) {
    try {
        return ReplaceDevices(SplitNames(list));
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

}  // namespace
}  // namespace camsim

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        camsim::moduleInstance = instance;
        DisableThreadLibraryCalls(instance);
#ifdef __WINE__
        // Wine cannot load a Winelib DLL again once it has been unloaded (the second load
        // fails with an access violation), and COM unloads idle DLLs at CoUninitialize: keep
        // it loaded for the life of the process.
        HMODULE pinned = nullptr;
        GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                           reinterpret_cast<LPCWSTR>(&camsim::moduleInstance), &pinned);
#endif
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    int slot = camsim::SlotOfClsid(clsid);
    if (slot < 0) return CLASS_E_CLASSNOTAVAILABLE;
    return camsim::factories[slot].QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() { return camsim::ModuleReferences() == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() { return camsim::RegisterDevices(camsim::kDefaultDeviceName); }

STDAPI DllUnregisterServer() { return camsim::RegisterDevices(L""); }

// install with a command line: the devices NAME|NAME|... ("" for none); without one: the
// default device. Uninstall removes every slot.
STDAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    if (!install) return DllUnregisterServer();
    if (!commandLine) return DllRegisterServer();
    return camsim::RegisterDevices(commandLine);
}

}  // extern "C"
