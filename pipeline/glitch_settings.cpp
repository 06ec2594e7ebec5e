// decode_to_work_buffer: hands the decoder exactly what it uses of the
// settings (the recovery engine glitch_rng, the two tables' tampering with
// their engines, the stage switches), the work buffer and the message
// destination.
#include "pipeline/glitch_settings.h"

namespace shardcast {

std::int32_t GlitchSettings::decode_to_work_buffer(const std::uint8_t* stream, std::uint32_t length) {
  const DecodeOptions options{
      .recovery_rng = glitch_rng,
      .luma_rng = qtl_rng,
      .chroma_rng = qtc_rng,
      .luma = {qtl_enabled, qtl_position, qtl_value, qtl_break_count, qtl_max_random},
      .chroma = {qtc_enabled, qtc_position, qtc_value, qtc_break_count, qtc_max_random},
      .stages = {dequantize, inverse_dct, ycbcr_to_rgb},
  };
  return decode_stream(stream, length, options, PixelBuffer{pixels, width, height}, messages);
}

}  // namespace shardcast
