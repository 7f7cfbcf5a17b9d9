// Files read through Win32 file handles, shared for reading and writing with other programs.
#pragma once

#include "file_source.h"

namespace camflash {

class Win32FileOpener : public FileOpener {
public:
    std::unique_ptr<InputFile> OpenForReading(const std::string& path) override;
};

}  // namespace camflash
