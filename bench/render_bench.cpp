// A whole render through the effect module and the simulated host, the way
// `shardcast render` makes a frame, without reading or writing files: the
// module is loaded and set up once, then each iteration sets the values and
// sends one render command with the frame. Beside it TurboJPEG's round trip
// of the same frame. The module writes the decoder's lines to standard
// output; they go to the null device while the renders run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "bench/bench_frames.h"
#include "hostsim/simulated_host.h"
#include "pipeline/parameters.h"

namespace shardcast {
namespace {

using hostsim::Picture;
using hostsim::SimulatedHost;

// Standard output sent to the null device for as long as this lives.
class QuietStandardOutput {
 public:
  QuietStandardOutput() {
    std::fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    const int null_device = open("/dev/null", O_WRONLY);
    if (null_device >= 0) {
      dup2(null_device, STDOUT_FILENO);
      close(null_device);
    }
  }
  QuietStandardOutput(const QuietStandardOutput&) = delete;
  QuietStandardOutput& operator=(const QuietStandardOutput&) = delete;
  ~QuietStandardOutput() {
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, STDOUT_FILENO);
      close(saved_);
    }
  }

 private:
  int saved_ = -1;
};

// Arguments: width, height, broken bytes, filters (0 or 1).
void BM_RenderThroughModule(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  Picture input;
  input.width = width;
  input.height = height;
  input.argb = bench::synthetic_frame(width, height);
  SimulatedHost host{std::filesystem::path(SHARDCAST_MODULE_PATH)};
  if (host.global_setup().result != PF_Err_NONE || host.params_setup().result != PF_Err_NONE) {
    state.SkipWithError("the module could not be set up");
    return;
  }
  {
    QuietStandardOutput quiet;
    for (auto _ : state) {
      host.set_slider(PARAM_BROKEN_BYTES, static_cast<double>(state.range(2)));
      host.set_checkbox(PARAM_FILTER1, state.range(3) != 0);
      host.set_checkbox(PARAM_FILTER2, state.range(3) != 0);
      const auto outcome = host.render(input);
      if (outcome.result != PF_Err_NONE) {
        state.SkipWithError("the render failed");
        break;
      }
      benchmark::DoNotOptimize(outcome.output.argb.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * width * height);
}

void BM_TurboJpegRoundTrip(benchmark::State& state) { bench::turbojpeg_round_trip(state); }

BENCHMARK(BM_RenderThroughModule)
    ->Args({1920, 1080, 100, 0})
    ->Args({1920, 1080, 100, 1})
    ->Args({3840, 2160, 100, 0})
    ->Args({3840, 2160, 100, 1})
    ->ArgNames({"width", "height", "broken", "filters"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_TurboJpegRoundTrip)->Apply(bench::turbojpeg_frame_sizes);

}  // namespace
}  // namespace shardcast

BENCHMARK_MAIN();
