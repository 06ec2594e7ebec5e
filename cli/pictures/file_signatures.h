// How the picture files the tool reads begin, the JPEG markers its readers
// look for and the byte order of both formats' numbers, written once for
// every reader that reads a format by its bytes (the picture files,
// pictures on standard input, the render's input, `decode`'s stream and
// the JPEG kinds).
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>

namespace shardcast::cli {

// PNG's signature, and a JPEG's start-of-image marker followed by the
// first segment's marker.
inline constexpr std::uint8_t png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
inline constexpr std::uint8_t jpeg_start[3] = {0xFF, 0xD8, 0xFF};
// The start-of-image marker alone.
inline constexpr std::span<const std::uint8_t, 2> jpeg_start_of_image{jpeg_start, 2};

constexpr bool begins_with(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> signature) {
  return bytes.size() >= signature.size() && std::equal(signature.begin(), signature.end(), bytes.begin());
}

// PNG's and JPEG's numbers are big-endian: the 16- or 32-bit value whose
// first byte is at `bytes`. The caller has checked that all its bytes are
// there.
constexpr std::uint16_t big_endian_16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>((bytes[0] << 8) | bytes[1]);
}

constexpr std::uint32_t big_endian_32(const std::uint8_t* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
         std::uint32_t{bytes[3]};
}

// A frame header's marker, SOF0 to SOF15: the C0 to CF range without the
// DHT, JPG and DAC markers that share it.
constexpr bool is_start_of_frame(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

}  // namespace shardcast::cli
