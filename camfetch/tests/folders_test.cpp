#include <gtest/gtest.h>

#include "folders.h"

using namespace camfetch;

TEST(Folders, DatedNameHasSixteenCharacters) {
    std::tm t = {};
    t.tm_year = 2026 - 1900;
    t.tm_mon = 11;
    t.tm_mday = 7;
    t.tm_hour = 8;
    t.tm_min = 42;
    EXPECT_EQ("12-07-2026_08-42", MakeDatedFolderName(t));
    t.tm_mon = 0, t.tm_mday = 1, t.tm_hour = 23, t.tm_min = 5;
    EXPECT_EQ("01-01-2026_23-05", MakeDatedFolderName(t));
}

TEST(Folders, DownloadPaths) {
    struct Row {
        const char* what;
        std::string base, name, ext;
        bool ok;
        std::string folder, path;
    };
    const std::string dated = "12-07-2026_08-42";
    const Row rows[] = {
        {"drive root", "c:\\", "IMG1", "jpg", true, "c:\\12-07-2026_08-42",
         "c:\\12-07-2026_08-42\\IMG1.jpg"},
        {"folder", "d:\\pics", "Clip", "AVI", true, "d:\\pics\\12-07-2026_08-42",
         "d:\\pics\\12-07-2026_08-42\\Clip.AVI"},
        {"drive without backslash", "C:", "A", "wav", true, "C:\\12-07-2026_08-42",
         "C:\\12-07-2026_08-42\\A.wav"},
        {"spaces kept", "c:\\", "PIC     ", "jpg", true, "c:\\12-07-2026_08-42",
         "c:\\12-07-2026_08-42\\PIC     .jpg"},
        {"name with backslash", "c:\\", "..\\..\\x", "jpg", false, "", ""},
        {"name with slash", "c:\\", "a/b", "jpg", false, "", ""},
        {"drive in name", "c:\\", "d:x", "jpg", false, "", ""},
        {"control character", "c:\\", "a\x01", "jpg", false, "", ""},
        {"dot dot", "c:\\", "..", "jpg", false, "", ""},
        {"wildcard", "c:\\", "IMG*", "jpg", false, "", ""},
        {"pipe", "c:\\", "a|b", "jpg", false, "", ""},
        {"device name", "c:\\", "CON", "jpg", false, "", ""},
        {"device name, lower case and padded", "c:\\", "com1    ", "wav", false, "", ""},
        {"port 0", "c:\\", "Lpt0", "jpg", false, "", ""},
        {"superscript port, Western code page", "c:\\", "COM\xB9", "avi", false, "", ""},
        {"superscript port, UTF-8", "c:\\", "lpt\xC2\xB3 ", "wav", false, "", ""},
        {"console input", "c:\\", "conin$", "jpg", false, "", ""},
        {"console output", "c:\\", "CONOUT$", "JPG", false, "", ""},
        {"device-like but longer", "c:\\", "CONS", "jpg", true, "c:\\12-07-2026_08-42",
         "c:\\12-07-2026_08-42\\CONS.jpg"},
        {"port 10", "c:\\", "COM10", "jpg", true, "c:\\12-07-2026_08-42",
         "c:\\12-07-2026_08-42\\COM10.jpg"},
        {"other sign after the port", "c:\\", "COM\xB4", "jpg", true, "c:\\12-07-2026_08-42",
         "c:\\12-07-2026_08-42\\COM\xB4.jpg"},
        {"trailing blank in extension", "c:\\", "A", "jp ", false, "", ""},
        {"path too long", "c:\\" + std::string(240, 'p'), "A", "jpg", false, "", ""},
        {"just fits", "c:\\" + std::string(231, 'p'), "ABC", "jpg", true, "", ""},
    };
    for (const Row& row : rows) {
        std::string folder = "unchanged", path = "unchanged";
        EXPECT_EQ(row.ok, BuildDownloadPaths(row.base, dated, row.name, row.ext, folder, path))
            << row.what;
        if (!row.ok) {
            EXPECT_EQ("unchanged", path) << row.what;
        } else if (!row.folder.empty()) {
            EXPECT_EQ(row.folder, folder) << row.what;
            EXPECT_EQ(row.path, path) << row.what;
        } else {
            EXPECT_EQ(259u, path.size()) << row.what;
        }
    }
}
