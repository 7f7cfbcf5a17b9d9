// camfetch's session against a simulated camera whose files, block size, timing and faults
// come from the input, driven by ticks and by the user actions each control mode allows
// (rows selected, Select All, Download with or without Convert AVI, Delete, column clicks,
// Cancel, closing the dialog), with ticks of one round or of several within a budget on a
// modeled link. After every step:
//   - the list has one row per catalogue item;
//   - no output file is open unless a file is being received;
//   - every file on disk lies directly inside the dated folder; a partial file exists only while
//     its download lasts, and every file under a real name is whole: equal to the camera's file
//     moved there (no partial file after a failure or Cancel, and a failed download leaves an
//     earlier copy as it was);
//   - every item marked "Saved" has its file on disk, equal to the camera's.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "camera_model.h"
#include "fake_view.h"
#include "fetch_session.h"
#include "session_peer.h"
#include "folders.h"
#include "fuzz_check.h"

using namespace camfetch;

namespace {

const std::string kDownloadFolder = "C:\\Users\\me\\Pictures";
const std::string kDatedFolder = "12-07-2026_08-42";
const std::string kFolder = kDownloadFolder + "\\" + kDatedFolder;

// The platform's file names ignore letter case (ASCII letters are enough here).
std::string DiskName(std::string path) {
    for (char& c : path)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return path;
}

std::string PickName(FuzzedDataProvider& input) {
    static const char* const names[] = {"IMG0001", "img0001", "CLIP0001", "SND0001",
                                        "A",       "CON",     "..",       "a b"};
    if (input.ConsumeBool()) return names[input.ConsumeIntegralInRange<size_t>(0, 7)];
    std::string name = input.ConsumeRandomLengthString(8);
    for (char& c : name)
        if (c == 0 || c == '~') c = '_';  // '~' starts the raw entries' names
    return name;
}

std::string PickExtension(FuzzedDataProvider& input) {
    static const char* const extensions[] = {"JPG", "jpg", "AVI", "avi", "WAV", "Wav", "TXT"};
    if (input.ConsumeBool()) return extensions[input.ConsumeIntegralInRange<size_t>(0, 6)];
    std::string extension = input.ConsumeRandomLengthString(3);
    for (char& c : extension)
        if (c == 0) c = '_';
    return extension;
}

camsim::Profile MakeProfile(FuzzedDataProvider& input) {
    camsim::Profile profile;
    static const uint32_t blockSizes[] = {32, 64, 100, 4096};
    profile.blockSize = input.ConsumeBool() ? blockSizes[input.ConsumeIntegralInRange<size_t>(0, 3)]
                                            : input.ConsumeIntegralInRange<uint32_t>(1, 512);
    profile.notReadyPolls = input.ConsumeIntegralInRange<uint32_t>(0, 2);
    profile.requestLatencyUs = input.ConsumeBool() ? 650 : 0;
    profile.storagePresent = input.ConsumeIntegralInRange<int>(0, 7) != 0;
    for (size_t n = input.ConsumeIntegralInRange<size_t>(0, 5); n > 0; --n) {
        camsim::StoredFile file;
        file.name = PickName(input);
        file.extension = PickExtension(input);
        file.content = input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 3000));
        if (input.ConsumeIntegralInRange<int>(0, 7) == 0) {
            file.sizeOverridden = true;
            file.reportedSize = input.ConsumeIntegral<uint32_t>();
        }
        profile.files.push_back(std::move(file));
    }
    for (size_t n = input.ConsumeIntegralInRange<size_t>(0, 2); n > 0; --n) {
        std::vector<uint8_t> entry = input.ConsumeBytes<uint8_t>(32);
        entry.resize(32, 0);
        profile.extraEntries.push_back(std::move(entry));
    }
    static const uint32_t properties[] = {34, 1, 3, 39, 40, 41, 42, 43, 49};
    for (size_t n = input.ConsumeIntegralInRange<size_t>(0, 2); n > 0; --n) {
        camsim::Fault fault;
        fault.kind = camsim::FaultKind(input.ConsumeIntegralInRange<int>(0, 4));
        fault.property = properties[input.ConsumeIntegralInRange<size_t>(0, 8)];
        fault.direction = camsim::Direction(input.ConsumeIntegralInRange<int>(0, 2));
        fault.nth = input.ConsumeIntegralInRange<uint32_t>(0, 40);
        // A huge length is one no block can have (a shorter lie would pass for the file's end).
        fault.length = std::max<uint32_t>(input.ConsumeIntegral<uint32_t>(), kMaxBlockLength + 1);
        profile.faults.push_back(fault);
    }
    return profile;
}

// The disk: files in memory under their case-folded names, and for each the camera's file
// it was created for.
class CheckingStore : public MemoryStore {
public:
    CheckingStore(const FetchSession& session, const camsim::CameraModel& model)
        : session_(session), model_(model) {}

    bool CreateFolder(const std::string& folder) override {
        FUZZ_CHECK(folder == kFolder, "folder " + folder);
        return MemoryStore::CreateFolder(folder);
    }
    bool CreateOutput(const std::string& path) override {
        FUZZ_CHECK(path.compare(0, kFolder.size() + 1, kFolder + "\\") == 0,
                   "inside the dated folder: " + path);
        const std::string name = path.substr(kFolder.size() + 1);
        FUZZ_CHECK(name.find_first_of("\\/:") == std::string::npos && name != "." && name != "..",
                   "a plain file name: " + path);
        FUZZ_CHECK(path == FetchSessionPeer::PartialPath(session_) ||
                       FetchSessionPeer::PartialPath(session_).empty(),
                   "the partial file: " + path);
        FUZZ_CHECK(open.empty(), "one output at a time");
        // What the camera will send for the item being downloaded: its first file of that name.
        const CatalogueItem& item = session_.catalogue().at(session_.downloadIndex());
        pending_.clear();
        for (const camsim::StoredFile& file : model_.files()) {
            if (file.name == item.name && file.extension == item.extension) {
                pending_ = file.content;
                break;
            }
        }
        partials.insert(DiskName(path));
        return MemoryStore::CreateOutput(DiskName(path));
    }
    bool MoveIntoPlace(const std::string& from, const std::string& to) override {
        FUZZ_CHECK(from == FetchSessionPeer::PartialPath(session_) &&
                       to == FetchSessionPeer::OutputPath(session_),
                   "the partial file goes to its item's place: " + from + " to " + to);
        if (!MemoryStore::MoveIntoPlace(DiskName(from), DiskName(to))) return false;
        partials.erase(DiskName(from));
        expected[DiskName(to)] = pending_;
        return true;
    }
    bool Remove(const std::string& path) override {
        partials.erase(DiskName(path));
        return MemoryStore::Remove(DiskName(path));
    }

    // Files under their real names, with the camera's content each must have; and the
    // partial files made.
    std::map<std::string, std::vector<uint8_t>> expected;
    std::set<std::string> partials;

private:
    std::vector<uint8_t> pending_;
    const FetchSession& session_;
    const camsim::CameraModel& model_;
};

struct Rig {
    camsim::CameraModel model;
    camera::CameraChannel channel;
    FakeView view;
    FetchSession session;
    CheckingStore store;
    bool conversionFails = false;

    explicit Rig(camsim::Profile profile)
        : model(std::move(profile)),
          channel(std::make_unique<camsim::ModelTransport>(model)),
          session(channel, view),
          store(session, model) {
        channel.Open();
        session.SetDownloadFolder(kDownloadFolder);
        session.SetDatedFolderName(kDatedFolder);
        session.SetDownloadStore(&store);
        // The conversion leaves the file as it was: what is checked is the download.
        // Each conversion has ended by the time it is started: runs on the caller's thread.
        session.SetClipConverter([this](const std::string&) {
            struct Done : media::JobThread {};
            return std::make_unique<media::ConversionJob>(
                [this](media::ConvertControl&) {
                    return conversionFails ? media::ConvertResult::WriteFailed
                                           : media::ConvertResult::Converted;
                },
                [](std::function<void()> body) {
                    body();
                    return std::make_unique<Done>();
                });
        });
    }

    // The camera's files, the rows and the disk, for a failure's message.
    std::string Describe() const {
        std::string text = "\ncamera:";
        for (const camsim::StoredFile& file : model.files())
            text += " [" + file.name + "." + file.extension + " " +
                    std::to_string(file.content.size()) + "]";
        for (const camsim::Fault& fault : model.profile().faults)
            text += " [fault " + std::to_string(int(fault.kind)) + " on " +
                    std::to_string(fault.property) + " nth " + std::to_string(fault.nth) +
                    " length " + std::to_string(fault.length) + "]";
        text += "\nrows:";
        for (const CatalogueItem& item : session.catalogue())
            text += " [" + item.name + "." + item.extension + " flags " +
                    std::to_string(item.flags) + "]";
        text += "\ndisk:";
        for (const auto& [path, bytes] : store.files)
            text += " [" + path + " " + std::to_string(bytes.size()) + "]";
        return text;
    }

    void Check(const char* after) {
        const std::string when = std::string(" after ") + after + Describe();
        FUZZ_CHECK(view.rows.size() == session.catalogue().size(), "one row per item" + when);
        const bool receiving = session.downloadState() == RunState::InProgress &&
                               FetchSessionPeer::OutputOpen(session);
        FUZZ_CHECK(receiving || store.open.empty(), "no output open without a transfer" + when);
        FUZZ_CHECK(!receiving || store.open == DiskName(FetchSessionPeer::PartialPath(session)),
                   "the open output is the partial file" + when);
        // The partial file lives from the download's first block to its move into place, its
        // clip's conversion included.
        const bool inTransfer = session.downloadState() == RunState::InProgress ||
                                session.downloadState() == RunState::Converting;
        for (const auto& [path, bytes] : store.files) {
            if (store.partials.count(path)) {
                FUZZ_CHECK(inTransfer && path == DiskName(FetchSessionPeer::PartialPath(session)),
                           "a partial file only while its download lasts: " + path + when);
                continue;
            }
            auto it = store.expected.find(path);
            FUZZ_CHECK(it != store.expected.end() && it->second == bytes,
                       "a whole file: " + path + when);
        }
        for (const CatalogueItem& item : session.catalogue()) {
            if (!(item.flags & flagSaved)) continue;
            std::string folder, path;
            FUZZ_CHECK(BuildDownloadPaths(kDownloadFolder, kDatedFolder, item.name, item.extension,
                                          folder, path),
                       "a saved item has a path" + when);
            auto file = store.files.find(DiskName(path));
            auto camera = store.expected.find(DiskName(path));
            FUZZ_CHECK(file != store.files.end() && camera != store.expected.end() &&
                           file->second == camera->second,
                       "\"Saved\" " + path + " equals the camera's file" + when);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    Rig rig(MakeProfile(input));
    FetchSession& session = rig.session;
    static const uint64_t budgetsUs[] = {0, 5000, 50000};
    session.SetTickBudget({budgetsUs[input.ConsumeIntegralInRange<size_t>(0, 2)],
                           [&rig] { return rig.model.clockNs() / 1000; }, nullptr});
    int ticks = 0;
    while (input.remaining_bytes() > 0 && ticks < 4000 && rig.view.endedAsCancel == 0) {
        const int mode = session.controlMode();
        const bool running = mode == kModeDownloadRunning || mode == kModeDeleteRunning;
        const uint8_t action = input.ConsumeIntegral<uint8_t>();
        const char* what = "a tick";
        if (action < 128) {  // timers
            for (int n = action < 64 ? 1 : 40; n > 0; --n, ++ticks) session.ConnectionStep();
            if (rig.view.countdownTimersStarted > 0 && action % 2) session.CountdownStep();
        } else if (mode == kModeReady) {
            const uint8_t which = action % 8;
            what = "a user action";
            if (which == 0 && !rig.view.rows.empty()) {
                rig.view.rows[input.ConsumeIntegralInRange<size_t>(0, rig.view.rows.size() - 1)] ^=
                    listStateSelected;
            } else if (which == 1 || which == 2) {
                for (uint32_t& row : rig.view.rows)
                    row = which == 1 ? row | listStateSelected : row & ~listStateSelected;
            } else if (which == 3) {
                rig.view.convertAviChecked = input.ConsumeBool();
                rig.conversionFails = input.ConsumeIntegralInRange<int>(0, 3) == 0;
                session.StartDownloadRun();
            } else if (which == 4) {
                session.StartDeleteRun();
            } else {
                session.ColumnClick(input.ConsumeIntegralInRange<int>(-1, 4));
            }
        } else if (running) {
            what = "Cancel";
            session.CancelRuns();
        }
        rig.Check(what);
    }
    // Closing the dialog cancels what runs.
    if (session.downloadState() != RunState::Idle || session.deleteState() != RunState::Idle)
        session.CancelRuns();
    rig.Check("closing");
    return 0;
}
