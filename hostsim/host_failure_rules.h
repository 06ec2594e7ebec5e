// What a failing host call means for each command the effect answers, read
// off a command's call log: which failure decides the result, what that
// result is, and which calls may still follow it (clean-up only). The fault
// sweep test and the effect fuzzer judge the effect by these rules.
#pragma once

#include <cstddef>
#include <optional>
#include <vector>

#include "hostsim/simulated_host.h"

namespace shardcast::hostsim {

enum class OnFailure {
  Ignored,     // the module carries on; the result is not touched
  Returned,    // the host's code becomes the command's result
  SuiteCache,  // a missing suite of a SuiteCache: 516
  ScopedSuite  // a missing suite of a ScopedSuite: 13
};

inline OnFailure on_failure(PF_Cmd command, HostCall call) {
  switch (command) {
    case PF_Cmd_ABOUT:
      return call == HostCall::AcquireSuite ? OnFailure::SuiteCache : OnFailure::Ignored;
    case PF_Cmd_PARAMS_SETUP:
      return call == HostCall::AddParam ? OnFailure::Returned : OnFailure::Ignored;
    case PF_Cmd_USER_CHANGED_PARAM:
    case PF_Cmd_UPDATE_PARAMS_UI:
      return call == HostCall::AcquireSuite ? OnFailure::ScopedSuite : OnFailure::Ignored;
    case PF_Cmd_RENDER:
      switch (call) {
        case HostCall::CheckoutParam:
        case HostCall::CheckinParam:
        case HostCall::NewWorld:
        case HostCall::Fill:
        case HostCall::Copy:
        case HostCall::DisposeWorld:
          return OnFailure::Returned;
        default:
          return OnFailure::Ignored;  // get_pixel_data8 and Premiere's pixel format probe
      }
    default:
      return OnFailure::Ignored;  // global setup: a missing pixel format suite is no error
  }
}

// The first call of the log whose failure counts for the command.
inline std::optional<std::size_t> deciding_failure(PF_Cmd command,
                                                   const std::vector<CallRecord>& calls) {
  for (std::size_t n = 0; n < calls.size(); ++n) {
    if (calls[n].result != PF_Err_NONE &&
        on_failure(command, calls[n].call) != OnFailure::Ignored) {
      return n;
    }
  }
  return std::nullopt;
}

// The command's result as the log says it must be (with a basic suite).
inline PF_Err expected_result(PF_Cmd command, const std::vector<CallRecord>& calls) {
  const auto n = deciding_failure(command, calls);
  if (!n) {
    return PF_Err_NONE;
  }
  switch (on_failure(command, calls[*n].call)) {
    case OnFailure::SuiteCache:
      return PF_Err_BAD_CALLBACK_PARAM;
    case OnFailure::ScopedSuite:
      return A_Err_MISSING_SUITE;
    default:
      return calls[*n].result;
  }
}

inline bool is_clean_up(HostCall call) {
  return call == HostCall::CheckinParam || call == HostCall::DisposeWorld ||
         call == HostCall::ReleaseSuite ||
         call == HostCall::AnsiSprintf;  // the missing-suite message
}

}  // namespace shardcast::hostsim
