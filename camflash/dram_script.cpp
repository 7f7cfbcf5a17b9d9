#include "dram_script.h"

#include <climits>
#include <cstring>
#include <new>

namespace camflash {
namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

void SkipSpace(const std::string& s, size_t& i) {
    while (i < s.size() && IsSpace(s[i])) ++i;
}

// A decimal integer as a formatted scan reads it: white space, an optional sign, digits.
// Values beyond the int range are held at its ends.
bool ScanDecimal(const std::string& s, size_t& i, int64_t& value) {
    size_t p = i;
    SkipSpace(s, p);
    bool negative = false;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
    if (p >= s.size() || s[p] < '0' || s[p] > '9') return false;
    int64_t v = 0;
    while (p < s.size() && s[p] >= '0' && s[p] <= '9') {
        if (v <= INT_MAX) v = v * 10 + (s[p] - '0');
        ++p;
    }
    if (negative) v = -v;
    if (v > INT_MAX) v = INT_MAX;
    if (v < INT_MIN) v = INT_MIN;
    value = v;
    i = p;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A hexadecimal number as a formatted scan reads it: white space, an optional sign, an
// optional 0x or 0X, hex digits. A number beyond 32 bits does not match: cut to its low bits
// it would name a register the line does not name.
bool ScanHex(const std::string& s, size_t& i, uint32_t& value) {
    size_t p = i;
    SkipSpace(s, p);
    bool negative = false;
    if (p < s.size() && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
    if (p + 2 < s.size() && s[p] == '0' && (s[p + 1] == 'x' || s[p + 1] == 'X') &&
        HexDigit(s[p + 2]) >= 0)
        p += 2;
    if (p >= s.size() || HexDigit(s[p]) < 0) return false;
    uint64_t v = 0;
    while (p < s.size() && HexDigit(s[p]) >= 0) {
        v = (v << 4) | uint32_t(HexDigit(s[p++]));
        if (v > 0xFFFFFFFFu) return false;
    }
    value = negative ? 0u - uint32_t(v) : uint32_t(v);
    i = p;
    return true;
}

bool StartsWith(const std::string& s, const char* word) {
    return s.compare(0, std::strlen(word), word) == 0;
}

ScriptCommand PauseFor(int64_t milliseconds) {
    ScriptCommand command;
    if (milliseconds >= 0 && milliseconds <= kLongestScriptPauseMs) {
        command.kind = ScriptCommand::Pause;
        command.milliseconds = uint32_t(milliseconds);
    }
    return command;
}

}  // namespace

void ScriptReader::Open(FileOpener& opener, const std::string& path) {
    fileName_ = path;
    try {
        file_ = opener.OpenForReading(path);
    } catch (const std::exception&) {
        throw ScriptError("File Open Error!! : " + path);
    }
    if (!file_) throw ScriptError(std::string("File could not be opened") + " : " + path);
}

void ScriptReader::PreScan() {
    uint64_t size = 0;
    bool sized = false;
    try {
        sized = file_->Size(size);
    } catch (const std::exception&) {
    }
    if (!sized) {
        file_.reset();
        throw ScriptError("File PreScanData Error!! : " + fileName_);
    }
    bool allocated = false;
    if (size < text_.max_size()) {
        try {
            text_.assign(size_t(size) + 1, '\0');
            allocated = true;
        } catch (const std::bad_alloc&) {
        } catch (const std::length_error&) {
        }
    }
    if (!allocated) {
        file_.reset();
        throw ScriptError("Allocate Memory Error!! Size = " + std::to_string(size) +
                          "! : " + fileName_);
    }
    size_t total = 0;
    try {
        // A file that delivers fewer bytes than its length (it shrank meanwhile) ends where
        // the bytes end; the rest of the text stays zero.
        while (total < size) {
            size_t got = 0;
            std::string errorText;
            if (!file_->Read(text_.data() + total, size_t(size) - total, got, errorText)) {
                file_.reset();
                throw ScriptError("File PreScanData Error!! " + errorText + " : " + fileName_);
            }
            if (got == 0) break;
            total += got;
        }
    } catch (const ScriptError&) {
        throw;
    } catch (const std::exception&) {
        file_.reset();
        throw ScriptError("File PreScanData Error!! : " + fileName_);
    }
    file_.reset();
    // The text ends at the first zero byte.
    text_.resize(std::strlen(text_.data()) + 1);
    position_ = 0;
}

std::string ScriptReader::NextLine() {
    const size_t end = text_.empty() ? 0 : text_.size() - 1;
    while (position_ < end) {
        while (position_ < end && text_[position_] == '\n') ++position_;
        if (position_ >= end) break;
        size_t lineEnd = position_;
        while (lineEnd < end && text_[lineEnd] != '\n') ++lineEnd;
        size_t first = position_, last = lineEnd;
        position_ = lineEnd;
        while (first < last && IsSpace(text_[first])) ++first;
        while (last > first && IsSpace(text_[last - 1])) --last;
        if (last > first) return std::string(text_.data() + first, last - first);
    }
    return std::string();
}

ScriptCommand ParseScriptLine(const std::string& line) {
    if (StartsWith(line, "Sleep")) {
        size_t i = 5;
        int64_t ms = 0;
        if (ScanDecimal(line, i, ms)) return PauseFor(ms);
    }
    if (StartsWith(line, "wait")) {
        size_t i = 4;
        int64_t a = 0, b = 0, ms = 0;
        if (ScanDecimal(line, i, a) && ScanDecimal(line, i, b) && ScanDecimal(line, i, ms))
            return PauseFor(ms);
    }
    size_t i = 0;
    uint32_t address = 0, value = 0;
    ScriptCommand command;
    if (ScanHex(line, i, address) && ScanHex(line, i, value)) {
        command.kind = ScriptCommand::Write;
        command.address = address;
        command.value = uint8_t(value & 0xFF);
    }
    return command;
}

std::string RunDramScript(const std::string& path, FileOpener& opener, ScriptHost& host) {
    ScriptReader reader;
    try {
        reader.Open(opener, path);
        reader.PreScan();
    } catch (const ScriptError& error) {
        return error.what();
    }
    for (std::string line = reader.NextLine(); !line.empty(); line = reader.NextLine()) {
        ScriptCommand command = ParseScriptLine(line);
        if (command.kind == ScriptCommand::Pause)
            host.Pause(command.milliseconds);
        else if (command.kind == ScriptCommand::Write)
            host.WriteRegister(command.address, command.value);
    }
    return std::string();
}

}  // namespace camflash
