// Number conversions shared by the decoder and the pipeline.
//
// Every float-to-int32 truncation in the effect goes through
// truncate_to_int32: toward zero, and INT32_MIN (0x80000000) for NaN and for
// values outside the int32 range, which is what x86-64's cvttss2si yields.
// Doing it here keeps the conversion defined in C++ and the same on every
// compiler. Wrapping sums and products are formed in uint32_t and cast back.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace shardcast {

inline std::int32_t truncate_to_int32(double value) {
  // The range test is written so that NaN fails it.
  if (value > -2147483649.0 && value < 2147483648.0) {
    return static_cast<std::int32_t>(value);
  }
  return std::numeric_limits<std::int32_t>::min();
}

inline std::int32_t truncate_to_int32(float value) { return truncate_to_int32(static_cast<double>(value)); }

inline std::int32_t wrapping_add(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

inline std::int32_t wrapping_mul(std::int32_t a, std::uint32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * b);
}

// Round to nearest, halves away from zero, then truncate.
inline std::int32_t round_to_int32(float value) { return truncate_to_int32(std::round(value)); }

inline std::int32_t round_to_int32(double value) { return truncate_to_int32(std::round(value)); }

}  // namespace shardcast
