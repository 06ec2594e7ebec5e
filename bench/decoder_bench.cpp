// The tolerant decoder alone on one frame's stream, clean and damaged, at
// 1920x1080 and 3840x2160, beside TurboJPEG decompressing the same clean
// stream, so the ratio reads off one run. The stream is what the effect
// makes: quality 100, 4:2:2. The straightforward reference decoder runs on
// the same streams, for the figures before the fast paths.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstdint>
#include <random>

#include "bench/bench_frames.h"
#include "decoder/decoder.h"
#include "pipeline/glitch_settings.h"

namespace shardcast {
namespace {

using bench::Bytes;

Bytes compress_frame(int width, int height) {
  const Bytes pixels = bench::synthetic_frame(width, height);
  tjhandle handle = tjInitCompress();
  unsigned char* data = nullptr;
  unsigned long size = 0;
  Bytes stream;
  if (handle != nullptr &&
      tjCompress2(handle, pixels.data(), width, 0, height, TJPF_XRGB, &data, &size, TJSAMP_422, 100, 0) == 0) {
    stream.assign(data, data + size);
  }
  tjFree(data);
  if (handle != nullptr) {
    tjDestroy(handle);
  }
  return stream;
}

// The clean stream with 200 bytes of its scan data overwritten at seeded
// positions.
Bytes damage(Bytes stream) {
  std::size_t scan = 0;
  for (std::size_t i = 0; i + 3 < stream.size(); ++i) {
    if (stream[i] == 0xFF && stream[i + 1] == 0xDA) {
      scan = i + 2 + (static_cast<std::size_t>(stream[i + 2]) << 8 | stream[i + 3]);
      break;
    }
  }
  if (scan == 0 || scan + 2 >= stream.size()) {
    return stream;
  }
  std::mt19937 rng(42);
  const std::size_t span = stream.size() - 2 - scan;
  for (int n = 0; n < 200; ++n) {
    stream[scan + rng() % span] = static_cast<std::uint8_t>(rng());
  }
  return stream;
}

void count_lines(void* context, const char* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    *static_cast<std::size_t*>(context) += text[i] == '\n' ? 1 : 0;
  }
}

enum class Decoder { Fast, Reference };

void decode_with_shardcast(benchmark::State& state, bool damaged, Decoder decoder) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const Bytes clean = compress_frame(width, height);
  if (clean.empty()) {
    state.SkipWithError("TurboJPEG could not compress the frame");
    return;
  }
  const Bytes stream = damaged ? damage(clean) : clean;
  Bytes work(static_cast<std::size_t>(width) * height * 4);
  GlitchSettings settings;
  settings.pixels = work.data();
  settings.width = width;
  settings.height = height;
  settings.dequantize = settings.inverse_dct = settings.ycbcr_to_rgb = true;
  const auto decode = [&] {
    const auto length = static_cast<std::uint32_t>(stream.size());
    if (decoder == Decoder::Fast) {
      return settings.decode_to_work_buffer(stream.data(), length);
    }
    // What decode_to_work_buffer hands the decoder, to the reference.
    const DecodeOptions options{settings.glitch_rng,
                                settings.qtl_rng,
                                settings.qtc_rng,
                                {},
                                {},
                                {settings.dequantize, settings.inverse_dct, settings.ycbcr_to_rgb}};
    return decode_stream_reference(stream.data(), length, options, PixelBuffer{settings.pixels, width, height},
                                   settings.messages);
  };
  // One untimed decode counts the lines the timed ones throw away.
  std::size_t lines = 0;
  settings.messages = MessageSink{&count_lines, &lines};
  settings.seed_engines();
  decode();
  settings.messages = MessageSink::discard();
  for (auto _ : state) {
    settings.seed_engines();  // the same recovery draws every time
    const std::int32_t result = decode();
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
  state.counters["stream_bytes"] = static_cast<double>(stream.size());
  state.counters["message_lines"] = static_cast<double>(lines);
}

void BM_ShardcastDecodeClean(benchmark::State& state) { decode_with_shardcast(state, false, Decoder::Fast); }
void BM_ShardcastDecodeDamaged(benchmark::State& state) { decode_with_shardcast(state, true, Decoder::Fast); }
void BM_ReferenceDecodeClean(benchmark::State& state) { decode_with_shardcast(state, false, Decoder::Reference); }
void BM_ReferenceDecodeDamaged(benchmark::State& state) { decode_with_shardcast(state, true, Decoder::Reference); }

void BM_TurboJpegDecompressClean(benchmark::State& state) {
  const int width = static_cast<int>(state.range(0));
  const int height = static_cast<int>(state.range(1));
  const Bytes stream = compress_frame(width, height);
  tjhandle handle = tjInitDecompress();
  if (stream.empty() || handle == nullptr) {
    state.SkipWithError("no stream or no TurboJPEG decompressor");
    if (handle != nullptr) {
      tjDestroy(handle);
    }
    return;
  }
  Bytes pixels(static_cast<std::size_t>(width) * height * 4);
  for (auto _ : state) {
    const int result = tjDecompress2(handle, stream.data(), static_cast<unsigned long>(stream.size()), pixels.data(),
                                     width, 0, height, TJPF_XRGB, 0);
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
  tjDestroy(handle);
  state.counters["stream_bytes"] = static_cast<double>(stream.size());
}

void frame_sizes(benchmark::internal::Benchmark* bench) {
  bench->Args({1920, 1080})->Args({3840, 2160})->ArgNames({"width", "height"})->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_ShardcastDecodeClean)->Apply(frame_sizes);
BENCHMARK(BM_ShardcastDecodeDamaged)->Apply(frame_sizes);
BENCHMARK(BM_ReferenceDecodeClean)->Apply(frame_sizes);
BENCHMARK(BM_ReferenceDecodeDamaged)->Apply(frame_sizes);
BENCHMARK(BM_TurboJpegDecompressClean)->Apply(frame_sizes);

}  // namespace
}  // namespace shardcast

BENCHMARK_MAIN();
