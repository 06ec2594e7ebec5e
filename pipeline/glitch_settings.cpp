// decode_to_work_buffer: hands the decoder exactly what it uses of the
// settings (decode_options: the recovery engine glitch_rng, the two tables'
// tampering with their engines, the stage switches), the work buffer and the
// message destination.
#include "pipeline/glitch_settings.h"

namespace shardcast {

std::int32_t GlitchSettings::decode_to_work_buffer(const std::uint8_t* stream, std::uint32_t length) {
  return decode_stream(stream, length, decode_options(), PixelBuffer{pixels, width, height}, messages);
}

}  // namespace shardcast
