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
#include <random>
#include <vector>

#include "decoder/decoder.h"
#include "fuzz/decoder_settings.h"
#include "fuzz/fuzz_input.h"

namespace {

// The engines one decode draws from, seeded as a render seeds them.
struct Engines {
  std::mt19937 recovery;
  std::mt19937 luma;
  std::mt19937 chroma;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  shardcast::fuzzing::FuzzInput input(data, size);
  const shardcast::fuzzing::DecoderSettings settings = shardcast::fuzzing::read_decoder_settings(input);

  const std::uint8_t* stream = input.rest();
  const auto length = static_cast<std::uint32_t>(input.rest_size());
  // The frame size as the decoder itself will read it from the header; a
  // stream whose header fails gets a small buffer (it is never written).
  shardcast::FrameHeader frame = shardcast::read_frame_header(stream, length);
  if (!frame.valid || frame.width == 0 || frame.height == 0) {
    frame = {8, 8, false};
  }
  if (static_cast<std::uint64_t>(frame.width) * frame.height > 512u * 512u) {
    return -1;
  }
  const shardcast::PixelBuffer buffer_size{nullptr, static_cast<std::int32_t>(frame.width),
                                           static_cast<std::int32_t>(frame.height)};

  auto decode = [&](std::vector<std::uint8_t>& pixels) {
    Engines engines{std::mt19937(settings.seed), std::mt19937(settings.luma_seed), std::mt19937(settings.chroma_seed)};
    const shardcast::DecodeOptions options{engines.recovery, engines.luma,    engines.chroma,
                                           settings.luma,    settings.chroma, settings.stages};
    shardcast::PixelBuffer output = buffer_size;
    output.pixels = pixels.data();
    return shardcast::decode_stream(stream, length, options, output, shardcast::MessageSink::discard());
  };
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(frame.width) * frame.height * 4, 0x5A);
  const std::int32_t result = decode(pixels);
  if (result != 0 && result != -1) {
    std::abort();
  }
  std::vector<std::uint8_t> repeat(pixels.size(), 0x5A);
  if (decode(repeat) != result || repeat != pixels) {
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
