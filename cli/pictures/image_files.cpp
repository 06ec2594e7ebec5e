// Reading and writing picture files: PNG through libpng, JPEG through
// TurboJPEG.
//
// Tolerates every PNG colour type and bit depth (palette, grey, grey with
// alpha, RGB, RGBA; 1 to 16 bits, interlaced or not): libpng's transforms
// bring each to 8-bit RGBA, 16-bit samples scaled to 8. JPEG inputs get an
// opaque alpha; a JPEG cut short or damaged inside is decoded as far as it
// goes, with a warning. Refuses files that are neither, corrupt files,
// pictures beyond the limits, headers that claim more pixels than their
// file's data can fill, and output names without a known extension.
// The size checks run on the header alone, before any buffer in proportion
// to the claimed size (libpng's row buffers included) is made.
#include "cli/pictures/image.h"

#include <png.h>
#include <turbojpeg.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <random>

#include "cli/output/pending_file.h"
#include "cli/pictures/file_signatures.h"

namespace shardcast::cli {
namespace {

std::string system_reason(int error_number) { return std::strerror(error_number); }

// libpng reports errors by longjmp; everything the jump skips must be plain
// data, so the state lives here and is released by its owner after the jump.
struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t position = 0;
  char error[200] = {};

  PngReader() = default;
  PngReader(const PngReader&) = delete;
  PngReader& operator=(const PngReader&) = delete;
  ~PngReader() { png_destroy_read_struct(&png, info != nullptr ? &info : nullptr, nullptr); }
};

void png_error_handler(png_structp png, png_const_charp message) {
  auto* reader = static_cast<PngReader*>(png_get_error_ptr(png));
  std::snprintf(reader->error, sizeof reader->error, "corrupt PNG file (%s)", message);
  png_longjmp(png, 1);
}

void png_warning_handler(png_structp, png_const_charp) {}

void png_read_from_memory(png_structp png, png_bytep out, png_size_t count) {
  auto* reader = static_cast<PngReader*>(png_get_io_ptr(png));
  if (count > reader->size - reader->position) {
    png_error(png, "file ends early");
  }
  std::memcpy(out, reader->data + reader->position, count);
  reader->position += count;
}

std::uint32_t big_endian_32(const std::uint8_t* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
}

// The size the IHDR chunk declares, read before libpng sees the file: libpng
// refuses a size beyond its limits with no more than "Invalid IHDR data".
// False when the file does not open with an IHDR chunk (libpng then says
// what is wrong).
bool png_declared_size(const std::vector<std::uint8_t>& bytes, std::uint32_t& width, std::uint32_t& height) {
  constexpr std::size_t chunk = sizeof png_signature;
  if (bytes.size() < chunk + 16 || std::memcmp(bytes.data() + chunk + 4, "IHDR", 4) != 0) {
    return false;
  }
  width = big_endian_32(bytes.data() + chunk + 8);
  height = big_endian_32(bytes.data() + chunk + 12);
  return true;
}

// Deflate codes at most 258 bytes in two bits, so compressed data never
// inflates to more than 1032 times its size.
constexpr std::uint64_t deflate_max_ratio = 1032;

// Reads the chunks up to the picture data. Returns false after a libpng
// error (reader.error says why).
bool png_read_header(PngReader& reader) {
  if (setjmp(png_jmpbuf(reader.png)) != 0) {
    return false;
  }
  png_set_read_fn(reader.png, &reader, &png_read_from_memory);
  png_read_info(reader.png, reader.info);
  return true;
}

// Sets up the transforms to 8-bit RGBA; this allocates libpng's row
// buffers. Returns the number of interlace passes, 0 after a libpng error.
int png_set_up_rgba(PngReader& reader) {
  if (setjmp(png_jmpbuf(reader.png)) != 0) {
    return 0;
  }
  const int colour_type = png_get_color_type(reader.png, reader.info);
  const int bit_depth = png_get_bit_depth(reader.png, reader.info);
  if (bit_depth == 16) {
    png_set_scale_16(reader.png);
  }
  if (colour_type == PNG_COLOR_TYPE_PALETTE) {
    png_set_palette_to_rgb(reader.png);
  }
  if (colour_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8) {
    png_set_expand_gray_1_2_4_to_8(reader.png);
  }
  if (png_get_valid(reader.png, reader.info, PNG_INFO_tRNS) != 0) {
    png_set_tRNS_to_alpha(reader.png);
  }
  if (colour_type == PNG_COLOR_TYPE_GRAY || colour_type == PNG_COLOR_TYPE_GRAY_ALPHA) {
    png_set_gray_to_rgb(reader.png);
  }
  png_set_add_alpha(reader.png, 0xFF, PNG_FILLER_AFTER);
  const int passes = png_set_interlace_handling(reader.png);
  png_read_update_info(reader.png, reader.info);
  return passes;
}

// Row by row into the picture, as png_read_image does, but without an array
// of row addresses as long as the picture is high.
bool png_read_rows(PngReader& reader, Image& image, int passes) {
  if (setjmp(png_jmpbuf(reader.png)) != 0) {
    return false;
  }
  for (int pass = 0; pass < passes; ++pass) {
    for (std::int32_t y = 0; y < image.height; ++y) {
      png_read_row(reader.png, image.pixel(0, y), nullptr);
    }
  }
  png_read_end(reader.png, nullptr);
  return true;
}

struct TurboJpegHandle {
  tjhandle handle;
  explicit TurboJpegHandle(tjhandle h) : handle(h) {}
  TurboJpegHandle(const TurboJpegHandle&) = delete;
  TurboJpegHandle& operator=(const TurboJpegHandle&) = delete;
  ~TurboJpegHandle() {
    if (handle != nullptr) {
      tjDestroy(handle);
    }
  }
};

struct TurboJpegBuffer {
  unsigned char* data = nullptr;
  unsigned long size = 0;
  TurboJpegBuffer() = default;
  TurboJpegBuffer(const TurboJpegBuffer&) = delete;
  TurboJpegBuffer& operator=(const TurboJpegBuffer&) = delete;
  ~TurboJpegBuffer() { tjFree(data); }
};

// What a JPEG file's marker segments say about its coded data. Markers are
// found as libjpeg finds them: stray and fill bytes between segments are
// skipped.
struct JpegLayout {
  std::uint32_t width = 0;  // as the frame header declares; 0 x 0 without one
  std::uint32_t height = 0;
  std::size_t scan_start = 0;  // the first byte after the first scan header
  bool ends = false;           // an end-of-image marker follows it
  std::uint64_t least = 0;     // the fewest bytes of coded data the frame needs
};

// A Huffman-coded frame (baseline, extended or progressive) codes at least
// one component, and the first scan of a component codes a DC difference
// for each of its blocks in at least one bit (a progressive AC scan may code
// a run of empty blocks in one code, but only after that DC scan): at least
// one bit per block of the smallest component. Arithmetic coding has no such
// floor (nor do the processes TurboJPEG cannot decode anyway), so those
// frames need no bytes here.
std::uint64_t least_huffman_bytes(const std::uint8_t* frame, std::size_t length) {
  if (length < 6 || frame[5] == 0 || length < 6 + std::size_t{frame[5]} * 3) {
    return 0;
  }
  const std::uint64_t height = (std::uint64_t{frame[1]} << 8) | frame[2];
  const std::uint64_t width = (std::uint64_t{frame[3]} << 8) | frame[4];
  const std::uint8_t* components = frame + 6;
  std::uint64_t h_max = 1;
  std::uint64_t v_max = 1;
  for (std::size_t c = 0; c < frame[5]; ++c) {
    h_max = std::max<std::uint64_t>(h_max, components[c * 3 + 1] >> 4);
    v_max = std::max<std::uint64_t>(v_max, components[c * 3 + 1] & 0x0F);
  }
  // Blocks along one side of a component: its samples, rounded up, in 8s.
  auto blocks = [](std::uint64_t size, std::uint64_t factor, std::uint64_t max) {
    return ((size * factor + max - 1) / max + 7) / 8;
  };
  std::uint64_t fewest = UINT64_MAX;
  for (std::size_t c = 0; c < frame[5]; ++c) {
    const std::uint64_t h = components[c * 3 + 1] >> 4;
    const std::uint64_t v = components[c * 3 + 1] & 0x0F;
    fewest = std::min(fewest, blocks(width, h, h_max) * blocks(height, v, v_max));
  }
  return fewest / 8;
}

JpegLayout jpeg_layout(const std::vector<std::uint8_t>& bytes) {
  JpegLayout layout;
  std::size_t at = 2;  // after the start-of-image marker
  while (at + 1 < bytes.size()) {
    const std::uint8_t marker = bytes[at + 1];
    if (bytes[at] != 0xFF || marker == 0xFF || marker == 0x00) {
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // markers without a segment
      at += 2;
      continue;
    }
    if (marker == 0xD9 || at + 3 >= bytes.size()) {
      break;
    }
    const std::size_t length = (std::size_t{bytes[at + 2]} << 8) | bytes[at + 3];
    if (length < 2 || length > bytes.size() - at - 2) {
      break;
    }
    if (is_start_of_frame(marker) && length >= 7) {
      layout.height = (std::uint32_t{bytes[at + 5]} << 8) | bytes[at + 6];
      layout.width = (std::uint32_t{bytes[at + 7]} << 8) | bytes[at + 8];
    }
    if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
      layout.least = least_huffman_bytes(bytes.data() + at + 4, length - 2);
    }
    if (marker == 0xDA) {
      layout.scan_start = at + 2 + length;
      // Inside coded data 0xFF is always followed by 0x00 or a marker, so the
      // first 0xFF 0xD9 after the scan header is the end-of-image marker.
      for (std::size_t i = layout.scan_start; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xD9) {
          layout.ends = true;
          break;
        }
      }
      break;
    }
    at += 2 + length;
  }
  return layout;
}

// The writer's side of libpng, plain data for the same reason as the
// reader's: the encoded bytes go into `bytes` as libpng hands them over.
struct PngWriter {
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<std::uint8_t>* bytes = nullptr;
  char error[200] = {};

  PngWriter() = default;
  PngWriter(const PngWriter&) = delete;
  PngWriter& operator=(const PngWriter&) = delete;
  ~PngWriter() { png_destroy_write_struct(&png, info != nullptr ? &info : nullptr); }
};

void png_write_error_handler(png_structp png, png_const_charp message) {
  auto* writer = static_cast<PngWriter*>(png_get_error_ptr(png));
  std::snprintf(writer->error, sizeof writer->error, "PNG encoding failed (%s)", message);
  png_longjmp(png, 1);
}

void png_write_to_memory(png_structp png, png_bytep data, png_size_t count) {
  auto* writer = static_cast<PngWriter*>(png_get_io_ptr(png));
  bool stored = true;
  try {
    writer->bytes->insert(writer->bytes->end(), data, data + count);
  } catch (const std::bad_alloc&) {
    stored = false;
  }
  if (!stored) {
    png_error(png, "out of memory");
  }
}

void png_flush_nothing(png_structp) {}

// One pass, tuned for speed at about the size of libpng's defaults: zlib's
// run-length strategy on Paeth-filtered rows. On a 1080p photograph,
// glitched or not, that is some 90 ms and 4-6 % more bytes, where libpng's
// defaults (level 6, adaptive filters) take 600-700 ms, and the simplified
// API, which sizes its output by encoding once more, twice that.
bool png_write_rows(PngWriter& writer, const Image& image) {
  if (setjmp(png_jmpbuf(writer.png)) != 0) {
    return false;
  }
  png_set_write_fn(writer.png, &writer, &png_write_to_memory, &png_flush_nothing);
  png_set_IHDR(writer.png, writer.info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height),
               8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_strategy(writer.png, Z_RLE);
  png_set_compression_level(writer.png, 1);  // Z_RLE ignores levels beyond 0
  png_set_filter(writer.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_PAETH);
  png_write_info(writer.png, writer.info);
  for (std::int32_t y = 0; y < image.height; ++y) {
    png_write_row(writer.png, image.rgba.data() + static_cast<std::size_t>(y) * image.width * 4);
  }
  png_write_end(writer.png, nullptr);
  return true;
}

ImageResult encode_png(const Image& image, std::vector<std::uint8_t>& bytes) {
  PngWriter writer;
  writer.bytes = &bytes;
  bytes.clear();
  writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &writer, &png_write_error_handler, &png_warning_handler);
  if (writer.png != nullptr) {
    writer.info = png_create_info_struct(writer.png);
  }
  if (writer.info == nullptr) {
    return {"PNG encoder unavailable"};
  }
  if (!png_write_rows(writer, image)) {
    return {writer.error};
  }
  return {};
}

ImageResult encode_jpeg(const Image& image, int quality, std::vector<std::uint8_t>& bytes) {
  TurboJpegHandle compressor(tjInitCompress());
  if (compressor.handle == nullptr) {
    return {std::string("JPEG encoder unavailable (") + tjGetErrorStr2(nullptr) + ")"};
  }
  TurboJpegBuffer stream;
  if (tjCompress2(compressor.handle, image.rgba.data(), image.width, 0, image.height, TJPF_RGBA, &stream.data,
                  &stream.size, TJSAMP_444, quality, 0) != 0) {
    return {std::string("JPEG encoding failed (") + tjGetErrorStr2(compressor.handle) + ")"};
  }
  bytes.assign(stream.data, stream.data + stream.size);
  return {};
}

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

ImageResult decode_png(const std::vector<std::uint8_t>& bytes, Image& image, const PictureLimits& limits) {
  std::uint32_t declared_width = 0;
  std::uint32_t declared_height = 0;
  if (png_declared_size(bytes, declared_width, declared_height)) {
    if (std::string refusal = limits.check_size("picture", declared_width, declared_height); !refusal.empty()) {
      return {refusal};
    }
  }
  PngReader reader;
  reader.data = bytes.data();
  reader.size = bytes.size();
  reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, &png_error_handler, &png_warning_handler);
  if (reader.png == nullptr) {
    return {"PNG decoder unavailable"};
  }
  reader.info = png_create_info_struct(reader.png);
  if (reader.info == nullptr) {
    return {"PNG decoder unavailable"};
  }
  // libpng's own limits stay on, at ours; its limits on ancillary chunks keep
  // their defaults.
  const auto max_side = static_cast<png_uint_32>(std::min<std::uint64_t>(limits.max_side(), PNG_UINT_31_MAX));
  png_set_user_limits(reader.png, max_side, max_side);
  if (!png_read_header(reader)) {
    return {reader.error};
  }
  const png_uint_32 width = png_get_image_width(reader.png, reader.info);
  const png_uint_32 height = png_get_image_height(reader.png, reader.info);
  if (std::string refusal = limits.check_size("picture", width, height); !refusal.empty()) {
    return {refusal};
  }
  const std::uint64_t bits = std::uint64_t{width} * height * png_get_channels(reader.png, reader.info) *
                             png_get_bit_depth(reader.png, reader.info);
  if (std::string refusal =
          check_data_fills(width, height, (bits + 7) / 8 / deflate_max_ratio, reader.size - reader.position);
      !refusal.empty()) {
    return {refusal};
  }
  const int passes = png_set_up_rgba(reader);
  if (passes == 0) {
    return {reader.error};
  }
  if (png_get_rowbytes(reader.png, reader.info) != static_cast<std::size_t>(width) * 4) {
    return {"unsupported PNG layout"};
  }
  image.width = static_cast<std::int32_t>(width);
  image.height = static_cast<std::int32_t>(height);
  image.rgba.assign(static_cast<std::size_t>(width) * height * 4, 0);
  if (!png_read_rows(reader, image, passes)) {
    return {reader.error};
  }
  return {};
}

ImageResult decode_jpeg(const std::vector<std::uint8_t>& bytes, Image& image, const PictureLimits& limits) {
  // The file is judged on its own marker segments first, so that a size
  // beyond the limits or a file far too short for its frame is refused in
  // the same words as in any other format, whatever TurboJPEG would say.
  const JpegLayout layout = jpeg_layout(bytes);
  if (layout.width > 0 || layout.height > 0) {
    if (std::string refusal = limits.check_size("picture", layout.width, layout.height); !refusal.empty()) {
      return {refusal};
    }
  }
  if (std::string refusal =
          check_data_fills(layout.width, layout.height, layout.least, bytes.size() - layout.scan_start);
      !refusal.empty()) {
    return {refusal};
  }
  TurboJpegHandle decompressor(tjInitDecompress());
  if (decompressor.handle == nullptr) {
    return {std::string("JPEG decoder unavailable (") + tjGetErrorStr2(nullptr) + ")"};
  }
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colourspace = 0;
  if (tjDecompressHeader3(decompressor.handle, bytes.data(), bytes.size(), &width, &height, &subsampling,
                          &colourspace) != 0) {
    return {std::string("corrupt JPEG file (") + tjGetErrorStr2(decompressor.handle) + ")"};
  }
  if (std::string refusal =
          limits.check_size("picture", static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
      !refusal.empty()) {
    return {refusal};
  }
  image.width = width;
  image.height = height;
  image.rgba.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
  if (tjDecompress2(decompressor.handle, bytes.data(), bytes.size(), image.rgba.data(), width, 0, height, TJPF_RGBA,
                    0) != 0) {
    if (tjGetErrorCode(decompressor.handle) == TJERR_FATAL) {
      return {std::string("cannot decode this JPEG file (") + tjGetErrorStr2(decompressor.handle) + ")"};
    }
    // libjpeg fills what it could not decode with grey and goes on.
    return ImageResult::damaged(tjGetErrorStr2(decompressor.handle));
  }
  if (!layout.ends) {
    return ImageResult::damaged("it is cut short: no end-of-image marker after its picture data");
  }
  return {};
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
