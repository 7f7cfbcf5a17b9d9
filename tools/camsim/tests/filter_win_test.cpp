// The simulated camera's filter DLL through COM, as registered in the test prefix.
#include <windows.h>
#include <dshow.h>

#include <string>
#include <vector>

#include "camera_protocol.h"
#include "filter_win.h"
#include "scoped_win.h"
#include "vendor_set_win.h"
#include "wide_string_win.h"
#include "windriver.h"
#include "wintest.h"

namespace {

using camtools::ComPtr;
using camtools::ComScope;

const GUID kOtherSet = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

std::string Scratch(const std::string& name) {
    return windriver::Environment("TEST_SCRATCH") + "/" + name;
}

// Writes a profile whose trace goes to TRACE beside it, and removes an old trace.
std::string WriteProfile(const std::string& name, const std::string& text) {
    std::string path = Scratch(name + ".profile");
    windriver::WriteTextFile(path, text + "\ntrace " + name + ".trace\n");
    windriver::RemoveFile(Scratch(name + ".trace"));
    return path;
}

std::vector<std::string> TraceOf(const std::string& name) {
    return windriver::ReadTrace(Scratch(name + ".trace"));
}

HRESULT CreateSlot(int slot, ComPtr<IBaseFilter>& filter) {
    return CoCreateInstance(camsim::SlotClsid(slot), nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                            filter.OutVoid());
}

std::string Join(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

// The friendly names of the video input devices, in enumeration order.
std::vector<std::string> VideoInputNames(HRESULT& enumResult) {
    std::vector<std::string> names;
    ComPtr<ICreateDevEnum> devices;
    enumResult = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICreateDevEnum, devices.OutVoid());
    if (FAILED(enumResult)) return names;
    ComPtr<IEnumMoniker> monikers;
    enumResult = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.Out(), 0);
    if (enumResult != S_OK) return names;
    for (;;) {
        ComPtr<IMoniker> moniker;
        if (monikers->Next(1, moniker.Out(), nullptr) != S_OK) break;
        ComPtr<IPropertyBag> bag;
        if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.OutVoid()))) {
            names.push_back("(no bag)");
            continue;
        }
        camtools::ScopedVariant value;
        V_VT(value.Get()) = VT_BSTR;
        if (SUCCEEDED(bag->Read(L"FriendlyName", value.Get(), nullptr)) &&
            V_VT(value.Get()) == VT_BSTR)
            names.push_back(
                camtools::Narrow(V_BSTR(value.Get()), SysStringLen(V_BSTR(value.Get())), CP_UTF8));
    }
    return names;
}

}  // namespace

WT_TEST(OneObjectIsTheFilterAndThePropertySet) {
    ComScope com;
    {
        ComPtr<IBaseFilter> filter;
        WT_CHECK_HR(CreateSlot(0, filter), S_OK);
        if (!filter) return;
        ComPtr<IKsPropertySet> properties;
        WT_CHECK_HR(filter->QueryInterface(IID_IKsPropertySet, properties.OutVoid()), S_OK);
        ComPtr<IUnknown> fromFilter, fromProperties;
        filter->QueryInterface(IID_IUnknown, fromFilter.OutVoid());
        properties->QueryInterface(IID_IUnknown, fromProperties.OutVoid());
        WT_CHECK(fromFilter.Get() != nullptr && fromFilter.Get() == fromProperties.Get());
        ComPtr<IBaseFilter> back;
        WT_CHECK_HR(properties->QueryInterface(IID_IBaseFilter, back.OutVoid()), S_OK);
        WT_CHECK(back.Get() == filter.Get());

        CLSID clsid = {};
        WT_CHECK_HR(filter->GetClassID(&clsid), S_OK);
        const CLSID slot0 = camsim::SlotClsid(0);
        WT_CHECK(IsEqualCLSID(clsid, slot0));

        ComPtr<IPin> pin;
        WT_CHECK_HR(filter->QueryInterface(IID_IPin, pin.OutVoid()), E_NOINTERFACE);
        WT_CHECK(!pin);
        WT_CHECK_HR(windriver::CameraDllCanUnloadNow(), S_FALSE);
    }
    // Every reference handed out was given back: nothing of the module is alive.
    WT_CHECK_HR(windriver::CameraDllCanUnloadNow(), S_OK);
}

WT_TEST(HasNoPinsAndKeepsStateClockAndGraph) {
    ComScope com;
    {
        ComPtr<IBaseFilter> filter;
        WT_CHECK_HR(CreateSlot(0, filter), S_OK);
        if (!filter) return;
        ComPtr<IEnumPins> pins;
        WT_CHECK_HR(filter->EnumPins(pins.Out()), S_OK);
        IPin* pin = nullptr;
        ULONG fetched = 7;
        WT_CHECK_HR(pins->Next(1, &pin, &fetched), S_FALSE);
        WT_CHECK_EQ(fetched, 0ul);
        WT_CHECK(pin == nullptr);
        WT_CHECK_HR(pins->Skip(1), S_FALSE);
        WT_CHECK_HR(pins->Reset(), S_OK);
        ComPtr<IEnumPins> clone;
        WT_CHECK_HR(pins->Clone(clone.Out()), S_OK);
        WT_CHECK_HR(clone->Next(1, &pin, nullptr), S_FALSE);
        WT_CHECK_HR(filter->FindPin(L"Capture", &pin), VFW_E_NOT_FOUND);
        WT_CHECK(pin == nullptr);

        FILTER_STATE state = State_Running;
        WT_CHECK_HR(filter->GetState(0, &state), S_OK);
        WT_CHECK_EQ(int(state), int(State_Stopped));
        WT_CHECK_HR(filter->Run(0), S_OK);
        filter->GetState(0, &state);
        WT_CHECK_EQ(int(state), int(State_Running));
        WT_CHECK_HR(filter->Pause(), S_OK);
        filter->GetState(0, &state);
        WT_CHECK_EQ(int(state), int(State_Paused));
        WT_CHECK_HR(filter->Stop(), S_OK);
        filter->GetState(0, &state);
        WT_CHECK_EQ(int(state), int(State_Stopped));

        // In a real filter graph: the graph hands over its clock and its name for the filter.
        ComPtr<IGraphBuilder> graph;
        WT_CHECK_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IGraphBuilder, graph.OutVoid()),
                    S_OK);
        if (graph) {
            WT_CHECK_HR(graph->AddFilter(filter.Get(), L"ZQ71R"), S_OK);
            FILTER_INFO info = {};
            WT_CHECK_HR(filter->QueryFilterInfo(&info), S_OK);
            WT_CHECK(lstrcmpW(info.achName, L"ZQ71R") == 0);
            WT_CHECK(info.pGraph != nullptr);
            ComPtr<IFilterGraph> named;
            named.Attach(info.pGraph);  // QueryFilterInfo hands out a reference
            ComPtr<IMediaFilter> graphControl;
            graph->QueryInterface(IID_IMediaFilter, graphControl.OutVoid());
            ComPtr<IReferenceClock> clock;
            if (graphControl) graphControl->GetSyncSource(clock.Out());
            if (clock) {
                WT_CHECK_HR(filter->SetSyncSource(clock.Get()), S_OK);
                ComPtr<IReferenceClock> held;
                WT_CHECK_HR(filter->GetSyncSource(held.Out()), S_OK);
                WT_CHECK(held.Get() == clock.Get());
            }
            WT_CHECK_HR(graph->RemoveFilter(filter.Get()), S_OK);
            filter->SetSyncSource(nullptr);
            WT_CHECK_HR(filter->QueryFilterInfo(&info), S_OK);
            WT_CHECK(info.pGraph == nullptr);
            WT_CHECK(info.achName[0] == 0);
        }
    }
    WT_CHECK_HR(windriver::CameraDllCanUnloadNow(), S_OK);
}

WT_TEST(AnswersSupportQueriesForTheVendorSetOnly) {
    ComScope com;
    ComPtr<IBaseFilter> filter;
    WT_CHECK_HR(CreateSlot(0, filter), S_OK);
    ComPtr<IKsPropertySet> properties;
    if (filter) filter->QueryInterface(IID_IKsPropertySet, properties.OutVoid());
    if (!properties) return;

    // Each row: property id, expected result and support mask.
    struct Row {
        DWORD id;
        HRESULT result;
        DWORD support;
    } rows[] = {
        {0, S_OK, KSPROPERTY_SUPPORT_SET},
        {2, S_OK, KSPROPERTY_SUPPORT_GET | KSPROPERTY_SUPPORT_SET},
        {3, S_OK, KSPROPERTY_SUPPORT_GET},
        {24, S_OK, KSPROPERTY_SUPPORT_SET},
        {34, S_OK, KSPROPERTY_SUPPORT_GET},
        {67, S_OK, KSPROPERTY_SUPPORT_GET},
        {5, E_PROP_ID_UNSUPPORTED, 0},
    };
    for (const Row& row : rows) {
        DWORD support = 0xFF;
        std::string name = "property " + std::to_string(row.id);
        WT_CHECK_MSG(
            properties->QuerySupported(camera::kVendorSetGuid, row.id, &support) == row.result,
            name);
        WT_CHECK_MSG(support == row.support, name);
    }

    DWORD support = 0xFF;
    WT_CHECK_HR(properties->QuerySupported(kOtherSet, 2, &support), E_PROP_SET_UNSUPPORTED);
    WT_CHECK_EQ(support, DWORD(0));
    BYTE byte = 0;
    DWORD returned = 9;
    WT_CHECK_HR(properties->Get(kOtherSet, 2, &byte, 1, &byte, 1, &returned),
                E_PROP_SET_UNSUPPORTED);
    WT_CHECK_EQ(returned, DWORD(0));
    WT_CHECK_HR(properties->Set(kOtherSet, 2, &byte, 1, &byte, 1), E_PROP_SET_UNSUPPORTED);
    WT_CHECK_HR(properties->QuerySupported(camera::kVendorSetGuid, 2, nullptr), E_POINTER);
}

WT_TEST(TracesEveryRequestAsItHappens) {
    ComScope com;
    windriver::ScopedEnvironment profile("CAMSIM_PROFILE", WriteProfile("requests",
                                                                        "register 1856 0x5a\n"
                                                                        "fault fail 34 get\n"));
    ComPtr<IBaseFilter> filter;
    WT_CHECK_HR(CreateSlot(0, filter), S_OK);
    ComPtr<IKsPropertySet> properties;
    if (filter) filter->QueryInterface(IID_IKsPropertySet, properties.OutVoid());
    if (!properties) return;

    BYTE address[4] = {0x40, 0x07, 0x00, 0x00};
    WT_CHECK_HR(properties->Set(camera::kVendorSetGuid, 0, address, 4, address, 4), S_OK);
    // The line is in the file while the filter is still in use.
    WT_CHECK_EQ(Join(TraceOf("requests")), std::string("set 0 len=4 40 07 00 00 ok\n"));

    BYTE value[2] = {0, 0xEE};
    DWORD returned = 0;
    WT_CHECK_HR(properties->Get(camera::kVendorSetGuid, 2, value, 1, value, 1, &returned), S_OK);
    WT_CHECK_EQ(value[0], BYTE(0x5a));
    WT_CHECK_EQ(value[1], BYTE(0xEE));
    WT_CHECK_EQ(returned, DWORD(1));

    // A request the camera fails answers with an error, and is traced as failed.
    BYTE status[12] = {};
    returned = 9;
    HRESULT failed = properties->Get(camera::kVendorSetGuid, 34, status, 12, status, 12, &returned);
    WT_CHECK(FAILED(failed));
    WT_CHECK_EQ(returned, DWORD(0));

    // Without data: a null buffer and both lengths 0.
    WT_CHECK_HR(properties->Set(camera::kVendorSetGuid, 24, nullptr, 0, nullptr, 0), S_OK);

    // Instance data that is not the property data is refused before it reaches the camera.
    BYTE other[4] = {};
    WT_CHECK_HR(properties->Set(camera::kVendorSetGuid, 0, other, 4, address, 4), E_INVALIDARG);
    WT_CHECK_HR(properties->Set(camera::kVendorSetGuid, 24, other, 4, nullptr, 0), E_INVALIDARG);

    WT_CHECK_EQ(Join(TraceOf("requests")),
                std::string("set 0 len=4 40 07 00 00 ok\n"
                            "get 2 len=1 5a ok\n"
                            "get 34 len=12 fail\n"
                            "set 24 len=0 null ok\n"
                            "set 0 refused: instance data differs from property data\n"
                            "set 24 refused: instance data differs from property data\n"));
}

WT_TEST(EachSlotReadsItsOwnProfile) {
    ComScope com;
    windriver::CameraDevices devices({"ZQ71R Camera", "one", "two"});
    WT_CHECK(devices.Installed());
    windriver::ScopedEnvironment common("CAMSIM_PROFILE",
                                        WriteProfile("common", "register 1 0x11\n"));
    windriver::ScopedEnvironment own("CAMSIM_PROFILE_2",
                                     WriteProfile("slot2", "register 1 0x22\n"));
    // Each row: slot, the value of register 1 it answers, and the trace it writes to.
    struct Row {
        int slot;
        BYTE value;
        const char* trace;
    } rows[] = {{0, 0x11, "common"}, {2, 0x22, "slot2"}, {1, 0x11, "common"}};
    for (const Row& row : rows) {
        std::string name = "slot " + std::to_string(row.slot);
        ComPtr<IBaseFilter> filter;
        WT_CHECK_HR_MSG(CreateSlot(row.slot, filter), S_OK, name);
        ComPtr<IKsPropertySet> properties;
        if (filter) filter->QueryInterface(IID_IKsPropertySet, properties.OutVoid());
        if (!properties) continue;
        BYTE address[4] = {1, 0, 0, 0};
        BYTE value = 0;
        DWORD returned = 0;
        properties->Set(camera::kVendorSetGuid, 0, address, 4, address, 4);
        properties->Get(camera::kVendorSetGuid, 2, &value, 1, &value, 1, &returned);
        WT_CHECK_MSG(value == row.value, name);
        WT_CHECK_MSG(TraceOf(row.trace).size() >= 2, name);
    }
    WT_CHECK_EQ(TraceOf("common").size(), size_t(4));
    WT_CHECK_EQ(TraceOf("slot2").size(), size_t(2));
}

WT_TEST(AProfileThatCannotBeReadFailsCreation) {
    ComScope com;
    // Each row: what CAMSIM_PROFILE names.
    const std::string missing = Scratch("missing.profile");
    windriver::RemoveFile(missing);
    const std::string malformed = Scratch("malformed.profile");
    windriver::WriteTextFile(malformed, "register 70000 1\n");
    for (const std::string& path : {missing, malformed}) {
        windriver::ScopedEnvironment profile("CAMSIM_PROFILE", path);
        ComPtr<IBaseFilter> filter;
        WT_CHECK_HR_MSG(CreateSlot(0, filter), E_FAIL, path);
        WT_CHECK_MSG(!filter, path);
    }
    WT_CHECK_HR(windriver::CameraDllCanUnloadNow(), S_OK);
}

WT_TEST(RegistersDevicesInTheGivenOrder) {
    ComScope com;
    HRESULT hr = E_FAIL;
    // Each row: the names installed and the names the system device enumerator lists.
    const std::vector<std::vector<std::string>> rows = {
        {"ZQ71R Camera"},
        {"b second", "A first", "ZQ71R Camera", "ZQ71R Camera"},
        {std::string(100, 'x'), "ZQ71R Camera "},
    };
    for (const auto& names : rows) {
        windriver::CameraDevices devices(names);
        WT_CHECK_MSG(devices.Installed(), names.back());
        WT_CHECK_MSG(VideoInputNames(hr) == names, names.back());
        WT_CHECK_HR(hr, S_OK);
    }
    {
        windriver::CameraDevices none({});
        WT_CHECK(none.Installed());
        WT_CHECK(VideoInputNames(hr).empty());
        WT_CHECK_HR(hr, S_FALSE);  // an empty category
    }
    // Too many devices, or a name the list cannot carry: refused, nothing changes.
    WT_CHECK(!windriver::InstallCameraDevices(std::vector<std::string>(9, "ZQ71R Camera")));
    WT_CHECK(!windriver::InstallCameraDevices({"a|b"}));
    WT_CHECK(VideoInputNames(hr) == std::vector<std::string>{"ZQ71R Camera"});
}

int main(int argc, char** argv) { return wintest::RunAll(argc, argv); }
