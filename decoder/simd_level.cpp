// Asks the processor which instruction sets it has. AVX2 needs the
// processor's support and the operating system's: it must save the wide
// registers on a task switch, which XGETBV reports. Other processors than
// x86-64 run the scalar code only.
#include "decoder/simd_level.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <cpuid.h>
#define SHARDCAST_X86_64 1
#endif

namespace shardcast {
namespace {

#if defined(SHARDCAST_X86_64)
bool processor_has_avx2() {
  unsigned eax = 0;
  unsigned ebx = 0;
  unsigned ecx = 0;
  unsigned edx = 0;
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) {
    return false;
  }
  constexpr unsigned osxsave = 1u << 27;
  constexpr unsigned avx = 1u << 28;
  if ((ecx & osxsave) == 0 || (ecx & avx) == 0) {
    return false;
  }
  unsigned xcr0_low = 0;
  unsigned xcr0_high = 0;
  __asm__("xgetbv" : "=a"(xcr0_low), "=d"(xcr0_high) : "c"(0));
  constexpr unsigned sse_and_avx_state = 0x6;
  if ((xcr0_low & sse_and_avx_state) != sse_and_avx_state) {
    return false;
  }
  if (__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) {
    return false;
  }
  constexpr unsigned avx2 = 1u << 5;
  return (ebx & avx2) != 0;
}
#endif

}  // namespace

SimdLevel best_simd_level() {
#if defined(SHARDCAST_X86_64)
  // Asked once: CPUID is slow, above all in a virtual machine. The answer
  // never changes, so it is a constant, not state.
  static const SimdLevel level = processor_has_avx2() ? SimdLevel::avx2 : SimdLevel::sse2;
  return level;
#else
  return SimdLevel::scalar;
#endif
}

bool simd_level_available(SimdLevel level) {
  switch (level) {
    case SimdLevel::scalar:
      return true;
    case SimdLevel::sse2:
      return best_simd_level() != SimdLevel::scalar;
    case SimdLevel::avx2:
      return best_simd_level() == SimdLevel::avx2;
  }
  return false;
}

const char* simd_level_name(SimdLevel level) {
  switch (level) {
    case SimdLevel::scalar:
      return "scalar";
    case SimdLevel::sse2:
      return "sse2";
    case SimdLevel::avx2:
      return "avx2";
  }
  return "unknown";
}

}  // namespace shardcast
