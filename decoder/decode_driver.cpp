// The decode driver: runs the decoder's steps in their fixed order over one
// JPEG stream (header, storage, scan header, entropy decoding, table
// tampering, the switched reconstruction stages) and writes planes 0-2 of
// every block into the red, green and blue bytes of the work buffer.
//
// Tolerates any damage inside the scan data: once the scan header has passed
// its checks the picture is always written. Refuses a header that fails a
// check, and gives up when either of its two allocations fails; in both cases
// the work buffer is left untouched and the result is -1. Nothing is thrown
// and everything allocated here is released before returning.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "decoder/decoder_state.h"
#include "decoder/entropy.h"
#include "decoder/markers.h"
#include "decoder/message_sink.h"
#include "decoder/reconstruction.h"
#include "pipeline/glitch_settings.h"

namespace shardcast {
namespace {

static_assert(sizeof(std::size_t) >= 8, "the coefficient storage size is formed in 64 bits");

// Zeroed storage for every block cell of the padded frame. A frame without
// cells (no frame header) succeeds with whatever the allocator gave.
bool allocate_coefficients(DecoderState& state, std::unique_ptr<BlockCell[]>& storage) {
  const std::uint64_t cell_count = std::uint64_t{state.padded_block_rows} * state.padded_block_cols;
  storage.reset(new (std::nothrow) BlockCell[cell_count]());
  if (storage == nullptr && cell_count != 0) {
    return false;
  }
  state.coefficients = storage.get();
  return true;
}

// Pixel (x, y) of the work buffer takes entry (y mod 8) * 8 + (x mod 8) of
// the block cell that covers it; alpha is never written. Only pixels inside
// both the frame and the work buffer are written, so a stream whose frame
// size differs from the buffer's cannot write outside it.
void write_out(const DecoderState& state, const GlitchSettings& settings) {
  const std::uint32_t buffer_width = settings.width > 0 ? static_cast<std::uint32_t>(settings.width) : 0;
  const std::uint32_t buffer_height = settings.height > 0 ? static_cast<std::uint32_t>(settings.height) : 0;
  const std::uint32_t columns = std::min(state.width, buffer_width);
  const std::uint32_t rows = std::min(state.height, buffer_height);
  for (std::uint32_t y = 0; y < rows; ++y) {
    std::uint8_t* pixel = settings.pixels + std::size_t{y} * buffer_width * 4;
    const BlockCell* row_cells = state.coefficients + std::size_t{y / 8} * state.padded_block_cols;
    const std::uint32_t row_in_block = (y % 8) * 8;
    for (std::uint32_t x = 0; x < columns; ++x, pixel += 4) {
      const BlockCell& cell = row_cells[x / 8];
      const std::uint32_t entry = row_in_block + x % 8;
      // Conversion to uint8_t keeps the low byte: -3 becomes 253.
      pixel[1] = static_cast<std::uint8_t>(cell.plane[0][entry]);
      pixel[2] = static_cast<std::uint8_t>(cell.plane[1][entry]);
      pixel[3] = static_cast<std::uint8_t>(cell.plane[2][entry]);
    }
  }
}

}  // namespace

std::int32_t GlitchSettings::decode_to_work_buffer(const std::uint8_t* stream, std::uint32_t length) {
  MessageWriter writer(messages);
  StreamCursor cursor;
  cursor.data = stream;
  cursor.size = length;

  const std::unique_ptr<DecoderState> state(new (std::nothrow) DecoderState);
  if (state == nullptr) {
    writer.line(Message::MemoryError);
    return -1;
  }

  parse_markers(cursor, *state, writer);
  if (!state->valid) {
    return -1;
  }

  std::unique_ptr<BlockCell[]> coefficients;
  if (!allocate_coefficients(*state, coefficients)) {
    writer.line(Message::MemoryError);
    state->valid = false;
    return -1;
  }

  parse_sos(cursor, *state, writer);
  if (!state->valid) {
    return -1;
  }
  decode_scan(cursor, *state, *this, writer);

  tamper_quant_tables(*state, *this);
  if (dequantize) {
    dequantize_blocks(*state);
  }
  if (inverse_dct) {
    inverse_dct_blocks(*state);
  }
  if (ycbcr_to_rgb) {
    convert_ycbcr_blocks(*state);
  }

  write_out(*state, *this);
  return 0;
}

}  // namespace shardcast
