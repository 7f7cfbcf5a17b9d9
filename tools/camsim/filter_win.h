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

// Number of device slots; slot i has class id kSlotClsidBase with Data1 + i. The class ids
// sort in slot order, and each registration's instance key is its class id, so the system
// device enumerator lists the slots in slot order.
constexpr int kSlotCount = 8;
extern const CLSID kSlotClsidBase;

CLSID SlotClsid(int slot);
// The slot of a class id, or -1 when it is none of ours.
int SlotOfClsid(REFCLSID clsid);

// Creates the filter of one slot, loading its profile; fails with E_FAIL (and a line on
// stderr) when the profile cannot be read.
HRESULT CreateCameraFilter(int slot, REFIID iid, void** out);

// Live COM objects of this module (filters, pin enumerators, server locks), for
// DllCanUnloadNow.
void ModuleAddRef();
void ModuleRelease();
LONG ModuleReferences();

}  // namespace camsim
