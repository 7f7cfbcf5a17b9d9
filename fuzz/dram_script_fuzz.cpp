// The DRAM setting script: the reader and the interpreter over a script file of any bytes.
// The file is read once whole and once in pieces of an input-chosen size: the pieces must
// not change what is carried out. Lines handed out are trimmed, non-empty and hold no zero.
#include <fuzzer/FuzzedDataProvider.h>

#include <cctype>
#include <string>
#include <vector>

#include "dram_script.h"
#include "fuzz_check.h"
#include "memory_files.h"

namespace {

class RecordingHost : public camflash::ScriptHost {
public:
    std::vector<uint64_t> commands;  // writes as 1 << 40 | address << 8 | value, pauses as ms
    void WriteRegister(uint32_t address, uint8_t value) override {
        commands.push_back(uint64_t(1) << 40 | uint64_t(address) << 8 | value);
    }
    void Pause(uint32_t milliseconds) override { commands.push_back(milliseconds); }
};

std::vector<uint64_t> Run(const std::string& content, size_t chunk) {
    camflash_test::MemoryFileOpener opener;
    opener.files["dram.txt"].content = content;
    opener.files["dram.txt"].chunk = chunk;
    RecordingHost host;
    const std::string message = camflash::RunDramScript("dram.txt", opener, host);
    FUZZ_CHECK(message.empty(), message);
    return host.commands;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    const size_t chunk = input.ConsumeIntegralInRange<size_t>(1, 64);
    const std::string content = input.ConsumeRemainingBytesAsString();

    FUZZ_CHECK(Run(content, 0) == Run(content, chunk),
               "read in pieces of " + std::to_string(chunk));

    camflash_test::MemoryFileOpener opener;
    opener.files["dram.txt"].content = content;
    camflash::ScriptReader reader;
    reader.Open(opener, "dram.txt");
    reader.PreScan();
    for (std::string line = reader.NextLine(); !line.empty(); line = reader.NextLine()) {
        FUZZ_CHECK(line.find('\0') == std::string::npos, "a line holds no zero byte");
        FUZZ_CHECK(!std::isspace(static_cast<unsigned char>(line.front())) &&
                       !std::isspace(static_cast<unsigned char>(line.back())),
                   "a line is trimmed: " + line);
        camflash::ParseScriptLine(line);
    }
    return 0;
}
