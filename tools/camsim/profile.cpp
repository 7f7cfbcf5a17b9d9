// The simulated camera's profile: a line-based text format (see README.md).
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <sstream>

#include "camera_model.h"

namespace camsim {

namespace {

// Generated content is held in memory: 256 MiB is far beyond any stored file a test needs.
constexpr uint64_t kMaxFill = 256u << 20;

// Splits a line into words at blanks and tabs; a word in double quotes keeps its blanks
// (there is no escape: a quoted word ends at the next quote).
bool SplitWords(const std::string& line, std::vector<std::string>& words, std::string& error) {
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t') {
            ++i;
            continue;
        }
        std::string word;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            if (line[i] == '"') {
                size_t close = line.find('"', i + 1);
                if (close == std::string::npos) {
                    error = "unterminated quote";
                    return false;
                }
                word.append(line, i + 1, close - i - 1);
                i = close + 1;
            } else {
                word += line[i++];
            }
        }
        words.push_back(word);
    }
    return true;
}

// Decimal, or hexadecimal after 0x; at most max.
bool ParseNumber(const std::string& text, uint64_t max, uint64_t& value) {
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    std::string digits = hex ? text.substr(2) : text;
    if (digits.empty()) return false;
    for (char c : digits)
        if (!(hex ? std::isxdigit(static_cast<unsigned char>(c))
                  : std::isdigit(static_cast<unsigned char>(c))))
            return false;
    errno = 0;
    unsigned long long v = std::strtoull(digits.c_str(), nullptr, hex ? 16 : 10);
    if (errno != 0 || v > max) return false;
    value = v;
    return true;
}

bool ParseHex(const std::string& text, std::vector<uint8_t>& bytes) {
    if (text.size() % 2 != 0) return false;
    bytes.clear();
    for (size_t i = 0; i < text.size(); i += 2) {
        auto digit = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        int hi = digit(text[i]), lo = digit(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        bytes.push_back(uint8_t(hi << 4 | lo));
    }
    return true;
}

// False for anything that cannot be read as a file, a folder among them: the C++ library
// opens a folder, and its first read throws.
bool ReadWholeFile(const std::string& path, std::string& content) {
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) return false;
        content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        return !in.bad();
    } catch (const std::exception&) {
        return false;
    }
}

// Paths may be POSIX paths (native tests) or Windows paths (the filter under Wine).
bool IsAbsolutePath(const std::string& path) {
    return (!path.empty() && (path[0] == '/' || path[0] == '\\')) ||
           (path.size() > 1 && path[1] == ':');
}

std::string JoinPath(const std::string& baseDir, const std::string& path) {
    if (baseDir.empty() || IsAbsolutePath(path)) return path;
    char last = baseDir.back();
    if (last == '/' || last == '\\') return baseDir + path;
    return baseDir + (baseDir.find('\\') != std::string::npos ? "\\" : "/") + path;
}

// Splits "key=value"; a word without '=' has an empty key.
void SplitOption(const std::string& word, std::string& key, std::string& value) {
    size_t eq = word.find('=');
    if (eq == std::string::npos) {
        key.clear();
        value = word;
    } else {
        key = word.substr(0, eq);
        value = word.substr(eq + 1);
    }
}

class LineParser {
public:
    LineParser(const std::string& baseDir, Profile& profile)
        : baseDir_(baseDir), profile_(profile) {}

    bool Parse(const std::vector<std::string>& w, std::string& error) {
        const std::string& key = w[0];
        if (key == "name") return Name(w, error);
        if (key == "register") return Register(w, error);
        if (key == "firmware-ready-after") return Count(w, profile_.firmwareReadyAfterPolls, error);
        if (key == "firmware-never-ready") return Flag(w, profile_.firmwareNeverReady, error);
        if (key == "firmware-not-ready-value")
            return Count(w, profile_.firmwareNotReadyValue, error);
        if (key == "flash-done-after") return Count(w, profile_.flashDoneAfterReads, error);
        if (key == "not-ready-polls") return Count(w, profile_.notReadyPolls, error);
        if (key == "block-size") {
            if (!Count(w, profile_.blockSize, error)) return false;
            if (profile_.blockSize == 0) return Fail("block-size must be at least 1", error);
            return true;
        }
        if (key == "request-latency-us") return Count(w, profile_.requestLatencyUs, error);
        if (key == "read-bytes-per-second") return Count(w, profile_.readBytesPerSecond, error);
        if (key == "storage") return Storage(w, error);
        if (key == "file") return File(w, error);
        if (key == "entry") return Entry(w, error);
        if (key == "fault") return FaultLine(w, error);
        if (key == "trace") {
            if (w.size() != 2) return Fail("trace takes one path", error);
            profile_.tracePath = JoinPath(baseDir_, w[1]);
            return true;
        }
        return Fail("unknown keyword '" + key + "'", error);
    }

private:
    static bool Fail(const std::string& message, std::string& error) {
        error = message;
        return false;
    }

    bool Name(const std::vector<std::string>& w, std::string& error) {
        if (w.size() < 2) return Fail("name needs a friendly name", error);
        // Unquoted words are joined with single blanks; quote the name to keep other spacing.
        std::string name = w[1];
        for (size_t i = 2; i < w.size(); ++i) name += " " + w[i];
        profile_.friendlyName = name;
        return true;
    }

    bool Register(const std::vector<std::string>& w, std::string& error) {
        uint64_t address, value;
        if (w.size() != 3) return Fail("register takes an address and a value", error);
        if (!ParseNumber(w[1], 0xFFFF, address))
            return Fail("bad register address '" + w[1] + "' (0 to 65535)", error);
        if (!ParseNumber(w[2], 0xFF, value))
            return Fail("bad register value '" + w[2] + "' (0 to 255)", error);
        profile_.registers[uint32_t(address)] = uint8_t(value);
        return true;
    }

    static bool Count(const std::vector<std::string>& w, uint32_t& out, std::string& error) {
        uint64_t value;
        if (w.size() != 2) return Fail(w[0] + " takes one number", error);
        if (!ParseNumber(w[1], 0xFFFFFFFF, value))
            return Fail("bad number '" + w[1] + "' for " + w[0], error);
        out = uint32_t(value);
        return true;
    }

    static bool Flag(const std::vector<std::string>& w, bool& out, std::string& error) {
        if (w.size() != 1) return Fail(w[0] + " takes nothing", error);
        out = true;
        return true;
    }

    bool Storage(const std::vector<std::string>& w, std::string& error) {
        if (w.size() == 2 && w[1] == "present") {
            profile_.storagePresent = true;
            return true;
        }
        if (w.size() == 2 && w[1] == "absent") {
            profile_.storagePresent = false;
            return true;
        }
        return Fail("storage takes 'present' or 'absent'", error);
    }

    bool File(const std::vector<std::string>& w, std::string& error) {
        if (w.size() < 3) return Fail("file needs a name and an extension", error);
        StoredFile file;
        file.name = w[1];
        file.extension = w[2];
        if (file.name.size() > 8) return Fail("file name '" + w[1] + "' is longer than 8", error);
        if (file.extension.size() > 3)
            return Fail("file extension '" + w[2] + "' is longer than 3", error);
        int contentSources = 0;
        for (size_t i = 3; i < w.size(); ++i) {
            std::string key, value;
            SplitOption(w[i], key, value);
            uint64_t number;
            if (key == "size") {
                if (!ParseNumber(value, 0xFFFFFFFF, number))
                    return Fail("bad size '" + value + "'", error);
                file.sizeOverridden = true;
                file.reportedSize = uint32_t(number);
            } else if (key == "time" || key == "date") {
                if (!ParseNumber(value, 0xFFFF, number))
                    return Fail("bad " + key + " '" + value + "' (at most 0xFFFF)", error);
                (key == "time" ? file.writeTime : file.writeDate) = uint16_t(number);
            } else if (key == "hex") {
                ++contentSources;
                if (!ParseHex(value, file.content)) return Fail("bad hex content", error);
            } else if (key == "path") {
                ++contentSources;
                std::string content, full = JoinPath(baseDir_, value);
                if (!ReadWholeFile(full, content)) return Fail("cannot read '" + full + "'", error);
                file.content.assign(content.begin(), content.end());
            } else if (key == "fill") {
                ++contentSources;
                if (!ParseNumber(value, kMaxFill, number))
                    return Fail("bad fill length '" + value + "' (at most 268435456)", error);
                file.content.resize(size_t(number));
                for (size_t b = 0; b < file.content.size(); ++b) file.content[b] = uint8_t(b % 251);
            } else {
                return Fail("unknown file option '" + w[i] + "'", error);
            }
        }
        if (contentSources > 1) return Fail("file takes at most one of hex=, path=, fill=", error);
        profile_.files.push_back(std::move(file));
        return true;
    }

    bool Entry(const std::vector<std::string>& w, std::string& error) {
        std::string key, value;
        if (w.size() == 2) SplitOption(w[1], key, value);
        std::vector<uint8_t> bytes;
        if (key != "hex" || !ParseHex(value, bytes) || bytes.size() != 32)
            return Fail("entry takes hex= with exactly 64 hex digits", error);
        profile_.extraEntries.push_back(std::move(bytes));
        return true;
    }

    bool FaultLine(const std::vector<std::string>& w, std::string& error) {
        if (w.size() < 3) return Fail("fault needs a kind and a property", error);
        Fault fault;
        const std::string& kind = w[1];
        if (kind == "fail")
            fault.kind = FaultKind::Fail;
        else if (kind == "status-error")
            fault.kind = FaultKind::StatusError;
        else if (kind == "unplug")
            fault.kind = FaultKind::Unplug;
        else if (kind == "unsupported")
            fault.kind = FaultKind::Unsupported;
        else if (kind == "huge-length")
            fault.kind = FaultKind::HugeLength;
        else if (kind == "s-false")
            fault.kind = FaultKind::FalseAnswer;
        else if (kind == "support-s-false")
            fault.kind = FaultKind::FalseSupport;
        else
            return Fail("unknown fault kind '" + kind + "'", error);
        uint64_t number;
        if (!ParseNumber(w[2], 0xFFFFFFFF, number))
            return Fail("bad fault property '" + w[2] + "'", error);
        fault.property = uint32_t(number);
        bool haveLength = false;
        for (size_t i = 3; i < w.size(); ++i) {
            std::string key, value;
            SplitOption(w[i], key, value);
            if (key.empty() && value == "get")
                fault.direction = Direction::Get;
            else if (key.empty() && value == "set")
                fault.direction = Direction::Set;
            else if (key.empty() && value == "any")
                fault.direction = Direction::Any;
            else if (key == "nth" && ParseNumber(value, 0xFFFFFFFF, number))
                fault.nth = uint32_t(number);
            else if (key == "length" && ParseNumber(value, 0xFFFFFFFF, number)) {
                fault.length = uint32_t(number);
                haveLength = true;
            } else {
                return Fail("bad fault option '" + w[i] + "'", error);
            }
        }
        if (fault.kind == FaultKind::HugeLength && !haveLength)
            return Fail("huge-length needs length=", error);
        if (fault.kind != FaultKind::HugeLength && haveLength)
            return Fail("length= belongs to huge-length only", error);
        profile_.faults.push_back(fault);
        return true;
    }

    std::string baseDir_;
    Profile& profile_;
};

}  // namespace

bool ParseProfile(const std::string& text, const std::string& baseDir, Profile& profile,
                  std::string& error) {
    Profile parsed;
    LineParser parser(baseDir, parsed);
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::vector<std::string> words;
        std::string message;
        size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') continue;
        if (!SplitWords(line, words, message) || !parser.Parse(words, message)) {
            error = "line " + std::to_string(number) + ": " + message;
            return false;
        }
    }
    profile = std::move(parsed);
    return true;
}

bool LoadProfile(const std::string& path, Profile& profile, std::string& error) {
    std::string text;
    if (!ReadWholeFile(path, text)) {
        error = "cannot read profile '" + path + "'";
        return false;
    }
    size_t slash = path.find_last_of("/\\");
    std::string baseDir = slash == std::string::npos ? "" : path.substr(0, slash);
    if (!ParseProfile(text, baseDir, profile, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

}  // namespace camsim
