// Undamaged streams from TurboJPEG must decode to exactly the quantised
// coefficients that libjpeg reads from them, block for block.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <turbojpeg.h>

#include "decoder/entropy.h"
#include "decoder/markers.h"

namespace shardcast {
namespace {

struct FrameCase {
  int quality;
  int subsampling;  // TJSAMP_*
  int width;
  int height;
};

std::string describe(const FrameCase& c) {
  static const char* const names[] = {"s444", "s422", "s420", "gray", "s440"};
  return std::string(names[c.subsampling]) + "_q" + std::to_string(c.quality) + "_" + std::to_string(c.width) + "x" +
         std::to_string(c.height);
}

void PrintTo(const FrameCase& c, std::ostream* out) { *out << describe(c); }

std::string case_name(const ::testing::TestParamInfo<FrameCase>& info) { return describe(info.param); }

// Gradients with fine detail and a little noise, so that every frequency
// and both signs of every coefficient turn up.
std::vector<std::uint8_t> synthetic_rgb(int width, int height) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 3);
  std::mt19937 noise(5);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
      const int detail = ((x / 3 + y / 2) % 2) * 60;
      p[0] = static_cast<std::uint8_t>(x * 255 / width);
      p[1] = static_cast<std::uint8_t>((y * 255 / height + detail) & 0xFF);
      p[2] = static_cast<std::uint8_t>(((x ^ y) * 4 + noise() % 16) & 0xFF);
    }
  }
  return pixels;
}

struct TurboJpegStream {
  unsigned char* data = nullptr;
  unsigned long size = 0;
  ~TurboJpegStream() { tjFree(data); }
};

void compress(const FrameCase& c, TurboJpegStream& stream) {
  const std::vector<std::uint8_t> pixels = synthetic_rgb(c.width, c.height);
  tjhandle handle = tjInitCompress();
  ASSERT_NE(handle, nullptr);
  const int result = tjCompress2(handle, pixels.data(), c.width, 0, c.height, TJPF_RGB, &stream.data, &stream.size,
                                 c.subsampling, c.quality, 0);
  tjDestroy(handle);
  ASSERT_EQ(result, 0) << tjGetErrorStr();
}

// libjpeg's view of the same stream: each component's blocks, natural order.
struct ReferenceCoefficients {
  struct Component {
    int h_factor = 0;
    int v_factor = 0;
    int rows = 0;
    int cols = 0;
    std::vector<std::array<std::int16_t, 64>> blocks;
  };
  std::vector<Component> components;
};

ReferenceCoefficients read_reference(const TurboJpegStream& stream) {
  jpeg_decompress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  const std::unique_ptr<jpeg_decompress_struct, void (*)(jpeg_decompress_struct*)> guard(&info,
                                                                                         &jpeg_destroy_decompress);
  jpeg_mem_src(&info, stream.data, stream.size);
  jpeg_read_header(&info, TRUE);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
  ReferenceCoefficients reference;
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& component = info.comp_info[c];
    ReferenceCoefficients::Component out;
    out.h_factor = component.h_samp_factor;
    out.v_factor = component.v_samp_factor;
    out.rows = static_cast<int>(component.height_in_blocks);
    out.cols = static_cast<int>(component.width_in_blocks);
    for (int row = 0; row < out.rows; ++row) {
      JBLOCKARRAY line = info.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&info), arrays[c],
                                                      static_cast<JDIMENSION>(row), 1, FALSE);
      for (int col = 0; col < out.cols; ++col) {
        std::array<std::int16_t, 64> block;
        std::copy(line[0][col], line[0][col] + 64, block.begin());
        out.blocks.push_back(block);
      }
    }
    reference.components.push_back(std::move(out));
  }
  jpeg_finish_decompress(&info);
  return reference;
}

class CoefficientsReference : public ::testing::TestWithParam<FrameCase> {};

TEST_P(CoefficientsReference, EveryBlockHoldsTheEncodersQuantisedCoefficients) {
  TurboJpegStream stream;
  ASSERT_NO_FATAL_FAILURE(compress(GetParam(), stream));
  const ReferenceCoefficients reference = read_reference(stream);

  std::string text;
  std::mt19937 recovery_rng{0u};  // a clean stream draws nothing
  DecoderState state;
  StreamCursor cursor{0, 0, stream.data, 0, static_cast<std::uint32_t>(stream.size)};
  std::vector<BlockCell> cells;
  {
    MessageWriter messages(MessageSink::appending_to(text));
    parse_markers(cursor, state, messages);
    ASSERT_TRUE(state.valid) << text;
    cells.resize(static_cast<std::size_t>(state.padded_block_rows) * state.padded_block_cols);
    state.coefficients = cells.data();
    parse_sos(cursor, state, messages);
    ASSERT_TRUE(state.valid) << text;
    decode_scan(cursor, state, recovery_rng, messages);
  }
  EXPECT_EQ(text.find("Error - "), std::string::npos) << text;

  ASSERT_EQ(reference.components.size(), state.component_count);
  const ReferenceCoefficients::Component& luma = reference.components[0];
  ASSERT_EQ(static_cast<std::uint32_t>(luma.rows), state.block_rows);
  ASSERT_EQ(static_cast<std::uint32_t>(luma.cols), state.block_cols);
  for (std::size_t c = 0; c < reference.components.size(); ++c) {
    const ReferenceCoefficients::Component& component = reference.components[c];
    // Chroma blocks sit in the top-left cell of each MCU.
    const int row_step = c == 0 ? 1 : state.mcu_v_blocks;
    const int col_step = c == 0 ? 1 : state.mcu_h_blocks;
    int mismatched_blocks = 0;
    for (int row = 0; row < component.rows; ++row) {
      for (int col = 0; col < component.cols; ++col) {
        const std::int32_t* ours = state.cell(row * row_step, col * col_step).plane[c];
        const std::array<std::int16_t, 64>& theirs = component.blocks[row * component.cols + col];
        for (int j = 0; j < 64; ++j) {
          if (ours[j] != theirs[j]) {
            ADD_FAILURE() << "component " << c << " block " << row << ',' << col << " entry " << j << ": " << ours[j]
                          << " instead of " << theirs[j];
            ++mismatched_blocks;
            break;
          }
        }
        ASSERT_LT(mismatched_blocks, 5);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(TurboJpegFrames, CoefficientsReference,
                         ::testing::Values(FrameCase{100, TJSAMP_422, 64, 32}, FrameCase{75, TJSAMP_422, 64, 32},
                                           FrameCase{100, TJSAMP_422, 50, 37}, FrameCase{75, TJSAMP_422, 200, 120},
                                           FrameCase{90, TJSAMP_444, 50, 37}, FrameCase{85, TJSAMP_420, 50, 37},
                                           FrameCase{100, TJSAMP_420, 64, 48}, FrameCase{95, TJSAMP_440, 40, 41},
                                           FrameCase{80, TJSAMP_GRAY, 33, 17}),
                         case_name);

}  // namespace
}  // namespace shardcast
