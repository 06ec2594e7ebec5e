// Pixel operations of the simulated host on 8-bit worlds: filling and
// copying rectangles (with resampling when sizes differ), and moving pixels
// between a world's byte order and the rows of a caller (the API's A, R, G,
// B pictures, or an image file's R, G, B, A rows). Worlds are addressed row
// by row through rowbytes; the padding at the end of a row is read or
// written only by the functions named for it. Rectangles are checked by the
// callers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "AE_Effect.h"
#include "PrSDKPixelFormat.h"

namespace shardcast::hostsim {

struct WorldView {
  std::uint8_t* data = nullptr;
  A_long width = 0;
  A_long height = 0;
  A_long rowbytes = 0;
  PrPixelFormat format = PrPixelFormat_ARGB_4444_8u;
};

// Byte position of each channel within one pixel of a world.
struct ChannelOrder {
  int alpha;
  int red;
  int green;
  int blue;
};

// The API's pictures, and the rows of image files and video frames.
constexpr ChannelOrder argb_order{0, 1, 2, 3};
constexpr ChannelOrder rgba_order{3, 0, 1, 2};

ChannelOrder channel_order(PrPixelFormat format);
// Whether the host can hand out worlds of this format.
bool is_supported_world_format(PrPixelFormat format);

// Non-empty and within a width x height world.
bool rect_inside(const PF_Rect& rect, A_long width, A_long height);
PF_Rect whole_rect(const WorldView& world);

void fill_rect(const WorldView& world, const PF_Rect& rect, PF_Pixel colour);
// Whole source rectangle onto whole destination rectangle: plain copy at
// equal sizes, otherwise the resampling documented with resample_channel.
// Channels are matched by role when the two formats differ.
void copy_rect(const WorldView& src, const PF_Rect& src_rect, const WorldView& dst,
               const PF_Rect& dst_rect);

PF_Pixel read_pixel(const WorldView& world, A_long x, A_long y);
void write_pixel(const WorldView& world, A_long x, A_long y, PF_Pixel pixel);

// `count` pixels from one byte order into another (the same order copies).
void reorder_pixels(const std::uint8_t* in, ChannelOrder from, std::uint8_t* out, ChannelOrder to,
                    std::size_t count);

// Every pixel of the world from or into rows of the world's width in
// `order`, back to back (width * height * 4 bytes), a row at a time.
void write_rows(const WorldView& world, const std::uint8_t* rows, ChannelOrder order);
void read_rows(const WorldView& world, std::uint8_t* rows, ChannelOrder order);

// The bytes between width * 4 and rowbytes in every row.
void fill_row_padding(const WorldView& world, std::uint8_t value);
bool row_padding_holds(const WorldView& world, std::uint8_t value);

}  // namespace shardcast::hostsim
