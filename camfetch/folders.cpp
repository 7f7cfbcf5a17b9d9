#include "folders.h"

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

bool MakeDownloadFileName(const std::string& name, const std::string& extension,
                          std::string& fileName) {
    std::string made = name + "." + extension;
    for (unsigned char c : made)
        if (c < 32 || c == '\\' || c == '/' || c == ':') return false;
    if (name.empty() || name == "." || name == "..") return false;
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
