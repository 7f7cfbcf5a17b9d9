// A main dialog reduced to what the session tells it: the list's rows are just their states.
#pragma once

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
};
