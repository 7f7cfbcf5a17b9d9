// How long the catalogue work of one large listing takes without any window: adding 10,000
// entries and one sort of 10,000 items with their selection carried along. Run by
// scripts/bench-camfetch; not a test.
#include <benchmark/benchmark.h>

#include <cstring>
#include <random>

#include "camera_protocol.h"
#include "fetch_session.h"
#include "row_state_view.h"

using namespace camfetch;

namespace {

constexpr size_t kItems = 10000;

class NoTransport : public camera::PropertyTransport {
public:
    bool FindDevice(const char*) override { return false; }
    void Release() override {}
    bool GetProperty(uint32_t, void*, uint32_t) override { return false; }
    bool SetProperty(uint32_t, const void*, uint32_t) override { return false; }
};

// 10,000 catalogue entries with shuffled names, sizes and kinds.
std::vector<uint8_t> LargeBlock() {
    std::vector<uint8_t> block(kItems * 32, 0);
    std::mt19937 random(7);
    const char* extensions[] = {"JPG", "AVI", "WAV"};
    for (size_t i = 0; i < kItems; ++i) {
        uint8_t* entry = block.data() + i * 32;
        char name[16];
        std::snprintf(name, sizeof name, "IMG%05u", unsigned(random() % 100000));
        std::memcpy(entry, name, 8);
        std::memcpy(entry + 8, extensions[random() % 3], 3);
        camera::StoreU32(entry + 28, uint32_t(random()));
    }
    return block;
}

void BM_AddEntries(benchmark::State& state) {
    std::vector<uint8_t> block = LargeBlock();
    for (auto _ : state) {
        std::vector<CatalogueItem> items;
        AppendBlockEntries(block.data(), block.size(), items);
        benchmark::DoNotOptimize(items.data());
    }
}
BENCHMARK(BM_AddEntries)->Unit(benchmark::kMillisecond);

void BM_SortCatalogue(benchmark::State& state) {
    std::vector<uint8_t> block = LargeBlock();
    camera::CameraChannel channel(std::make_unique<NoTransport>());
    RowStateView view;
    FetchSession session(channel, view);
    std::vector<CatalogueItem> items;
    AppendBlockEntries(block.data(), block.size(), items);
    view.AppendRows(items.size());
    FetchSessionPeer::Stage(session, std::move(items));
    for (size_t i = 0; i < view.rows.size(); i += 7) view.rows[i] = listStateSelected;
    int column = 0;
    for (auto _ : state) {
        session.ColumnClick(column);  // alternate columns so every sort has work to do
        column = (column + 2) % 4;
    }
}
BENCHMARK(BM_SortCatalogue)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
