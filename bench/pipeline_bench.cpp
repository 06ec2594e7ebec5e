// The glitch pipeline on whole frames: the encode-damage-decode stage, the
// two filters, and both together, beside a plain TurboJPEG round trip of the
// same frame at the same quality (100) and subsampling (4:2:2). Frames are
// 1920x1080 and 3840x2160, with 0, 100 and 10000 broken bytes; the window is
// the whole scan and the filter weights are the effect's defaults. Decoder
// lines go to a discarding sink.

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "pipeline/glitch_settings.h"

namespace shardcast {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Something with edges, gradients and fine texture, so the compressed
// stream has the size of a real picture's.
Bytes synthetic_frame(int width, int height) {
  Bytes pixels(static_cast<std::size_t>(width) * height * 4);
  std::uint32_t noise = 2463534242u;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      noise ^= noise << 13;
      noise ^= noise >> 17;
      noise ^= noise << 5;
      const int dx = x - width / 2;
      const int dy = y - height / 2;
      const bool ring = ((dx * dx + dy * dy) / 4096) % 2 == 0;
      std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 4];
      p[0] = 255;
      p[1] = static_cast<std::uint8_t>(x * 255 / width);
      p[2] = static_cast<std::uint8_t>(ring ? 200 : 40 + (noise & 31));
      p[3] = static_cast<std::uint8_t>((y * 255 / height) ^ ((x / 32) % 2 ? 0x30 : 0));
    }
  }
  return pixels;
}

GlitchSettings frame_settings(Bytes& pixels, int width, int height, std::int32_t broken_bytes) {
  GlitchSettings settings;
  settings.pixels = pixels.data();
  settings.width = width;
  settings.height = height;
  settings.quality = 100;
  settings.broken_bytes = broken_bytes;
  settings.glitch_start = 0.0f;
  settings.glitch_end = 100.0f;
  settings.dequantize = true;
  settings.inverse_dct = true;
  settings.ycbcr_to_rgb = true;
  settings.seed = 1;
  settings.qtl_seed = 1;
  settings.qtc_seed = 1;
  settings.filter1_value = 1.0f;
  settings.filter2_value = -0.1f;
  settings.messages = MessageSink::discard();
  return settings;
}

enum class Stage { Glitch, Filters, Whole };

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
    if (stage != Stage::Filters && settings.glitch_frame() < 0) {
      state.SkipWithError("glitch_frame failed");
      break;
    }
    if (stage != Stage::Glitch) {
      settings.apply_filter1();
      settings.apply_filter2();
    }
    benchmark::DoNotOptimize(work.data());
  }
  state.SetItemsProcessed(state.iterations() * width * height);
}

void BM_GlitchFrame(benchmark::State& state) { run_pipeline(state, Stage::Glitch); }
void BM_BothFilters(benchmark::State& state) { run_pipeline(state, Stage::Filters); }
void BM_GlitchFrameAndFilters(benchmark::State& state) { run_pipeline(state, Stage::Whole); }

// tjCompress2 then tjDecompress2 of the same frame, with the same pixel
// format and arguments the stage uses for its half; the stream is allocated
// by the library each time, as in the stage.
void BM_TurboJpegRoundTrip(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  Bytes source = synthetic_frame(width, height);
  Bytes decoded(source.size());
  tjhandle compressor = tjInitCompress();
  tjhandle decompressor = tjInitDecompress();
  for (auto _ : state) {
    unsigned char* stream = nullptr;
    unsigned long size = 0;
    if (tjCompress2(compressor, source.data(), width, 0, height, TJPF_XRGB, &stream, &size, TJSAMP_422, 100, 0) < 0 ||
        tjDecompress2(decompressor, stream, size, decoded.data(), width, 0, height, TJPF_XRGB, 0) < 0) {
      tjFree(stream);
      state.SkipWithError("TurboJPEG failed");
      break;
    }
    tjFree(stream);
    benchmark::DoNotOptimize(decoded.data());
  }
  tjDestroy(decompressor);
  tjDestroy(compressor);
  state.SetItemsProcessed(state.iterations() * width * height);
}

void frame_sizes_and_damage(benchmark::internal::Benchmark* bench) {
  for (const auto& [w, h] : {std::pair{1920, 1080}, std::pair{3840, 2160}}) {
    for (const int broken : {0, 100, 10000}) bench->Args({w, h, broken});
  }
  bench->ArgNames({"width", "height", "broken"})->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_GlitchFrame)->Apply(frame_sizes_and_damage);
BENCHMARK(BM_BothFilters)
    ->Args({1920, 1080, 0})
    ->Args({3840, 2160, 0})
    ->ArgNames({"width", "height", "broken"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_GlitchFrameAndFilters)->Apply(frame_sizes_and_damage);
BENCHMARK(BM_TurboJpegRoundTrip)
    ->Args({1920, 1080})
    ->Args({3840, 2160})
    ->ArgNames({"width", "height"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace shardcast

BENCHMARK_MAIN();
