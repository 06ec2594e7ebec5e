// Reading and writing picture files: the whole file read within its
// bound, the format told by the first bytes when reading and by the
// extension when writing, each format in a file of its own (png_files.cpp,
// jpeg_files.cpp), and every file written whole or not at all. Refuses
// files that are neither PNG nor JPEG and output names without a known
// extension.
#include "cli/pictures/image.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "cli/output/pending_file.h"
#include "cli/pictures/file_signatures.h"

namespace shardcast::cli {
namespace {

std::string system_reason(int error_number) { return std::strerror(error_number); }

// Through a temporary file beside the target, renamed into place only
// when the whole file is written (see pending_file.h).
ImageResult write_file_atomically(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  if (std::string failure = write_whole_file(path, bytes); !failure.empty()) {
    return {failure};
  }
  return {};
}

}  // namespace

std::string check_output_path(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  std::error_code error;
  if (fs::is_directory(target, error)) {
    return "it is a folder";
  }
  if (!fs::exists(folder, error)) {
    return "folder " + folder.string() + " does not exist";
  }
  if (!fs::is_directory(folder, error)) {
    return folder.string() + " is not a folder";
  }
  return {};
}

std::filesystem::path temporary_path_beside(const std::string& path) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  std::random_device entropy;
  std::error_code error;
  fs::path temporary;
  do {
    char name[40];
    std::snprintf(name, sizeof name, ".shardcast-%08x.tmp", static_cast<unsigned>(entropy()));
    temporary = folder / name;
  } while (fs::exists(temporary, error));
  return temporary;
}

Image Image::filled(std::int32_t width, std::int32_t height, std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                    std::uint8_t alpha) {
  Image image;
  image.width = width;
  image.height = height;
  image.rgba.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
  for (std::size_t i = 0; i < image.rgba.size(); i += 4) {
    image.rgba[i] = red;
    image.rgba[i + 1] = green;
    image.rgba[i + 2] = blue;
    image.rgba[i + 3] = alpha;
  }
  return image;
}

ImageResult read_file_bytes(const std::string& path, std::vector<std::uint8_t>& bytes) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    return {"it is a folder"};
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return {system_reason(errno)};
  }
  bytes.clear();
  std::uint8_t chunk[65536];
  ImageResult result;
  for (;;) {
    const std::size_t count = std::fread(chunk, 1, sizeof chunk, file);
    if (bytes.size() + count > max_file_bytes) {
      result.error = "file is larger than 1 GiB";
      break;
    }
    bytes.insert(bytes.end(), chunk, chunk + count);
    if (count < sizeof chunk) {
      if (std::ferror(file) != 0) {
        result.error = "read error";
      }
      break;
    }
  }
  std::fclose(file);
  return result;
}

ImageResult read_image(const std::string& path, Image& image, const PictureLimits& limits) {
  std::vector<std::uint8_t> bytes;
  if (ImageResult result = read_file_bytes(path, bytes); !result.ok()) {
    return result;
  }
  return decode_image(bytes, image, limits);
}

ImageResult decode_image(const std::vector<std::uint8_t>& bytes, Image& image, const PictureLimits& limits) {
  if (begins_with(bytes, png_signature)) {
    return decode_png(bytes, image, limits);
  }
  if (begins_with(bytes, jpeg_start)) {
    return decode_jpeg(bytes, image, limits);
  }
  return {"not a PNG or JPEG file"};
}

std::string lower_extension(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

bool output_format_for(const std::string& path, ImageFormat& format) {
  const std::string extension = lower_extension(path);
  if (extension == ".png") {
    format = ImageFormat::Png;
    return true;
  }
  if (extension == ".jpg" || extension == ".jpeg") {
    format = ImageFormat::Jpeg;
    return true;
  }
  return false;
}

ImageResult encode_image(const Image& image, ImageFormat format, int jpeg_quality, std::vector<std::uint8_t>& bytes) {
  return format == ImageFormat::Png ? encode_png(image, bytes) : encode_jpeg(image, jpeg_quality, bytes);
}

ImageResult write_image(const std::string& path, const Image& image, int jpeg_quality) {
  ImageFormat format{};
  if (!output_format_for(path, format)) {
    return {"unknown picture format (use .png, .jpg or .jpeg)"};
  }
  std::vector<std::uint8_t> bytes;
  if (ImageResult encoded = encode_image(image, format, jpeg_quality, bytes); !encoded.ok()) {
    return encoded;
  }
  return write_file_atomically(path, bytes);
}

}  // namespace shardcast::cli
