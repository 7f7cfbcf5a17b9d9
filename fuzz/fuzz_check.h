// What the fuzz targets share: a check that stops the run with a message (libFuzzer then saves
// the input that broke it), and a scratch folder of the process's own for targets that need
// files on disk.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#define FUZZ_CHECK(condition, what)                                                                \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s (%s)\n", __FILE__, __LINE__, #condition, \
                         std::string(what).c_str());                                               \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzz {

// A fresh folder under $TMPDIR (or /tmp), made once per process; ends with '/'.
std::string ScratchFolder();
void WriteBytes(const std::string& path, const uint8_t* data, size_t size);
std::vector<uint8_t> ReadBytes(const std::string& path);
// Names of the regular files in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder);

}  // namespace fuzz
