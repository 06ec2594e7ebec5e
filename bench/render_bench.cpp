// A whole render through the effect module and the simulated host, the way
// `shardcast render` makes a frame, without reading or writing files: the
// process's allocator is set up as the tool sets it, the module is loaded
// and set up once with the tool's host options, then each iteration sets
// the values and sends one render command with the frame in the R, G, B, A
// rows an image file gives, the result going into rows kept across frames.
// Beside it TurboJPEG's round trip of the same frame. `faults` is the page
// faults per frame. The module writes the decoder's lines to standard
// output; they go to the null device while the renders run.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

#include "bench/bench_frames.h"
#include "cli/system/process_memory.h"
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

// Page faults of this thread so far, minor and major.
double page_faults() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return static_cast<double>(usage.ru_minflt + usage.ru_majflt);
}

// Arguments: width, height, broken bytes, filters (0 or 1).
void BM_RenderThroughModule(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const std::vector<std::uint8_t> input = Picture{width, height, bench::synthetic_frame(width, height)}.to_rgba();
  std::vector<std::uint8_t> output(input.size());
  const hostsim::FrameRows frame{width, height, hostsim::PixelOrder::Rgba, input.data(), output.data()};
  SimulatedHost host{std::filesystem::path(SHARDCAST_MODULE_PATH), hostsim::HostOptions{.pixel_checks = false}};
  if (host.global_setup().result != PF_Err_NONE || host.params_setup().result != PF_Err_NONE) {
    state.SkipWithError("the module could not be set up");
    return;
  }
  double faults = 0;
  {
    QuietStandardOutput quiet;
    for (auto _ : state) {
      host.set_slider(PARAM_BROKEN_BYTES, static_cast<double>(state.range(2)));
      host.set_checkbox(PARAM_FILTER1, state.range(3) != 0);
      host.set_checkbox(PARAM_FILTER2, state.range(3) != 0);
      const double faults_before = page_faults();
      const auto outcome = host.render(frame);
      faults += page_faults() - faults_before;
      if (outcome.result != PF_Err_NONE) {
        state.SkipWithError("the render failed");
        break;
      }
      benchmark::DoNotOptimize(output.data());
    }
  }
  state.SetItemsProcessed(state.iterations() * width * height);
  state.counters["faults"] = benchmark::Counter(faults, benchmark::Counter::kAvgIterations);
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

int main(int argc, char** argv) {
  shardcast::cli::reuse_freed_memory();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
