// Reading whole files through an interface, so that the firmware image and the DRAM setting
// script can be read from real files (Win32 file handles in the program) or from files held
// in memory in tests, including files that fail or deliver fewer bytes than they announce.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace camflash {

class InputFile {
public:
    virtual ~InputFile() = default;
    // The file's length in bytes as the system reports it when the file is open; false when
    // the system cannot tell.
    virtual bool Size(uint64_t& size) = 0;
    // Reads up to size bytes into buffer and sets got to the number delivered. Returns false
    // on a file error, with the system's description of it in errorText.
    virtual bool Read(void* buffer, size_t size, size_t& got, std::string& errorText) = 0;
};

class FileOpener {
public:
    virtual ~FileOpener() = default;
    // Opens path for reading while other programs may read and write it; null when the file
    // cannot be opened. Paths are UTF-8.
    virtual std::unique_ptr<InputFile> OpenForReading(const std::string& path) = 0;
};

}  // namespace camflash
