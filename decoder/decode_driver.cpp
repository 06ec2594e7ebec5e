// The decode driver: runs the decoder's steps in their fixed order over one
// JPEG stream (header, storage, scan header, entropy decoding, table
// tampering, the switched reconstruction stages) and writes planes 0-2 of
// every block into the red, green and blue bytes of the output buffer; and
// the header reader that tells the frame size a stream declares. This
// straightforward form is the reference; decode_stream runs the fast form
// (fast_decode.cpp), which gives the same bytes, lines and draws.
//
// Tolerates any damage inside the scan data: once the scan header has passed
// its checks the picture is always written. Refuses a header that fails a
// check, and gives up when either of its two allocations fails; in both cases
// the output buffer is left untouched and the result is -1. Nothing is thrown
// and everything allocated here is released before returning.
#include "decoder/decoder.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "decoder/block_kernels.h"
#include "decoder/decode_driver.h"
#include "decoder/decoder_state.h"
#include "decoder/entropy.h"
#include "decoder/markers.h"
#include "decoder/message_sink.h"
#include "decoder/reconstruction.h"

namespace shardcast {
namespace {

static_assert(sizeof(std::size_t) >= 8, "the coefficient storage size is formed in 64 bits");

// Storage for every block cell of the padded frame. A frame without cells
// (no frame header) succeeds with whatever the allocator gave.
bool allocate_coefficients(DecoderState& state, bool zeroed, std::unique_ptr<BlockCell[]>& storage) {
  const std::uint64_t cell_count = std::uint64_t{state.padded_block_rows} * state.padded_block_cols;
  storage.reset(zeroed ? new (std::nothrow) BlockCell[cell_count]() : new (std::nothrow) BlockCell[cell_count]);
  if (storage == nullptr && cell_count != 0) {
    return false;
  }
  state.coefficients = storage.get();
  return true;
}

// Pixel (x, y) of the output takes entry (y mod 8) * 8 + (x mod 8) of the
// block cell that covers it, a row at a time by the scalar form of the
// block kernels' write-out; alpha is never written.
void write_out(const DecoderState& state, PixelBuffer output) {
  const WriteOutArea area = write_out_area(state, output);
  for (std::uint32_t y = 0; y < area.rows; ++y) {
    write_pixel_row(SimdLevel::scalar, state.coefficients + std::size_t{y / 8} * state.padded_block_cols, y % 8,
                    area.columns, area.row(y));
  }
}

void run_stages(DecoderState& state, StageSwitches stages) {
  if (stages.dequantize) {
    dequantize_blocks(state);
  }
  if (stages.inverse_dct) {
    inverse_dct_blocks(state);
  }
  if (stages.ycbcr_to_rgb) {
    convert_ycbcr_blocks(state);
  }
}

StreamCursor cursor_over(const std::uint8_t* stream, std::uint32_t length) {
  StreamCursor cursor;
  cursor.data = stream;
  cursor.size = length;
  return cursor;
}

}  // namespace

bool open_scan(const std::uint8_t* stream, std::uint32_t length, bool zero_storage, MessageWriter& writer,
               OpenedScan& scan) {
  scan.cursor = cursor_over(stream, length);
  scan.state.reset(new (std::nothrow) DecoderState);
  if (scan.state == nullptr) {
    writer.line(Message::MemoryError);
    return false;
  }
  DecoderState& state = *scan.state;

  parse_markers(scan.cursor, state, writer);
  if (!state.valid) {
    return false;
  }
  if (!allocate_coefficients(state, zero_storage, scan.storage)) {
    writer.line(Message::MemoryError);
    state.valid = false;
    return false;
  }
  parse_sos(scan.cursor, state, writer);
  return state.valid;
}

WriteOutArea write_out_area(const DecoderState& state, PixelBuffer output) {
  const std::uint32_t buffer_width = output.width > 0 ? static_cast<std::uint32_t>(output.width) : 0;
  const std::uint32_t buffer_height = output.height > 0 ? static_cast<std::uint32_t>(output.height) : 0;
  return {output.pixels, std::size_t{buffer_width} * 4, std::min(state.width, buffer_width),
          std::min(state.height, buffer_height)};
}

std::int32_t decode_stream_reference(const std::uint8_t* stream, std::uint32_t length, const DecodeOptions& options,
                                     PixelBuffer output, MessageSink messages) {
  MessageWriter writer(messages);
  OpenedScan scan;
  if (!open_scan(stream, length, true, writer, scan)) {
    return -1;
  }
  DecoderState& state = *scan.state;
  decode_scan(scan.cursor, state, options.recovery_rng, writer);

  tamper_quant_tables(state, options.luma, options.luma_rng, options.chroma, options.chroma_rng);
  run_stages(state, options.stages);
  write_out(state, output);
  return 0;
}

std::int32_t decode_stream(const std::uint8_t* stream, std::uint32_t length, const DecodeOptions& options,
                           PixelBuffer output, MessageSink messages) {
  return decode_stream_with(best_simd_level(), stream, length, options, output, messages);
}

FrameHeader read_frame_header(const std::uint8_t* stream, std::uint32_t length) {
  const std::unique_ptr<DecoderState> state(new (std::nothrow) DecoderState);
  if (state == nullptr) {
    return {};
  }
  StreamCursor cursor = cursor_over(stream, length);
  MessageWriter silent(MessageSink::discard());
  parse_markers(cursor, *state, silent);
  return {state->width, state->height, state->valid};
}

}  // namespace shardcast
