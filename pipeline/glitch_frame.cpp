// glitch_frame: compresses the work buffer with TurboJPEG (4:2:2, the user's
// quality), overwrites seeded random bytes inside the compressed scan data
// and hands the damaged stream to the tolerant decoder, which writes the
// picture back into the same buffer and goes on drawing from glitch_rng.
//
// It tolerates any window the user can set, including an end below the
// start and streams too short to hold a window: such draws are still made,
// so the engine's sequence stays the same, but a write is only ever made
// between the scan offset and the 30th byte from the end. It refuses (-1) a
// null pixel address, a compressor that cannot be created and a compression
// that fails; the compressor and the stream are released on every path.

#include "pipeline/glitch_frame.h"

#include <turbojpeg.h>

#include <cstring>
#include <limits>
#include <memory>

#include "decoder/numeric.h"

namespace shardcast {

namespace {

// Bytes at the end of the stream that are never damaged (29), plus one: the
// last writable index is length - 30.
constexpr std::uint32_t tail_reserve = 30;
// The scan offset lies this far behind the FF of the start-of-scan marker,
// past the 14-byte scan header of a three-component scan and the first
// 16 bytes of entropy-coded data.
constexpr std::uint32_t scan_header_reserve = 30;

struct CompressorRelease {
  void operator()(void* handle) const { tjDestroy(handle); }
};
using Compressor = std::unique_ptr<void, CompressorRelease>;

struct StreamRelease {
  void operator()(unsigned char* buffer) const { tjFree(buffer); }
};
using CompressedStream = std::unique_ptr<unsigned char, StreamRelease>;

}  // namespace

std::uint32_t find_scan_offset(const std::uint8_t* stream, std::uint32_t length) {
  if (stream == nullptr || length < 2) {
    return 0;
  }
  const std::uint8_t* const end = stream + length;
  const std::uint8_t* cursor = stream;
  // Only pairs wholly inside the stream count, so the FF must lie before the
  // last byte.
  while (cursor < end - 1) {
    const void* found = std::memchr(cursor, 0xFF, static_cast<std::size_t>(end - 1 - cursor));
    if (found == nullptr) {
      return 0;
    }
    const auto* marker = static_cast<const std::uint8_t*>(found);
    if (marker[1] == 0xDA) {
      return static_cast<std::uint32_t>(marker - stream) + scan_header_reserve;
    }
    cursor = marker + 1;
  }
  return 0;
}

CorruptionWindow corruption_window(float glitch_start, float glitch_end, std::uint32_t length,
                                   std::uint32_t scan_offset) {
  // The span is formed in unsigned 32-bit arithmetic. When the stream is
  // shorter than scan_offset + 30 it wraps to 2^32 minus the shortfall, so
  // the unit becomes about 4.3e7 and start and width can leave the int32
  // range (truncated to INT32_MIN then). That window is meaningless, but it
  // is what fixes how many draws each repetition makes; every conversion
  // here is defined, and corrupt_stream writes nothing for such a stream.
  const std::uint32_t span = length - scan_offset - tail_reserve;
  CorruptionWindow window;
  window.unit = static_cast<float>(span / 100u);
  window.start = truncate_to_int32(glitch_start * window.unit);
  const float extent = glitch_end - glitch_start;
  window.width = truncate_to_int32(extent * window.unit);
  return window;
}

void corrupt_stream(GlitchSettings& settings, std::uint8_t* stream, std::uint32_t length) {
  const std::uint32_t scan_offset = find_scan_offset(stream, length);
  const CorruptionWindow window = corruption_window(settings.glitch_start, settings.glitch_end, length, scan_offset);
  if (settings.broken_bytes <= 0) {
    return;
  }

  // Writes are kept to [scan_offset, length - 30]; when the stream is too
  // short for that range it is empty and the stream stays as it is.
  const auto writable = [&](std::uint32_t index) {
    return index >= scan_offset &&
           static_cast<std::uint64_t>(index) + tail_reserve <= static_cast<std::uint64_t>(length);
  };
  const std::uint32_t base = scan_offset + static_cast<std::uint32_t>(window.start);

  if (window.width != 0) {
    // A negative width is taken as its unsigned 32-bit pattern.
    const auto modulus = static_cast<std::uint32_t>(window.width);
    for (std::int32_t n = 0; n < settings.broken_bytes; ++n) {
      const auto position = static_cast<std::uint32_t>(settings.glitch_rng());
      const auto value = static_cast<std::uint32_t>(settings.glitch_rng());
      const std::uint32_t index = base + position % modulus;
      if (writable(index)) {
        stream[index] = static_cast<std::uint8_t>(value);
      }
    }
  } else {
    // Every repetition hits the same byte; the engine still advances once
    // per repetition and the last draw's value stays.
    const bool hit = writable(base);
    for (std::int32_t n = 0; n < settings.broken_bytes; ++n) {
      const auto value = static_cast<std::uint32_t>(settings.glitch_rng());
      if (hit) {
        stream[base] = static_cast<std::uint8_t>(value);
      }
    }
  }
}

std::int32_t GlitchSettings::glitch_frame() {
  if (pixels == nullptr) {
    return -1;
  }

  Compressor compressor{tjInitCompress()};
  if (!compressor) {
    return -1;
  }

  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const int status =
      tjCompress2(compressor.get(), pixels, width, 0, height, TJPF_XRGB, &buffer, &size, subsampling, quality, 0);
  // Owned from here on, also when the compression failed half way.
  const CompressedStream stream{buffer};
  compressor.reset();
  if (status < 0 || buffer == nullptr) {
    return -1;
  }
  // The stream length travels as 32 bits; a larger stream cannot be
  // addressed by the window arithmetic.
  if (size > std::numeric_limits<std::uint32_t>::max()) {
    return -1;
  }
  const auto length = static_cast<std::uint32_t>(size);

  corrupt_stream(*this, stream.get(), length);
  return decode_to_work_buffer(stream.get(), length);
}

}  // namespace shardcast
