// Paths and environment for the simulated camera's filter. The filter reads its profile and
// writes its trace with the C library of its build: a Winelib build's library takes Unix
// paths, a Windows build's library takes Windows paths. Under Wine either kind may arrive
// (from a Linux test driver or from a Windows program), so paths are converted to the kind
// this build opens.
#pragma once

#include <windows.h>

#include <string>

#include "wide_string_win.h"

namespace camsim {

// The value of an environment variable, empty when it is unset.
camtools::WString ReadEnvironment(const wchar_t* name);

// The path in the form this build's C library opens: Winelib turns a Windows path into a
// Unix path; a Windows build running under Wine turns a Unix path (one starting with '/')
// into a Windows path. Everything else is returned as it is.
std::string HostPath(const camtools::WString& path);
std::string HostPath(const std::string& path);

}  // namespace camsim
