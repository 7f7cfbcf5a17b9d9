// Where downloads go: a sub-folder named from the time the main dialog opened, inside the
// folder the user chose, holding each file under its camera name.
#pragma once

#include <ctime>
#include <string>

namespace camfetch {

constexpr size_t kMaxPath = 260;  // the platform's path limit, terminator included

// "%m-%d-%Y_%H-%M" of the given local time, for example 12-07-2026_08-42.
std::string MakeDatedFolderName(const std::tm& localTime);

// Joins a folder and a name with one backslash between them, as the platform's path append
// does ("c:\" + "x" gives "c:\x"). Fails when the result would not fit kMaxPath.
bool AppendPath(std::string& folder, const std::string& name);

// The file name a stored file gets on disk: name "." extension, as stored. Fails for names
// that would leave the download folder or are not file names at all (separators, drive
// colons, wildcards, control characters, trailing dots or blanks, device names such as CON or
// COM1): the names come from the camera and are not trusted.
bool MakeDownloadFileName(const std::string& name, const std::string& extension,
                          std::string& fileName);

// The dated sub-folder of a download folder, and the full path of one file in it.
bool BuildDownloadPaths(const std::string& downloadFolder, const std::string& datedFolderName,
                        const std::string& name, const std::string& extension, std::string& folder,
                        std::string& path);

// The path a download has beside `path` until it is complete: name ".partial." extension in
// the same folder. No camera file has such a name (a camera name has at most 8 bytes), it
// says the file is not whole, and it keeps the extension, by which the clip conversion's
// AVIFile services open a clip. Fails when the path would not fit kMaxPath.
bool BuildPartialPath(const std::string& folder, const std::string& name,
                      const std::string& extension, std::string& partialPath);

}  // namespace camfetch
