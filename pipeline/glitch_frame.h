// The steps of glitch_frame that work on the compressed stream alone, so they
// can be exercised without the encoder and the decoder: finding the scan,
// sizing the damage window and overwriting bytes inside it.
#pragma once

#include <cstdint>

#include "pipeline/glitch_settings.h"

namespace shardcast {

// Index of the first FF DA pair wholly inside the stream plus 30, or 0 when
// the stream holds no such pair. Reads nothing past `length`.
std::uint32_t find_scan_offset(const std::uint8_t* stream, std::uint32_t length);

// The damage window in stream bytes, relative to the scan offset. `unit` is
// one percent of the corruptible span; `start` and `width` are the user's
// percentages times `unit`, truncated. A negative or out-of-range product
// comes out as INT32_MIN, like every truncation in the effect.
struct CorruptionWindow {
  float unit = 0.0f;
  std::int32_t start = 0;
  std::int32_t width = 0;
};

CorruptionWindow corruption_window(float glitch_start, float glitch_end, std::uint32_t length,
                                   std::uint32_t scan_offset);

// Overwrites settings.broken_bytes bytes of the scan data with draws from
// settings.glitch_rng. Only bytes in [scan offset, length - 30] are ever
// written; the draws are made whether or not their write lands there.
void corrupt_stream(GlitchSettings& settings, std::uint8_t* stream, std::uint32_t length);

}  // namespace shardcast
