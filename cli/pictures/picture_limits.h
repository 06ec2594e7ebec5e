// How large a picture the tool takes in, judged from a file's header before
// anything in proportion to the size it claims is allocated. Every reader
// (PNG, JPEG, `decode`'s frame header, and any later format) asks the same
// two questions in the same words: is the claimed size within the limit, and
// can the data the file holds fill a picture of that size at all. A header
// that claims more than its file can hold is refused before its buffers
// exist, so a 100-byte file never costs more memory than a 100-byte file.
#pragma once

#include <cstdint>
#include <string>

namespace shardcast::cli {

// The default limit: 8192 x 8192 pixels. A render holds about 36 bytes per
// pixel at its peak (the picture read, the host's input and output worlds,
// the work buffer, the JPEG stream, the decoder's coefficients at 12 bytes
// and the picture written), so the limit keeps one render under 2.5 GB,
// while 8K frames (7680 x 4320 and 8192 x 4320, 33 and 35 million pixels)
// fit almost twice over. --max-pixels raises or lowers it.
inline constexpr std::uint64_t default_max_pixels = std::uint64_t{1} << 26;

// Inside the tool sides are signed 32-bit numbers.
inline constexpr std::uint64_t max_picture_side = INT32_MAX;

struct PictureLimits {
  std::uint64_t max_pixels = default_max_pixels;

  // The longest side a picture may have within the limit.
  std::uint64_t max_side() const { return max_pixels < max_picture_side ? max_pixels : max_picture_side; }

  // Empty when a picture of width x height may be read, otherwise the
  // refusal, naming the picture as `what` ("picture", "its frame").
  std::string check_size(const std::string& what, std::uint64_t width, std::uint64_t height) const;
};

// Empty when `available` bytes of coded data can fill a picture of
// width x height whose coding needs at least `least` bytes, otherwise the
// refusal. Each format works out its own `least` from its header.
std::string check_data_fills(std::uint64_t width, std::uint64_t height, std::uint64_t least, std::uint64_t available);

}  // namespace shardcast::cli
