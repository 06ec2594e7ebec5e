// The decoder's settings as the decoder harnesses read them off the front
// of an input (15 bytes: stage and table switches, table positions, values,
// break counts and maxima, the recovery seed, the table seeds), so that
// their corpora are interchangeable. Bits 5-7 of the first byte are left for
// a harness's own use.
#pragma once

#include <cstdint>

#include "decoder/decoder.h"
#include "fuzz/fuzz_input.h"

namespace shardcast::fuzzing {

struct DecoderSettings {
  std::uint8_t switches = 0;  // the first byte, whole
  TableTampering luma;
  TableTampering chroma;
  StageSwitches stages;
  std::uint32_t seed = 0;
  std::uint32_t luma_seed = 0;
  std::uint32_t chroma_seed = 0;
};

inline DecoderSettings read_decoder_settings(FuzzInput& input) {
  DecoderSettings s;
  s.switches = input.byte();
  s.stages.dequantize = (s.switches & 1) != 0;
  s.stages.inverse_dct = (s.switches & 2) != 0;
  s.stages.ycbcr_to_rgb = (s.switches & 4) != 0;
  s.luma.enabled = (s.switches & 8) != 0;
  s.chroma.enabled = (s.switches & 16) != 0;
  // Positions cover 0 and 65 too: out-of-range writes must be skipped.
  s.luma.position = input.byte() % 66;
  s.chroma.position = input.byte() % 66;
  s.luma.value = input.byte();
  s.chroma.value = input.byte();
  s.luma.break_count = input.byte() % 70;
  s.chroma.break_count = input.byte() % 70;
  s.luma.max_random = input.byte();
  s.chroma.max_random = input.byte();
  s.seed = input.u32();
  s.luma_seed = input.byte();
  s.chroma_seed = input.byte();
  return s;
}

}  // namespace shardcast::fuzzing
