// Header parsing: the marker loop, each segment parser, the scan header and
// the behaviour on streams that end inside the header.
#include "decoder/markers.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decoder/decoder_state.h"
#include "decoder/message_sink.h"
#include "support/jpeg_stream_builder.h"

namespace shardcast {
namespace {

using testing::Bytes;
using testing::JpegStreamBuilder;

struct Parsed {
  std::string messages;
  std::unique_ptr<DecoderState> state = std::make_unique<DecoderState>();
  StreamCursor cursor;
};

// The marker loop alone, over an exact-size copy of the bytes so that any
// read past the end is caught by the address sanitizer.
Parsed run_marker_loop(const Bytes& bytes, bool then_scan_header = false) {
  Parsed parsed;
  const std::vector<std::uint8_t> exact(bytes.begin(), bytes.end());
  {
    MessageWriter writer(MessageSink::appending_to(parsed.messages));
    parsed.cursor.data = exact.data();
    parsed.cursor.size = static_cast<std::uint32_t>(exact.size());
    parse_markers(parsed.cursor, *parsed.state, writer);
    if (then_scan_header && parsed.state->valid) {
      parse_sos(parsed.cursor, *parsed.state, writer);
    }
  }
  parsed.cursor.data = nullptr;
  return parsed;
}

Parsed run_header(const Bytes& bytes) { return run_marker_loop(bytes, true); }

std::array<std::uint8_t, 16> counts(std::initializer_list<std::uint8_t> leading) {
  std::array<std::uint8_t, 16> result{};
  std::size_t i = 0;
  for (std::uint8_t c : leading) {
    result[i++] = c;
  }
  return result;
}

// A DC table with a single code (symbol 0) and an AC table with a single
// code (end of block): enough for any header check.
JpegStreamBuilder& minimal_tables(JpegStreamBuilder& b, std::uint8_t id = 0) {
  b.dht(0, id, counts({1}), {0x00});
  return b.dht(1, id, counts({1}), {0x00});
}

JpegStreamBuilder baseline_header() {
  JpegStreamBuilder b;
  b.soi().app0().dqt_all(0, 2).dqt_all(1, 3);
  b.sof(0xC0, 16, 24, {{1, 0x21, 0}, {2, 0x11, 1}, {3, 0x11, 1}});
  minimal_tables(b);
  b.sos({{1, 0x00}, {2, 0x00}, {3, 0x00}});
  return b;
}

// SOI then a single marker code with whatever follows.
std::string loop_messages_for_code(std::uint8_t code) {
  JpegStreamBuilder b;
  b.soi().marker(code).raw({0x00, 0x04, 0x00, 0x00});
  return run_marker_loop(b.bytes()).messages;
}

TEST(MarkerLoop, WellFormedHeaderReportsEachSegmentInStreamOrder) {
  const Bytes bytes = baseline_header().raw({0x12, 0x34}).build();
  const Parsed parsed = run_header(bytes);
  EXPECT_EQ(parsed.messages,
            "Reading APPN Marker\nReading DQT Marker\nReading DQT Marker\nReading SOF Marker\n"
            "Reading DHT Marker\nReading DHT Marker\nReading SOS Marker\n");
  EXPECT_TRUE(parsed.state->valid);
  EXPECT_EQ(parsed.cursor.position, bytes.size() - 2) << "cursor on the first entropy-coded byte";
  EXPECT_EQ(parsed.cursor.next_bit, 0);
}

TEST(MarkerLoop, RejectsAStreamThatDoesNotStartWithSoi) {
  for (const Bytes& bytes : {Bytes{}, Bytes{0xFF}, Bytes{0xFF, 0xD9}, Bytes{0xD8, 0xFF}, Bytes{0x00, 0xD8, 0xFF}}) {
    const Parsed parsed = run_marker_loop(bytes);
    EXPECT_EQ(parsed.messages, "Error - SOI invalid\n") << bytes.size() << " bytes";
    EXPECT_FALSE(parsed.state->valid);
  }
}

TEST(MarkerLoop, TwoFillBytesBeforeAMarkerAreSkipped) {
  JpegStreamBuilder b;
  b.soi().raw({0xFF, 0xFF}).dqt_all(0, 7).marker(0xDA);
  const Parsed parsed = run_marker_loop(b.bytes());
  EXPECT_EQ(parsed.messages, "Reading DQT Marker\n");
  EXPECT_TRUE(parsed.state->quant_tables[0].defined);
  EXPECT_EQ(parsed.state->quant_tables[0].values[63], 7u);
}

TEST(MarkerLoop, ReportsTheEndOfTheStreamWhereAMarkerShouldBe) {
  // Nothing after a complete segment; one byte of a marker; a fill byte last.
  const Bytes after_segment = JpegStreamBuilder().soi().dqt_all(0, 1).build();
  const Bytes half_marker = JpegStreamBuilder().soi().raw({0xFF}).build();
  const Bytes fill_then_end = JpegStreamBuilder().soi().raw({0xFF, 0xFF, 0xFF}).build();
  EXPECT_EQ(run_marker_loop(after_segment).messages, "Reading DQT Marker\nError - File ended prematurely\n");
  EXPECT_EQ(run_marker_loop(half_marker).messages, "Error - File ended prematurely\n");
  EXPECT_EQ(run_marker_loop(fill_then_end).messages, "Error - File ended prematurely\n");
  EXPECT_FALSE(run_marker_loop(after_segment).state->valid);
}

TEST(MarkerLoop, RequiresAMarkerPrefixAfterEachSegment) {
  const Bytes bytes = JpegStreamBuilder().soi().dqt_all(0, 1).raw({0x00, 0xDB}).build();
  EXPECT_EQ(run_marker_loop(bytes).messages, "Reading DQT Marker\nError - Expected a marker\n");
}

TEST(MarkerLoop, RefusedCodesWriteTheirLineWithHexCodes) {
  const std::vector<std::pair<std::uint8_t, std::string>> cases = {
      {0xD8, "Error - Embedded JPGs not supported\n"},
      {0xD9, "Error - EOI detected before SOS\n"},
      {0xCC, "Error - Arithmetic Coding mode not supported\n"},
      {0xC1, "Error - SOF marker not supported: 0xc1\n"},
      {0xC3, "Error - SOF marker not supported: 0xc3\n"},
      {0xC5, "Error - SOF marker not supported: 0xc5\n"},
      {0xC8, "Error - SOF marker not supported: 0xc8\n"},
      {0xCB, "Error - SOF marker not supported: 0xcb\n"},
      {0xCD, "Error - SOF marker not supported: 0xcd\n"},
      {0xCF, "Error - SOF marker not supported: 0xcf\n"},
      {0xD0, "Error - RSTN detected before SOS\n"},
      {0xD7, "Error - RSTN detected before SOS\n"},
      {0x00, "Error - Unknown marker: 0x0\n"},
      {0x02, "Error - Unknown marker: 0x2\n"},
      {0xBF, "Error - Unknown marker: 0xbf\n"},
  };
  for (const auto& [code, line] : cases) {
    EXPECT_EQ(loop_messages_for_code(code), line) << "code " << int{code};
  }
}

TEST(MarkerLoop, TemHasNoSegmentAndTheLoopGoesOn) {
  const Bytes bytes = JpegStreamBuilder().soi().marker(0x01).dqt_all(0, 1).marker(0xDA).build();
  const Parsed parsed = run_marker_loop(bytes);
  EXPECT_EQ(parsed.messages, "Reading DQT Marker\n");
  EXPECT_TRUE(parsed.state->valid);
}

TEST(MarkerLoop, FrameMarkerIsRecordedEvenForARejectedSecondFrameHeader) {
  JpegStreamBuilder b;
  b.soi().sof(0xC0, 8, 8, {{1, 0x11, 0}}).sof(0xC2, 8, 8, {{1, 0x11, 0}});
  const Parsed parsed = run_marker_loop(b.bytes());
  EXPECT_EQ(parsed.messages, "Reading SOF Marker\nReading SOF Marker\nError - Multiple SOFs detected\n");
  EXPECT_EQ(parsed.state->frame_marker, 0xC2);
}

TEST(SkippedSegments, EveryCommentLikeCodeIsSteppedOverWithoutReadingIt) {
  for (std::uint8_t code : {0xDC, 0xDE, 0xDF, 0xF0, 0xF7, 0xFD, 0xFE}) {
    JpegStreamBuilder b;
    b.soi().segment(code, {0xFF, 0xD9, 0xFF}).marker(0xDA);
    const Parsed parsed = run_marker_loop(b.bytes());
    EXPECT_EQ(parsed.messages, "Reading COM Marker\n") << "code " << int{code};
    EXPECT_TRUE(parsed.state->valid);
  }
  for (std::uint8_t code : {0xE0, 0xE1, 0xEF}) {
    JpegStreamBuilder b;
    b.soi().segment(code, {0xFF, 0xD8}).marker(0xDA);
    EXPECT_EQ(run_marker_loop(b.bytes()).messages, "Reading APPN Marker\n") << "code " << int{code};
  }
}

TEST(SkippedSegments, LengthTwoSkipsNothingAndLengthBelowTwoIsInvalid) {
  const Bytes empty_comment = JpegStreamBuilder().soi().segment(0xFE, {}).marker(0xDA).build();
  EXPECT_EQ(run_marker_loop(empty_comment).messages, "Reading COM Marker\n");
  EXPECT_TRUE(run_marker_loop(empty_comment).state->valid);

  const Bytes short_comment = JpegStreamBuilder().soi().segment_with_length(0xFE, 1, {}).marker(0xDA).build();
  EXPECT_EQ(run_marker_loop(short_comment).messages, "Reading COM Marker\nError - COM invalid\n");
  const Bytes short_app = JpegStreamBuilder().soi().segment_with_length(0xE3, 0, {}).marker(0xDA).build();
  EXPECT_EQ(run_marker_loop(short_app).messages, "Reading APPN Marker\nError - APPN invalid\n");
}

TEST(SkippedSegments, DeclaredLengthPastTheEndIsAPrematureEnd) {
  const Bytes comment = JpegStreamBuilder().soi().segment_with_length(0xFE, 10, {1, 2, 3}).build();
  const Bytes app = JpegStreamBuilder().soi().segment_with_length(0xE0, 0xFFFF, {1}).build();
  EXPECT_EQ(run_marker_loop(comment).messages, "Reading COM Marker\nError - File ended prematurely\n");
  EXPECT_EQ(run_marker_loop(app).messages, "Reading APPN Marker\nError - File ended prematurely\n");
}

TEST(RestartInterval, KeepsTheIntervalAndReadsExactlyFourBytes) {
  const Parsed good = run_marker_loop(JpegStreamBuilder().soi().dri(300).marker(0xDA).build());
  EXPECT_EQ(good.messages, "Reading DRI Marker\n");
  EXPECT_EQ(good.state->restart_interval, 300u);

  // Length 6 with two payload bytes more: the interval is kept, the segment
  // refused, and its length not followed.
  const Bytes long_dri = JpegStreamBuilder().soi().segment(0xDD, {0x00, 0x05, 0xAA, 0xBB}).build();
  const Parsed bad = run_marker_loop(long_dri);
  EXPECT_EQ(bad.messages, "Reading DRI Marker\nError - DRI invalid\n");
  EXPECT_EQ(bad.state->restart_interval, 5u);
  EXPECT_EQ(bad.cursor.position, 2u + 2u + 4u);
}

TEST(RestartInterval, FewerThanFourBytesLeftIsAPrematureEnd) {
  const Bytes bytes = JpegStreamBuilder().soi().marker(0xDD).raw({0x00, 0x04, 0x00}).build();
  EXPECT_EQ(run_marker_loop(bytes).messages, "Reading DRI Marker\nError - File ended prematurely\n");
}

TEST(QuantTables, ValuesAreStoredInNaturalOrder) {
  std::array<std::uint8_t, 64> zigzag_values;
  for (int k = 0; k < 64; ++k) {
    zigzag_values[k] = static_cast<std::uint8_t>(k + 1);
  }
  const Parsed parsed = run_marker_loop(JpegStreamBuilder().soi().dqt(2, zigzag_values).marker(0xDA).build());
  const QuantTable& table = parsed.state->quant_tables[2];
  ASSERT_TRUE(table.defined);
  for (int k = 0; k < 64; ++k) {
    EXPECT_EQ(table.values[zigzag_order[k]], static_cast<std::uint32_t>(k + 1)) << "zig-zag position " << k;
  }
  EXPECT_EQ(table.values[8], 3u);  // row 1, column 0 is the third in zig-zag order
}

TEST(QuantTables, OneSegmentMayCarryTwoTablesWhenTheLengthFitsExactly) {
  Bytes two_tables = JpegStreamBuilder::dqt_table(0, {});
  const Bytes second = JpegStreamBuilder::dqt_table(1, {});
  two_tables.insert(two_tables.end(), second.begin(), second.end());

  const Parsed exact = run_marker_loop(JpegStreamBuilder().soi().segment(0xDB, two_tables).marker(0xDA).build());
  EXPECT_EQ(exact.messages, "Reading DQT Marker\n");
  EXPECT_TRUE(exact.state->quant_tables[0].defined);
  EXPECT_TRUE(exact.state->quant_tables[1].defined);

  const Bytes short_length = JpegStreamBuilder().soi().segment_with_length(0xDB, 131, two_tables).marker(0xDA).build();
  EXPECT_EQ(run_marker_loop(short_length).messages, "Reading DQT Marker\nError - DQT invalid\n");
}

TEST(QuantTables, SixteenBitTablesAreReadBigEndian) {
  Bytes table{0x13};
  for (int k = 0; k < 64; ++k) {
    table.insert(table.end(), {0x01, static_cast<std::uint8_t>(k)});
  }
  const Parsed parsed = run_marker_loop(JpegStreamBuilder().soi().segment(0xDB, table).marker(0xDA).build());
  EXPECT_TRUE(parsed.state->valid);
  EXPECT_EQ(parsed.state->quant_tables[3].values[0], 0x100u);
  EXPECT_EQ(parsed.state->quant_tables[3].values[63], 0x13Fu);
}

TEST(QuantTables, RejectsATableIdAboveThreeAndAcceptsAnEmptySegment) {
  const Bytes bad_id = JpegStreamBuilder().soi().dqt_all(4, 1).marker(0xDA).build();
  EXPECT_EQ(run_marker_loop(bad_id).messages, "Reading DQT Marker\nError - Invalid quantization table ID: 4\n");

  const Parsed empty = run_marker_loop(JpegStreamBuilder().soi().segment(0xDB, {}).marker(0xDA).build());
  EXPECT_TRUE(empty.state->valid);
  EXPECT_FALSE(empty.state->quant_tables[0].defined);
}

TEST(HuffmanTables, AcceptsUpTo176SymbolsAndNamesTheTotalBeyond) {
  const Bytes symbols176(176, 0x11);
  const Parsed full = run_marker_loop(
      JpegStreamBuilder().soi().dht(1, 0, counts({0, 0, 0, 0, 0, 0, 0, 0, 100, 76}), symbols176).marker(0xDA).build());
  EXPECT_EQ(full.messages, "Reading DHT Marker\n");
  EXPECT_EQ(full.state->ac_tables[0].offsets[16], 176);

  const Bytes symbols177(177, 0x11);
  const Bytes too_many =
      JpegStreamBuilder().soi().dht(1, 0, counts({0, 0, 0, 0, 0, 0, 0, 0, 100, 77}), symbols177).build();
  EXPECT_EQ(run_marker_loop(too_many).messages, "Reading DHT Marker\nError - Too many symbols in Huffman table: 177\n");

  // Counts whose sum does not fit a byte are still named in full.
  std::array<std::uint8_t, 16> all_full;
  all_full.fill(255);
  EXPECT_EQ(run_marker_loop(JpegStreamBuilder().soi().dht(0, 0, all_full, {}).build()).messages,
            "Reading DHT Marker\nError - Too many symbols in Huffman table: 4080\n");
}

TEST(HuffmanTables, ClassNibbleChoosesDcOrAcAndOffsetsAccumulate) {
  JpegStreamBuilder b;
  b.soi().dht(0, 3, counts({1, 2}), {7, 8, 9}).dht(2, 1, counts({0, 1}), {0x42}).marker(0xDA);
  const Parsed parsed = run_marker_loop(b.bytes());
  const HuffmanTable& dc = parsed.state->dc_tables[3];
  const HuffmanTable& ac = parsed.state->ac_tables[1];
  EXPECT_TRUE(dc.defined && ac.defined);
  EXPECT_FALSE(parsed.state->dc_tables[1].defined);
  EXPECT_EQ((std::array<std::uint8_t, 4>{dc.offsets[0], dc.offsets[1], dc.offsets[2], dc.offsets[16]}),
            (std::array<std::uint8_t, 4>{0, 1, 3, 3}));
  EXPECT_EQ(dc.symbols[2], 9);
  EXPECT_EQ(ac.symbols[0], 0x42);
}

TEST(HuffmanTables, RejectsABadIdAndALengthTheTablesDoNotFill) {
  const Bytes bad_id = JpegStreamBuilder().soi().dht(1, 5, counts({1}), {0}).build();
  EXPECT_EQ(run_marker_loop(bad_id).messages, "Reading DHT Marker\nError - Invalid Huffman table ID: 5\n");

  const Bytes table = JpegStreamBuilder::dht_table(0, 0, counts({1}), {0});
  const Bytes long_length = JpegStreamBuilder()
                                .soi()
                                .segment_with_length(0xC4, static_cast<std::uint16_t>(table.size() + 3), table)
                                .raw({0xFF, 0xDA})
                                .build();
  // The parser reads a second table byte out of the next marker's bytes:
  // 0xFF has id 15.
  EXPECT_EQ(run_marker_loop(long_length).messages, "Reading DHT Marker\nError - Invalid Huffman table ID: 15\n");

  const Bytes short_length =
      JpegStreamBuilder().soi().segment_with_length(0xC4, static_cast<std::uint16_t>(table.size()), table).build();
  EXPECT_EQ(run_marker_loop(short_length).messages, "Reading DHT Marker\nError - DHT invalid\n");
}

TEST(DeriveCodes, AssignsCanonicalCodesLengthByLength) {
  HuffmanTable table;
  table.offsets = {0, 1, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3};
  derive_codes(table);
  EXPECT_EQ(table.codes[0], 0u);
  EXPECT_EQ(table.codes[1], 2u);
  EXPECT_EQ(table.codes[2], 3u);

  // Lengths without codes still double the next code: one code of length 2,
  // then two of length 4.
  table.offsets = {0, 0, 1, 1, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3};
  derive_codes(table);
  EXPECT_EQ(table.codes[0], 0b00u);
  EXPECT_EQ(table.codes[1], 0b0100u);
  EXPECT_EQ(table.codes[2], 0b0101u);
}

TEST(FrameHeader, FillsTheFrameFieldsAndPadsForTwoByOneLuma) {
  JpegStreamBuilder b;
  b.soi().sof(0xC0, 9, 17, {{1, 0x21, 0}, {2, 0x11, 1}, {3, 0x11, 1}}).marker(0xDA);
  const Parsed parsed = run_marker_loop(b.bytes());
  const DecoderState& s = *parsed.state;
  EXPECT_EQ(parsed.messages, "Reading SOF Marker\n");
  EXPECT_EQ(s.frame_marker, 0xC0);
  EXPECT_EQ(s.height, 9u);
  EXPECT_EQ(s.width, 17u);
  EXPECT_EQ(s.component_count, 3);
  EXPECT_EQ(s.block_cols, 3u);
  EXPECT_EQ(s.padded_block_cols, 4u);
  EXPECT_EQ(s.block_rows, 2u);
  EXPECT_EQ(s.padded_block_rows, 2u);
  EXPECT_EQ(s.mcu_h_blocks, 2);
  EXPECT_EQ(s.mcu_v_blocks, 1);
  EXPECT_EQ(s.components[0].h_factor, 2);
  EXPECT_EQ(s.components[2].quant_id, 1);
  EXPECT_TRUE(s.components[2].in_frame);
  EXPECT_FALSE(s.ids_from_zero);
}

TEST(FrameHeader, VerticalFactorTwoPadsAnOddRowCount) {
  const Parsed parsed =
      run_marker_loop(JpegStreamBuilder().soi().sof(0xC2, 17, 16, {{1, 0x22, 0}}).marker(0xDA).build());
  EXPECT_TRUE(parsed.state->valid);
  EXPECT_EQ(parsed.state->block_rows, 3u);
  EXPECT_EQ(parsed.state->padded_block_rows, 4u);
  EXPECT_EQ(parsed.state->padded_block_cols, 2u) << "an even column count needs no padding";
  EXPECT_EQ(parsed.state->mcu_v_blocks, 2);
}

TEST(FrameHeader, ComponentOneRulesFollowTheNumberNotThePosition) {
  // Component 1 listed second, with 2x1 sampling: accepted.
  const Parsed moved = run_marker_loop(
      JpegStreamBuilder().soi().sof(0xC0, 8, 8, {{3, 0x11, 1}, {1, 0x21, 0}, {2, 0x11, 1}}).marker(0xDA).build());
  EXPECT_TRUE(moved.state->valid);
  EXPECT_EQ(moved.state->mcu_h_blocks, 2);
  EXPECT_EQ(moved.state->components[0].h_factor, 2);
  EXPECT_EQ(moved.state->components[2].quant_id, 1);

  // 2x1 on the component listed first but numbered 2: refused.
  const Bytes chroma_first =
      JpegStreamBuilder().soi().sof(0xC0, 8, 8, {{2, 0x21, 1}, {1, 0x11, 0}, {3, 0x11, 1}}).build();
  EXPECT_EQ(run_marker_loop(chroma_first).messages, "Reading SOF Marker\nError - Sampling factors not supported\n");
}

TEST(FrameHeader, ZeroBasedIdsAreShiftedInFrameAndScan) {
  JpegStreamBuilder b;
  b.soi().dqt_all(0, 1).sof(0xC0, 8, 8, {{0, 0x11, 0}, {1, 0x11, 0}, {2, 0x11, 0}});
  minimal_tables(b).sos({{2, 0x00}, {0, 0x00}});
  const Parsed parsed = run_header(b.bytes());
  EXPECT_TRUE(parsed.state->valid) << parsed.messages;
  EXPECT_TRUE(parsed.state->ids_from_zero);
  EXPECT_TRUE(parsed.state->components[0].in_scan);
  EXPECT_FALSE(parsed.state->components[1].in_scan);
  EXPECT_TRUE(parsed.state->components[2].in_scan);

  const Bytes zero_not_first =
      JpegStreamBuilder().soi().sof(0xC0, 8, 8, {{1, 0x11, 0}, {0, 0x11, 0}, {2, 0x11, 0}}).build();
  EXPECT_EQ(run_marker_loop(zero_not_first).messages, "Reading SOF Marker\nError - Invalid component ID: 0\n");
}

TEST(FrameHeader, EveryRefusalWritesItsOwnLine) {
  const std::string prefix = "Reading SOF Marker\n";
  struct Case {
    Bytes bytes;
    std::string line;
  };
  const std::vector<Case> cases = {
      {JpegStreamBuilder().soi().sof(0xC0, 8, 8, {{1, 0x11, 0}}, 12).build(), "Error - Invalid precision: 12\n"},
      {JpegStreamBuilder().soi().sof(0xC0, 0, 8, {{1, 0x11, 0}}).build(), "Error - Invalid dimensions\n"},
      {JpegStreamBuilder().soi().sof(0xC0, 8, 0, {{1, 0x11, 0}}).build(), "Error - Invalid dimensions\n"},
      {JpegStreamBuilder().soi().sof(0xC0, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {3, 0x11, 0}, {4, 0x11, 0}}).build(),
       "Error - CMYK color mode not supported\n"},
      {JpegStreamBuilder().soi().sof(0xC0, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}}).build(),
       "Error - 2 color components given (1 or 3 required)\n"},
      {JpegStreamBuilder().soi().sof(0xC0, 8, 8, {}).build(), "Error - 0 color components given (1 or 3 required)\n"},
      {JpegStreamBuilder().soi().sof(0xC0, 8, 8, {{1, 0x11, 0}, {4, 0x11, 0}, {3, 0x11, 0}}).build(),
       "Error - Invalid component ID: 4\n"},
      {JpegStreamBuilder().soi().sof(0xC0, 8, 8, {{2, 0x11, 0}}).build(), "Error - Invalid component ID: 2\n"},
      {JpegStreamBuilder().soi().sof(0xC0, 8, 8, {{1, 0x11, 0}, {2, 0x11, 0}, {1, 0x11, 0}}).build(),
       "Error - Duplicate color component ID: 1\n"},
      {JpegStreamBuilder().soi().sof(0xC0, 8, 8, {{1, 0x31, 0}}).build(), "Error - Sampling factors not supported\n"},
      {JpegStreamBuilder().soi().sof(0xC0, 8, 8, {{1, 0x10, 0}}).build(), "Error - Sampling factors not supported\n"},
      {JpegStreamBuilder().soi().sof(0xC0, 8, 8, {{1, 0x11, 0}, {2, 0x12, 0}, {3, 0x11, 0}}).build(),
       "Error - Sampling factors not supported\n"},
      {JpegStreamBuilder().soi().sof(0xC0, 8, 8, {{1, 0x11, 4}}).build(), "Error - Invalid quantization table ID: 4\n"},
      {JpegStreamBuilder().soi().segment(0xC0, {8, 0, 8, 0, 8, 1, 1, 0x11, 0, 0}).build(), "Error - SOF invalid\n"},
  };
  for (const Case& c : cases) {
    const Parsed parsed = run_marker_loop(c.bytes);
    EXPECT_EQ(parsed.messages, prefix + c.line);
    EXPECT_FALSE(parsed.state->valid);
  }
}

TEST(FrameHeader, AcceptsOneComponentWithAnyFactorsOfOneOrTwo) {
  for (std::uint8_t sampling : {0x11, 0x12, 0x21, 0x22}) {
    const Parsed parsed =
        run_marker_loop(JpegStreamBuilder().soi().sof(0xC0, 8, 8, {{1, sampling, 0}}).marker(0xDA).build());
    EXPECT_TRUE(parsed.state->valid) << "sampling " << int{sampling};
  }
}

// A frame of the given type with three components, all tables defined.
JpegStreamBuilder frame_with_tables(std::uint8_t frame_code) {
  JpegStreamBuilder b;
  b.soi().dqt_all(0, 1).dqt_all(1, 1).sof(frame_code, 8, 16, {{1, 0x21, 0}, {2, 0x11, 1}, {3, 0x11, 1}});
  minimal_tables(b, 0);
  minimal_tables(b, 1);
  return b;
}

std::string scan_errors(const Bytes& bytes) {
  const std::string messages = run_header(bytes).messages;
  const std::size_t at = messages.find("Reading SOS Marker\n");
  return at == std::string::npos ? "(no scan header)" : messages.substr(at + 19);
}

TEST(ScanHeader, FillsTheScanFields) {
  const Parsed parsed = run_header(frame_with_tables(0xC0).sos({{3, 0x10}, {1, 0x01}}).build());
  const DecoderState& s = *parsed.state;
  ASSERT_TRUE(s.valid) << parsed.messages;
  EXPECT_EQ(s.scan_component_count, 2);
  EXPECT_EQ(s.spectral_end, 63);
  EXPECT_TRUE(s.components[0].in_scan);
  EXPECT_FALSE(s.components[1].in_scan);
  EXPECT_EQ(s.components[2].dc_table_id, 1);
  EXPECT_EQ(s.components[2].ac_table_id, 0);
  EXPECT_EQ(s.components[0].ac_table_id, 1);
}

TEST(ScanHeader, ScanBeforeAnyFrameHeaderIsRefused) {
  const Parsed parsed = run_header(JpegStreamBuilder().soi().dqt_all(0, 1).sos({{1, 0}}).build());
  EXPECT_EQ(parsed.messages, "Reading DQT Marker\nReading SOS Marker\nError - SOS detected before SOF\n");
}

TEST(ScanHeader, ComponentListRefusals) {
  EXPECT_EQ(scan_errors(frame_with_tables(0xC0).sos({}).build()), "Error - Scan must include at least 1 component\n");
  EXPECT_EQ(scan_errors(frame_with_tables(0xC0).sos({{4, 0}}).build()), "Error - Invalid color component ID: 4\n");
  EXPECT_EQ(scan_errors(frame_with_tables(0xC0).sos({{0, 0}}).build()), "Error - Invalid color component ID: 0\n");
  EXPECT_EQ(scan_errors(frame_with_tables(0xC0).sos({{2, 0}, {2, 0}}).build()),
            "Error - Duplicate color component ID: 2\n");
  EXPECT_EQ(scan_errors(frame_with_tables(0xC0).sos({{1, 0x45}}).build()), "Error - Invalid Huffman DC table ID: 4\n");
  EXPECT_EQ(scan_errors(frame_with_tables(0xC0).sos({{1, 0x3F}}).build()), "Error - Invalid Huffman AC table ID: 15\n");

  JpegStreamBuilder grey;
  grey.soi().dqt_all(0, 1).sof(0xC0, 8, 8, {{1, 0x11, 0}});
  minimal_tables(grey).sos({{2, 0}});
  EXPECT_EQ(scan_errors(grey.bytes()), "Error - Invalid color component ID: 2\n");
}

TEST(ScanHeader, BaselineScansCoverAllCoefficientsAtFullPrecision) {
  EXPECT_EQ(scan_errors(frame_with_tables(0xC0).sos({{1, 0}}, 0, 0, 0x01).build()),
            "Error - Invalid spectral selection\n");
  EXPECT_EQ(scan_errors(frame_with_tables(0xC0).sos({{1, 0}}, 1, 63).build()), "Error - Invalid spectral selection\n");
  EXPECT_EQ(scan_errors(frame_with_tables(0xC0).sos({{1, 0}}, 0, 63, 0x10).build()),
            "Error - Invalid successive approximation\n");
}

TEST(ScanHeader, ProgressiveDcFirstScanPassesWithoutAcTables) {
  JpegStreamBuilder b;
  b.soi().dqt_all(0, 1).sof(0xC2, 8, 8, {{1, 0x11, 0}}).dht(0, 0, counts({1}), {0}).sos({{1, 0}}, 0, 0, 0x01);
  const Parsed parsed = run_header(b.bytes());
  EXPECT_TRUE(parsed.state->valid) << parsed.messages;
  EXPECT_EQ(parsed.state->approx_low, 1);
  EXPECT_EQ(parsed.state->approx_high, 0);
}

TEST(ScanHeader, ProgressiveChecksInOrder) {
  const auto scan = [](std::initializer_list<testing::ScanComponent> components, std::uint8_t start, std::uint8_t end,
                       std::uint8_t approximation) {
    return scan_errors(frame_with_tables(0xC2).sos(components, start, end, approximation).build());
  };
  EXPECT_EQ(scan({{1, 0}}, 5, 4, 0x00), "Error - Invalid spectral selection (start greater than end)\n");
  EXPECT_EQ(scan({{1, 0}}, 1, 64, 0x00), "Error - Invalid spectral selection (end greater than 63)\n");
  EXPECT_EQ(scan({{1, 0}}, 0, 5, 0x00), "Error - Invalid spectral selection (contains DC and AC)\n");
  EXPECT_EQ(scan({{1, 0}, {2, 0}}, 1, 5, 0x00),
            "Error - Invalid spectral selection (AC scan contains multiple components)\n");
  EXPECT_EQ(scan({{1, 0}}, 1, 5, 0x20), "Error - Invalid successive approximation\n");
  EXPECT_EQ(scan({{1, 0}}, 1, 5, 0x21), "");
  EXPECT_EQ(scan({{1, 0}, {2, 0}, {3, 0}}, 0, 0, 0x00), "");
}

TEST(ScanHeader, EveryNeededTableMustBeDefinedFirst) {
  JpegStreamBuilder no_quant;
  no_quant.soi().sof(0xC0, 8, 8, {{1, 0x11, 2}});
  minimal_tables(no_quant).sos({{1, 0x00}});
  EXPECT_EQ(scan_errors(no_quant.bytes()), "Error - Color component using uninitialized quantization table\n");

  JpegStreamBuilder no_dc;
  no_dc.soi().dqt_all(0, 1).sof(0xC0, 8, 8, {{1, 0x11, 0}}).dht(1, 0, counts({1}), {0}).sos({{1, 0x00}});
  EXPECT_EQ(scan_errors(no_dc.bytes()), "Error - Color component using uninitialized Huffman DC table\n");

  JpegStreamBuilder no_ac;
  no_ac.soi().dqt_all(0, 1).sof(0xC0, 8, 8, {{1, 0x11, 0}}).dht(0, 0, counts({1}), {0}).sos({{1, 0x00}});
  EXPECT_EQ(scan_errors(no_ac.bytes()), "Error - Color component using uninitialized Huffman AC table\n");

  // Components are checked in frame order, not in the order the scan lists
  // them: component 1's missing quantisation table is found first.
  JpegStreamBuilder frame_order;
  frame_order.soi().dqt_all(0, 1).dqt_all(1, 1).sof(0xC0, 8, 16, {{1, 0x21, 2}, {2, 0x11, 1}, {3, 0x11, 1}});
  minimal_tables(frame_order).sos({{3, 0x22}, {1, 0x00}});
  EXPECT_EQ(scan_errors(frame_order.bytes()), "Error - Color component using uninitialized quantization table\n");
}

TEST(ScanHeader, LengthMustMatchTheComponentCount) {
  const Bytes bytes = frame_with_tables(0xC0).segment_with_length(0xDA, 9, {1, 1, 0x00, 0, 63, 0}).build();
  EXPECT_EQ(scan_errors(bytes), "Error - SOS invalid\n");
}

TEST(TruncatedHeader, ParsersReadIntoTheNextSegmentAndStopOnlyAtTheEnd) {
  // A DQT claiming two tables while the stream holds one: the second table
  // byte comes from the following marker, then the data runs out.
  Bytes one_table = JpegStreamBuilder::dqt_table(0, {});
  const Bytes bytes = JpegStreamBuilder().soi().segment_with_length(0xDB, 132, one_table).marker(0xDA).build();
  const Parsed parsed = run_marker_loop(bytes);
  EXPECT_EQ(parsed.messages, "Reading DQT Marker\nError - Invalid quantization table ID: 15\n");

  const Bytes with_zero_marker =
      JpegStreamBuilder().soi().segment_with_length(0xDB, 132, one_table).raw({0x00, 0x01}).build();
  EXPECT_EQ(run_marker_loop(with_zero_marker).messages, "Reading DQT Marker\nError - File ended prematurely\n");
}

}  // namespace
}  // namespace shardcast
