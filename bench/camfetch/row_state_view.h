// The benchmarks' stand-ins: a main dialog whose list keeps only its rows' states, as cheap as
// a view can be, so that the figures are the session's own; and a way to put a catalogue in
// place without a listing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fetch_session.h"
#include "fetch_view.h"

namespace camfetch {
struct FetchSessionPeer {
    // The items as a listing would leave them, without rows in the view.
    static void Stage(FetchSession& session, std::vector<CatalogueItem> items) {
        session.catalogue_ = std::move(items);
    }
};
}  // namespace camfetch

class RowStateView : public camfetch::FetchView {
public:
    std::vector<uint32_t> rows;
    void ShowMessage(int) override {}
    void ShowFolderMessage(int, const std::string&) override {}
    void ApplyControlMode(camfetch::ControlMode) override {}
    void ShowCountdown(int) override {}
    void RevealCountdownLine() override {}
    void StartCountdownTimer() override {}
    void EndDialogAsCancel() override {}
    void AddStorageSource(const char*, int) override {}
    int SelectFirstStorageSource() override { return camfetch::kStorageSourceFlash; }
    void DeleteAllRows() override { rows.clear(); }
    void AppendRows(size_t count) override { rows.resize(rows.size() + count, 0); }
    void DeleteRow(size_t row) override { rows.erase(rows.begin() + ptrdiff_t(row)); }
    void ReadRowStates(std::vector<uint32_t>& states) override { states = rows; }
    void WriteRowStates(const std::vector<uint32_t>& states) override { rows = states; }
    void SuspendRedraw() override {}
    void RedrawRows() override {}
    void ShowStatusLine(const std::string&) override {}
    void ShowPercent(const std::string&) override {}
    void SetProgress(int) override {}
    void ShowRemaining(const std::string&) override {}
    void RefreshRow(size_t) override {}
    void EnsureRowVisible(size_t) override {}
    bool IsConvertAviChecked() override { return false; }
};
