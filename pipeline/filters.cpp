// The two 3x3 convolution passes run over the decoded picture. Both use a
// Laplacian-shaped kernel scaled by the user's weight (0 counts as 0.1) and
// rewrite only the red, green and blue bytes of interior pixels; borders and
// alpha stay as they are.
//
// Filter 1 reads the unfiltered picture and wraps its results modulo 256.
// Filter 2 reads the buffer it is rewriting, so the pixels above and to the
// left contribute filtered values; it saturates at 255 and wraps below 0.
// Pictures of 2 rows or columns or fewer, or without pixels, are left alone;
// if filter 1's copy of the picture cannot be allocated the pass does
// nothing.
//
// The straightforward forms here are the reference. The fast forms give the
// same bytes: filter 1 copies only the two unfiltered rows it still needs
// instead of the whole picture and computes several pixels at once; filter 2
// computes the three colours of a pixel at once and several rows at once
// along a diagonal wavefront, where every pixel still sees its above and
// left neighbours filtered and the others unfiltered.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

#include "decoder/decoder.h"
#include "decoder/numeric.h"
#include "pipeline/filter_kernels.h"
#include "pipeline/glitch_settings.h"

namespace shardcast {

namespace {

constexpr std::size_t pixel_bytes = 4;
constexpr std::size_t first_colour = 1;  // byte 0 is alpha
constexpr std::size_t colour_count = 3;

// The kernel's non-zero weights (see kernel_sum).
struct Kernel {
  float edge;    // -v, the four direct neighbours
  float centre;  // 4v
};

Kernel make_kernel(float value) {
  const float v = value == 0.0f ? 0.1f : value;
  return {-v, v * 4.0f};
}

// kernel_sum on single floats.
struct ScalarOps {
  using F = float;
  static float zero() { return 0.0f; }
  static float add(float a, float b) { return a + b; }
  static float mul(float a, float b) { return a * b; }
};

// One channel's sum. `above` and `below` are the same channel's bytes one
// row up and down, `here` the pixel itself.
inline float convolve(const Kernel& k, const std::uint8_t* above, const std::uint8_t* here, const std::uint8_t* below) {
  const auto sample = [](std::uint8_t byte) { return static_cast<float>(byte); };
  return kernel_sum<ScalarOps>(sample(here[-static_cast<std::ptrdiff_t>(pixel_bytes)]), sample(*above), sample(*here),
                               sample(*below), sample(here[pixel_bytes]), k.edge, k.centre);
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

bool has_interior(const std::uint8_t* pixels, std::int32_t width, std::int32_t height) {
  return pixels != nullptr && width > 2 && height > 2;
}

// Filter 1's block of the picture's size, or null when it cannot be had; a
// picture too large for one block is treated like a failed allocation.
std::unique_ptr<std::uint8_t[]> picture_sized_block(std::int32_t width, std::int32_t height) {
  const std::size_t total = static_cast<std::size_t>(width) * pixel_bytes * static_cast<std::size_t>(height);
  if (total > static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max())) {
    return nullptr;
  }
  return std::unique_ptr<std::uint8_t[]>{new (std::nothrow) std::uint8_t[total]};
}

// Filter 1 on pixels first to end - 1 of one row, entry by entry.
void filter1_pixels(const Kernel& kernel, const std::uint8_t* above, const std::uint8_t* here,
                    const std::uint8_t* below, std::uint8_t* target, std::size_t first, std::size_t end) {
  for (std::size_t x = first; x < end; ++x) {
    const std::size_t at = x * pixel_bytes + first_colour;
    float sums[colour_count];
    for (std::size_t c = 0; c < colour_count; ++c) {
      sums[c] = convolve(kernel, above + at + c, here + at + c, below + at + c);
    }
    for (std::size_t c = 0; c < colour_count; ++c) {
      target[at + c] = wrap_truncated(sums[c]);
    }
  }
}

// Filter 2 at one pixel, reading the buffer as it stands.
inline void filter2_pixel(const Kernel& kernel, std::uint8_t* pixels, std::size_t row_bytes, std::size_t x,
                          std::size_t y) {
  std::uint8_t* here = pixels + y * row_bytes + x * pixel_bytes + first_colour;
  float sums[colour_count];
  for (std::size_t c = 0; c < colour_count; ++c) {
    sums[c] = convolve(kernel, here + c - row_bytes, here + c, here + c + row_bytes);
  }
  for (std::size_t c = 0; c < colour_count; ++c) {
    here[c] = saturate_rounded(sums[c]);
  }
}

}  // namespace

void filter1_reference(std::uint8_t* pixels, std::int32_t width, std::int32_t height, float value) {
  if (!has_interior(pixels, width, height)) {
    return;
  }
  const Kernel kernel = make_kernel(value);
  const std::size_t row_bytes = static_cast<std::size_t>(width) * pixel_bytes;
  const std::unique_ptr<std::uint8_t[]> snapshot = picture_sized_block(width, height);
  if (!snapshot) {
    return;
  }
  std::memcpy(snapshot.get(), pixels, row_bytes * static_cast<std::size_t>(height));

  for (std::size_t y = 1; y + 1 < static_cast<std::size_t>(height); ++y) {
    const std::uint8_t* source = snapshot.get() + y * row_bytes;
    filter1_pixels(kernel, source - row_bytes, source, source + row_bytes, pixels + y * row_bytes, 1,
                   static_cast<std::size_t>(width) - 1);
  }
}

void filter2_reference(std::uint8_t* pixels, std::int32_t width, std::int32_t height, float value) {
  if (!has_interior(pixels, width, height)) {
    return;
  }
  const Kernel kernel = make_kernel(value);
  const std::size_t row_bytes = static_cast<std::size_t>(width) * pixel_bytes;

  // In place: the row above and the pixel to the left have already been
  // rewritten when a pixel is read, which is this filter's look.
  for (std::size_t y = 1; y + 1 < static_cast<std::size_t>(height); ++y) {
    for (std::size_t x = 1; x + 1 < static_cast<std::size_t>(width); ++x) {
      filter2_pixel(kernel, pixels, row_bytes, x, y);
    }
  }
}

void filter1_fast(SimdLevel level, std::uint8_t* pixels, std::int32_t width, std::int32_t height, float value) {
  if (level == SimdLevel::scalar) {
    filter1_reference(pixels, width, height, value);
    return;
  }
  if (!has_interior(pixels, width, height)) {
    return;
  }
  const Kernel kernel = make_kernel(value);
  const std::size_t row_bytes = static_cast<std::size_t>(width) * pixel_bytes;

  // Only two rows are needed: the unfiltered row above and the unfiltered
  // row itself (the row below is still unfiltered in the buffer). The block
  // is as large as the reference's snapshot all the same, so that the pass
  // is left out exactly when the reference's would be; the pages past the
  // two rows are never touched.
  const std::unique_ptr<std::uint8_t[]> rows = picture_sized_block(width, height);
  if (!rows) {
    return;
  }
  std::uint8_t* above = rows.get();
  std::uint8_t* here = rows.get() + row_bytes;
  std::memcpy(above, pixels, row_bytes);
  for (std::size_t y = 1; y + 1 < static_cast<std::size_t>(height); ++y) {
    std::uint8_t* target = pixels + y * row_bytes;
    std::memcpy(here, target, row_bytes);
    const std::uint8_t* below = target + row_bytes;
    const std::int32_t end = width - 1;
    const std::int32_t done =
        level == SimdLevel::avx2
            ? simd_detail::filter1_row_avx2(above, here, below, target, 1, end, kernel.edge, kernel.centre)
            : simd_detail::filter1_row_sse2(above, here, below, target, 1, end, kernel.edge, kernel.centre);
    filter1_pixels(kernel, above, here, below, target, static_cast<std::size_t>(done), static_cast<std::size_t>(end));
    std::swap(above, here);
  }
}

void filter2_fast(SimdLevel level, std::uint8_t* pixels, std::int32_t width, std::int32_t height, float value) {
  if (level == SimdLevel::scalar) {
    filter2_reference(pixels, width, height, value);
    return;
  }
  if (!has_interior(pixels, width, height)) {
    return;
  }
  const Kernel kernel = make_kernel(value);
  if (level == SimdLevel::avx2) {
    simd_detail::filter2_avx2(pixels, width, height, kernel.edge, kernel.centre);
  } else {
    simd_detail::filter2_sse2(pixels, width, height, kernel.edge, kernel.centre);
  }
}

void GlitchSettings::apply_filter1() { filter1_fast(best_simd_level(), pixels, width, height, filter1_value); }

void GlitchSettings::apply_filter2() { filter2_fast(best_simd_level(), pixels, width, height, filter2_value); }

}  // namespace shardcast
