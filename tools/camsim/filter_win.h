// The simulated camera as a DirectShow capture filter: one COM object that is both the
// device's IBaseFilter (no pins) and its IKsPropertySet on the vendor property set, answering
// every request from a CameraModel.
//
// Glossary:
//   slot     one of the DLL's device registrations, each with its own class id, so that a
//            prefix can hold several simulated devices (decoys, duplicates) in a known order
//   profile  the model's configuration, read when the filter is created (see README.md)
//   trace    one line per request, appended to the profile's trace file as it happens
#pragma once

#include <windows.h>

namespace camsim {

// Number of device slots; slot i has the class id SlotClsid(i). The class ids
// sort in slot order, and each registration's instance key is its class id, so the system
// device enumerator lists the slots in slot order.
constexpr int kSlotCount = 8;

// {3C5A0F00-7D2E-4B61-9A4C-2E8D1F6B7C00} for slot 0, and up.
inline CLSID SlotClsid(int slot) {
    CLSID clsid = {0x3C5A0F00, 0x7D2E, 0x4B61, {0x9A, 0x4C, 0x2E, 0x8D, 0x1F, 0x6B, 0x7C, 0x00}};
    clsid.Data1 += unsigned(slot);
    return clsid;
}

// The slot of a class id, or -1 when it is none of ours.
inline int SlotOfClsid(REFCLSID clsid) {
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const CLSID candidate = SlotClsid(slot);
        if (IsEqualCLSID(clsid, candidate)) return slot;
    }
    return -1;
}

// Creates the filter of one slot, loading its profile; fails with E_FAIL (and a line on
// stderr) when the profile cannot be read.
HRESULT CreateCameraFilter(int slot, REFIID iid, void** out);

// Live COM objects of this module (filters, pin enumerators, server locks), for
// DllCanUnloadNow.
void ModuleAddRef();
void ModuleRelease();
LONG ModuleReferences();

}  // namespace camsim
