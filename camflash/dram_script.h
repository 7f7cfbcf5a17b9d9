// The DRAM setting script: a text file of register writes and pauses played against the
// camera before the firmware image is sent.
//
// Each line is trimmed of white space; empty lines are skipped. A line is tried against
// three forms in order and the first that matches is carried out:
//   Sleep <ms>              pause (decimal; the blank may be missing: "Sleep100")
//   wait <a> <b> <ms>       pause for the third number; the first two have no effect
//   <register> <value>      hexadecimal (optional 0x), each within 32 bits; writes the low
//                           8 bits of value
// Anything after the last number of a form is ignored; a line matching no form is skipped.
// The text ends at the first zero byte. Lines end at LF; CR disappears with the trimming.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "file_source.h"

namespace camflash {

// A ready-made message text for the user, raised by ScriptReader.
class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ScriptReader {
public:
    // Opens path for reading; raises ScriptError with the final message when it cannot.
    void Open(FileOpener& opener, const std::string& path);
    // Reads the whole file into memory and closes it; raises ScriptError on failure.
    void PreScan();
    // Returns the next non-empty trimmed line, or an empty text when the text is exhausted.
    std::string NextLine();

private:
    std::string fileName_;
    std::unique_ptr<InputFile> file_;
    std::vector<char> text_;  // the file's bytes and one terminating zero
    size_t position_ = 0;
};

// What one script line asks for.
struct ScriptCommand {
    enum Kind { None, Pause, Write } kind = None;
    uint32_t milliseconds = 0;  // Pause
    uint32_t address = 0;       // Write
    uint8_t value = 0;          // Write
};

// The longest pause a script may ask for. A pause holds up the firmware update half-way,
// so a longer one is taken for a mistake.
constexpr uint32_t kLongestScriptPauseMs = 60000;

// Matches one trimmed line against the three forms. A pause of a negative time or one longer
// than kLongestScriptPauseMs is outside the format and is not carried out (the line counts as
// matched, so no later form is tried). A hexadecimal number beyond 32 bits does not match.
ScriptCommand ParseScriptLine(const std::string& line);

// Where the script's commands go.
class ScriptHost {
public:
    virtual ~ScriptHost() = default;
    // The result of a write is not examined; a failed write does not stop the script.
    virtual void WriteRegister(uint32_t address, uint8_t value) = 0;
    virtual void Pause(uint32_t milliseconds) = 0;
};

// Plays the script at path. Returns the message to show the user when the file could not
// be opened or read (the script is then not run), or an empty text.
std::string RunDramScript(const std::string& path, FileOpener& opener, ScriptHost& host);

}  // namespace camflash
