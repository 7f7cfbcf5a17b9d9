#include "folders.h"

#include <cstring>

namespace camfetch {

std::string MakeDatedFolderName(const std::tm& localTime) {
    char text[64];
    size_t n = std::strftime(text, sizeof text, "%m-%d-%Y_%H-%M", &localTime);
    return std::string(text, n);
}

bool AppendPath(std::string& folder, const std::string& name) {
    size_t start = 0;
    while (start < name.size() && name[start] == '\\') ++start;
    std::string joined = folder;
    if (!joined.empty() && joined.back() != '\\' && start < name.size()) joined += '\\';
    joined.append(name, start, std::string::npos);
    if (joined.size() >= kMaxPath) return false;
    folder = std::move(joined);
    return true;
}

namespace {

// Names the platform opens as devices in every folder, whatever follows the first dot and
// however they are spelt: CON, PRN, AUX, NUL, CONIN$, CONOUT$, and COM and LPT followed by a
// digit 0-9 or a superscript 1, 2 or 3. The superscripts are refused both as the single bytes
// of the Western code page (0xB9, 0xB2, 0xB3) and as UTF-8, whatever code page the name is
// read in: refusing a harmless name only fails its download.
bool IsDeviceName(const std::string& fileName) {
    std::string base = fileName.substr(0, fileName.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
        base == "CONOUT$")
        return true;
    if (base.size() < 4 || (base.compare(0, 3, "COM") != 0 && base.compare(0, 3, "LPT") != 0))
        return false;
    std::string port = base.substr(3);
    if (port.size() == 1 && port[0] >= '0' && port[0] <= '9') return true;
    for (const char* superscript : {"\xB9", "\xB2", "\xB3", "\xC2\xB9", "\xC2\xB2", "\xC2\xB3"})
        if (port == superscript) return true;
    return false;
}

}  // namespace

bool MakeDownloadFileName(const std::string& name, const std::string& extension,
                          std::string& fileName) {
    std::string made = name + "." + extension;
    for (unsigned char c : made)
        if (c < 32 || c == 127 || std::strchr("\\/:*?\"<>|", c)) return false;
    if (name.empty() || name == "." || name == "..") return false;
    // The platform drops trailing dots and blanks, which would save under another name.
    if (made.back() == '.' || made.back() == ' ') return false;
    if (IsDeviceName(made)) return false;
    fileName = std::move(made);
    return true;
}

bool BuildDownloadPaths(const std::string& downloadFolder, const std::string& datedFolderName,
                        const std::string& name, const std::string& extension, std::string& folder,
                        std::string& path) {
    std::string fileName;
    if (!MakeDownloadFileName(name, extension, fileName)) return false;
    std::string dir = downloadFolder;
    if (!AppendPath(dir, datedFolderName)) return false;
    std::string full = dir;
    if (!AppendPath(full, fileName)) return false;
    folder = std::move(dir);
    path = std::move(full);
    return true;
}

bool BuildPartialPath(const std::string& folder, const std::string& name,
                      const std::string& extension, std::string& partialPath) {
    std::string full = folder;
    if (!AppendPath(full, name + ".partial." + extension)) return false;
    partialPath = std::move(full);
    return true;
}

}  // namespace camfetch
