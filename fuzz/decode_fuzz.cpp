// Fuzzes the tolerant decoder on arbitrary bytes. The first 15 bytes choose
// the stage switches, the tampering settings and the seeds; the rest is the
// stream. The work buffer takes the size the stream's frame header declares,
// read by the decoder's own header parser (streams declaring more than
// 512x512 pixels are skipped to keep runs fast), so the write-out is
// exercised with matching sizes; without a valid header a small buffer is
// used. A failed decode must leave the buffer untouched, no decode may write
// alpha, and decoding the same stream with the same seeds gives the same
// picture again.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "decoder/decoder_state.h"
#include "decoder/markers.h"
#include "decoder/message_sink.h"
#include "fuzz/fuzz_input.h"
#include "pipeline/glitch_settings.h"

namespace {

struct FrameSize {
  std::uint32_t width = 8;
  std::uint32_t height = 8;
};

// The frame size as the decoder itself will read it from the header; a
// stream whose header fails gets a small buffer (it is never written).
FrameSize declared_frame_size(const std::uint8_t* stream, std::size_t size) {
  shardcast::StreamCursor cursor;
  cursor.data = stream;
  cursor.size = static_cast<std::uint32_t>(size);
  const auto state = std::make_unique<shardcast::DecoderState>();
  shardcast::MessageWriter quiet(shardcast::MessageSink::discard());
  shardcast::parse_markers(cursor, *state, quiet);
  if (!state->valid || state->width == 0 || state->height == 0) {
    return {};
  }
  return {state->width, state->height};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  shardcast::fuzzing::FuzzInput input(data, size);
  shardcast::GlitchSettings settings;
  settings.messages = shardcast::MessageSink::discard();
  const std::uint8_t switches = input.byte();
  settings.dequantize = (switches & 1) != 0;
  settings.inverse_dct = (switches & 2) != 0;
  settings.ycbcr_to_rgb = (switches & 4) != 0;
  settings.qtl_enabled = (switches & 8) != 0;
  settings.qtc_enabled = (switches & 16) != 0;
  // Positions cover 0 and 65 too: out-of-range writes must be skipped.
  settings.qtl_position = input.byte() % 66;
  settings.qtc_position = input.byte() % 66;
  settings.qtl_value = input.byte();
  settings.qtc_value = input.byte();
  settings.qtl_break_count = input.byte() % 70;
  settings.qtc_break_count = input.byte() % 70;
  settings.qtl_max_random = input.byte();
  settings.qtc_max_random = input.byte();
  settings.seed = static_cast<std::int32_t>(input.u32());
  settings.qtl_seed = input.byte();
  settings.qtc_seed = input.byte();
  settings.seed_engines();

  const std::uint8_t* stream = input.rest();
  const std::size_t length = input.rest_size();
  const FrameSize frame = declared_frame_size(stream, length);
  if (static_cast<std::uint64_t>(frame.width) * frame.height > 512u * 512u) {
    return -1;
  }
  settings.width = static_cast<std::int32_t>(frame.width);
  settings.height = static_cast<std::int32_t>(frame.height);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(frame.width) * frame.height * 4, 0x5A);
  settings.pixels = pixels.data();

  const shardcast::GlitchSettings seeded = settings;
  const std::int32_t result = settings.decode_to_work_buffer(stream, static_cast<std::uint32_t>(length));
  if (result != 0 && result != -1) {
    std::abort();
  }
  shardcast::GlitchSettings again = seeded;
  std::vector<std::uint8_t> repeat(pixels.size(), 0x5A);
  again.pixels = repeat.data();
  if (again.decode_to_work_buffer(stream, static_cast<std::uint32_t>(length)) != result || repeat != pixels) {
    std::abort();  // the same stream and seeds decoded differently
  }
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    const bool alpha = i % 4 == 0;
    if ((result == -1 || alpha) && pixels[i] != 0x5A) {
      std::abort();  // a failed decode, or any decode's alpha, left changed
    }
  }
  return 0;
}
