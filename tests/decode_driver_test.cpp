// The decode driver: results, messages and what reaches the work buffer.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "pipeline/glitch_settings.h"
#include "support/jpeg_stream_builder.h"

namespace shardcast {
namespace {

using testing::Bytes;
using testing::JpegStreamBuilder;

// A work buffer filled with a byte pattern that no decode produces by
// accident, and the settings that point at it.
struct Frame {
  std::vector<std::uint8_t> pixels;
  std::string messages;
  GlitchSettings settings;

  Frame(int width, int height, bool stages_on) : pixels(static_cast<std::size_t>(width) * height * 4) {
    for (std::size_t i = 0; i < pixels.size(); ++i) {
      pixels[i] = static_cast<std::uint8_t>(0xA0 + i % 7);
    }
    settings.pixels = pixels.data();
    settings.width = width;
    settings.height = height;
    settings.dequantize = settings.inverse_dct = settings.ycbcr_to_rgb = stages_on;
    settings.seed = 7;
    settings.seed_engines();
    settings.messages = MessageSink::appending_to(messages);
  }

  std::int32_t decode(const Bytes& stream) {
    const std::vector<std::uint8_t> exact(stream.begin(), stream.end());
    return settings.decode_to_work_buffer(exact.data(), static_cast<std::uint32_t>(exact.size()));
  }

  const std::uint8_t* pixel(int x, int y) const {
    return &pixels[(static_cast<std::size_t>(y) * settings.width + x) * 4];
  }
  std::uint8_t original(int x, int y, int byte) const {
    return static_cast<std::uint8_t>(0xA0 + ((static_cast<std::size_t>(y) * settings.width + x) * 4 + byte) % 7);
  }
  bool untouched() const {
    for (std::size_t i = 0; i < pixels.size(); ++i) {
      if (pixels[i] != static_cast<std::uint8_t>(0xA0 + i % 7)) {
        return false;
      }
    }
    return true;
  }
};

int error_line_count(const std::string& messages) {
  int count = 0;
  for (std::size_t at = messages.find("Error - "); at != std::string::npos; at = messages.find("Error - ", at + 1)) {
    ++count;
  }
  return count;
}

std::array<std::uint8_t, 16> counts(std::initializer_list<std::uint8_t> leading) {
  std::array<std::uint8_t, 16> result{};
  std::copy(leading.begin(), leading.end(), result.begin());
  return result;
}

// A 16x8 greyscale baseline stream of two blocks whose DC values are 300 and
// -3 and whose AC entries are all zero. DC lengths 2 and 9 have the codes 00
// and 01; the only AC code, 0, is the end of block.
Bytes two_block_grey_stream() {
  JpegStreamBuilder b;
  b.soi().dqt_all(0, 1).sof(0xC0, 8, 16, {{1, 0x11, 0}});
  b.dht(0, 0, counts({0, 2}), {2, 9}).dht(1, 0, counts({1}), {0x00});
  b.sos({{1, 0x00}});
  testing::BitWriter bits;
  bits.bits(0b01, 2).bits(300, 9).bit(0);        // DC +300
  bits.bits(0b01, 2).bits(511 - 303, 9).bit(0);  // DC -303: 300 - 303 = -3
  b.raw(bits.finish()).eoi();
  return b.build();
}

// Every kind of segment the loop handles, a fill byte and a 16-bit table.
Bytes header_only() {
  JpegStreamBuilder b;
  b.soi().app0().segment(0xFE, {'h', 'i'}).dri(4).raw({0xFF});
  Bytes wide_dqt{0x10};
  wide_dqt.resize(129, 0x01);
  b.segment(0xDB, wide_dqt).dqt_all(1, 1);
  b.sof(0xC0, 8, 16, {{1, 0x21, 0}, {2, 0x11, 1}, {3, 0x11, 1}});
  b.dht(0, 0, counts({1}), {0}).dht(1, 0, counts({1}), {0});
  b.sos({{1, 0x00}, {2, 0x00}, {3, 0x00}});
  return b.build();
}

// Compresses an alpha-red-green-blue picture the way the effect does.
Bytes compress(const std::vector<std::uint8_t>& argb, int width, int height, int quality) {
  tjhandle handle = tjInitCompress();
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const int result =
      tjCompress2(handle, argb.data(), width, 0, height, TJPF_XRGB, &jpeg, &size, TJSAMP_422, quality, 0);
  Bytes stream;
  if (result == 0) {
    stream.assign(jpeg, jpeg + size);
  }
  tjFree(jpeg);
  tjDestroy(handle);
  return stream;
}

std::vector<std::uint8_t> gradient(int width, int height) {
  std::vector<std::uint8_t> argb(static_cast<std::size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &argb[(static_cast<std::size_t>(y) * width + x) * 4];
      p[0] = 0xFF;
      p[1] = static_cast<std::uint8_t>(40 + 4 * x);
      p[2] = static_cast<std::uint8_t>(200 - 3 * y);
      p[3] = static_cast<std::uint8_t>(90 + 2 * x + y);
    }
  }
  return argb;
}

std::size_t scan_data_offset(const Bytes& stream) {
  for (std::size_t i = 0; i + 3 < stream.size(); ++i) {
    if (stream[i] == 0xFF && stream[i + 1] == 0xDA) {
      return i + 2 + (std::size_t{stream[i + 2]} << 8 | stream[i + 3]);
    }
  }
  return stream.size();
}

TEST(DecodeDriver, StreamWithoutSoiFailsWithOneLineAndAnUntouchedBuffer) {
  for (const Bytes& stream : {Bytes{}, Bytes{0xFF}, Bytes{0xFF, 0xD9, 0xFF, 0xD8}}) {
    Frame frame(16, 8, true);
    EXPECT_EQ(frame.decode(stream), -1);
    EXPECT_EQ(frame.messages, "Error - SOI invalid\n");
    EXPECT_TRUE(frame.untouched());
  }
}

TEST(DecodeDriver, EveryTruncatedHeaderFailsWithOneErrorLineAndAnUntouchedBuffer) {
  const Bytes full = header_only();
  for (std::size_t length = 0; length < full.size(); ++length) {
    Frame frame(16, 8, true);
    EXPECT_EQ(frame.decode(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length))), -1)
        << "prefix " << length;
    EXPECT_EQ(error_line_count(frame.messages), 1) << "prefix " << length << ":\n" << frame.messages;
    const std::string last_line = length < 2 ? "Error - SOI invalid\n" : "Error - File ended prematurely\n";
    EXPECT_TRUE(frame.messages.ends_with(last_line)) << "prefix " << length << ":\n" << frame.messages;
    EXPECT_TRUE(frame.untouched()) << "prefix " << length;
  }
}

TEST(DecodeDriver, WellFormedHeaderReportsEverySegmentThenTheScanHeader) {
  Frame frame(16, 8, true);
  EXPECT_EQ(frame.decode(two_block_grey_stream()), 0);
  EXPECT_EQ(frame.messages,
            "Reading DQT Marker\nReading SOF Marker\nReading DHT Marker\nReading DHT Marker\n"
            "Reading SOS Marker\n");
}

TEST(DecodeDriver, ScanHeaderErrorsFailAfterTheStorageIsMade) {
  Frame no_frame(16, 8, true);
  EXPECT_EQ(no_frame.decode(JpegStreamBuilder().soi().sos({{1, 0}}).raw({0x00, 0xFF, 0xD9}).build()), -1);
  EXPECT_EQ(no_frame.messages, "Reading SOS Marker\nError - SOS detected before SOF\n");
  EXPECT_TRUE(no_frame.untouched());

  JpegStreamBuilder bad_scan;
  bad_scan.soi().dqt_all(0, 1).sof(0xC0, 8, 16, {{1, 0x11, 0}}).dht(0, 0, counts({1}), {0});
  bad_scan.sos({{1, 0x00}}).raw({0x00, 0xFF, 0xD9});
  Frame missing_table(16, 8, true);
  EXPECT_EQ(missing_table.decode(bad_scan.build()), -1);
  EXPECT_TRUE(missing_table.messages.ends_with(
      "Reading SOS Marker\nError - Color component using uninitialized Huffman AC table\n"));
  EXPECT_TRUE(missing_table.untouched());
}

TEST(WriteOut, StagesOffShowTheLowByteOfEachCoefficientAndKeepAlpha) {
  Frame frame(16, 8, false);
  ASSERT_EQ(frame.decode(two_block_grey_stream()), 0) << frame.messages;
  EXPECT_EQ(error_line_count(frame.messages), 0) << frame.messages;
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      const std::uint8_t* p = frame.pixel(x, y);
      const int red = x == 0 && y == 0 ? 44 : x == 8 && y == 0 ? 253 : 0;  // 300 and -3
      EXPECT_EQ(p[0], frame.original(x, y, 0)) << x << "," << y;
      EXPECT_EQ(p[1], red) << x << "," << y;
      EXPECT_EQ(p[2], 0) << "grey frames leave plane 1 at zero";
      EXPECT_EQ(p[3], 0) << "grey frames leave plane 2 at zero";
    }
  }
}

TEST(WriteOut, NarrowerAndShorterBufferIsWrittenOnlyWhereBothOverlap) {
  // An 8x16 buffer under the 16x8 frame: rows of 8 pixels, the lower half
  // outside the frame.
  Frame frame(8, 16, false);
  ASSERT_EQ(frame.decode(two_block_grey_stream()), 0);
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 8; ++x) {
      const std::uint8_t* p = frame.pixel(x, y);
      EXPECT_EQ(p[0], frame.original(x, y, 0));
      if (y < 8) {
        EXPECT_EQ(p[1], x == 0 && y == 0 ? 44 : 0) << x << "," << y;
        EXPECT_EQ(p[2], 0);
      } else {
        EXPECT_EQ(p[1], frame.original(x, y, 1)) << x << "," << y;
        EXPECT_EQ(p[3], frame.original(x, y, 3)) << x << "," << y;
      }
    }
  }
}

TEST(WriteOut, WiderBufferKeepsItsOwnRowLength) {
  Frame frame(32, 4, false);
  ASSERT_EQ(frame.decode(two_block_grey_stream()), 0);
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 32; ++x) {
      const std::uint8_t* p = frame.pixel(x, y);
      if (x < 16) {
        EXPECT_EQ(p[1], x == 0 && y == 0 ? 44 : x == 8 && y == 0 ? 253 : 0) << x << "," << y;
      } else {
        EXPECT_EQ(p[1], frame.original(x, y, 1)) << x << "," << y;
        EXPECT_EQ(p[2], frame.original(x, y, 2)) << x << "," << y;
      }
    }
  }
}

TEST(WriteOut, ProgressiveFrameDecodesNothingAndBecomesMidGrey) {
  JpegStreamBuilder b;
  b.soi().dqt_all(0, 1).sof(0xC2, 8, 16, {{1, 0x21, 0}, {2, 0x11, 0}, {3, 0x11, 0}});
  b.dht(0, 0, counts({1}), {0}).sos({{1, 0x00}, {2, 0x00}, {3, 0x00}}, 0, 0, 0x01).raw({0x12, 0x34}).eoi();
  Frame frame(16, 8, true);
  ASSERT_EQ(frame.decode(b.build()), 0);
  EXPECT_EQ(error_line_count(frame.messages), 0);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 16; ++x) {
      const std::uint8_t* p = frame.pixel(x, y);
      EXPECT_EQ(p[0], frame.original(x, y, 0));
      EXPECT_EQ(p[1], 128);
      EXPECT_EQ(p[2], 128);
      EXPECT_EQ(p[3], 128);
    }
  }
}

// The effect's own road: a TurboJPEG stream, 4:2:2, decoded with every stage
// on. Widths of 16 and 24 pixels give an even and an odd block column count.
TEST(RoundTrip, UndamagedStreamComesBackCloseToTheSourceWithAlphaKept) {
  for (const int width : {16, 24}) {
    const int height = 16;
    const std::vector<std::uint8_t> source = gradient(width, height);
    const Bytes stream = compress(source, width, height, 95);
    ASSERT_FALSE(stream.empty());
    Frame frame(width, height, true);
    ASSERT_EQ(frame.decode(stream), 0) << frame.messages;
    EXPECT_EQ(error_line_count(frame.messages), 0) << frame.messages;
    int worst = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const std::uint8_t* p = frame.pixel(x, y);
        const std::uint8_t* s = &source[(static_cast<std::size_t>(y) * width + x) * 4];
        ASSERT_EQ(p[0], frame.original(x, y, 0));
        for (int c = 1; c < 4; ++c) {
          worst = std::max(worst, std::abs(int{p[c]} - int{s[c]}));
        }
      }
    }
    EXPECT_LE(worst, 8) << "width " << width;
  }
}

TEST(RoundTrip, RandomScanDataStillWritesAPicture) {
  const int width = 32;
  const int height = 16;
  Bytes stream = compress(gradient(width, height), width, height, 80);
  ASSERT_FALSE(stream.empty());
  std::mt19937 noise(12345);
  for (std::size_t i = scan_data_offset(stream); i < stream.size(); ++i) {
    stream[i] = static_cast<std::uint8_t>(noise());
  }
  Frame first(width, height, true);
  Frame second(width, height, true);
  ASSERT_EQ(first.decode(stream), 0);
  ASSERT_EQ(second.decode(stream), 0);
  EXPECT_FALSE(first.untouched());
  EXPECT_GT(error_line_count(first.messages), 0);
  EXPECT_EQ(first.pixels, second.pixels) << "the same stream and seeds give the same picture";
  EXPECT_EQ(first.messages, second.messages);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      ASSERT_EQ(first.pixel(x, y)[0], first.original(x, y, 0));
    }
  }
}

}  // namespace
}  // namespace shardcast
