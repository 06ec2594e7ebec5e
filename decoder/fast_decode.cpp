// The fast decode driver. The header, the tables and the scan header are
// parsed as by the reference driver; then the frame is finished one band of
// MCU rows at a time, while its blocks are in cache: the band's MCUs are
// entropy-decoded (fast_entropy.h), dequantised, transformed and converted
// (block_kernels.h), and its pixel rows written out. Only one band of the
// storage is ever touched.
//
// It is the reference's order of effects rearranged only where nothing can
// tell: the table tampering draws only from its own engines and writes no
// line, so it runs before the scan and the dequantisation of every band sees
// the tampered tables; every block, also one the scan left zero because it
// stopped early and every block of a scan that lists one component, gets
// exactly the stages it gets there. Refuses and fails exactly where the
// reference does, with the same lines (decode_driver.h); two allocations,
// the decoder's state and the storage, both released on every path.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

#include "decoder/block_kernels.h"
#include "decoder/decode_driver.h"
#include "decoder/decoder.h"
#include "decoder/decoder_state.h"
#include "decoder/fast_entropy.h"
#include "decoder/message_sink.h"
#include "decoder/reconstruction.h"

namespace shardcast {
namespace {

// Dequantisation and inverse DCT of every block the interleaved scan fills
// in one MCU, then its colour conversion.
void reconstruct_mcu(const DecoderState& state, const CellWindow& band, std::uint32_t mcu_row, std::uint32_t mcu_col,
                     StageSwitches stages, SimdLevel level) {
  if (stages.dequantize || stages.inverse_dct) {
    for_each_block_of_mcu(state, mcu_row, mcu_col, [&](std::uint32_t row, std::uint32_t col, std::uint32_t i) {
      const std::uint32_t* quant =
          stages.dequantize ? state.quant_tables[state.components[i].quant_id & 3].values.data() : nullptr;
      dequantize_and_transform(level, band.cell(row, col).plane[i], quant, stages.inverse_dct);
    });
  }
  if (stages.ycbcr_to_rgb && mcu_row + state.mcu_v_blocks <= state.padded_block_rows &&
      mcu_col + state.mcu_h_blocks <= state.padded_block_cols) {
    convert_mcu(level, &band.cell(mcu_row, mcu_col), band.stride, state.mcu_h_blocks, state.mcu_v_blocks);
  }
}

}  // namespace

std::int32_t decode_stream_with(SimdLevel level, const std::uint8_t* stream, std::uint32_t length,
                                const DecodeOptions& options, PixelBuffer output, MessageSink messages) {
  MessageWriter writer(messages);
  // The storage is asked for at the reference's size, so that the decode
  // gives up with "Memory error" exactly when the reference's would; but it
  // is left uninitialised and only its first band of MCU rows is ever used
  // (zeroed before each band is decoded), so the rest of its pages are never
  // touched.
  OpenedScan opened;
  if (!open_scan(stream, length, false, writer, opened)) {
    return -1;
  }
  const DecoderState& state = *opened.state;
  const std::uint64_t frame_cells = std::uint64_t{state.padded_block_rows} * state.padded_block_cols;
  const std::uint64_t band_cells = std::uint64_t{state.mcu_v_blocks} * state.padded_block_cols;

  tamper_quant_tables(*opened.state, options.luma, options.luma_rng, options.chroma, options.chroma_rng);

  const WriteOutArea area = write_out_area(state, output);
  const std::uint32_t mcu_rows = state.mcu_v_blocks;
  const std::uint32_t mcu_cols = state.mcu_h_blocks;

  ScanDecoder scan(state, opened.cursor, options.recovery_rng, writer);
  if (mcu_rows != 0 && mcu_cols != 0 && band_cells <= frame_cells) {
    for (std::uint32_t mcu_row = 0; mcu_row < state.block_rows; mcu_row += mcu_rows) {
      const CellWindow band{opened.storage.get(), mcu_row, mcu_row + mcu_rows, state.padded_block_cols};
      if (band_cells != 0) {
        std::memset(static_cast<void*>(band.cells), 0, sizeof(BlockCell) * static_cast<std::size_t>(band_cells));
      }
      if (!scan.finished()) {
        scan.decode_rows(band);
      }
      for (std::uint32_t mcu_col = 0; mcu_col < state.block_cols; mcu_col += mcu_cols) {
        reconstruct_mcu(state, band, mcu_row, mcu_col, options.stages, level);
      }
      const std::uint32_t row_end = std::min(area.rows, (mcu_row + mcu_rows) * 8);
      for (std::uint32_t y = mcu_row * 8; y < row_end; ++y) {
        write_pixel_row(level, &band.cell(y / 8, 0), y % 8, area.columns, area.row(y));
      }
    }
  }
  scan.finish();
  return 0;
}

}  // namespace shardcast
