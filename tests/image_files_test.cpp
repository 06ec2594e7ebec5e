// The tool's picture files: PNG in every layout libpng writes, interlaced
// PNG, JPEG as TurboJPEG decodes it, and the limits that judge a picture's
// size and data before any buffer is made for it.
#include <gtest/gtest.h>
#include <png.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/pictures/image.h"
#include "cli/pictures/picture_limits.h"
#include "support/tool_fixture.h"

namespace shardcast::cli {
namespace {

using testing::test_picture;

TEST(ImageFiles, EveryPngLayoutReadsAsEightBitRgba) {
  const std::string folder = ::testing::TempDir();
  auto write_with = [&](const std::string& name, png_uint_32 format, const void* pixels, const void* colourmap,
                        int colourmap_entries) {
    png_image description{};
    description.version = PNG_IMAGE_VERSION;
    description.width = 2;
    description.height = 1;
    description.format = format;
    description.colormap_entries = static_cast<png_uint_32>(colourmap_entries);
    const std::string path = folder + "/" + std::to_string(::getpid()) + "-" + name;
    EXPECT_NE(png_image_write_to_file(&description, path.c_str(), 0, pixels, 0, colourmap), 0) << name;
    Image image;
    EXPECT_TRUE(read_image(path, image).ok()) << name;
    std::remove(path.c_str());
    return image.rgba;
  };
  const std::uint8_t grey[] = {0, 200};
  EXPECT_EQ(write_with("g.png", PNG_FORMAT_GRAY, grey, nullptr, 0),
            (std::vector<std::uint8_t>{0, 0, 0, 255, 200, 200, 200, 255}));
  const std::uint8_t grey_alpha[] = {10, 0, 250, 128};
  EXPECT_EQ(write_with("ga.png", PNG_FORMAT_GA, grey_alpha, nullptr, 0),
            (std::vector<std::uint8_t>{10, 10, 10, 0, 250, 250, 250, 128}));
  const std::uint8_t rgb[] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(write_with("rgb.png", PNG_FORMAT_RGB, rgb, nullptr, 0),
            (std::vector<std::uint8_t>{1, 2, 3, 255, 4, 5, 6, 255}));
  const std::uint8_t indices[] = {1, 0};
  const std::uint8_t palette[] = {9, 8, 7, 255, 90, 80, 70, 0};
  EXPECT_EQ(write_with("p.png", PNG_FORMAT_RGBA | PNG_FORMAT_FLAG_COLORMAP, indices, palette, 2),
            (std::vector<std::uint8_t>{90, 80, 70, 0, 9, 8, 7, 255}));
  // 16-bit samples are scaled to 8 bits, not cut.
  const std::uint16_t deep[] = {65535, 32896};
  EXPECT_EQ(write_with("y16.png", PNG_FORMAT_LINEAR_Y, deep, nullptr, 0),
            (std::vector<std::uint8_t>{255, 255, 255, 255, 128, 128, 128, 255}));
}

TEST(ImageFiles, WrittenPngsReadBackUnchanged) {
  const Image picture = test_picture(7, 5);
  const std::string path = ::testing::TempDir() + "/" + std::to_string(::getpid()) + "-round-trip.png";
  ASSERT_TRUE(write_image(path, picture).ok());
  Image again;
  ASSERT_TRUE(read_image(path, again).ok());
  std::remove(path.c_str());
  EXPECT_EQ(again.width, 7);
  EXPECT_EQ(again.height, 5);
  EXPECT_EQ(again.rgba, picture.rgba);
}

// libpng's writer state, released on every path.
struct PngWriter {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  ~PngWriter() { png_destroy_write_struct(&png, &info); }
};

void append_to_vector(png_structp png, png_bytep data, png_size_t size) {
  auto* bytes = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
  bytes->insert(bytes->end(), data, data + size);
}

TEST(ImageFiles, InterlacedPngsReadPassByPass) {
  const Image picture = test_picture(13, 11);
  std::vector<std::uint8_t> bytes;
  {
    PngWriter writer;
    ASSERT_EQ(setjmp(png_jmpbuf(writer.png)), 0);
    png_set_write_fn(writer.png, &bytes, &append_to_vector, nullptr);
    png_set_IHDR(writer.png, writer.info, 13, 11, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_ADAM7,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(writer.png, writer.info);
    std::vector<png_bytep> rows;
    for (std::int32_t y = 0; y < 11; ++y) {
      rows.push_back(const_cast<std::uint8_t*>(picture.rgba.data()) + static_cast<std::size_t>(y) * 13 * 4);
    }
    png_write_image(writer.png, rows.data());
    png_write_end(writer.png, nullptr);
  }
  Image read;
  ASSERT_TRUE(decode_png(bytes, read).ok());
  EXPECT_EQ(read.rgba, picture.rgba);
}

TEST(ImageFiles, JpegsReadAsTurboJpegDecodesThem) {
  const Image picture = test_picture(37, 21);
  auto compress = [&](int subsampling, int flags) {
    tjhandle compressor = tjInitCompress();
    unsigned char* stream = nullptr;
    unsigned long size = 0;
    EXPECT_EQ(tjCompress2(compressor, picture.rgba.data(), 37, 0, 21, TJPF_RGBA, &stream, &size, subsampling, 85,
                          flags),
              0);
    std::vector<std::uint8_t> bytes(stream, stream + size);
    tjFree(stream);
    tjDestroy(compressor);
    return bytes;
  };
  const std::vector<std::uint8_t> plain = compress(TJSAMP_420, 0);
  std::vector<std::uint8_t> trailing = plain;
  trailing.insert(trailing.end(), {0x00, 0x12, 0xFF, 0xD8});
  std::vector<std::uint8_t> commented = plain;  // a comment that holds an end-of-image code
  commented.insert(commented.begin() + 2, {0xFF, 0xFE, 0x00, 0x04, 0xFF, 0xD9});
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
  } files[] = {
      {"4:4:4", compress(TJSAMP_444, 0)},
      {"4:2:2", compress(TJSAMP_422, 0)},
      {"4:2:0", plain},
      {"grey", compress(TJSAMP_GRAY, 0)},
      {"progressive", compress(TJSAMP_420, TJFLAG_PROGRESSIVE)},
      {"bytes after the end", trailing},
      {"comment", commented},
  };
  for (const auto& f : files) {
    Image expected = Image::filled(37, 21, 0, 0, 0, 0);
    tjhandle decompressor = tjInitDecompress();
    tjDecompress2(decompressor, f.bytes.data(), f.bytes.size(), expected.rgba.data(), 37, 0, 21, TJPF_RGBA, 0);
    tjDestroy(decompressor);
    Image read;
    const ImageResult result = decode_jpeg(f.bytes, read);
    EXPECT_TRUE(result.ok()) << f.name << ": " << result.error;
    EXPECT_EQ(read.rgba, expected.rgba) << f.name;
  }
}

TEST(PictureLimits, SizesAndDataAreJudgedAtTheirBounds) {
  const PictureLimits standard;
  const PictureLimits raised{std::uint64_t{1} << 40};
  const struct {
    const PictureLimits& limits;
    std::uint64_t width;
    std::uint64_t height;
    const char* refusal;  // empty: accepted
  } sizes[] = {
      {standard, 8192, 8192, ""},
      {standard, 7680, 4320, ""},
      {standard, 8193, 8192, "picture of 8193x8192 pixels is too large (the limit is 67108864 pixels"},
      {standard, 67108864, 1, ""},
      {standard, 0, 5, "picture of 0x5 pixels is empty"},
      {standard, 5, 0, "picture of 5x0 pixels is empty"},
      {raised, 0x7FFFFFFF, 2, ""},
      {raised, 0x80000000, 1, "picture of 2147483648x1 pixels is too large"},
      {raised, 0xFFFFFFFF, 0xFFFFFFFF, "picture of 4294967295x4294967295 pixels is too large"},
  };
  for (const auto& size : sizes) {
    const std::string refusal = size.limits.check_size("picture", size.width, size.height);
    EXPECT_EQ(refusal.substr(0, std::string(size.refusal).size()), size.refusal) << size.width << "x" << size.height;
    EXPECT_EQ(refusal.empty(), *size.refusal == '\0') << refusal;
  }
  EXPECT_EQ(check_data_fills(100, 100, 40, 40), "");
  EXPECT_EQ(check_data_fills(100, 100, 40, 39),
            "file holds 39 bytes of picture data, too few for a picture of 100x100 pixels (at least 40 needed)");
}

}  // namespace
}  // namespace shardcast::cli
