// The tolerant decoder on one 1920x1080 frame, clean and damaged, beside
// TurboJPEG decompressing the same clean stream, so the ratio reads off one
// run. The stream is what the effect makes: quality 100, 4:2:2, from a
// synthetic picture of gradients and fine detail.
#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstdint>
#include <random>
#include <vector>

#include "pipeline/glitch_settings.h"

namespace shardcast {
namespace {

constexpr int frame_width = 1920;
constexpr int frame_height = 1080;

using Bytes = std::vector<std::uint8_t>;

Bytes synthetic_xrgb() {
  Bytes pixels(static_cast<std::size_t>(frame_width) * frame_height * 4);
  std::mt19937 noise(1);
  for (int y = 0; y < frame_height; ++y) {
    for (int x = 0; x < frame_width; ++x) {
      std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * frame_width + x) * 4];
      const int stripes = ((x / 4 + y / 3) % 2) * 40;
      p[0] = 255;
      p[1] = static_cast<std::uint8_t>(x * 255 / frame_width);
      p[2] = static_cast<std::uint8_t>(y * 200 / frame_height + stripes);
      p[3] = static_cast<std::uint8_t>(((x ^ y) & 0x3F) + noise() % 32);
    }
  }
  return pixels;
}

Bytes compress_frame() {
  const Bytes pixels = synthetic_xrgb();
  tjhandle handle = tjInitCompress();
  unsigned char* data = nullptr;
  unsigned long size = 0;
  Bytes stream;
  if (handle != nullptr && tjCompress2(handle, pixels.data(), frame_width, 0, frame_height, TJPF_XRGB, &data, &size,
                                       TJSAMP_422, 100, 0) == 0) {
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

const Bytes& clean_stream() {
  static const Bytes stream = compress_frame();
  return stream;
}

const Bytes& damaged_stream() {
  static const Bytes stream = damage(clean_stream());
  return stream;
}

void count_lines(void* context, const char* text, std::size_t length) {
  for (std::size_t i = 0; i < length; ++i) {
    *static_cast<std::size_t*>(context) += text[i] == '\n' ? 1 : 0;
  }
}

void decode_with_shardcast(benchmark::State& state, const Bytes& stream) {
  if (stream.empty()) {
    state.SkipWithError("TurboJPEG could not compress the frame");
    return;
  }
  Bytes work(static_cast<std::size_t>(frame_width) * frame_height * 4);
  GlitchSettings settings;
  settings.pixels = work.data();
  settings.width = frame_width;
  settings.height = frame_height;
  settings.dequantize = settings.inverse_dct = settings.ycbcr_to_rgb = true;
  // One untimed decode counts the lines the timed ones throw away.
  std::size_t lines = 0;
  settings.messages = MessageSink{&count_lines, &lines};
  settings.seed_engines();
  settings.decode_to_work_buffer(stream.data(), static_cast<std::uint32_t>(stream.size()));
  settings.messages = MessageSink::discard();
  for (auto _ : state) {
    settings.seed_engines();  // the same recovery draws every time
    const std::int32_t result =
        settings.decode_to_work_buffer(stream.data(), static_cast<std::uint32_t>(stream.size()));
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
  state.counters["stream_bytes"] = static_cast<double>(stream.size());
  state.counters["message_lines"] = static_cast<double>(lines);
}

void BM_ShardcastDecodeClean(benchmark::State& state) { decode_with_shardcast(state, clean_stream()); }
void BM_ShardcastDecodeDamaged(benchmark::State& state) { decode_with_shardcast(state, damaged_stream()); }

void BM_TurboJpegDecompressClean(benchmark::State& state) {
  const Bytes& stream = clean_stream();
  tjhandle handle = tjInitDecompress();
  if (stream.empty() || handle == nullptr) {
    state.SkipWithError("no stream or no TurboJPEG decompressor");
    if (handle != nullptr) {
      tjDestroy(handle);
    }
    return;
  }
  Bytes pixels(static_cast<std::size_t>(frame_width) * frame_height * 4);
  for (auto _ : state) {
    const int result = tjDecompress2(handle, stream.data(), static_cast<unsigned long>(stream.size()), pixels.data(),
                                     frame_width, 0, frame_height, TJPF_XRGB, 0);
    benchmark::DoNotOptimize(result);
    benchmark::ClobberMemory();
  }
  tjDestroy(handle);
  state.counters["stream_bytes"] = static_cast<double>(stream.size());
}

BENCHMARK(BM_ShardcastDecodeClean)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ShardcastDecodeDamaged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TurboJpegDecompressClean)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace shardcast

BENCHMARK_MAIN();
