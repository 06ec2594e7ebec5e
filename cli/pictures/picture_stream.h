// Pictures through standard input and output, so that the tool fits in a
// shell pipeline: one picture or many, one after another, as ffmpeg's
// image2pipe reads and writes them.
//
// Reading takes PNG and JPEG pictures back to back and finds where each
// ends by its own structure (PNG chunks up to IEND; JPEG segments, scan
// data and markers up to EOI), so no picture is read past its end. Each is
// bounded by max_file_bytes, and its buffer grows with the bytes that
// actually arrive: a length field in the data never sets aside memory by
// itself. The size a picture declares (PNG's IHDR, a JPEG frame header) is
// judged against the picture limits as soon as it passes, before the
// picture's data is read. Refuses anything else, and a stream that ends
// inside a picture.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/pictures/image.h"
#include "cli/pictures/picture_limits.h"

namespace shardcast::cli {

class PictureStreamReader {
 public:
  explicit PictureStreamReader(std::FILE* file, const PictureLimits& limits = {}) : file_(file), limits_(limits) {}

  // The bytes of the next picture; `end` is set instead when the stream
  // ends between pictures. Empty on success, otherwise the reason.
  std::string next(std::vector<std::uint8_t>& bytes, bool& end);
  std::int64_t pictures_read() const { return count_; }

 private:
  bool byte(std::uint8_t& value);
  bool bytes(std::size_t count, std::vector<std::uint8_t>& out);
  std::string read_png(std::vector<std::uint8_t>& out);
  std::string read_jpeg(std::vector<std::uint8_t>& out);
  std::string read_segment(std::uint8_t marker, std::vector<std::uint8_t>& out);

  std::FILE* file_;
  PictureLimits limits_;
  std::int64_t count_ = 0;
};

// Encodes the picture and writes it to the stream, flushed. Empty on
// success, otherwise the reason.
std::string write_picture(std::FILE* file, const Image& image, ImageFormat format, int quality);

}  // namespace shardcast::cli
