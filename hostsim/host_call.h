// The frame every table callback of the simulated host runs in: the call is
// logged, the fault plan may make it fail, a foreign effect reference is
// refused, and no exception leaves it. Misuse is reported as a violation
// and answered with an error, never with a crash of the host.
#pragma once

#include <new>
#include <optional>
#include <string>
#include <utility>

#include "hostsim/host_core.h"

namespace shardcast::hostsim {

inline void violation(SimulatedHost::Core& core, std::string text) {
  core.command->violations.push_back(std::move(text));
}

inline CallRecord record_of(HostCall call, A_long param_index = -1) {
  CallRecord record;
  record.call = call;
  record.param_index = param_index;
  return record;
}

// The error the fault plan injects into the call at `position`, if any.
std::optional<PF_Err> injected_fault(const FaultPlan& faults, const CallRecord& record,
                                     std::size_t position);
bool is_release(HostCall call);

// Logs the call, applies the fault plan and runs `body` unless the call is
// an acquisition made to fail (a failed release still releases). Returns
// the code the module sees.
template <typename Body>
PF_Err host_call(CallRecord record, std::optional<PF_ProgPtr> effect_ref, Body&& body) {
  SimulatedHost::Core* core = active_core();
  if (core == nullptr || !core->command) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  try {
    CommandState& state = *core->command;
    const std::size_t position = state.calls.size();
    const std::optional<PF_Err> injected = injected_fault(core->faults, record, position);
    state.calls.push_back(record);
    PF_Err result = PF_Err_NONE;
    if (effect_ref && *effect_ref != core->effect_ref()) {
      violation(*core,
                std::string(host_call_name(record.call)) + " called with a foreign effect_ref");
      result = PF_Err_BAD_CALLBACK_PARAM;
    } else if (injected && !is_release(record.call)) {
      result = *injected;
    } else {
      result = body(*core);
      if (injected) {
        result = *injected;
      }
    }
    state.calls[position].result = result;
    state.calls[position].injected = injected.has_value();
    return result;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (...) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}

// Any slot of the host's tables it does not offer: logged and refused.
PF_Err unsupported_call();

}  // namespace shardcast::hostsim
