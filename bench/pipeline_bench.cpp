// The glitch pipeline on whole frames: the encode-damage-decode stage, the
// two filters, and both together, beside a plain TurboJPEG round trip of the
// same frame at the same quality (100) and subsampling (4:2:2). Frames are
// 1920x1080 and 3840x2160, with 0, 100 and 10000 broken bytes; the window is
// the whole scan and the filter weights are the effect's defaults. Decoder
// lines go to a discarding sink.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <utility>

#include "bench/bench_frames.h"
#include "pipeline/glitch_settings.h"
#include "pipeline/parameters.h"

namespace shardcast {
namespace {

using bench::Bytes;
using bench::synthetic_frame;

// Every parameter at its default but the broken bytes.
GlitchSettings frame_settings(Bytes& pixels, int width, int height, std::int32_t broken_bytes) {
  GlitchSettings settings = default_settings();
  settings.pixels = pixels.data();
  settings.width = width;
  settings.height = height;
  settings.broken_bytes = broken_bytes;
  settings.messages = MessageSink::discard();
  return settings;
}

enum class Stage { Glitch, Filter1, Filter2, Filters, Whole };

void run_pipeline(benchmark::State& state, Stage stage) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const auto broken_bytes = static_cast<std::int32_t>(state.range(2));
  const Bytes source = synthetic_frame(width, height);
  Bytes work = source;
  GlitchSettings settings = frame_settings(work, width, height, broken_bytes);

  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(work.data(), source.data(), source.size());
    settings.seed_engines();
    state.ResumeTiming();
    if ((stage == Stage::Glitch || stage == Stage::Whole) && settings.glitch_frame() < 0) {
      state.SkipWithError("glitch_frame failed");
      break;
    }
    if (stage == Stage::Filter1 || stage == Stage::Filters || stage == Stage::Whole) {
      settings.apply_filter1();
    }
    if (stage == Stage::Filter2 || stage == Stage::Filters || stage == Stage::Whole) {
      settings.apply_filter2();
    }
    benchmark::DoNotOptimize(work.data());
  }
  state.SetItemsProcessed(state.iterations() * width * height);
}

void BM_GlitchFrame(benchmark::State& state) { run_pipeline(state, Stage::Glitch); }
void BM_Filter1(benchmark::State& state) { run_pipeline(state, Stage::Filter1); }
void BM_Filter2(benchmark::State& state) { run_pipeline(state, Stage::Filter2); }
void BM_BothFilters(benchmark::State& state) { run_pipeline(state, Stage::Filters); }
void BM_GlitchFrameAndFilters(benchmark::State& state) { run_pipeline(state, Stage::Whole); }

void BM_TurboJpegRoundTrip(benchmark::State& state) { bench::turbojpeg_round_trip(state); }

void frame_sizes_and_damage(benchmark::internal::Benchmark* bench) {
  for (const auto& [w, h] : {std::pair{1920, 1080}, std::pair{3840, 2160}}) {
    for (const int broken : {0, 100, 10000}) bench->Args({w, h, broken});
  }
  bench->ArgNames({"width", "height", "broken"})->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_GlitchFrame)->Apply(frame_sizes_and_damage);
void frame_sizes(benchmark::internal::Benchmark* bench) {
  bench->Args({1920, 1080, 0})
      ->Args({3840, 2160, 0})
      ->ArgNames({"width", "height", "broken"})
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
}

BENCHMARK(BM_Filter1)->Apply(frame_sizes);
BENCHMARK(BM_Filter2)->Apply(frame_sizes);
BENCHMARK(BM_BothFilters)->Apply(frame_sizes);
BENCHMARK(BM_GlitchFrameAndFilters)->Apply(frame_sizes_and_damage);
BENCHMARK(BM_TurboJpegRoundTrip)->Apply(bench::turbojpeg_frame_sizes);

}  // namespace
}  // namespace shardcast

BENCHMARK_MAIN();
