// The frame every benchmark works on, and TurboJPEG's round trip of it, so
// that each program reports its figures beside TurboJPEG's from the same
// run. The frame has edges, gradients and fine texture, so its compressed
// stream has the size of a real picture's.
#pragma once

#include <benchmark/benchmark.h>
#include <turbojpeg.h>

#include <cstdint>
#include <vector>

namespace shardcast::bench {

using Bytes = std::vector<std::uint8_t>;

// Pixels of four bytes, alpha first (the work buffer's layout).
inline Bytes synthetic_frame(int width, int height) {
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

// tjCompress2 then tjDecompress2 of the frame, with the pixel format and
// arguments the effect uses for its half (quality 100, 4:2:2); the stream is
// allocated by the library each time, as in the effect. Arguments: width,
// height.
inline void turbojpeg_round_trip(benchmark::State& state) {
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

// The sizes the round trip runs at: the two frame sizes of every program.
inline void turbojpeg_frame_sizes(benchmark::internal::Benchmark* bench) {
  bench->Args({1920, 1080})
      ->Args({3840, 2160})
      ->ArgNames({"width", "height"})
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
}

}  // namespace shardcast::bench
