// The simulated camera's own share of a status request: GetSystemInfo through the channel
// straight into the model, without COM or Wine. Compare with camflash_status_bench, which
// crosses the whole DirectShow path under Wine.
#include <benchmark/benchmark.h>

#include <memory>

#include "camera_channel.h"
#include "camera_model.h"

static void StatusRequestThroughTheModel(benchmark::State& state) {
    camsim::CameraModel model{camsim::Profile{}};
    camera::CameraChannel channel(std::make_unique<camsim::ModelTransport>(model));
    channel.Open();
    channel.RequestSystemInfo();
    camera::SystemInfo info;
    for (auto _ : state) {
        benchmark::DoNotOptimize(channel.GetSystemInfo(info));
        // The model keeps a trace of every request; keep it from growing without bound.
        if (model.trace().size() > 100000) model.ClearTrace();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(StatusRequestThroughTheModel);

BENCHMARK_MAIN();
