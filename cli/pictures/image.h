// Pictures as the renderer's commands see them, and the files they come from
// and go to. Inside the tool a picture is always 8-bit red, green, blue,
// alpha, rows following one another directly.
//
// Reading recognises PNG and JPEG by their first bytes, not by the file name;
// anything else, a corrupt file or an unreadable one is refused with a reason.
// A file's header is judged against the picture limits (picture_limits.h)
// before the picture's buffer is made.
// Writing chooses PNG or JPEG by the output's extension and goes through a
// temporary file in the output's folder, renamed into place only when the
// whole file is written, so a failure never leaves a partial picture behind.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "cli/pictures/picture_limits.h"

namespace shardcast::cli {

struct Image {
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<std::uint8_t> rgba;  // width * height * 4 bytes

  static Image filled(std::int32_t width, std::int32_t height, std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                      std::uint8_t alpha);
  std::uint8_t* pixel(std::int32_t x, std::int32_t y) {
    return rgba.data() +
           (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4;
  }
};

// What went wrong, worded to follow "cannot read FILE: " or "cannot write
// FILE: ". Empty on success. A picture read in spite of damage (a JPEG
// whose scan data libjpeg cannot make sense of; it fills in grey) is a
// success with a warning: the decoder's words for what was wrong.
struct ImageResult {
  std::string error;
  std::string warning;

  ImageResult() = default;
  ImageResult(std::string failure) : error(std::move(failure)) {}  // NOLINT: a reason reads as a result
  static ImageResult damaged(std::string what) {
    ImageResult result;
    result.warning = std::move(what);
    return result;
  }
  bool ok() const { return error.empty(); }
};

enum class ImageFormat { Png, Jpeg };

// The whole file, bounded by max_file_bytes.
ImageResult read_file_bytes(const std::string& path, std::vector<std::uint8_t>& bytes);
inline constexpr std::size_t max_file_bytes = std::size_t{1} << 30;

ImageResult read_image(const std::string& path, Image& image, const PictureLimits& limits = {});
// A PNG or JPEG picture recognised by its first bytes.
ImageResult decode_image(const std::vector<std::uint8_t>& bytes, Image& image, const PictureLimits& limits = {});
ImageResult decode_png(const std::vector<std::uint8_t>& bytes, Image& image, const PictureLimits& limits = {});
// A JPEG cut short or damaged inside reads with a warning, as long as its data
// could fill the frame it declares.
ImageResult decode_jpeg(const std::vector<std::uint8_t>& bytes, Image& image, const PictureLimits& limits = {});

// A file name's extension with its dot, in lower case (".png").
std::string lower_extension(const std::string& path);
// The format an output name asks for; false for anything but .png, .jpg or
// .jpeg (any letter case).
bool output_format_for(const std::string& path, ImageFormat& format);

// Quality of JPEG outputs unless --quality says otherwise; high, so the
// written file shows the effect's damage rather than new compression
// artefacts. JPEG outputs are baseline with 4:4:4 sampling, so that no
// colour resolution is lost and `decode` reads them.
inline constexpr int default_jpeg_quality = 95;

ImageResult encode_image(const Image& image, ImageFormat format, int jpeg_quality, std::vector<std::uint8_t>& bytes);
ImageResult encode_png(const Image& image, std::vector<std::uint8_t>& bytes);
ImageResult encode_jpeg(const Image& image, int quality, std::vector<std::uint8_t>& bytes);
ImageResult write_image(const std::string& path, const Image& image, int jpeg_quality = default_jpeg_quality);

// Whether a file can be created at path: its folder exists and path is not
// itself a folder. Empty when it can, otherwise the reason, worded to
// follow "cannot write FILE: ".
std::string check_output_path(const std::string& path);
// A name for a temporary file beside path that does not exist yet.
std::filesystem::path temporary_path_beside(const std::string& path);

}  // namespace shardcast::cli
