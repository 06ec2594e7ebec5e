#include "decoder/entropy.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <initializer_list>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "decoder/bit_reader.h"
#include "decoder/entropy_rules.h"
#include "decoder/random_draw.h"
#include "support/jpeg_stream_builder.h"

namespace shardcast {
namespace {

using testing::BitWriter;
using testing::Bytes;

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// Canonical codes for counts[L - 1] codes of length L, symbols in order.
HuffmanTable make_table(const std::array<std::uint8_t, 16>& counts, std::initializer_list<std::uint8_t> symbols) {
  HuffmanTable table;
  table.defined = true;
  std::uint32_t code = 0;
  int index = 0;
  for (int length = 1; length <= 16; ++length) {
    table.offsets[length] = static_cast<std::uint8_t>(table.offsets[length - 1] + counts[length - 1]);
    for (int i = 0; i < counts[length - 1]; ++i, ++index) {
      table.codes[index] = code++;
    }
    code *= 2;
  }
  int i = 0;
  for (std::uint8_t symbol : symbols) {
    table.symbols[i++] = symbol;
  }
  return table;
}

// DC lengths: 00 -> 0, 01 -> 2, 10 -> 3, 110 -> 1, 1110 -> 12; 1111... never
// matches.
HuffmanTable dc_table() { return make_table({0, 3, 1, 1}, {0, 2, 3, 1, 12}); }

// AC symbols: 00 -> end of block, 01 -> 0x01, 10 -> 0x02, 1100 -> 0xF0,
// 1101 -> 0xF2, 11100 -> 0xFF, 11101 -> 0x0F; 1111... never matches.
HuffmanTable ac_table() { return make_table({0, 3, 0, 2, 2}, {0x00, 0x01, 0x02, 0xF0, 0xF2, 0xFF, 0x0F}); }

// A baseline frame of block_rows x block_cols luma blocks; three components
// with luma sampled h x v when chroma is set, all in the scan.
struct ScanFixture {
  DecoderState state;
  std::vector<BlockCell> cells;
  std::mt19937 rng{7u};  // the recovery engine, seeded as a render with seed 7 seeds it
  std::string text;
  MessageSink sink = MessageSink::appending_to(text);
  Bytes data;

  ScanFixture(std::uint32_t block_rows, std::uint32_t block_cols, bool chroma = false, std::uint8_t h = 1,
              std::uint8_t v = 1) {
    state.frame_marker = 0xC0;
    state.component_count = chroma ? 3 : 1;
    state.scan_component_count = state.component_count;
    state.block_rows = block_rows;
    state.block_cols = block_cols;
    state.padded_block_rows = block_rows + (v == 2 && block_rows % 2 == 1 ? 1 : 0);
    state.padded_block_cols = block_cols + (h == 2 && block_cols % 2 == 1 ? 1 : 0);
    state.mcu_h_blocks = h;
    state.mcu_v_blocks = v;
    for (int i = 0; i < state.component_count; ++i) {
      ComponentSpec& component = state.components[i];
      component.h_factor = i == 0 ? h : 1;
      component.v_factor = i == 0 ? v : 1;
      component.in_frame = true;
      component.in_scan = true;
    }
    state.dc_tables[0] = dc_table();
    state.ac_tables[0] = ac_table();
    // Exactly the padded size, so that a stray write shows under ASan.
    cells.resize(state.padded_block_rows * state.padded_block_cols);
    state.coefficients = cells.data();
  }

  void decode() {
    StreamCursor cursor{0, 0, data.data(), 0, static_cast<std::uint32_t>(data.size())};
    MessageWriter messages(sink);
    decode_scan(cursor, state, rng, messages);
  }

  std::int32_t* plane(std::uint32_t row, std::uint32_t col, int index) { return state.cell(row, col).plane[index]; }
};

// A cursor and a writer over fixed bytes, for the bit-level reads.
struct ReaderFixture {
  Bytes data;
  StreamCursor cursor;
  std::string text;
  MessageWriter messages;

  explicit ReaderFixture(Bytes bytes)
      : data(std::move(bytes)),
        cursor{0, 0, data.data(), 0, static_cast<std::uint32_t>(data.size())},
        messages(MessageSink::appending_to(text)) {}

  std::string lines() {
    messages.flush();
    return text;
  }
};

TEST(RandomInRange, RecoveryRangeRejectsTheLowestProducts) {
  std::int32_t result = -1;
  EXPECT_FALSE(map_draw(recovery_range, 0x00000000u, result));
  EXPECT_FALSE(map_draw(recovery_range, 0x80000000u, result));  // p mod 2^32 is 0
  ASSERT_TRUE(map_draw(recovery_range, 0xFFFFFFFFu, result));
  EXPECT_EQ(result, 10);
  ASSERT_TRUE(map_draw(recovery_range, 1u, result));  // p mod 2^32 is 10, above 6
  EXPECT_EQ(result, 1);
}

TEST(RandomInRange, TableIndexRangeIsTheTopSixBitsAndNeverRejects) {
  std::int32_t result = -1;
  for (std::uint32_t draw : {0x00000000u, 0x03FFFFFFu, 0x04000000u, 0x80000000u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
    ASSERT_TRUE(map_draw(table_index_range, draw, result)) << draw;
    EXPECT_EQ(result, static_cast<std::int32_t>(draw >> 26)) << draw;
  }
}

TEST(RandomInRange, AcBitsRangeRejectsOnlyZero) {
  std::int32_t result = -1;
  EXPECT_FALSE(map_draw(ac_bits_range, 0u, result));
  ASSERT_TRUE(map_draw(ac_bits_range, 1u, result));
  EXPECT_EQ(result, 0);
  ASSERT_TRUE(map_draw(ac_bits_range, 0xFFFFFFFFu, result));
  EXPECT_EQ(result, 254);
}

TEST(RandomInRange, TakesOneEngineOutputPerAcceptedDraw) {
  std::mt19937 engine(12345);
  for (int n = 0; n < 1000; ++n) {
    std::mt19937 expected_engine = engine;
    const std::uint32_t draw = static_cast<std::uint32_t>(expected_engine());
    std::int32_t expected = 0;
    ASSERT_TRUE(map_draw(ac_bits_range, draw, expected));
    EXPECT_EQ(random_in_range(ac_bits_range, engine), expected);
    ASSERT_EQ(engine, expected_engine);
  }
}

TEST(ByteFetch, StuffedFfIsOneDataByteWithOrWithoutFillBytes) {
  ReaderFixture plain({0xFF, 0x00, 0x12});
  EXPECT_EQ(read_bits(plain.cursor, 8, plain.messages), 0xFF);
  EXPECT_EQ(read_bits(plain.cursor, 8, plain.messages), 0x12);

  ReaderFixture filled({0xFF, 0xFF, 0x00, 0x12});
  EXPECT_EQ(read_bits(filled.cursor, 8, filled.messages), 0xFF);
  EXPECT_EQ(read_bits(filled.cursor, 8, filled.messages), 0x12);
  EXPECT_EQ(plain.lines() + filled.lines(), "");
}

TEST(ByteFetch, RestartMarkerIsDroppedWithoutALine) {
  ReaderFixture reader({0xAB, 0xFF, 0xD3, 0xFF, 0xD7, 0xCD});
  EXPECT_EQ(read_bits(reader.cursor, 16, reader.messages), 0xABCD);
  EXPECT_EQ(reader.lines(), "");
}

TEST(ByteFetch, ForeignMarkerIsReportedOnceThenReadAsData) {
  ReaderFixture reader({0xF0, 0xFF, 0xD9});
  EXPECT_EQ(read_bits(reader.cursor, 4, reader.messages), 0xF);
  EXPECT_EQ(read_bits(reader.cursor, 8, reader.messages), -1);  // half a byte read, then the marker
  EXPECT_EQ(reader.lines(), "Error - Invalid marker: 0xd9\n");
  EXPECT_EQ(read_bits(reader.cursor, 8, reader.messages), 0xD9);
  EXPECT_EQ(reader.lines(), "Error - Invalid marker: 0xd9\n");
}

TEST(ByteFetch, EndOfDataFailsSilentlyAndNeverReadsPastIt) {
  ReaderFixture reader({0xA5, 0xFF});
  EXPECT_EQ(read_bits(reader.cursor, 0, reader.messages), 0);
  EXPECT_EQ(read_bits(reader.cursor, 4, reader.messages), 0xA);
  EXPECT_EQ(read_bits(reader.cursor, 8, reader.messages), -1);
  EXPECT_EQ(read_bits(reader.cursor, 1, reader.messages), -1);  // a trailing 0xFF is no data
  EXPECT_EQ(reader.cursor.position, 2u);
  EXPECT_EQ(reader.lines(), "");
}

TEST(HuffmanSymbol, SixteenBitsWithoutAMatchAreConsumed) {
  ReaderFixture reader({0xFF, 0x00, 0xFF, 0x00, 0x40});
  EXPECT_EQ(read_huffman_symbol(reader.cursor, dc_table(), reader.messages), no_symbol);
  EXPECT_EQ(read_bits(reader.cursor, 2, reader.messages), 1);
}

TEST(HuffmanSymbol, EachLengthMatchesOnlyItsOwnCodes) {
  // 01 is symbol 2 at length 2; 110 is symbol 1, though 11 prefixes it.
  ReaderFixture reader({0b01110000});
  EXPECT_EQ(read_huffman_symbol(reader.cursor, dc_table(), reader.messages), 2);
  EXPECT_EQ(read_huffman_symbol(reader.cursor, dc_table(), reader.messages), 1);
  EXPECT_EQ(read_huffman_symbol(reader.cursor, dc_table(), reader.messages), 0);
}

TEST(DecodeBlock, CleanBlockLandsInNaturalOrder) {
  ScanFixture scan(1, 1);
  // DC length 2, bits 10 -> 2; AC 0x01 bit 0 -> -1 at zig-zag 1; 0xF2 (run
  // 15, size 2) bits 11 -> 3 at zig-zag 17; end of block.
  scan.data = BitWriter()
                  .bits(0b01, 2)
                  .bits(0b10, 2)
                  .bits(0b01, 2)
                  .bits(0, 1)
                  .bits(0b1101, 4)
                  .bits(0b11, 2)
                  .bits(0b00, 2)
                  .finish();
  scan.decode();
  std::array<std::int32_t, 64> expected{};
  expected[0] = 2;
  expected[zigzag_order[1]] = -1;
  expected[zigzag_order[17]] = 3;
  EXPECT_THAT(std::to_array(scan.cells[0].plane[0]), ::testing::ElementsAreArray(expected));
  EXPECT_EQ(scan.text, "");
}

TEST(DecodeBlock, DcPredictorAddsWithWraparound) {
  ScanFixture scan(1, 1);
  scan.data = BitWriter().bits(0b110, 3).bits(1, 1).bits(0b00, 2).finish();  // DC +1, end of block
  StreamCursor cursor{0, 0, scan.data.data(), 0, static_cast<std::uint32_t>(scan.data.size())};
  MessageWriter messages(scan.sink);
  std::int32_t predictor = INT32_MAX;
  ASSERT_TRUE(decode_block(scan.state, cursor, scan.plane(0, 0, 0), predictor, scan.state.dc_tables[0],
                           scan.state.ac_tables[0], scan.rng, messages));
  EXPECT_EQ(predictor, INT32_MIN);
  EXPECT_EQ(scan.plane(0, 0, 0)[0], INT32_MIN);
}

TEST(DecodeBlock, EndOfBlockRightAfterDcLeavesEveryAcEntryZero) {
  ScanFixture scan(1, 2);
  // Block 0: DC length 3, bits 011 -> -4; block 1: DC +1, so -3.
  scan.data = BitWriter().bits(0b10, 2).bits(0b011, 3).bits(0b00, 2).bits(0b110, 3).bits(1, 1).bits(0b00, 2).finish();
  scan.decode();
  EXPECT_EQ(scan.plane(0, 0, 0)[0], -4);
  EXPECT_EQ(scan.plane(0, 1, 0)[0], -3);
  for (int j = 1; j < 64; ++j) {
    EXPECT_EQ(scan.plane(0, 0, 0)[j], 0);
    EXPECT_EQ(scan.plane(0, 1, 0)[j], 0);
  }
  EXPECT_EQ(scan.text, "");
}

// The replacement draws of one recovery, taken from a copy of the engine so
// that the test can lay out the bits that follow it.
std::int32_t next_draw(const std::mt19937& rng, DrawRange range) {
  std::mt19937 engine = rng;
  return random_in_range(range, engine);
}

TEST(DecodeBlock, AcSymbolFfCountsAsNoMatchAndIsReplaced) {
  ScanFixture scan(1, 1);
  const std::int32_t size = next_draw(scan.rng, recovery_range);
  // DC length 0; AC code of symbol 0xFF; then the replacement's bits with
  // the top one set (a positive value); end of block.
  scan.data = BitWriter().bits(0b00, 2).bits(0b11100, 5).bits(1u << (size - 1), size).bits(0b00, 2).finish();
  scan.decode();
  EXPECT_EQ(scan.text, "Error - Invalid AC value\n");
  EXPECT_EQ(scan.plane(0, 0, 0)[zigzag_order[1]], 1 << (size - 1));
  EXPECT_EQ(scan.plane(0, 0, 0)[zigzag_order[2]], 0);
}

TEST(DecodeBlock, AcSizeAbove10ReadsAsManyBitsAsTheReplacementSize) {
  ScanFixture scan(1, 1);
  const std::int32_t size = next_draw(scan.rng, recovery_range);
  // Symbol 0x0F (size 15); the replacement size's bits, all ones; EOB.
  scan.data = BitWriter().bits(0b00, 2).bits(0b11101, 5).bits((1u << size) - 1, size).bits(0b00, 2).finish();
  scan.decode();
  EXPECT_EQ(scan.text, "Error - AC coefficient length greater than 10\n");
  EXPECT_EQ(scan.plane(0, 0, 0)[zigzag_order[1]], (1 << size) - 1);
}

TEST(DecodeBlock, RunPastTheBlockStoresAt63AndEndsTheBlock) {
  ScanFixture scan(1, 2);
  // Three zero runs of 16 reach zig-zag 49; a run of 15 would pass 63, so
  // the value (bits 10 -> 2) lands at 63 and the block ends without an end
  // of block code. The next block's DC follows at once.
  scan.data = BitWriter()
                  .bits(0b00, 2)
                  .bits(0b1100, 4)
                  .bits(0b1100, 4)
                  .bits(0b1100, 4)
                  .bits(0b1101, 4)
                  .bits(0b10, 2)
                  .bits(0b110, 3)
                  .bits(1, 1)
                  .bits(0b00, 2)
                  .finish();
  scan.decode();
  EXPECT_EQ(scan.text, "Error - Zero run-length exceeded block component\n");
  std::array<std::int32_t, 64> expected{};
  expected[63] = 2;
  EXPECT_THAT(std::to_array(scan.cells[0].plane[0]), ::testing::ElementsAreArray(expected));
  EXPECT_EQ(scan.plane(0, 1, 0)[0], 1);
}

TEST(DecodeBlock, RunPastTheBlockAndSizeAbove10InOneSymbolAreBothAnswered) {
  ScanFixture scan(1, 1);
  // AC codes 00 -> end of block, 01 -> 0xF0, 10 -> 0xFB (run 15, size 11).
  scan.state.ac_tables[0] = make_table({0, 3}, {0x00, 0xF0, 0xFB});
  const std::int32_t size = next_draw(scan.rng, recovery_range);
  // DC length 0; three zero runs of 16 reach zig-zag 49; 0xFB passes 63 and
  // has a size above 10: its value, of the replacement size, lands at 63.
  scan.data =
      BitWriter().bits(0b00, 2).bits(0b010101, 6).bits(0b10, 2).bits(1u << (size - 1), size).bits(0, 7).finish();
  scan.decode();
  EXPECT_EQ(scan.text,
            "Error - Zero run-length exceeded block component\n"
            "Error - AC coefficient length greater than 10\n");
  std::array<std::int32_t, 64> expected{};
  expected[63] = 1 << (size - 1);
  EXPECT_THAT(std::to_array(scan.cells[0].plane[0]), ::testing::ElementsAreArray(expected));
}

// A value read with length s stands for a negative one below 2^(s-1);
// replacement values beyond what the length can express follow the same
// rule.
TEST(Extend, ValuesBelowHalfTheLengthsRangeAreNegative) {
  struct Case {
    std::int32_t value;
    std::uint32_t length;
    std::int32_t expected;
  };
  const Case cases[] = {
      {0, 0, 0},       {0, 1, -1},     {1, 1, 1},         {7, 1, 7},        {3, 3, -4},
      {4, 3, 4},       {0, 11, -2047}, {1023, 11, -1024}, {1024, 11, 1024}, {2047, 11, 2047},
      {254, 10, -769}, {254, 8, 254},  {200, 9, -311},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(extend(c.value, c.length), c.expected) << c.value << " with length " << c.length;
  }
}

TEST(DecodeBlock, ForeignMarkerLineComesBeforeTheFailedReadsLine) {
  ScanFixture scan(1, 1);
  // DC length 0, AC 0x02 with bits 11, AC 0x01 whose bit runs into FF D9.
  // Then D9 is data: 1101 is 0xF2 (run 15, size 2), bits 10 -> 2 at 18.
  scan.data = {0b00101101, 0xFF, 0xD9};
  scan.decode();
  const std::vector<std::string> lines = split_lines(scan.text);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Error - Invalid marker: 0xd9");
  EXPECT_EQ(lines[1], "Error - Invalid AC value");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Error - Invalid marker: 0xd9"), 1);
  EXPECT_EQ(scan.plane(0, 0, 0)[zigzag_order[1]], 3);
  EXPECT_EQ(scan.plane(0, 0, 0)[zigzag_order[18]], 2);
}

TEST(DecodeScan, DcLengthAbove11StopsTheScanWithItsLine) {
  ScanFixture scan(1, 3);
  scan.data = BitWriter().bits(0b110, 3).bits(1, 1).bits(0b00, 2).bits(0b1110, 4).bits(0, 12).bits(0, 16).finish();
  scan.decode();
  EXPECT_EQ(scan.text, "Error - DC coefficient length greater than 11\n");
  EXPECT_EQ(scan.plane(0, 0, 0)[0], 1);
  for (std::uint32_t col = 1; col < 3; ++col) {
    for (int j = 0; j < 64; ++j) {
      EXPECT_EQ(scan.plane(0, col, 0)[j], 0);
    }
  }
}

TEST(DecodeScan, ProgressiveFrameDecodesNothingAndReadsNothing) {
  ScanFixture scan(2, 2);
  scan.state.frame_marker = 0xC2;
  scan.data = {0x12, 0x34};
  StreamCursor cursor{0, 0, scan.data.data(), 0, 2};
  MessageWriter messages(scan.sink);
  decode_scan(cursor, scan.state, scan.rng, messages);
  messages.flush();
  EXPECT_EQ(cursor.position, 0u);
  EXPECT_EQ(scan.text, "");
  for (const BlockCell& cell : scan.cells) {
    for (const auto& plane : cell.plane) {
      for (std::int32_t value : plane) {
        EXPECT_EQ(value, 0);
      }
    }
  }
}

TEST(DecodeScan, BlocksAfterTheDataEndsAreAllReplacementsWith128LinesEach) {
  ScanFixture scan(1, 3);
  scan.data = BitWriter().bits(0b110, 3).bits(1, 1).bits(0b00, 2).finish();  // block 0 only
  const std::mt19937 engine_before = scan.rng;
  scan.decode();
  const std::vector<std::string> lines = split_lines(scan.text);
  ASSERT_EQ(lines.size(), 2u * 128u);
  for (int block = 0; block < 2; ++block) {
    const auto first = lines.begin() + block * 128;
    EXPECT_EQ(std::count(first, first + 2, "Error - Invalid DC value"), 2);
    EXPECT_EQ(std::count(first + 2, first + 128, "Error - Invalid AC value"), 126);
  }
  // A replacement never extends to zero, so every entry was written.
  for (std::uint32_t col = 1; col < 3; ++col) {
    for (int j = 1; j < 64; ++j) {
      EXPECT_NE(scan.plane(0, col, 0)[j], 0) << col << ' ' << j;
    }
  }
  // Length first, bits second; the predictor carries on from block 0.
  std::mt19937 engine = engine_before;
  const std::int32_t length = random_in_range(recovery_range, engine);
  const std::int32_t bits = random_in_range(recovery_range, engine);
  const std::int32_t dc = bits >= (1 << (length - 1)) ? bits : bits + 1 - (1 << length);
  EXPECT_EQ(scan.plane(0, 1, 0)[0], 1 + dc);
  // One output per replacement: 128 per block.
  std::mt19937 advanced = engine_before;
  advanced.discard(2 * 128);
  EXPECT_EQ(scan.rng, advanced);
}

TEST(DecodeScan, RestartMarkerBetweenIntervalsLeavesPredictorsAlone) {
  ScanFixture scan(1, 2);
  BitWriter writer;
  writer.bits(0b10, 2).bits(0b111, 3).bits(0b01, 2).bits(1, 1);  // DC +7, AC +1: one byte
  writer.raw_byte(0xFF).raw_byte(0xD3);
  writer.bits(0b00, 2);                            // end of block 0
  writer.bits(0b110, 3).bits(1, 1).bits(0b00, 2);  // DC +1
  scan.data = writer.finish();
  scan.decode();
  EXPECT_EQ(scan.plane(0, 0, 0)[0], 7);
  EXPECT_EQ(scan.plane(0, 0, 0)[1], 1);
  EXPECT_EQ(scan.plane(0, 1, 0)[0], 8);
  EXPECT_EQ(scan.text, "");
}

TEST(DecodeScan, RestartIntervalResetsPredictorsAndDropsTheBitsInHand) {
  // Interleaved 4:2:2, six MCUs of two luma blocks and one of each chroma.
  ScanFixture scan(1, 12, true, 2, 1);
  scan.state.restart_interval = 4;
  BitWriter writer;
  for (int mcu = 0; mcu < 6; ++mcu) {
    if (mcu == 4) {
      writer.raw_byte(0xFF).raw_byte(0xD0);  // after 97 bits, so seven pad bits precede it
    }
    for (int block = 0; block < 4; ++block) {
      if (mcu == 0 && block == 0) {
        writer.bits(0b10, 2).bits(0b111, 3).bits(0b00, 2);  // +7
      } else {
        writer.bits(0b110, 3).bits(1, 1).bits(0b00, 2);  // +1
      }
    }
  }
  scan.data = writer.finish();
  scan.decode();
  EXPECT_EQ(scan.text, "");
  const std::int32_t luma[12] = {7, 8, 9, 10, 11, 12, 13, 14, 1, 2, 3, 4};
  const std::int32_t chroma[6] = {1, 2, 3, 4, 1, 2};
  for (std::uint32_t col = 0; col < 12; ++col) {
    EXPECT_EQ(scan.plane(0, col, 0)[0], luma[col]) << col;
  }
  for (std::uint32_t mcu = 0; mcu < 6; ++mcu) {
    EXPECT_EQ(scan.plane(0, mcu * 2, 1)[0], chroma[mcu]) << mcu;
    EXPECT_EQ(scan.plane(0, mcu * 2, 2)[0], chroma[mcu]) << mcu;
  }
}

// Every accepted sampling with odd block counts: the MCUs fill the padded
// storage exactly, chroma only in each MCU's origin, nothing beyond.
TEST(DecodeScan, OddGeometriesStayInsideThePaddedStorage) {
  for (auto [h, v] : {std::pair{1, 1}, {2, 1}, {1, 2}, {2, 2}}) {
    ScanFixture scan(3, 5, true, static_cast<std::uint8_t>(h), static_cast<std::uint8_t>(v));
    scan.decode();  // no data: every block is made of replacements
    const std::uint32_t rows = scan.state.padded_block_rows;
    const std::uint32_t cols = scan.state.padded_block_cols;
    const std::uint32_t mcus = rows / v * (cols / h);
    EXPECT_EQ(split_lines(scan.text).size(), mcus * (h * v + 2) * 128u) << h << 'x' << v;
    for (std::uint32_t row = 0; row < rows; ++row) {
      for (std::uint32_t col = 0; col < cols; ++col) {
        const bool origin = row % v == 0 && col % h == 0;
        EXPECT_NE(scan.plane(row, col, 0)[63], 0) << h << 'x' << v << ' ' << row << ',' << col;
        EXPECT_EQ(scan.plane(row, col, 1)[63] != 0, origin) << h << 'x' << v << ' ' << row << ',' << col;
        EXPECT_EQ(scan.plane(row, col, 2)[63] != 0, origin) << h << 'x' << v << ' ' << row << ',' << col;
      }
    }
  }
}

TEST(DecodeScan, LumaOnlyScanOfAColourFrameIsOneBlockPerMcu) {
  ScanFixture scan(1, 3, true, 2, 1);
  scan.state.scan_component_count = 1;
  scan.state.components[1].in_scan = false;
  scan.state.components[2].in_scan = false;
  BitWriter writer;
  for (int block = 0; block < 3; ++block) {
    writer.bits(0b110, 3).bits(1, 1).bits(0b00, 2);
  }
  scan.data = writer.finish();
  scan.decode();
  EXPECT_EQ(scan.text, "");
  EXPECT_EQ(scan.plane(0, 2, 0)[0], 3);
  EXPECT_EQ(scan.plane(0, 3, 0)[0], 0);  // the padding column is not decoded
}

TEST(DecodeScan, SameStreamAndSeedGiveTheSameCoefficientsAndLines) {
  std::mt19937 bytes(99);
  Bytes garbage(300);
  for (std::uint8_t& byte : garbage) {
    byte = static_cast<std::uint8_t>(bytes());
  }
  ScanFixture first(4, 6, true, 2, 1);
  ScanFixture second(4, 6, true, 2, 1);
  first.data = second.data = garbage;
  first.decode();
  second.decode();
  EXPECT_FALSE(first.text.empty());
  EXPECT_EQ(first.text, second.text);
  for (std::size_t c = 0; c < first.cells.size(); ++c) {
    for (int p = 0; p < 3; ++p) {
      ASSERT_THAT(std::to_array(first.cells[c].plane[p]),
                  ::testing::ElementsAreArray(std::to_array(second.cells[c].plane[p])))
          << c << ' ' << p;
    }
  }
  EXPECT_EQ(first.rng, second.rng);
}

}  // namespace
}  // namespace shardcast
