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

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices in every folder, whatever follows the
// first dot and however they are spelt.
bool IsDeviceName(const std::string& fileName) {
    std::string base = fileName.substr(0, fileName.find('.'));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    for (char& c : base)
        if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '1' && base[3] <= '9';
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
                        const std::string& name, const std::string& extension,
                        std::string& folder, std::string& path) {
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

}  // namespace camfetch
