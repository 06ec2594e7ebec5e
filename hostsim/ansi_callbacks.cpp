// The C library as the host offers it: the ANSI table inside the utility
// callbacks and the "PF ANSI Suite", the same functions in both. sprintf
// into return_msg is bounded by its 256 bytes (an overlong text is a
// violation and is cut); any other destination gets the unbounded sprintf
// the interface promises.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "hostsim/host_call.h"

namespace shardcast::hostsim {
namespace {

int host_vsprintf(HostCall call, A_char* buffer, const A_char* format, va_list args) {
  int written = -1;
  host_call(record_of(call), std::nullopt, [&](SimulatedHost::Core& core) -> PF_Err {
    if (buffer == nullptr || format == nullptr) {
      violation(core, std::string(host_call_name(call)) + " with a null buffer or format");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    A_char* message = core.command->out_data.return_msg;
    if (buffer >= message && buffer < message + sizeof(core.command->out_data.return_msg)) {
      const std::size_t room =
          sizeof(core.command->out_data.return_msg) - static_cast<std::size_t>(buffer - message);
      va_list measure;
      va_copy(measure, args);
      const int needed = std::vsnprintf(nullptr, 0, format, measure);
      va_end(measure);
      if (needed >= 0 && static_cast<std::size_t>(needed) >= room) {
        violation(core, "text of " + std::to_string(needed) + " characters overflows return_msg");
      }
      written = std::vsnprintf(buffer, room, format, args);
    } else {
      written = std::vsprintf(buffer, format, args);
    }
    return PF_Err_NONE;
  });
  return written;
}

int utils_sprintf(A_char* buffer, const A_char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = host_vsprintf(HostCall::AnsiSprintf, buffer, format, args);
  va_end(args);
  return written;
}

int suite_sprintf(A_char* buffer, const A_char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = host_vsprintf(HostCall::SuiteSprintf, buffer, format, args);
  va_end(args);
  return written;
}

A_FpLong ansi_atan(A_FpLong x) { return std::atan(x); }
A_FpLong ansi_atan2(A_FpLong y, A_FpLong x) { return std::atan2(y, x); }
A_FpLong ansi_ceil(A_FpLong x) { return std::ceil(x); }
A_FpLong ansi_cos(A_FpLong x) { return std::cos(x); }
A_FpLong ansi_exp(A_FpLong x) { return std::exp(x); }
A_FpLong ansi_fabs(A_FpLong x) { return std::fabs(x); }
A_FpLong ansi_floor(A_FpLong x) { return std::floor(x); }
A_FpLong ansi_fmod(A_FpLong x, A_FpLong y) { return std::fmod(x, y); }
A_FpLong ansi_hypot(A_FpLong x, A_FpLong y) { return std::hypot(x, y); }
A_FpLong ansi_log(A_FpLong x) { return std::log(x); }
A_FpLong ansi_log10(A_FpLong x) { return std::log10(x); }
A_FpLong ansi_pow(A_FpLong x, A_FpLong y) { return std::pow(x, y); }
A_FpLong ansi_sin(A_FpLong x) { return std::sin(x); }
A_FpLong ansi_sqrt(A_FpLong x) { return std::sqrt(x); }
A_FpLong ansi_tan(A_FpLong x) { return std::tan(x); }
A_char* ansi_strcpy(A_char* dst, const A_char* src) { return std::strcpy(dst, src); }
A_FpLong ansi_asin(A_FpLong x) { return std::asin(x); }
A_FpLong ansi_acos(A_FpLong x) { return std::acos(x); }

template <typename Table>
void fill_ansi_table(Table& table) {
  table.atan = ansi_atan;
  table.atan2 = ansi_atan2;
  table.ceil = ansi_ceil;
  table.cos = ansi_cos;
  table.exp = ansi_exp;
  table.fabs = ansi_fabs;
  table.floor = ansi_floor;
  table.fmod = ansi_fmod;
  table.hypot = ansi_hypot;
  table.log = ansi_log;
  table.log10 = ansi_log10;
  table.pow = ansi_pow;
  table.sin = ansi_sin;
  table.sqrt = ansi_sqrt;
  table.tan = ansi_tan;
  table.strcpy = ansi_strcpy;
  table.asin = ansi_asin;
  table.acos = ansi_acos;
}

}  // namespace

void install_ansi_callbacks(PF_ANSICallbacks& table, PF_ANSICallbacksSuite1& suite) {
  fill_ansi_table(table);
  table.sprintf = utils_sprintf;
  fill_ansi_table(suite);
  suite.sprintf = suite_sprintf;
}

}  // namespace shardcast::hostsim
