// The steps that both forms of the decode driver take alike (the
// straightforward reference in decode_driver.cpp and the fast form in
// fast_decode.cpp): the decoder state, the header up to the scan, the
// coefficient storage and the scan header, with their lines and their
// failures; and the part of the output buffer the write-out covers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "decoder/decoder.h"
#include "decoder/decoder_state.h"
#include "decoder/message_sink.h"

namespace shardcast {

struct OpenedScan {
  std::unique_ptr<DecoderState> state;
  std::unique_ptr<BlockCell[]> storage;  // padded_block_rows x padded_block_cols cells
  StreamCursor cursor;
};

// Allocates the state, parses the header, allocates the storage (zeroed, or
// left as the allocator gives it) and parses the scan header, leaving the
// cursor on the first byte of entropy-coded data. False when the decode is
// to give up with the buffer untouched (-1): the lines of the failure are
// written by then. Both allocations yield null instead of throwing.
bool open_scan(const std::uint8_t* stream, std::uint32_t length, bool zero_storage, MessageWriter& writer,
               OpenedScan& scan);

// The pixels the write-out covers: those inside both the frame and the
// buffer, so that a stream whose frame size differs from the buffer's
// cannot write outside it. Rows keep the buffer's own length.
struct WriteOutArea {
  std::uint8_t* pixels = nullptr;
  std::size_t row_bytes = 0;
  std::uint32_t columns = 0;
  std::uint32_t rows = 0;

  std::uint8_t* row(std::uint32_t y) const { return pixels + y * row_bytes; }
};
WriteOutArea write_out_area(const DecoderState& state, PixelBuffer output);

}  // namespace shardcast
