#include "filter_win.h"

#include <dshow.h>

#include <cstdio>
#include <new>
#include <string>
#include <vector>

#include "camera_model.h"
#include "camera_protocol.h"
#include "host_path_win.h"
#include "scoped_win.h"
#include "vendor_set_win.h"

namespace camsim {

namespace {

LONG moduleReferences = 0;

// The driver fails a request the way a device that does not answer would.
const HRESULT kDeviceFailed = HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);

// Blocks the caller for the request's time on the modeled link, as a USB request does: sleeps
// the whole milliseconds but one, and spins the rest, since Sleep cannot wait less than a tick.
void WaitOnLink(uint64_t ns) {
    if (ns == 0) return;
    LARGE_INTEGER frequency, start, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    const double ticks = double(ns) * double(frequency.QuadPart) / 1e9;
    if (ns >= 2000000) Sleep(DWORD(ns / 1000000 - 1));
    for (;;) {
        QueryPerformanceCounter(&now);
        if (double(now.QuadPart - start.QuadPart) >= ticks) return;
        SwitchToThread();
    }
}

// No exception leaves a COM method: the model and the trace allocate.
template <typename Body>
HRESULT Guarded(Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_UNEXPECTED;
    }
}

class Lock {
public:
    Lock() { InitializeCriticalSection(&section_); }
    ~Lock() { DeleteCriticalSection(&section_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};

class Guard {
public:
    explicit Guard(Lock& lock) : lock_(lock) { lock_.Enter(); }
    ~Guard() { lock_.Leave(); }
    Guard(const Guard&) = delete;
    Guard& operator=(const Guard&) = delete;

private:
    Lock& lock_;
};

// A filter without pins enumerates nothing.
class EmptyPinEnum final : public IEnumPins {
public:
    EmptyPinEnum() { ModuleAddRef(); }
    ~EmptyPinEnum() { ModuleRelease(); }

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumPins)) {
            *out = static_cast<IEnumPins*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return left;
    }

    STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override {
        if (!pins) return E_POINTER;
        if (count > 1 && !fetched) return E_INVALIDARG;
        if (fetched) *fetched = 0;
        return count == 0 ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override { return count == 0 ? S_OK : S_FALSE; }
    STDMETHODIMP Reset() override { return S_OK; }
    STDMETHODIMP Clone(IEnumPins** out) override {
        if (!out) return E_POINTER;
        *out = new (std::nothrow) EmptyPinEnum;
        return *out ? S_OK : E_OUTOFMEMORY;
    }

private:
    LONG refs_ = 1;
};

// Appends the model's new trace records to the trace file, one line each. The file is opened
// and closed per request so that a driver process sees every line at once and may remove the
// file between runs.
void AppendTrace(const std::string& path, const std::vector<TraceRecord>& records) {
    if (path.empty() || records.empty()) return;
    FILE* file = std::fopen(path.c_str(), "ab");
    if (!file) return;
    for (const TraceRecord& record : records) {
        std::string line = FormatTraceRecord(record) + "\n";
        std::fwrite(line.data(), 1, line.size(), file);
    }
    std::fclose(file);
}

void AppendTraceLine(const std::string& path, const std::string& line) {
    if (path.empty()) return;
    FILE* file = std::fopen(path.c_str(), "ab");
    if (!file) return;
    std::fputs((line + "\n").c_str(), file);
    std::fclose(file);
}

class CameraFilter final : public IBaseFilter, public IKsPropertySet {
public:
    CameraFilter(int slot, Profile profile)
        : slot_(slot), tracePath_(HostPath(profile.tracePath)), model_(std::move(profile)) {
        ModuleAddRef();
    }
    ~CameraFilter() {
        clock_.Reset();
        ModuleRelease();
    }
    CameraFilter(const CameraFilter&) = delete;
    CameraFilter& operator=(const CameraFilter&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IPersist) ||
            IsEqualIID(iid, IID_IMediaFilter) || IsEqualIID(iid, IID_IBaseFilter)) {
            *out = static_cast<IBaseFilter*>(this);
        } else if (IsEqualIID(iid, IID_IKsPropertySet)) {
            *out = static_cast<IKsPropertySet*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
    STDMETHODIMP_(ULONG) Release() override {
        LONG left = InterlockedDecrement(&refs_);
        if (left == 0) delete this;
        return left;
    }

    // IPersist
    STDMETHODIMP GetClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = SlotClsid(slot_);
        return S_OK;
    }

    // IMediaFilter: a capture filter without pins only keeps its state and clock.
    STDMETHODIMP Stop() override { return SetState(State_Stopped); }
    STDMETHODIMP Pause() override { return SetState(State_Paused); }
    STDMETHODIMP Run(REFERENCE_TIME) override { return SetState(State_Running); }
    STDMETHODIMP GetState(DWORD, FILTER_STATE* state) override {
        if (!state) return E_POINTER;
        Guard guard(lock_);
        *state = state_;
        return S_OK;
    }
    STDMETHODIMP SetSyncSource(IReferenceClock* clock) override {
        Guard guard(lock_);
        clock_ = camtools::ComPtr<IReferenceClock>(clock);
        return S_OK;
    }
    STDMETHODIMP GetSyncSource(IReferenceClock** clock) override {
        if (!clock) return E_POINTER;
        Guard guard(lock_);
        *clock =
            camtools::ComPtr<IReferenceClock>(clock_.Get()).Detach();  // the caller's reference
        return S_OK;
    }

    // IBaseFilter
    STDMETHODIMP EnumPins(IEnumPins** pins) override {
        if (!pins) return E_POINTER;
        *pins = new (std::nothrow) EmptyPinEnum;
        return *pins ? S_OK : E_OUTOFMEMORY;
    }
    STDMETHODIMP FindPin(LPCWSTR, IPin** pin) override {
        if (!pin) return E_POINTER;
        *pin = nullptr;
        return VFW_E_NOT_FOUND;
    }
    STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override {
        if (!info) return E_POINTER;
        Guard guard(lock_);
        lstrcpynW(info->achName, name_.c_str(), MAX_FILTER_NAME);
        info->pGraph = graph_;
        if (graph_) graph_->AddRef();
        return S_OK;
    }
    // The graph owns its filters, so the filter keeps the graph without a reference.
    STDMETHODIMP JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override {
        return Guarded([&] {
            Guard guard(lock_);
            name_ = (graph && name) ? camtools::WString(name) : camtools::WString();
            graph_ = graph;
            return S_OK;
        });
    }
    STDMETHODIMP QueryVendorInfo(LPWSTR* info) override {
        if (!info) return E_POINTER;
        *info = nullptr;
        return E_NOTIMPL;
    }

    // IKsPropertySet: every request goes to the model. The channel passes its buffer as both
    // the instance data and the property data; the driver insists on that, so the trace's
    // one buffer and length stand for both.
    STDMETHODIMP Set(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data,
                     DWORD length) override {
        return Guarded([&] { return SetRequest(set, id, instance, instanceLength, data, length); });
    }
    STDMETHODIMP Get(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data,
                     DWORD length, DWORD* returned) override {
        if (returned) *returned = 0;
        return Guarded(
            [&] { return GetRequest(set, id, instance, instanceLength, data, length, returned); });
    }
    STDMETHODIMP QuerySupported(REFGUID set, DWORD id, DWORD* support) override {
        if (!support) return E_POINTER;
        *support = 0;
        if (!IsEqualGUID(set, camera::kVendorSetGuid)) return E_PROP_SET_UNSUPPORTED;
        Guard guard(lock_);
        if (model_.Supports(id, true)) *support |= KSPROPERTY_SUPPORT_GET;
        if (model_.Supports(id, false)) *support |= KSPROPERTY_SUPPORT_SET;
        if (!*support) return E_PROP_ID_UNSUPPORTED;
        return model_.SupportAnswersFalse(id) ? S_FALSE : S_OK;
    }

private:
    HRESULT SetRequest(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data,
                       DWORD length) {
        if (!IsEqualGUID(set, camera::kVendorSetGuid)) return E_PROP_SET_UNSUPPORTED;
        Guard guard(lock_);
        if (instance != data || instanceLength != length) {
            AppendTraceLine(tracePath_, "set " + std::to_string(id) +
                                            " refused: instance data differs from property data");
            return E_INVALIDARG;
        }
        if (!model_.Supports(id, false)) return E_PROP_ID_UNSUPPORTED;
        bool ok = model_.Set(id, data, length);
        FlushTrace();
        WaitOnLink(model_.lastRequestNs());
        if (!ok) return model_.AnswersFalse(id, false) ? S_FALSE : kDeviceFailed;
        return S_OK;
    }
    HRESULT GetRequest(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data,
                       DWORD length, DWORD* returned) {
        if (!IsEqualGUID(set, camera::kVendorSetGuid)) return E_PROP_SET_UNSUPPORTED;
        Guard guard(lock_);
        if (instance != data || instanceLength != length) {
            AppendTraceLine(tracePath_, "get " + std::to_string(id) +
                                            " refused: instance data differs from property data");
            return E_INVALIDARG;
        }
        if (!model_.Supports(id, true)) return E_PROP_ID_UNSUPPORTED;
        bool ok = model_.Get(id, data, length);
        FlushTrace();
        WaitOnLink(model_.lastRequestNs());
        if (!ok) return model_.AnswersFalse(id, true) ? S_FALSE : kDeviceFailed;
        if (returned) *returned = length;
        return S_OK;
    }

    HRESULT SetState(FILTER_STATE state) {
        Guard guard(lock_);
        state_ = state;
        return S_OK;
    }

    void FlushTrace() {
        AppendTrace(tracePath_, model_.trace());
        model_.ClearTrace();
    }

    LONG refs_ = 1;
    const int slot_;
    const std::string tracePath_;
    Lock lock_;
    CameraModel model_;
    FILTER_STATE state_ = State_Stopped;
    camtools::ComPtr<IReferenceClock> clock_;
    IFilterGraph* graph_ = nullptr;
    camtools::WString name_;
};

// The profile of a slot: CAMSIM_PROFILE_<slot> when set, else CAMSIM_PROFILE; neither set
// gives the default profile. Relative paths inside it are taken from its folder.
bool LoadSlotProfile(int slot, Profile& profile, std::string& error) {
    camtools::WString variable = L"CAMSIM_PROFILE_";
    variable += wchar_t(L'0' + slot);
    camtools::WString path = ReadEnvironment(variable.c_str());
    if (path.empty()) path = ReadEnvironment(L"CAMSIM_PROFILE");
    if (path.empty()) return true;

    return LoadProfile(HostPath(path), profile, error);
}

HRESULT CreateFilter(int slot, REFIID iid, void** out) {
    Profile profile;
    std::string error;
    if (!LoadSlotProfile(slot, profile, error)) {
        std::fprintf(stderr, "camsim: %s\n", error.c_str());
        std::fflush(stderr);
        return E_FAIL;
    }
    CameraFilter* filter = new (std::nothrow) CameraFilter(slot, std::move(profile));
    if (!filter) return E_OUTOFMEMORY;
    camtools::ComPtr<CameraFilter> made;
    made.Attach(filter);  // the reference new gave it
    return made->QueryInterface(iid, out);
}

}  // namespace

void ModuleAddRef() { InterlockedIncrement(&moduleReferences); }
void ModuleRelease() { InterlockedDecrement(&moduleReferences); }
LONG ModuleReferences() { return InterlockedCompareExchange(&moduleReferences, 0, 0); }

HRESULT CreateCameraFilter(int slot, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    return Guarded([&] { return CreateFilter(slot, iid, out); });
}

}  // namespace camsim
