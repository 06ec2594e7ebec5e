// The interaction callbacks (the table at the start of PF_InData):
// parameter check-out and check-in, adding parameters during parameter
// setup, abort and progress. The layer at index 0 is the render's input
// world itself: a check-out hands over its record, never its pixels. A
// check-in of a record never checked out is tolerated and noted. Audio is
// not offered.
#include "hostsim/host_call.h"

namespace shardcast::hostsim {
namespace {

PF_Err checkout_param(PF_ProgPtr effect_ref, PF_ParamIndex index, A_long what_time,
                      A_long time_step, A_u_long time_scale, PF_ParamDef* param) {
  CallRecord record = record_of(HostCall::CheckoutParam, index);
  record.record = param;
  record.what_time = what_time;
  record.time_step = time_step;
  record.time_scale = time_scale;
  return host_call(record, effect_ref, [&](SimulatedHost::Core& core) -> PF_Err {
    if (param == nullptr) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (index < 0 || index >= static_cast<A_long>(core.table.size())) {
      return PF_Err_INVALID_INDEX;
    }
    CommandState& state = *core.command;
    if (state.checked_out.contains(param)) {
      violation(core, "record of parameter " + std::to_string(state.checked_out[param]) +
                          " checked out again before its check-in");
    }
    if (index == 0) {
      PF_ParamDef layer{};
      layer.param_type = PF_Param_LAYER;
      if (state.has_layer) {
        layer.u.ld = state.layer;
      }
      *param = layer;
    } else {
      *param = core.value_at(index, what_time, time_step, time_scale);
    }
    state.checked_out[param] = index;
    return PF_Err_NONE;
  });
}

PF_Err checkin_param(PF_ProgPtr effect_ref, PF_ParamDef* param) {
  SimulatedHost::Core* core = active_core();
  A_long index = -1;
  if (core != nullptr && core->command) {
    const auto found = core->command->checked_out.find(param);
    if (found != core->command->checked_out.end()) {
      index = found->second;
    }
  }
  CallRecord record = record_of(HostCall::CheckinParam, index);
  record.record = param;
  return host_call(record, effect_ref, [&](SimulatedHost::Core& host) -> PF_Err {
    if (param == nullptr) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (host.command->checked_out.erase(param) == 0) {
      host.command->notes.push_back("check-in of a record that is not checked out (type " +
                                    std::to_string(param->param_type) + ")");
    }
    return PF_Err_NONE;
  });
}

PF_Err add_param(PF_ProgPtr effect_ref, PF_ParamIndex index, PF_ParamDefPtr def) {
  SimulatedHost::Core* core = active_core();
  const A_long next = core != nullptr ? static_cast<A_long>(core->table.size()) : -1;
  return host_call(record_of(HostCall::AddParam, next), effect_ref,
                   [&](SimulatedHost::Core& host) -> PF_Err {
                     if (def == nullptr) {
                       return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     if (host.command->command != PF_Cmd_PARAMS_SETUP) {
                       violation(host, "add_param outside PF_Cmd_PARAMS_SETUP");
                       return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     // Only appending is offered: -1, never a position.
                     if (index != -1) {
                       return PF_Err_INVALID_INDEX;
                     }
                     PF_ParamDef copy = *def;
                     if (copy.param_type == PF_Param_CHECKBOX && copy.u.bd.u.nameptr != nullptr) {
                       host.checkbox_texts.emplace_back(copy.u.bd.u.nameptr);
                       copy.u.bd.u.nameptr = host.checkbox_texts.back().c_str();
                     }
                     host.table.push_back(copy);
                     host.curves.emplace_back();
                     return PF_Err_NONE;
                   });
}

PF_Err abort_callback(PF_ProgPtr effect_ref) {
  return host_call(record_of(HostCall::Abort), effect_ref,
                   [](SimulatedHost::Core&) { return PF_Err_NONE; });
}

PF_Err progress_callback(PF_ProgPtr effect_ref, A_long, A_long) {
  return host_call(record_of(HostCall::Progress), effect_ref,
                   [](SimulatedHost::Core&) { return PF_Err_NONE; });
}

PF_Err register_ui(PF_ProgPtr, PF_CustomUIInfo*) { return unsupported_call(); }
PF_Err checkout_layer_audio(PF_ProgPtr, PF_ParamIndex, A_long, A_long, A_u_long, PF_UFixed, A_long,
                            A_long, A_long, PF_LayerAudio*) {
  return unsupported_call();
}
PF_Err checkin_layer_audio(PF_ProgPtr, PF_LayerAudio) { return unsupported_call(); }
PF_Err get_audio_data(PF_ProgPtr, PF_LayerAudio, PF_SndSamplePtr*, A_long*, PF_UFixed*, A_long*,
                      A_long*, A_long*) {
  return unsupported_call();
}

}  // namespace

void install_interact_callbacks(PF_InteractCallbacks& table) {
  table.checkout_param = checkout_param;
  table.checkin_param = checkin_param;
  table.add_param = add_param;
  table.abort = abort_callback;
  table.progress = progress_callback;
  table.register_ui = register_ui;
  table.checkout_layer_audio = checkout_layer_audio;
  table.checkin_layer_audio = checkin_layer_audio;
  table.get_audio_data = get_audio_data;
}

}  // namespace shardcast::hostsim
