// A main dialog reduced to what the session tells it: the list's rows are just their states.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "fetch_session.h"

class FakeView : public camfetch::FetchView {
public:
    std::vector<int> messages;
    std::vector<int> modes;
    std::vector<int> countdownShown;
    bool countdownRevealed = false;
    int countdownTimersStarted = 0;
    int endedAsCancel = 0;
    std::vector<std::pair<std::string, int>> sources;
    std::vector<uint32_t> rows;  // one state per row
    std::vector<size_t> deletedRows;

    void ShowMessage(int id) override { messages.push_back(id); }
    std::vector<std::string> folderMessages;  // "105 c:\\folder"
    void ShowFolderMessage(int id, const std::string& folder) override {
        messages.push_back(id);
        folderMessages.push_back(std::to_string(id) + " " + folder);
    }
    void ApplyControlMode(camfetch::ControlMode mode) override { modes.push_back(mode); }
    void ShowCountdown(int seconds) override { countdownShown.push_back(seconds); }
    void RevealCountdownLine() override { countdownRevealed = true; }
    void StartCountdownTimer() override { ++countdownTimersStarted; }
    void EndDialogAsCancel() override { ++endedAsCancel; }
    void AddStorageSource(const char* text, int data) override { sources.push_back({text, data}); }
    int SelectFirstStorageSource() override { return sources.empty() ? -1 : sources[0].second; }
    void DeleteAllRows() override { rows.clear(); }
    void AppendRows(size_t count) override { rows.resize(rows.size() + count, 0); }
    void DeleteRow(size_t row) override {
        deletedRows.push_back(row);
        rows.erase(rows.begin() + ptrdiff_t(row));
    }
    void ReadRowStates(std::vector<uint32_t>& states) override { states = rows; }
    void WriteRowStates(const std::vector<uint32_t>& states) override { rows = states; }
    void SuspendRedraw() override {}
    void RedrawRows() override { ++redraws; }
    int redraws = 0;

    std::vector<std::string> statusLines, percents, remaining;
    std::vector<int> progress;
    std::vector<size_t> refreshed, madeVisible;
    bool convertAviChecked = false;
    void ShowStatusLine(const std::string& text) override { statusLines.push_back(text); }
    void ShowPercent(const std::string& text) override { percents.push_back(text); }
    void SetProgress(int percent) override { progress.push_back(percent); }
    void ShowRemaining(const std::string& text) override { remaining.push_back(text); }
    void RefreshRow(size_t row) override { refreshed.push_back(row); }
    void EnsureRowVisible(size_t row) override { madeVisible.push_back(row); }
    bool IsConvertAviChecked() override { return convertAviChecked; }
};

// Downloaded files kept in memory, with failures on demand. Like the platform's, its file
// names ignore ASCII letter case and keep the case they were first created with.
class MemoryStore : public camfetch::DownloadStore {
public:
    struct IgnoringCase {
        bool operator()(const std::string& a, const std::string& b) const {
            return std::lexicographical_compare(
                a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
                    return std::toupper((unsigned char)x) < std::toupper((unsigned char)y);
                });
        }
    };
    std::map<std::string, std::vector<uint8_t>, IgnoringCase> files;
    std::vector<std::string> folders;
    std::vector<size_t> writes;             // the size of every write
    std::map<std::string, uint32_t> times;  // path: FAT date << 16 | time
    std::string open;
    bool failFolder = false;
    bool failCreate = false;
    size_t spaceLeft = SIZE_MAX;  // bytes the disk still takes
    bool failClose = false;
    bool failMove = false;
    bool failRemove = false;  // another program holds the file

    bool CreateFolder(const std::string& folder) override {
        folders.push_back(folder);
        return !failFolder;
    }
    bool CreateOutput(const std::string& path) override {
        if (failCreate) return false;
        files[path].clear();
        open = path;
        return true;
    }
    bool Write(const uint8_t* data, size_t size) override {
        writes.push_back(size);
        if (open.empty()) return false;
        size_t n = size < spaceLeft ? size : spaceLeft;
        files[open].insert(files[open].end(), data, data + n);
        spaceLeft -= n;
        return n == size;
    }
    bool Close() override {
        bool wasOpen = !open.empty();
        open.clear();
        return wasOpen && !failClose;
    }
    bool MoveIntoPlace(const std::string& from, const std::string& to) override {
        auto it = files.find(from);
        if (failMove || it == files.end() || !open.empty()) return false;
        std::vector<uint8_t> bytes = std::move(it->second);
        files.erase(it);
        files[to] = std::move(bytes);
        if (auto time = times.find(from); time != times.end()) {
            times[to] = time->second;
            times.erase(time);
        }
        return true;
    }
    bool Remove(const std::string& path) override { return !failRemove && files.erase(path) == 1; }
    void SetWriteTime(const std::string& path, uint16_t fatDate, uint16_t fatTime) override {
        times[path] = uint32_t(fatDate) << 16 | fatTime;
    }
};

namespace camfetch {
// GoogleTest prints the session's states by name.
inline void PrintTo(ConnectionState state, std::ostream* out) {
    static const char* const names[] = {"Starting",          "CheckingStorage", "OpeningCatalogue",
                                        "ScanningCatalogue", "Connected",       "Serving",
                                        "NoImages",          "Failed"};
    *out << names[int(state)];
}
inline void PrintTo(RunState state, std::ostream* out) {
    static const char* const names[] = {"Idle", "NextItem", "InProgress"};
    *out << names[int(state)];
}
}  // namespace camfetch
