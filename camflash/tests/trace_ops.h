// The simulated camera's trace read back as camera operations, so tests can state the
// exchange in a line each: "W 740=DF" (register write), "R 740" (register read),
// "download 111", "ready?", "flash", "request", "status"; a failed request ends in "!".
#pragma once

#include <string>
#include <vector>

#include "camera_model.h"

namespace camflash_test {

std::vector<std::string> TraceOperations(const std::vector<camsim::TraceRecord>& trace);

inline size_t CountOf(const std::vector<std::string>& items, const std::string& item) {
    size_t n = 0;
    for (const std::string& i : items) n += i == item;
    return n;
}

}  // namespace camflash_test
