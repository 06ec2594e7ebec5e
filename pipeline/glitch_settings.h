// GlitchSettings: everything one render hands to its stages. The render
// driver fills the fields from the parameter values, seeds the three engines
// and sets the work buffer; the stages (glitch_frame, the decoder, the
// filters) read the fields, advance the engines and rewrite the pixels.
//
// The work buffer is width x height pixels of four bytes, alpha, red, green,
// blue, rows following one another directly (row length width * 4).
#pragma once

#include <cstdint>
#include <random>

#include "decoder/decoder.h"

namespace shardcast {

struct GlitchSettings {
  std::uint8_t* pixels = nullptr;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t quality = 0;
  std::int32_t broken_bytes = 0;
  float glitch_start = 0.0f;
  float glitch_end = 0.0f;
  std::int32_t subsampling = 1;  // TJSAMP_422
  std::int32_t qtl_position = 0;
  std::int32_t qtc_position = 0;
  std::int32_t qtl_value = 0;
  std::int32_t qtc_value = 0;
  std::int32_t qtc_break_count = 0;
  std::int32_t qtc_max_random = 0;
  std::int32_t qtl_break_count = 0;
  std::int32_t qtl_max_random = 0;
  std::int32_t qtc_seed = 0;
  std::int32_t qtl_seed = 0;
  bool qtl_enabled = false;
  bool qtc_enabled = false;
  bool inverse_dct = false;
  bool ycbcr_to_rgb = false;
  bool dequantize = false;
  std::int32_t seed = 0;
  std::mt19937 glitch_rng;
  std::mt19937 qtl_rng;
  std::mt19937 qtc_rng;
  bool filter1_enabled = false;
  bool filter2_enabled = false;
  float filter1_value = 0.0f;
  float filter2_value = 0.0f;
  // Where the decoder's progress and error lines go; the render sets the
  // destination its program chose.
  MessageSink messages = MessageSink::standard_output();

  // Seeds each engine from its seed field taken as an unsigned 32-bit pattern.
  void seed_engines() {
    glitch_rng.seed(static_cast<std::uint32_t>(seed));
    qtl_rng.seed(static_cast<std::uint32_t>(qtl_seed));
    qtc_rng.seed(static_cast<std::uint32_t>(qtc_seed));
  }

  // What a decode of this render reads besides the stream (the two tables'
  // tampering, the stage switches) and the engines it advances.
  DecodeOptions decode_options() {
    return {
        .recovery_rng = glitch_rng,
        .luma_rng = qtl_rng,
        .chroma_rng = qtc_rng,
        .luma = {qtl_enabled, qtl_position, qtl_value, qtl_break_count, qtl_max_random},
        .chroma = {qtc_enabled, qtc_position, qtc_value, qtc_break_count, qtc_max_random},
        .stages = {dequantize, inverse_dct, ycbcr_to_rgb},
    };
  }

  // Compress, damage and decode the work buffer: -1 when the encoder fails,
  // otherwise the decoder's result.
  std::int32_t glitch_frame();
  // Decode a JPEG stream into the work buffer: 0 when the picture was
  // written, -1 when decoding stopped with the buffer untouched.
  std::int32_t decode_to_work_buffer(const std::uint8_t* stream, std::uint32_t length);
  void apply_filter1();
  void apply_filter2();
};

}  // namespace shardcast
