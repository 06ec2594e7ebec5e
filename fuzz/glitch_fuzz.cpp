// Fuzzes the whole glitch of one frame: compression, corruption, decoding and
// both filters, on a small random frame, with parameter values inside and
// outside their ranges (as a host delivering animated values may, now and
// then not a number at all). The frame's pixels come from the input after
// the settings. Beyond the sanitizers it checks what every frame promises:
// alpha is never written, a failed glitch leaves the frame untouched, and
// the same settings and pixels give the same frame again.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "decoder/numeric.h"
#include "fuzz/fuzz_input.h"
#include "pipeline/glitch_settings.h"

namespace {

// A value mostly inside [low, high], sometimes well outside it.
float spread(shardcast::fuzzing::FuzzInput& input, float low, float high) {
  const std::uint8_t selector = input.byte();
  const float unit = static_cast<float>(input.byte()) / 255.0f;
  if (selector < 224) {
    return low + unit * (high - low);
  }
  if (selector >= 253) {
    const float odd[] = {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity()};
    return odd[selector - 253];
  }
  return (selector & 1) ? high + unit * 1.0e6f : low - unit * 1.0e6f;
}

// Settings for one frame: a small random size, then every parameter's
// value. Integer settings are truncated as the render truncates parameter
// values (NaN and values beyond int32 become INT32_MIN), but not first
// brought into their ranges as the render does: the stages must stay safe
// and deterministic with any settings.
shardcast::GlitchSettings read_settings(shardcast::fuzzing::FuzzInput& input) {
  shardcast::GlitchSettings settings;
  settings.messages = shardcast::MessageSink::discard();
  settings.width = 16 * (1 + input.byte() % 4);
  settings.height = 1 + input.byte() % 40;
  settings.quality = shardcast::truncate_to_int32(spread(input, 1, 100));
  settings.broken_bytes = shardcast::truncate_to_int32(spread(input, 0, 300));
  settings.glitch_start = spread(input, 0, 99.9f);
  settings.glitch_end = spread(input, 0.1f, 100);
  settings.qtl_position = shardcast::truncate_to_int32(spread(input, 1, 64));
  settings.qtc_position = shardcast::truncate_to_int32(spread(input, 1, 64));
  settings.qtl_value = shardcast::truncate_to_int32(spread(input, 0, 255));
  settings.qtc_value = shardcast::truncate_to_int32(spread(input, 0, 255));
  settings.qtl_break_count = shardcast::truncate_to_int32(spread(input, 0, 64));
  settings.qtc_break_count = shardcast::truncate_to_int32(spread(input, 0, 64));
  settings.qtl_max_random = shardcast::truncate_to_int32(spread(input, 0, 255));
  settings.qtc_max_random = shardcast::truncate_to_int32(spread(input, 0, 255));
  settings.seed = static_cast<std::int32_t>(input.u32());
  settings.qtl_seed = static_cast<std::int32_t>(input.u32());
  settings.qtc_seed = static_cast<std::int32_t>(input.u32());
  const std::uint8_t switches = input.byte();
  settings.qtl_enabled = (switches & 1) != 0;
  settings.qtc_enabled = (switches & 2) != 0;
  settings.inverse_dct = (switches & 4) != 0;
  settings.ycbcr_to_rgb = (switches & 8) != 0;
  settings.dequantize = (switches & 16) != 0;
  settings.filter1_enabled = (switches & 32) != 0;
  settings.filter2_enabled = (switches & 64) != 0;
  settings.filter1_value = spread(input, -10, 10);
  settings.filter2_value = spread(input, -10, 10);
  settings.seed_engines();
  return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  shardcast::fuzzing::FuzzInput input(data, size);
  const shardcast::GlitchSettings settings = read_settings(input);

  std::vector<std::uint8_t> frame(static_cast<std::size_t>(settings.width) * settings.height * 4);
  const std::size_t available = std::min(frame.size(), input.rest_size());
  if (available > 0) {
    std::memcpy(frame.data(), input.rest(), available);
  }

  // The render's sequence: glitch, then the filters if the glitch succeeded.
  // Each pass works on its own copy of the settings, engines as seeded.
  auto run = [&settings](std::vector<std::uint8_t>& pixels) {
    shardcast::GlitchSettings pass = settings;
    pass.pixels = pixels.data();
    const std::int32_t result = pass.glitch_frame();
    if (result >= 0) {
      if (pass.filter1_enabled) {
        pass.apply_filter1();
      }
      if (pass.filter2_enabled) {
        pass.apply_filter2();
      }
    }
    return result;
  };
  std::vector<std::uint8_t> first = frame;
  std::vector<std::uint8_t> second = frame;
  const std::int32_t result = run(first);
  if (result != 0 && result != -1) {
    std::abort();
  }
  if (result < 0 && first != frame) {
    std::abort();  // a failed glitch wrote into the frame
  }
  for (std::size_t i = 0; i < frame.size(); i += 4) {
    if (first[i] != frame[i]) {
      std::abort();  // alpha written
    }
  }
  if (run(second) != result || second != first) {
    std::abort();  // the same settings and pixels gave another frame
  }
  return 0;
}
