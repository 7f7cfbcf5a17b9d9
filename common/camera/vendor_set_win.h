// The vendor property set as the GUID that IKsPropertySet requests name: the transport
// asks with it, the simulated camera answers to it.
#pragma once

#include <windows.h>

#include "camera_protocol.h"

namespace camera {

inline const GUID kVendorSetGuid = {
    kVendorPropertySet.data1,
    kVendorPropertySet.data2,
    kVendorPropertySet.data3,
    {kVendorPropertySet.data4[0], kVendorPropertySet.data4[1], kVendorPropertySet.data4[2],
     kVendorPropertySet.data4[3], kVendorPropertySet.data4[4], kVendorPropertySet.data4[5],
     kVendorPropertySet.data4[6], kVendorPropertySet.data4[7]}};

}  // namespace camera
