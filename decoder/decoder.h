// The tolerant JPEG decoder, as the rest of the effect sees it: one call
// from a (damaged) baseline stream to the red, green and blue bytes of a
// pixel buffer, and the header reader that tells a frame's declared size.
//
// A decode takes only what it uses: the engine whose draws answer damaged
// scan data, the tampering of the two quantisation tables with their own
// engines, the three stage switches, the output buffer and where its lines
// go. It never throws and releases everything it allocated before it
// returns. A header that fails a check, or storage that cannot be had,
// leaves the buffer untouched (result -1); once the scan header has passed,
// the picture is always written (result 0).
#pragma once

#include <cstdint>
#include <random>

#include "decoder/message_sink.h"
#include "decoder/simd_level.h"

namespace shardcast {

// How one quantisation table is tampered with before dequantisation.
struct TableTampering {
  bool enabled = false;       // overwrite the entry at `position` with `value`
  std::int32_t position = 0;  // 1-64, in natural order
  std::int32_t value = 0;
  std::int32_t break_count = 0;  // entries overwritten with random values
  std::int32_t max_random = 0;   // modulus of those values; 0 writes 0
};

// Which reconstruction stages run; a stage left out shows the numbers the
// previous one left as colours.
struct StageSwitches {
  bool dequantize = false;
  bool inverse_dct = false;
  bool ycbcr_to_rgb = false;
};

// Everything a decode reads besides the stream, and the engines it advances.
struct DecodeOptions {
  std::mt19937& recovery_rng;  // replacements for damaged codes and fields
  std::mt19937& luma_rng;      // random entries of table 0
  std::mt19937& chroma_rng;    // random entries of table 1
  TableTampering luma;
  TableTampering chroma;
  StageSwitches stages;
};

// width x height pixels of four bytes, alpha, red, green, blue, rows back
// to back. Alpha is never written.
struct PixelBuffer {
  std::uint8_t* pixels = nullptr;
  std::int32_t width = 0;
  std::int32_t height = 0;
};

// 0 when the picture was written into `output`, -1 when decoding stopped
// with it untouched. Only pixels inside both the frame and the buffer are
// written. Runs the fast paths of the best instruction set this processor
// has (decode_stream_with).
std::int32_t decode_stream(const std::uint8_t* stream, std::uint32_t length, const DecodeOptions& options,
                           PixelBuffer output, MessageSink messages);

// The same decode through the fast paths of the given instruction set, and
// through the straightforward reference, which the fast paths are compared
// with: all of them give the same result, bytes, lines and draws.
std::int32_t decode_stream_with(SimdLevel level, const std::uint8_t* stream, std::uint32_t length,
                                const DecodeOptions& options, PixelBuffer output, MessageSink messages);
std::int32_t decode_stream_reference(const std::uint8_t* stream, std::uint32_t length, const DecodeOptions& options,
                                     PixelBuffer output, MessageSink messages);

// What the header in front of the scan declares, read by the decoder's own
// header parser with its lines discarded. The size is 0 x 0 when no frame
// header was reached; `valid` is false when any header check failed, also
// one after the frame header.
struct FrameHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  bool valid = false;
};
FrameHeader read_frame_header(const std::uint8_t* stream, std::uint32_t length);

}  // namespace shardcast
