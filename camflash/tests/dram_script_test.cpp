#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dram_script.h"
#include "memory_files.h"

using camflash::RunDramScript;
using camflash_test::MemoryFile;
using camflash_test::MemoryFileOpener;

namespace {

// Records what a script did as text: "sleep 100", "write 740=DF".
class RecordingHost : public camflash::ScriptHost {
public:
    std::vector<std::string> done;
    void WriteRegister(uint32_t address, uint8_t value) override {
        char line[40];
        std::snprintf(line, sizeof line, "write %X=%02X", unsigned(address), unsigned(value));
        done.push_back(line);
    }
    void Pause(uint32_t milliseconds) override {
        done.push_back("sleep " + std::to_string(milliseconds));
    }
};

std::vector<std::string> RunScript(const std::string& content, std::string* message = nullptr) {
    MemoryFileOpener files;
    files.files["s.txt"].content = content;
    RecordingHost host;
    std::string shown = RunDramScript("s.txt", files, host);
    if (message)
        *message = shown;
    else
        EXPECT_EQ("", shown);
    return host.done;
}

std::string Effect(const std::string& line) {
    std::vector<std::string> done = RunScript(line + "\n");
    if (done.empty()) return "nothing";
    EXPECT_EQ(1u, done.size()) << line;
    return done[0];
}

}  // namespace

TEST(DramScriptLine, EachFormAndItsNearMisses) {
    struct Row {
        const char* line;
        const char* effect;
    } rows[] = {
        {"Sleep 100", "sleep 100"},
        {"Sleep100", "sleep 100"},
        {"Sleep\t 25 ms", "sleep 25"},
        {"Sleep 0", "sleep 0"},
        {"Sleep 1990", "sleep 1990"},
        {"sleep 100", "nothing"},
        {"SLEEP 100", "nothing"},
        {"Sleep", "nothing"},
        {"Sleep x", "nothing"},
        {"wait 1 2 300", "sleep 300"},
        {"wait1 2 300", "sleep 300"},
        {"wait 9 19 9", "sleep 9"},
        {"wait 1 2", "nothing"},
        {"wait 1 2 x", "nothing"},
        {"Wait 1 2 300", "nothing"},
        {"740 DF", "write 740=DF"},
        {"0x0C 0x02", "write C=02"},
        {"0X0c 0Xff", "write C=FF"},
        {"10 1FF", "write 10=FF"},
        {"79 9F", "write 79=9F"},
        {"0x9 0x99", "write 9=99"},
        {"10 20 30", "write 10=20"},
        {"add 5", "write ADD=05"},
        {"  740\tDF  ", "write 740=DF"},
        {"12345678 1", "write 12345678=01"},
        {"740", "nothing"},
        {"740DF", "nothing"},
        {"# 740 DF", "nothing"},
        {"; comment", "nothing"},
        {"xyz 5", "nothing"},
        // A negative pause is outside the format: the line does nothing, and it is not
        // taken for a register write either.
        {"Sleep -5", "nothing"},
        {"wait 1 2 -300", "nothing"},
        {"wait -1 -2 30", "sleep 30"},
        // A pause above a minute would freeze the update: outside the format, like a
        // negative one.
        {"Sleep 60000", "sleep 60000"},
        {"Sleep 60001", "nothing"},
        {"wait 1 2 60001", "nothing"},
        {"Sleep 99999999999", "nothing"},
        // A number beyond 32 bits would be cut to a register the line does not name.
        {"100000740 FF", "nothing"},
        {"740 100000000", "nothing"},
        {"000000000740 FF", "write 740=FF"},
        {"FFFFFFFF 1", "write FFFFFFFF=01"},
        // Lines end at LF only: a file with CR line ends is one line.
        {"740 DF\rSleep 10\r10 1", "write 740=DF"},
    };
    for (const Row& row : rows) EXPECT_EQ(row.effect, Effect(row.line)) << "line: " << row.line;
}

TEST(DramScriptText, LineEndsBlankLinesAndTheEndOfText) {
    const std::vector<std::string> expected = {"write 740=DF", "sleep 10", "write C=02"};
    struct Row {
        const char* name;
        std::string text;
    } rows[] = {
        {"LF", "740 DF\nSleep 10\n0x0C 0x02\n"},
        {"CR LF", "740 DF\r\nSleep 10\r\n0x0C 0x02\r\n"},
        {"no final line end", "740 DF\nSleep 10\n0x0C 0x02"},
        {"no final line end, CR LF", "740 DF\r\nSleep 10\r\n0x0C 0x02"},
        {"runs of LFs and blank lines", "\n\n740 DF\n\n\n  \t \r\nSleep 10\n\n0x0C 0x02\n\n"},
        {"unknown lines between", "hello\n740 DF\n--\nSleep 10\nwait 1\n0x0C 0x02\n"},
        {"zero byte ends the text",
         std::string("740 DF\nSleep 10\n0x0C 0x02\n") + '\0' + "20 1\nSleep 5\n"},
        {"zero byte inside the last line",
         std::string("740 DF\nSleep 10\n0x0C 0x02") + '\0' + "1\n"},
    };
    for (const Row& row : rows) EXPECT_EQ(expected, RunScript(row.text)) << row.name;
}

TEST(DramScriptText, NothingToDo) {
    const std::string texts[] = {
        "", "\n", "\r\n\r\n", "   \n\t\n", std::string(1, '\0') + "740 DF\n", "not a script\n"};
    for (const std::string& text : texts) EXPECT_TRUE(RunScript(text).empty()) << "text: " << text;
}

TEST(DramScriptFailures, MessagesAndNothingRun) {
    const std::string path = "C:\\scripts\\dram.txt";
    struct Row {
        const char* name;
        bool present;
        MemoryFile file;
        std::string message;
    };
    MemoryFile plain;
    plain.content = "740 DF\n";
    MemoryFile openThrows = plain;
    openThrows.openThrows = true;
    MemoryFile huge = plain;
    huge.sizeOverridden = true;
    huge.reportedSize = UINT64_MAX - 1;
    MemoryFile readFails = plain;
    readFails.readFails = true;
    readFails.errorText = "Access is denied.";
    MemoryFile readThrows = plain;
    readThrows.readThrows = true;
    MemoryFile unsized = plain;
    unsized.sizeFails = true;
    const Row rows[] = {
        {"missing", false, plain, "File could not be opened : " + path},
        {"open throws", true, openThrows, "File Open Error!! : " + path},
        {"no memory", true, huge, "Allocate Memory Error!! Size = 18446744073709551614! : " + path},
        {"read error", true, readFails, "File PreScanData Error!! Access is denied. : " + path},
        {"read throws", true, readThrows, "File PreScanData Error!! : " + path},
        {"size unknown", true, unsized, "File PreScanData Error!! : " + path},
    };
    for (const Row& row : rows) {
        MemoryFileOpener files;
        if (row.present) files.files[path] = row.file;
        RecordingHost host;
        EXPECT_EQ(row.message, RunDramScript(path, files, host)) << row.name;
        EXPECT_TRUE(host.done.empty()) << row.name;
    }
}

TEST(DramScriptFailures, LongPathIsKeptWhole) {
    // Longer than any fixed message buffer of 260 characters.
    const std::string path = "C:\\" + std::string(400, 'd') + "\\dram.txt";
    MemoryFileOpener files;
    RecordingHost host;
    EXPECT_EQ("File could not be opened : " + path, RunDramScript(path, files, host));
}

TEST(DramScriptReading, PiecewiseAndShortReads) {
    MemoryFileOpener files;
    MemoryFile& pieces = files.files["pieces"];
    pieces.content = "740 DF\nSleep 10\n20 1\n";
    pieces.chunk = 3;
    // The file shrank after its size was taken: the text ends where the bytes end.
    MemoryFile& shrunk = files.files["shrunk"];
    shrunk.content = "740 DF\nSleep 10\n20 1\n";
    shrunk.deliverAtMost = 14;  // "740 DF\nSleep 1"
    RecordingHost host;
    EXPECT_EQ("", RunDramScript("pieces", files, host));
    EXPECT_EQ((std::vector<std::string>{"write 740=DF", "sleep 10", "write 20=01"}), host.done);
    host.done.clear();
    EXPECT_EQ("", RunDramScript("shrunk", files, host));
    EXPECT_EQ((std::vector<std::string>{"write 740=DF", "sleep 1"}), host.done);
}
