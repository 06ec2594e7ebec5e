// The instruction sets the decoder's and the filters' fast paths are written
// for, and which of them this processor runs.
//
// Every fast routine takes the level it is to use as an argument, so that
// tests and fuzzing can force each one and compare it with the plain scalar
// code, which is the reference. The level is asked for once per decode or
// filter pass; the processor itself is asked once and its answer kept as a
// constant, which renders share as they share any constant table. SSE2 is
// part of x86-64 and always there; AVX2 only where the processor and the
// operating system both support it.
#pragma once

#include <cstdint>

namespace shardcast {

enum class SimdLevel : std::uint8_t { scalar, sse2, avx2 };

inline constexpr SimdLevel all_simd_levels[] = {SimdLevel::scalar, SimdLevel::sse2, SimdLevel::avx2};

// The fastest level this processor supports.
SimdLevel best_simd_level();
// Whether this processor can run code written for `level`.
bool simd_level_available(SimdLevel level);
const char* simd_level_name(SimdLevel level);

}  // namespace shardcast
