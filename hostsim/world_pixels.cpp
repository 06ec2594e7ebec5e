// Fill, copy and resampling on the simulated host's 8-bit worlds. Integer
// arithmetic only, so every result is reproducible to the byte; the exact
// resampling formula is documented in simulated_host.h.
#include "hostsim/world_pixels.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "hostsim/simulated_host.h"

namespace shardcast::hostsim {
static_assert(std::endian::native == std::endian::little,
              "pixels are reordered as little-endian words");

namespace {

constexpr std::int64_t fixed_one = 65536;  // 1.0 in 16.16 fixed point

// Where a destination column (or row) samples the source: the two source
// indices and the weight of the second, in 1/65536.
struct Tap {
  A_long first;
  A_long second;
  std::uint64_t weight;
};

Tap sample_tap(A_long dst_index, A_long src_size, A_long dst_size) {
  std::int64_t position = ((2 * static_cast<std::int64_t>(dst_index) + 1) * src_size * fixed_one) /
                              (2 * static_cast<std::int64_t>(dst_size)) -
                          fixed_one / 2;
  position = std::max<std::int64_t>(position, 0);
  const auto first = static_cast<A_long>(position >> 16);
  if (first >= src_size - 1) {
    return {src_size - 1, src_size - 1, 0};
  }
  return {first, first + 1, static_cast<std::uint64_t>(position & 0xFFFF)};
}

std::uint8_t blend(std::uint8_t p00, std::uint8_t p10, std::uint8_t p01, std::uint8_t p11,
                   const Tap& tx, const Tap& ty) {
  const std::uint64_t ax = tx.weight;
  const std::uint64_t ay = ty.weight;
  const std::uint64_t bx = fixed_one - ax;
  const std::uint64_t by = fixed_one - ay;
  const std::uint64_t sum =
      bx * by * p00 + ax * by * p10 + bx * ay * p01 + ax * ay * p11 + (std::uint64_t{1} << 31);
  return static_cast<std::uint8_t>(sum >> 32);
}

int channel_byte(const ChannelOrder& order, int role) {
  switch (role) {
    case 0:
      return order.alpha;
    case 1:
      return order.red;
    case 2:
      return order.green;
    default:
      return order.blue;
  }
}

// Byte k of each output pixel is byte Sk of the input pixel. As
// little-endian words that is a shift and a mask per byte with constant
// counts, which the compiler turns into a few vector operations.
template <int S0, int S1, int S2, int S3>
void permute_pixels(const std::uint8_t* in, std::uint8_t* out, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    std::uint32_t v;
    std::memcpy(&v, in + i * 4, 4);
    const std::uint32_t w = ((v >> (8 * S0)) & 0xFFu) | (((v >> (8 * S1)) & 0xFFu) << 8) |
                            (((v >> (8 * S2)) & 0xFFu) << 16) | (((v >> (8 * S3)) & 0xFFu) << 24);
    std::memcpy(out + i * 4, &w, 4);
  }
}

bool same_order(const ChannelOrder& a, const ChannelOrder& b) {
  return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

}  // namespace

ChannelOrder channel_order(PrPixelFormat format) {
  if (format == PrPixelFormat_BGRA_4444_8u) {
    return {3, 2, 1, 0};
  }
  return {0, 1, 2, 3};
}

bool is_supported_world_format(PrPixelFormat format) {
  return format == PrPixelFormat_ARGB_4444_8u || format == PrPixelFormat_BGRA_4444_8u;
}

A_long padded_rowbytes(A_long width, A_long padding) {
  const std::int64_t bytes = static_cast<std::int64_t>(width) * 4 + padding;
  return static_cast<A_long>((bytes + 63) / 64 * 64);
}

bool rect_inside(const PF_Rect& rect, A_long width, A_long height) {
  return rect.left >= 0 && rect.top >= 0 && rect.left < rect.right && rect.top < rect.bottom &&
         rect.right <= width && rect.bottom <= height;
}

PF_Rect whole_rect(const WorldView& world) { return {0, 0, world.width, world.height}; }

PF_Pixel read_pixel(const WorldView& world, A_long x, A_long y) {
  const std::uint8_t* p = world.data + static_cast<std::ptrdiff_t>(y) * world.rowbytes + x * 4;
  const ChannelOrder order = channel_order(world.format);
  return {p[order.alpha], p[order.red], p[order.green], p[order.blue]};
}

void write_pixel(const WorldView& world, A_long x, A_long y, PF_Pixel pixel) {
  std::uint8_t* p = world.data + static_cast<std::ptrdiff_t>(y) * world.rowbytes + x * 4;
  const ChannelOrder order = channel_order(world.format);
  p[order.alpha] = pixel.alpha;
  p[order.red] = pixel.red;
  p[order.green] = pixel.green;
  p[order.blue] = pixel.blue;
}

void fill_rect(const WorldView& world, const PF_Rect& rect, PF_Pixel colour) {
  if (rect.top >= rect.bottom || rect.left >= rect.right) {
    return;
  }
  // The pixel's four bytes as one word, stored without reading anything.
  const ChannelOrder order = channel_order(world.format);
  std::uint8_t bytes[4] = {};
  bytes[order.alpha] = colour.alpha;
  bytes[order.red] = colour.red;
  bytes[order.green] = colour.green;
  bytes[order.blue] = colour.blue;
  std::uint32_t pattern;
  std::memcpy(&pattern, bytes, 4);
  const auto count = static_cast<std::size_t>(rect.right - rect.left);
  for (A_long y = rect.top; y < rect.bottom; ++y) {
    std::uint8_t* row =
        world.data + static_cast<std::ptrdiff_t>(y) * world.rowbytes + rect.left * 4;
    for (std::size_t i = 0; i < count; ++i) {
      std::memcpy(row + i * 4, &pattern, 4);
    }
  }
}

void reorder_pixels(const std::uint8_t* in, ChannelOrder from, std::uint8_t* out, ChannelOrder to,
                    std::size_t count) {
  if (same_order(from, to)) {
    std::memmove(out, in, count * 4);
    return;
  }
  // Byte k of an output pixel is byte source[k] of the input pixel.
  int source[4] = {};
  source[to.alpha] = from.alpha;
  source[to.red] = from.red;
  source[to.green] = from.green;
  source[to.blue] = from.blue;
  const int key = source[0] | source[1] << 2 | source[2] << 4 | source[3] << 6;
  switch (key) {
    case 3 | 0 << 2 | 1 << 4 | 2 << 6:  // R, G, B, A into A, R, G, B
      return permute_pixels<3, 0, 1, 2>(in, out, count);
    case 1 | 2 << 2 | 3 << 4 | 0 << 6:  // A, R, G, B into R, G, B, A
      return permute_pixels<1, 2, 3, 0>(in, out, count);
    case 3 | 2 << 2 | 1 << 4 | 0 << 6:  // A, R, G, B and B, G, R, A
      return permute_pixels<3, 2, 1, 0>(in, out, count);
    case 2 | 1 << 2 | 0 << 4 | 3 << 6:  // R, G, B, A and B, G, R, A
      return permute_pixels<2, 1, 0, 3>(in, out, count);
    default:
      for (std::size_t i = 0; i < count * 4; i += 4) {
        const std::uint8_t pixel[4] = {in[i], in[i + 1], in[i + 2], in[i + 3]};
        for (int k = 0; k < 4; ++k) {
          out[i + k] = pixel[source[k]];
        }
      }
  }
}

void write_rows(const WorldView& world, const std::uint8_t* rows, ChannelOrder order) {
  const ChannelOrder to = channel_order(world.format);
  const std::size_t row_bytes = static_cast<std::size_t>(world.width) * 4;
  for (A_long y = 0; y < world.height; ++y) {
    reorder_pixels(rows + static_cast<std::size_t>(y) * row_bytes, order,
                   world.data + static_cast<std::ptrdiff_t>(y) * world.rowbytes, to,
                   static_cast<std::size_t>(world.width));
  }
}

void read_rows(const WorldView& world, std::uint8_t* rows, ChannelOrder order) {
  const ChannelOrder from = channel_order(world.format);
  const std::size_t row_bytes = static_cast<std::size_t>(world.width) * 4;
  for (A_long y = 0; y < world.height; ++y) {
    reorder_pixels(world.data + static_cast<std::ptrdiff_t>(y) * world.rowbytes, from,
                   rows + static_cast<std::size_t>(y) * row_bytes, order,
                   static_cast<std::size_t>(world.width));
  }
}

void fill_row_padding(const WorldView& world, std::uint8_t value) {
  const std::size_t used = static_cast<std::size_t>(world.width) * 4;
  const std::size_t padding = static_cast<std::size_t>(world.rowbytes) - used;
  if (padding == 0) {
    return;
  }
  for (A_long y = 0; y < world.height; ++y) {
    std::memset(world.data + static_cast<std::ptrdiff_t>(y) * world.rowbytes + used, value,
                padding);
  }
}

bool row_padding_holds(const WorldView& world, std::uint8_t value) {
  for (A_long y = 0; y < world.height; ++y) {
    const std::uint8_t* row = world.data + static_cast<std::ptrdiff_t>(y) * world.rowbytes;
    for (A_long i = world.width * 4; i < world.rowbytes; ++i) {
      if (row[i] != value) {
        return false;
      }
    }
  }
  return true;
}

std::uint8_t resample_channel(const std::uint8_t* pixels, A_long rowbytes, A_long sw, A_long sh,
                              A_long dw, A_long dh, A_long x, A_long y, int channel) {
  const Tap tx = sample_tap(x, sw, dw);
  const Tap ty = sample_tap(y, sh, dh);
  const auto at = [&](A_long sx, A_long sy) {
    return pixels[static_cast<std::ptrdiff_t>(sy) * rowbytes + sx * 4 + channel];
  };
  return blend(at(tx.first, ty.first), at(tx.second, ty.first), at(tx.first, ty.second),
               at(tx.second, ty.second), tx, ty);
}

void copy_rect(const WorldView& src, const PF_Rect& src_rect, const WorldView& dst,
               const PF_Rect& dst_rect) {
  const A_long sw = src_rect.right - src_rect.left;
  const A_long sh = src_rect.bottom - src_rect.top;
  const A_long dw = dst_rect.right - dst_rect.left;
  const A_long dh = dst_rect.bottom - dst_rect.top;
  const ChannelOrder from = channel_order(src.format);
  const ChannelOrder to = channel_order(dst.format);
  const std::uint8_t* origin =
      src.data + static_cast<std::ptrdiff_t>(src_rect.top) * src.rowbytes + src_rect.left * 4;

  if (sw == dw && sh == dh) {
    for (A_long y = 0; y < dh; ++y) {
      const std::uint8_t* in = origin + static_cast<std::ptrdiff_t>(y) * src.rowbytes;
      std::uint8_t* out = dst.data + static_cast<std::ptrdiff_t>(dst_rect.top + y) * dst.rowbytes +
                          dst_rect.left * 4;
      reorder_pixels(in, from, out, to, static_cast<std::size_t>(dw));
    }
    return;
  }

  std::vector<Tap> columns(static_cast<std::size_t>(dw));
  for (A_long x = 0; x < dw; ++x) {
    columns[static_cast<std::size_t>(x)] = sample_tap(x, sw, dw);
  }
  for (A_long y = 0; y < dh; ++y) {
    const Tap ty = sample_tap(y, sh, dh);
    const std::uint8_t* row0 = origin + static_cast<std::ptrdiff_t>(ty.first) * src.rowbytes;
    const std::uint8_t* row1 = origin + static_cast<std::ptrdiff_t>(ty.second) * src.rowbytes;
    std::uint8_t* out =
        dst.data + static_cast<std::ptrdiff_t>(dst_rect.top + y) * dst.rowbytes + dst_rect.left * 4;
    for (A_long x = 0; x < dw; ++x) {
      const Tap& tx = columns[static_cast<std::size_t>(x)];
      for (int role = 0; role < 4; ++role) {
        const int c = channel_byte(from, role);
        out[x * 4 + channel_byte(to, role)] =
            blend(row0[tx.first * 4 + c], row0[tx.second * 4 + c], row1[tx.first * 4 + c],
                  row1[tx.second * 4 + c], tx, ty);
      }
    }
  }
}

}  // namespace shardcast::hostsim
