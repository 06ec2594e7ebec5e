// The two 3x3 convolution passes run over the decoded picture. Both use a
// Laplacian-shaped kernel scaled by the user's weight (0 counts as 0.1) and
// rewrite only the red, green and blue bytes of interior pixels; borders and
// alpha stay as they are.
//
// Filter 1 reads a snapshot of the unfiltered picture and wraps its results
// modulo 256. Filter 2 reads the buffer it is rewriting, so the pixels above
// and to the left contribute filtered values; it saturates at 255 and wraps
// below 0. Pictures of 2 rows or columns or fewer, or without pixels, are
// left alone; if filter 1's snapshot cannot be allocated the pass does
// nothing.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "decoder/numeric.h"
#include "pipeline/glitch_settings.h"

namespace shardcast {

namespace {

constexpr std::size_t pixel_bytes = 4;
constexpr std::size_t first_colour = 1;  // byte 0 is alpha
constexpr std::size_t colour_count = 3;

// The kernel's non-zero weights. The four corners weigh 0: their products
// are +0 and adding +0 cannot change a sum's truncated or rounded value, so
// they are left out of the sums below.
struct Kernel {
  float edge;    // -v, the four direct neighbours
  float centre;  // 4v
};

Kernel make_kernel(float value) {
  const float v = value == 0.0f ? 0.1f : value;
  return {-v, v * 4.0f};
}

// One channel's sum, in the kernel's column order (dx = -1, 0, +1, rows
// dy = -1, 0, +1 within each column). `above` and `below` are the same
// channel's bytes one row up and down, `here` the pixel itself.
inline float convolve(const Kernel& k, const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below) {
  float sum = 0.0f;
  sum += static_cast<float>(here[-static_cast<std::ptrdiff_t>(pixel_bytes)]) * k.edge;
  sum += static_cast<float>(*above) * k.edge;
  sum += static_cast<float>(*here) * k.centre;
  sum += static_cast<float>(*below) * k.edge;
  sum += static_cast<float>(here[pixel_bytes]) * k.edge;
  return sum;
}

// Truncate toward zero, keep the low 8 bits.
inline std::uint8_t wrap_truncated(float sum) {
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(truncate_to_int32(sum)));
}

// 255 above 255, otherwise round half away from zero and keep the low 8 bits.
inline std::uint8_t saturate_rounded(float sum) {
  if (sum > 255.0f) {
    return 255;
  }
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(truncate_to_int32(std::round(sum))));
}

bool has_interior(const GlitchSettings& settings) {
  return settings.pixels != nullptr && settings.width > 2 && settings.height > 2;
}

}  // namespace

void GlitchSettings::apply_filter1() {
  if (!has_interior(*this)) {
    return;
  }
  const Kernel kernel = make_kernel(filter1_value);
  const std::size_t row_bytes = static_cast<std::size_t>(width) * pixel_bytes;
  const std::size_t total = row_bytes * static_cast<std::size_t>(height);

  // A picture too large for one block is treated like a failed allocation.
  if (total > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max())) {
    return;
  }
  const std::unique_ptr<std::uint8_t[]> snapshot{new (std::nothrow) std::uint8_t[total]};
  if (!snapshot) {
    return;
  }
  std::memcpy(snapshot.get(), pixels, total);

  for (std::size_t y = 1; y + 1 < static_cast<std::size_t>(height); ++y) {
    const std::uint8_t* source = snapshot.get() + y * row_bytes;
    std::uint8_t* target = pixels + y * row_bytes;
    for (std::size_t x = 1; x + 1 < static_cast<std::size_t>(width); ++x) {
      const std::uint8_t* here = source + x * pixel_bytes + first_colour;
      float sums[colour_count];
      for (std::size_t c = 0; c < colour_count; ++c) {
        sums[c] = convolve(kernel, here + c - row_bytes, here + c, here + c + row_bytes);
      }
      std::uint8_t* out = target + x * pixel_bytes + first_colour;
      for (std::size_t c = 0; c < colour_count; ++c) out[c] = wrap_truncated(sums[c]);
    }
  }
}

void GlitchSettings::apply_filter2() {
  if (!has_interior(*this)) {
    return;
  }
  const Kernel kernel = make_kernel(filter2_value);
  const std::size_t row_bytes = static_cast<std::size_t>(width) * pixel_bytes;

  // In place: the row above and the pixel to the left have already been
  // rewritten when a pixel is read, which is this filter's look.
  for (std::size_t y = 1; y + 1 < static_cast<std::size_t>(height); ++y) {
    std::uint8_t* row = pixels + y * row_bytes;
    for (std::size_t x = 1; x + 1 < static_cast<std::size_t>(width); ++x) {
      std::uint8_t* here = row + x * pixel_bytes + first_colour;
      float sums[colour_count];
      for (std::size_t c = 0; c < colour_count; ++c) {
        sums[c] = convolve(kernel, here + c - row_bytes, here + c, here + c + row_bytes);
      }
      for (std::size_t c = 0; c < colour_count; ++c) here[c] = saturate_rounded(sums[c]);
    }
  }
}

}  // namespace shardcast
