// Differential fuzzing of the fast paths against the straightforward code,
// on arbitrary streams and settings. The input is laid out as the decoder
// harness's (15 settings bytes, then the stream), so the two share seeds;
// bits 5-7 of the first byte choose a filter weight.
//
// For every input:
// - the scan is entropy-decoded bit by bit (decode_scan) and through the
//   buffer and lookup tables (decode_scan_fast): the coefficients, the
//   cursor, the lines and the recovery engine must be identical;
// - the whole stream is decoded by the reference driver and by the fast
//   driver on every instruction-set level this processor has: the result,
//   the pixels, the lines and all three engines must be identical;
// - both filters run over that picture, reference against every level.
// Any difference aborts.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/decoder_state.h"
#include "decoder/entropy.h"
#include "decoder/fast_entropy.h"
#include "decoder/markers.h"
#include "decoder/message_sink.h"
#include "fuzz/decoder_settings.h"
#include "fuzz/fuzz_input.h"
#include "pipeline/filter_kernels.h"

namespace {

using shardcast::BlockCell;
using shardcast::DecodeOptions;
using shardcast::DecoderState;
using shardcast::MessageSink;
using shardcast::MessageWriter;
using shardcast::PixelBuffer;
using shardcast::SimdLevel;
using shardcast::StreamCursor;

// Larger frames add time, not paths: every input is decoded five times.
constexpr std::uint64_t max_pixels = 128u * 128u;

void require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

// The decoder's text, kept as a 64-bit digest and a length: a frame whose
// data ends early writes 128 lines per block, too many to keep as text for
// every decode of every input. The text is taken eight bytes at a time, in
// the same words however the writer cuts it into pieces.
struct TextDigest {
  std::uint64_t hash = 0;
  std::uint64_t word = 0;
  std::uint64_t length = 0;

  void mix() {
    hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
    hash ^= hash >> 32;
    word = 0;
  }
  void add_byte(std::uint8_t byte) {
    word |= std::uint64_t{byte} << (8 * (length % 8));
    if (++length % 8 == 0) {
      mix();
    }
  }
  static void add(void* context, const char* text, std::size_t size) {
    auto& digest = *static_cast<TextDigest*>(context);
    std::size_t i = 0;
    for (; i < size && digest.length % 8 != 0; ++i) {
      digest.add_byte(static_cast<std::uint8_t>(text[i]));
    }
    for (; i + 8 <= size; i += 8) {
      std::uint64_t eight = 0;
      std::memcpy(&eight, text + i, sizeof eight);  // little-endian, as add_byte builds words
      digest.word = eight;
      digest.length += 8;
      digest.mix();
    }
    for (; i < size; ++i) {
      digest.add_byte(static_cast<std::uint8_t>(text[i]));
    }
  }
  MessageSink sink() { return MessageSink{&TextDigest::add, this}; }
  bool operator==(const TextDigest&) const = default;
};

// A header parsed up to the entropy-coded data, with zeroed storage for the
// whole frame; null when the header fails or the frame is too large.
struct ParsedScan {
  std::unique_ptr<DecoderState> state;
  std::unique_ptr<BlockCell[]> cells;
  StreamCursor cursor;
};

bool parse_scan(const std::uint8_t* stream, std::uint32_t length, ParsedScan& scan) {
  scan.state = std::make_unique<DecoderState>();
  scan.cursor.data = stream;
  scan.cursor.size = length;
  MessageWriter quiet(MessageSink::discard());
  shardcast::parse_markers(scan.cursor, *scan.state, quiet);
  const std::uint64_t cells = std::uint64_t{scan.state->padded_block_rows} * scan.state->padded_block_cols;
  if (!scan.state->valid || cells * 64 > max_pixels * 4) {
    return false;
  }
  scan.cells.reset(new BlockCell[cells]());
  scan.state->coefficients = scan.cells.get();
  shardcast::parse_sos(scan.cursor, *scan.state, quiet);
  return scan.state->valid;
}

bool same_cursor(const StreamCursor& a, const StreamCursor& b) {
  return a.position == b.position && a.next_bit == b.next_bit && a.current_byte == b.current_byte;
}

// `reference` is the stream's parsed header, decoded into here.
void compare_entropy_decoding(ParsedScan& reference, const std::uint8_t* stream, std::uint32_t length,
                              std::uint32_t seed) {
  ParsedScan fast;
  if (!parse_scan(stream, length, fast)) {
    return;
  }
  std::mt19937 reference_engine(seed);
  std::mt19937 engine(seed);
  TextDigest reference_lines;
  TextDigest fast_lines;
  {
    MessageWriter writer(reference_lines.sink());
    shardcast::decode_scan(reference.cursor, *reference.state, reference_engine, writer);
  }
  {
    MessageWriter writer(fast_lines.sink());
    shardcast::decode_scan_fast(fast.cursor, *fast.state, engine, writer);
  }
  const std::uint64_t cells = std::uint64_t{reference.state->padded_block_rows} * reference.state->padded_block_cols;
  require(std::memcmp(reference.cells.get(), fast.cells.get(), cells * sizeof(BlockCell)) == 0);
  require(same_cursor(reference.cursor, fast.cursor));
  require(reference_lines == fast_lines);
  require(reference_engine == engine);
}

struct Decoded {
  std::int32_t result = 0;
  std::vector<std::uint8_t> pixels;
  TextDigest lines;
  std::mt19937 recovery;
  std::mt19937 luma;
  std::mt19937 chroma;

  bool same_engines(const Decoded& other) const {
    return recovery == other.recovery && luma == other.luma && chroma == other.chroma;
  }
};

void decode(Decoded& decoded, const shardcast::fuzzing::DecoderSettings& settings, PixelBuffer size,
            const std::uint8_t* stream, std::uint32_t length, bool fast, SimdLevel level) {
  decoded.recovery.seed(settings.seed);
  decoded.luma.seed(settings.luma_seed);
  decoded.chroma.seed(settings.chroma_seed);
  const DecodeOptions options{decoded.recovery, decoded.luma,    decoded.chroma,
                              settings.luma,    settings.chroma, settings.stages};
  decoded.pixels.assign(static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height) * 4, 0x5A);
  const PixelBuffer output{decoded.pixels.data(), size.width, size.height};
  decoded.result = fast ? shardcast::decode_stream_with(level, stream, length, options, output, decoded.lines.sink())
                        : shardcast::decode_stream_reference(stream, length, options, output, decoded.lines.sink());
}

void compare_filters(const std::vector<std::uint8_t>& picture, std::int32_t width, std::int32_t height, float weight) {
  std::vector<std::uint8_t> reference1 = picture;
  std::vector<std::uint8_t> reference2 = picture;
  shardcast::filter1_reference(reference1.data(), width, height, weight);
  shardcast::filter2_reference(reference2.data(), width, height, weight);
  for (const SimdLevel level : shardcast::all_simd_levels) {
    if (!shardcast::simd_level_available(level)) {
      continue;
    }
    std::vector<std::uint8_t> fast1 = picture;
    std::vector<std::uint8_t> fast2 = picture;
    shardcast::filter1_fast(level, fast1.data(), width, height, weight);
    shardcast::filter2_fast(level, fast2.data(), width, height, weight);
    require(fast1 == reference1);
    require(fast2 == reference2);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  shardcast::fuzzing::FuzzInput input(data, size);
  const shardcast::fuzzing::DecoderSettings settings = shardcast::fuzzing::read_decoder_settings(input);
  const float weights[] = {0.0f,
                           1.0f,
                           -0.1f,
                           2.37f,
                           -10.0f,
                           std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::infinity(),
                           1.0e30f};
  const float weight = weights[settings.switches >> 5];

  const std::uint8_t* stream = input.rest();
  const auto length = static_cast<std::uint32_t>(input.rest_size());

  ParsedScan header;
  const bool parsed = parse_scan(stream, length, header);
  if (header.state->width * std::uint64_t{header.state->height} > max_pixels) {
    return -1;
  }
  const PixelBuffer frame{nullptr, parsed ? static_cast<std::int32_t>(header.state->width) : 8,
                          parsed ? static_cast<std::int32_t>(header.state->height) : 8};

  if (parsed) {
    compare_entropy_decoding(header, stream, length, settings.seed);
  }

  Decoded reference;
  decode(reference, settings, frame, stream, length, false, SimdLevel::scalar);
  for (const SimdLevel level : shardcast::all_simd_levels) {
    if (!shardcast::simd_level_available(level)) {
      continue;
    }
    Decoded fast;
    decode(fast, settings, frame, stream, length, true, level);
    require(fast.result == reference.result);
    require(fast.pixels == reference.pixels);
    require(fast.lines == reference.lines);
    require(fast.same_engines(reference));
  }
  compare_filters(reference.pixels, frame.width, frame.height, weight);
  return 0;
}
