// Reading pictures back to back from a stream, and writing them.
//
// The JPEG walk follows the interchange format's framing only: markers with
// a length are skipped by it, standalone markers (RSTn, TEM) have none, and
// after a start-of-scan the entropy-coded data runs to the next marker that
// is neither a stuffed 0xFF00 nor a restart. That is enough to find EOI in
// baseline, progressive and damaged streams alike; what the bytes mean is
// the decoder's business.
#include "cli/pictures/picture_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "cli/pictures/file_signatures.h"

namespace shardcast::cli {
namespace {

constexpr const char* jpeg_ended = "the stream ends inside a JPEG picture";

}  // namespace

bool PictureStreamReader::byte(std::uint8_t& value) {
  const int c = std::fgetc(file_);
  if (c == EOF) {
    return false;
  }
  value = static_cast<std::uint8_t>(c);
  return true;
}

bool PictureStreamReader::bytes(std::size_t count, std::vector<std::uint8_t>& out) {
  if (count > max_file_bytes - out.size()) {
    return false;
  }
  // Piece by piece, so that a length that promises more than arrives costs
  // no more than what arrived.
  constexpr std::size_t piece = 65536;
  while (count > 0) {
    const std::size_t wanted = std::min(count, piece);
    const std::size_t start = out.size();
    out.resize(start + wanted);
    const std::size_t got = std::fread(out.data() + start, 1, wanted, file_);
    if (got < wanted) {
      out.resize(start + got);
      return false;
    }
    count -= wanted;
  }
  return true;
}

std::string PictureStreamReader::next(std::vector<std::uint8_t>& out, bool& end) {
  out.clear();
  end = false;
  std::uint8_t first = 0;
  if (!byte(first)) {
    if (std::ferror(file_) != 0) {
      return std::string("reading failed (") + std::strerror(errno) + ")";
    }
    end = true;
    return {};
  }
  out.push_back(first);
  std::string failure;
  if (first == png_signature[0]) {
    failure = read_png(out);
  } else if (first == jpeg_start[0]) {
    failure = read_jpeg(out);
  } else {
    failure = "not a PNG or JPEG picture";
  }
  if (failure.empty()) {
    ++count_;
    return {};
  }
  return "picture " + std::to_string(count_ + 1) + ": " + failure;
}

std::string PictureStreamReader::read_png(std::vector<std::uint8_t>& out) {
  if (!bytes(sizeof png_signature - 1, out) || !begins_with(out, png_signature)) {
    return "not a PNG or JPEG picture";
  }
  for (;;) {
    const std::size_t header = out.size();
    if (!bytes(8, out)) {
      return "the stream ends inside a PNG picture";
    }
    const std::uint32_t length = big_endian_32(out.data() + header);
    if (length > 0x7FFFFFFFu) {
      return "corrupt PNG picture (a chunk longer than PNG allows)";
    }
    if (std::size_t{length} + 4 > max_file_bytes - out.size()) {
      return "a picture larger than 1 GiB";
    }
    if (!bytes(std::size_t{length} + 4, out)) {
      return "the stream ends inside a PNG picture";
    }
    if (std::memcmp(out.data() + header + 4, "IHDR", 4) == 0 && length >= 8) {
      if (std::string refusal = limits_.check_size("picture", big_endian_32(out.data() + header + 8),
                                                   big_endian_32(out.data() + header + 12));
          !refusal.empty()) {
        return refusal;
      }
    }
    if (std::memcmp(out.data() + header + 4, "IEND", 4) == 0) {
      return {};
    }
  }
}

std::string PictureStreamReader::read_jpeg(std::vector<std::uint8_t>& out) {
  std::uint8_t value = 0;
  if (!byte(value) || value != jpeg_start_of_image[1]) {
    return "not a PNG or JPEG picture";
  }
  out.push_back(value);
  bool in_scan = false;
  for (;;) {
    if (out.size() >= max_file_bytes) {
      return "a picture larger than 1 GiB";
    }
    if (!byte(value)) {
      return jpeg_ended;
    }
    out.push_back(value);
    if (value != 0xFF) {
      if (in_scan) {
        continue;
      }
      return "corrupt JPEG picture (bytes between its segments)";
    }
    std::uint8_t marker = 0xFF;
    while (marker == 0xFF) {
      if (!byte(marker)) {
        return jpeg_ended;
      }
      out.push_back(marker);
    }
    if (in_scan && (marker == 0x00 || (marker >= 0xD0 && marker <= 0xD7))) {
      continue;
    }
    in_scan = false;
    if (marker == 0xD9) {
      return {};
    }
    if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01 || marker == 0x00) {
      continue;
    }
    if (std::string failure = read_segment(marker, out); !failure.empty()) {
      return failure;
    }
    in_scan = marker == 0xDA;
  }
}

// A marker's segment: its length field and what the length covers. A
// frame header's size is judged as soon as it has passed.
std::string PictureStreamReader::read_segment(std::uint8_t marker, std::vector<std::uint8_t>& out) {
  const std::size_t at = out.size();
  if (!bytes(2, out)) {
    return jpeg_ended;
  }
  const std::size_t length = big_endian_16(out.data() + at);
  if (length < 2) {
    return "corrupt JPEG picture (a segment shorter than its length field)";
  }
  if (!bytes(length - 2, out)) {
    return jpeg_ended;
  }
  if (is_start_of_frame(marker) && length >= 7) {
    const std::uint32_t height = big_endian_16(out.data() + at + 3);
    const std::uint32_t width = big_endian_16(out.data() + at + 5);
    if (std::string refusal = limits_.check_size("picture", width, height); !refusal.empty()) {
      return refusal;
    }
  }
  return {};
}

std::string write_picture(std::FILE* file, const Image& image, ImageFormat format, int quality) {
  std::vector<std::uint8_t> bytes;
  if (ImageResult encoded = encode_image(image, format, quality, bytes); !encoded.ok()) {
    return encoded.error;
  }
  if (std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fflush(file) != 0) {
    return std::strerror(errno);
  }
  return {};
}

}  // namespace shardcast::cli
