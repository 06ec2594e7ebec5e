// Fill, copy and resampling on the simulated host's 8-bit worlds. Integer
// arithmetic only, so every result is reproducible to the byte; the exact
// resampling formula is documented in simulated_host.h.
#include "hostsim/world_pixels.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "hostsim/simulated_host.h"

namespace shardcast::hostsim {
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

bool in_api_order(const ChannelOrder& order) {
  return order.alpha == 0 && order.red == 1 && order.green == 2 && order.blue == 3;
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
  for (A_long x = rect.left; x < rect.right; ++x) {
    write_pixel(world, x, rect.top, colour);
  }
  // The first row is the pattern for the others.
  const std::size_t row_bytes = static_cast<std::size_t>(rect.right - rect.left) * 4;
  const std::uint8_t* first =
      world.data + static_cast<std::ptrdiff_t>(rect.top) * world.rowbytes + rect.left * 4;
  for (A_long y = rect.top + 1; y < rect.bottom; ++y) {
    std::memcpy(world.data + static_cast<std::ptrdiff_t>(y) * world.rowbytes + rect.left * 4, first,
                row_bytes);
  }
}

void write_argb_rows(const WorldView& world, const std::uint8_t* argb) {
  const ChannelOrder order = channel_order(world.format);
  const std::size_t row_bytes = static_cast<std::size_t>(world.width) * 4;
  for (A_long y = 0; y < world.height; ++y) {
    const std::uint8_t* in = argb + static_cast<std::size_t>(y) * row_bytes;
    std::uint8_t* out = world.data + static_cast<std::ptrdiff_t>(y) * world.rowbytes;
    if (in_api_order(order)) {
      std::memcpy(out, in, row_bytes);
      continue;
    }
    for (std::size_t i = 0; i < row_bytes; i += 4) {
      out[i + order.alpha] = in[i];
      out[i + order.red] = in[i + 1];
      out[i + order.green] = in[i + 2];
      out[i + order.blue] = in[i + 3];
    }
  }
}

void read_argb_rows(const WorldView& world, std::uint8_t* argb) {
  const ChannelOrder order = channel_order(world.format);
  const std::size_t row_bytes = static_cast<std::size_t>(world.width) * 4;
  for (A_long y = 0; y < world.height; ++y) {
    const std::uint8_t* in = world.data + static_cast<std::ptrdiff_t>(y) * world.rowbytes;
    std::uint8_t* out = argb + static_cast<std::size_t>(y) * row_bytes;
    if (in_api_order(order)) {
      std::memcpy(out, in, row_bytes);
      continue;
    }
    for (std::size_t i = 0; i < row_bytes; i += 4) {
      out[i] = in[i + order.alpha];
      out[i + 1] = in[i + order.red];
      out[i + 2] = in[i + order.green];
      out[i + 3] = in[i + order.blue];
    }
  }
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
      if (src.format == dst.format) {
        std::memmove(out, in, static_cast<std::size_t>(dw) * 4);
        continue;
      }
      for (A_long x = 0; x < dw; ++x) {
        for (int role = 0; role < 4; ++role) {
          out[x * 4 + channel_byte(to, role)] = in[x * 4 + channel_byte(from, role)];
        }
      }
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
