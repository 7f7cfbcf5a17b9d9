// The camera's transport on Windows: DirectShow device enumeration to find the capture
// filter, and IKsPropertySet requests on the vendor property set to talk to it.
#pragma once

#include <memory>

#include "property_transport.h"

namespace camera {

std::unique_ptr<PropertyTransport> CreateDirectShowTransport();

}  // namespace camera
