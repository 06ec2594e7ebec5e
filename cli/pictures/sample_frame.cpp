// The built-in sample frame: a test picture generated in code, so that a
// fresh build can show the effect without any input file.
//
// It holds what makes JPEG damage visible: saturated colour bars (colour
// shifts), smooth gradients (block edges and smears), one-pixel detail and a
// zone plate (ringing, lost high frequencies) and hard-edged lettering
// (stripes and displaced blocks). Only integer arithmetic is used, so the
// frame is the same on every machine. Any size is accepted; the layout is
// drawn for 640x360 and scaled to the size asked for.
#include "cli/pictures/sample_frame.h"

#include <array>
#include <cstdlib>

namespace shardcast::cli {
namespace {

constexpr std::int32_t layout_width = 640;
constexpr std::int32_t layout_height = 360;

struct Colour {
  std::uint8_t red, green, blue;
};

// clang-format off
constexpr std::array<Colour, 8> colour_bars = {{{255, 255, 255},
                                                 {255, 255, 0},
                                                 {0, 255, 255},
                                                 {0, 255, 0},
                                                 {255, 0, 255},
                                                 {255, 0, 0},
                                                 {0, 0, 255},
                                                 {16, 16, 16}}};
// clang-format on

// 5x7 capitals, one row per entry, most significant of the five bits leftmost.
struct Glyph {
  char letter;
  std::array<std::uint8_t, 7> rows;
};

constexpr std::array<Glyph, 7> glyphs = {{
    {'S', {0b01111, 0b10000, 0b10000, 0b01110, 0b00001, 0b00001, 0b11110}},
    {'H', {0b10001, 0b10001, 0b10001, 0b11111, 0b10001, 0b10001, 0b10001}},
    {'A', {0b01110, 0b10001, 0b10001, 0b11111, 0b10001, 0b10001, 0b10001}},
    {'R', {0b11110, 0b10001, 0b10001, 0b11110, 0b10100, 0b10010, 0b10001}},
    {'D', {0b11110, 0b10001, 0b10001, 0b10001, 0b10001, 0b10001, 0b11110}},
    {'C', {0b01111, 0b10000, 0b10000, 0b10000, 0b10000, 0b10000, 0b01111}},
    {'T', {0b11111, 0b00100, 0b00100, 0b00100, 0b00100, 0b00100, 0b00100}},
}};

constexpr const char* lettering = "SHARDCAST";

// Whether layout point (x, y) is ink of the word drawn with its top-left
// corner at (left, top), each font pixel scale x scale layout pixels, glyphs
// six font pixels apart.
bool lettering_ink(std::int32_t x, std::int32_t y, std::int32_t left, std::int32_t top, std::int32_t scale) {
  if (x < left || y < top) {
    return false;
  }
  const std::int32_t column = (x - left) / scale;
  const std::int32_t row = (y - top) / scale;
  const std::int32_t glyph_index = column / 6;
  const std::int32_t glyph_column = column % 6;
  if (row >= 7 || glyph_column == 5 || glyph_index >= 9) {
    return false;
  }
  for (const Glyph& glyph : glyphs) {
    if (glyph.letter == lettering[glyph_index]) {
      return ((glyph.rows[static_cast<std::size_t>(row)] >> (4 - glyph_column)) & 1) != 0;
    }
  }
  return false;
}

std::uint8_t triangle(std::int32_t phase) {
  const std::int32_t v = phase & 255;
  return static_cast<std::uint8_t>(v < 128 ? v * 2 : (255 - v) * 2);
}

// A hue ramp over 0..1535: red, yellow, green, cyan, blue, magenta, red.
Colour hue(std::int32_t position) {
  const std::int32_t sector = position / 256;
  const auto rise = static_cast<std::uint8_t>(position % 256);
  const auto fall = static_cast<std::uint8_t>(255 - position % 256);
  switch (sector) {
    // clang-format off
    case 0: return {255, rise, 0};
    case 1: return {fall, 255, 0};
    case 2: return {0, 255, rise};
    case 3: return {0, fall, 255};
    case 4: return {rise, 0, 255};
    default: return {255, 0, fall};
      // clang-format on
  }
}

Colour layout_colour(std::int32_t x, std::int32_t y) {
  if (y < 120) {
    return colour_bars[static_cast<std::size_t>(x / 80)];
  }
  if (y < 150) {
    const auto grey = static_cast<std::uint8_t>(x * 255 / (layout_width - 1));
    return {grey, grey, grey};
  }
  if (y < 180) {
    return hue(x * 1535 / (layout_width - 1));
  }
  if (y < 270) {
    if (x < 80) {
      const std::uint8_t v = ((x + y) & 1) != 0 ? 255 : 0;  // one-pixel checkerboard
      return {v, v, v};
    }
    if (x < 160) {
      const std::uint8_t v = (x / 2) % 2 != 0 ? 230 : 20;        // two-pixel stripes
      const std::uint8_t w = ((x + y) / 3) % 2 != 0 ? 200 : 40;  // fine diagonals
      return y < 225 ? Colour{v, v, v} : Colour{w, 40, static_cast<std::uint8_t>(255 - w)};
    }
    if (x < 320) {
      const std::int32_t dx = x - 240;
      const std::int32_t dy = y - 225;
      const std::uint8_t v = triangle((dx * dx + dy * dy) / 8);  // zone plate
      return {v, v, v};
    }
    if (lettering_ink(x, y, 340, 208, 4)) {
      return {12, 12, 24};
    }
    return {236, 232, 220};
  }
  // Bottom band: a vertical blue-to-orange gradient with a disc, and the
  // lettering small enough that its edges cross block boundaries.
  const std::int32_t t = (y - 270) * 255 / (layout_height - 271);
  if (lettering_ink(x, y, 24, 300, 2) || lettering_ink(x, y, 160, 308, 1)) {
    return {255, 255, 255};
  }
  const std::int32_t dx = x - 480;
  const std::int32_t dy = y - 315;
  if (dx * dx + dy * dy <= 36 * 36) {
    return {250, 250, 250};
  }
  return {static_cast<std::uint8_t>(t), static_cast<std::uint8_t>(60 + t / 3), static_cast<std::uint8_t>(255 - t)};
}

}  // namespace

Image sample_frame(std::int32_t width, std::int32_t height) {
  Image image = Image::filled(width, height, 0, 0, 0, 255);
  for (std::int32_t y = 0; y < height; ++y) {
    const auto layout_y = static_cast<std::int32_t>(static_cast<std::int64_t>(y) * layout_height / height);
    for (std::int32_t x = 0; x < width; ++x) {
      const auto layout_x = static_cast<std::int32_t>(static_cast<std::int64_t>(x) * layout_width / width);
      const Colour colour = layout_colour(layout_x, layout_y);
      std::uint8_t* pixel = image.pixel(x, y);
      pixel[0] = colour.red;
      pixel[1] = colour.green;
      pixel[2] = colour.blue;
    }
  }
  return image;
}

}  // namespace shardcast::cli
