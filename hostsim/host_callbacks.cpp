// The host's side of every table the module can call into: interaction
// callbacks, utility callbacks, the basic suite and the three suites. Each
// call is logged, may be made to fail by the fault plan, and is checked for
// misuse (a foreign effect reference, a world or record the host does not
// know, a release without an acquisition); misuse is reported as a
// violation and answered with an error, never with a crash of the host.
// No exception leaves a callback.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "hostsim/host_core.h"

namespace shardcast::hostsim {
namespace {

thread_local SimulatedHost::Core* active_host = nullptr;

bool is_release(HostCall call) {
  return call == HostCall::CheckinParam || call == HostCall::DisposeWorld ||
         call == HostCall::ReleaseSuite || call == HostCall::FreeBlock;
}

bool rule_matches(const FailRule& rule, const CallRecord& record, std::size_t position) {
  return (!rule.call || *rule.call == record.call) &&
         (!rule.position || *rule.position == position) &&
         (!rule.param_index || *rule.param_index == record.param_index) &&
         (!rule.suite_name || *rule.suite_name == record.suite_name);
}

void violation(SimulatedHost::Core& core, std::string text) {
  core.command->violations.push_back(std::move(text));
}

// Logs the call, applies the fault plan and runs `body` unless the call is
// an acquisition made to fail. Returns the code the module sees.
template <typename Body>
PF_Err host_call(CallRecord record, std::optional<PF_ProgPtr> effect_ref, Body&& body) {
  SimulatedHost::Core* core = active_host;
  if (core == nullptr || !core->command) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  try {
    CommandState& state = *core->command;
    const std::size_t position = state.calls.size();
    std::optional<PF_Err> injected;
    for (const FailRule& rule : core->faults.fail) {
      if (rule_matches(rule, record, position)) {
        injected = rule.error;
        break;
      }
    }
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

CallRecord record_of(HostCall call, A_long param_index = -1) {
  CallRecord record;
  record.call = call;
  record.param_index = param_index;
  return record;
}

// ---- interaction callbacks ----

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
  SimulatedHost::Core* core = active_host;
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
  SimulatedHost::Core* core = active_host;
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

PF_Err unsupported_call() {
  return host_call(record_of(HostCall::Unsupported), std::nullopt,
                   [](SimulatedHost::Core&) { return PF_Err_INVALID_CALLBACK; });
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

// ---- utility callbacks: worlds ----

// The host's own rectangle for a world, or the checked one the module gave.
std::optional<PF_Rect> rect_for(const HostWorld& world, const PF_Rect* rect) {
  if (rect == nullptr) {
    return whole_rect(world.view);
  }
  if (!rect_inside(*rect, world.view.width, world.view.height)) {
    return std::nullopt;
  }
  return *rect;
}

PF_Err new_world(PF_ProgPtr effect_ref, A_long width, A_long height, PF_NewWorldFlags flags,
                 PF_EffectWorld* world) {
  CallRecord record = record_of(HostCall::NewWorld);
  record.world_flags = flags;
  return host_call(record, effect_ref, [&](SimulatedHost::Core& core) -> PF_Err {
    if (world == nullptr || width < 1 || height < 1 || width > PF_MAX_WORLD_WIDTH ||
        height > PF_MAX_WORLD_HEIGHT || (flags & PF_NewWorldFlag_DEEP_PIXELS) != 0) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    // Without CLEAR_PIXELS the memory is not cleared; junk
    // shows a module that relies on it.
    const bool clear = (flags & PF_NewWorldFlag_CLEAR_PIXELS) != 0;
    HostWorld& created = core.create_world(width, height, core.options.new_world_row_padding, true,
                                           clear ? 0 : 0xCD);
    *world = layer_record(created);
    return PF_Err_NONE;
  });
}

PF_Err dispose_world(PF_ProgPtr effect_ref, PF_EffectWorld* world) {
  return host_call(record_of(HostCall::DisposeWorld), effect_ref,
                   [&](SimulatedHost::Core& core) -> PF_Err {
                     if (world == nullptr) {
                       return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     HostWorld* found = core.find_world(world);
                     if (found == nullptr) {
                       violation(core,
                                 "dispose_world of a world that is not live (never created by "
                                 "new_world, or already disposed)");
                       return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     if (!found->made_by_effect) {
                       violation(core, "dispose_world of a world the host owns");
                       return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     core.command->worlds.erase(found->view.data);
                     return PF_Err_NONE;
                   });
}

PF_Err fill(PF_ProgPtr effect_ref, const PF_Pixel* color, const PF_Rect* dst_rect,
            PF_EffectWorld* world) {
  CallRecord record = record_of(HostCall::Fill);
  if (color != nullptr) {
    record.colour = *color;
  }
  record.whole_world = dst_rect == nullptr;
  return host_call(record, effect_ref, [&](SimulatedHost::Core& core) -> PF_Err {
    HostWorld* target = world != nullptr ? core.find_world(world) : nullptr;
    if (target == nullptr) {
      violation(core, "fill of a world the host does not know");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    const std::optional<PF_Rect> rect = rect_for(*target, dst_rect);
    if (!rect) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    fill_rect(target->view, *rect, color != nullptr ? *color : PF_Pixel{0, 0, 0, 0});
    return PF_Err_NONE;
  });
}

PF_Err copy(PF_ProgPtr effect_ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r,
            PF_Rect* dst_r) {
  return host_call(record_of(HostCall::Copy), effect_ref, [&](SimulatedHost::Core& core) -> PF_Err {
    HostWorld* from = src != nullptr ? core.find_world(src) : nullptr;
    HostWorld* to = dst != nullptr ? core.find_world(dst) : nullptr;
    if (from == nullptr || to == nullptr) {
      violation(core, "copy with a world the host does not know");
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    const std::optional<PF_Rect> from_rect = rect_for(*from, src_r);
    const std::optional<PF_Rect> to_rect = rect_for(*to, dst_r);
    if (!from_rect || !to_rect) {
      return PF_Err_BAD_CALLBACK_PARAM;
    }
    if (from == to) {
      // Read from a snapshot so that overlapping rectangles resample cleanly.
      std::vector<std::uint8_t> snapshot(from->bytes.get(), from->bytes.get() + from->size());
      WorldView view = from->view;
      view.data = snapshot.data();
      copy_rect(view, *from_rect, to->view, *to_rect);
    } else {
      copy_rect(from->view, *from_rect, to->view, *to_rect);
    }
    return PF_Err_NONE;
  });
}

PF_Err get_pixel_data8(PF_EffectWorld* worldP, PF_PixelPtr pixelsP0, PF_Pixel8** pixPP) {
  return host_call(record_of(HostCall::GetPixelData8), std::nullopt,
                   [&](SimulatedHost::Core& core) -> PF_Err {
                     if (pixPP == nullptr || worldP == nullptr) {
                       return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     *pixPP = nullptr;
                     if (core.faults.no_pixel_address ||
                         (worldP->world_flags & PF_WorldFlag_DEEP) != 0) {
                       return PF_Err_NONE;
                     }
                     *pixPP = pixelsP0 != nullptr ? pixelsP0 : worldP->data;
                     return PF_Err_NONE;
                   });
}

// ---- utility callbacks: the C library ----

// sprintf into return_msg is bounded by its 256 bytes (an overlong text is a
// violation and is cut); any other destination gets the unbounded sprintf
// the interface promises.
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

// ---- basic suite ----

SPErr acquire_suite(const char* name, int32 version, const void** suite) {
  CallRecord record = record_of(HostCall::AcquireSuite);
  record.suite_name = name != nullptr ? name : "";
  record.suite_version = version;
  return host_call(record, std::nullopt, [&](SimulatedHost::Core& core) -> PF_Err {
    if (name == nullptr || suite == nullptr) {
      return kSPBadParameterError;
    }
    const void* table = core.suite_table(name, version);
    if (table == nullptr) {
      return kSPSuiteNotFoundError;
    }
    *suite = table;
    core.command->suites.emplace_back(name, version);
    return kSPNoError;
  });
}

SPErr release_suite(const char* name, int32 version) {
  CallRecord record = record_of(HostCall::ReleaseSuite);
  record.suite_name = name != nullptr ? name : "";
  record.suite_version = version;
  return host_call(record, std::nullopt, [&](SimulatedHost::Core& core) -> PF_Err {
    auto& suites = core.command->suites;
    for (auto it = suites.begin(); it != suites.end(); ++it) {
      if (name != nullptr && it->first == name && it->second == version) {
        suites.erase(it);
        return kSPNoError;
      }
    }
    violation(core, "ReleaseSuite(\"" + record.suite_name + "\", " + std::to_string(version) +
                        ") without a matching AcquireSuite");
    return kSPBadParameterError;
  });
}

SPBoolean is_equal(const char* token1, const char* token2) {
  return token1 != nullptr && token2 != nullptr && std::strcmp(token1, token2) == 0;
}

SPErr allocate_block(size_t size, void** block) {
  return host_call(record_of(HostCall::AllocateBlock), std::nullopt,
                   [&](SimulatedHost::Core& core) -> PF_Err {
                     if (block == nullptr) {
                       return kSPBadParameterError;
                     }
                     void* memory = std::malloc(size == 0 ? 1 : size);
                     if (memory == nullptr) {
                       return kSPOutOfMemoryError;
                     }
                     core.command->blocks.insert(memory);
                     *block = memory;
                     return kSPNoError;
                   });
}

SPErr free_block(void* block) {
  return host_call(record_of(HostCall::FreeBlock), std::nullopt,
                   [&](SimulatedHost::Core& core) -> PF_Err {
                     if (core.command->blocks.erase(block) == 0) {
                       violation(core, "FreeBlock of a block the host did not allocate");
                       return kSPBadParameterError;
                     }
                     std::free(block);
                     return kSPNoError;
                   });
}

SPErr reallocate_block(void*, size_t, void**) { return unsupported_call(); }
SPErr undefined_call() { return unsupported_call(); }

// ---- "PF Param Utils Suite" ----

PF_Err update_param_ui(PF_ProgPtr effect_ref, PF_ParamIndex param_index, const PF_ParamDef* defP) {
  return host_call(record_of(HostCall::UpdateParamUi, param_index), effect_ref,
                   [&](SimulatedHost::Core& core) -> PF_Err {
                     if (defP == nullptr) {
                       return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     if (param_index < 1 || param_index >= static_cast<A_long>(core.table.size())) {
                       return PF_Err_INVALID_INDEX;
                     }
                     for (const PF_ParamDef& record : core.command->params) {
                       if (defP == &record) {
                         violation(core,
                                   "PF_UpdateParamUI given the host's params[] record "
                                   "instead of a copy");
                       }
                     }
                     core.ui_updates.push_back({param_index, *defP});
                     // Only the cosmetic parts take effect.
                     PF_ParamDef& target = core.table[static_cast<std::size_t>(param_index)];
                     target.ui_flags = defP->ui_flags;
                     target.ui_width = defP->ui_width;
                     target.ui_height = defP->ui_height;
                     std::memcpy(target.name, defP->name, sizeof(target.name));
                     target.name[sizeof(target.name) - 1] = '\0';
                     if (target.param_type == PF_Param_FLOAT_SLIDER &&
                         defP->param_type == PF_Param_FLOAT_SLIDER) {
                       target.u.fs_d.slider_min = defP->u.fs_d.slider_min;
                       target.u.fs_d.slider_max = defP->u.fs_d.slider_max;
                       target.u.fs_d.precision = defP->u.fs_d.precision;
                       target.u.fs_d.display_flags = defP->u.fs_d.display_flags;
                     }
                     return PF_Err_NONE;
                   });
}

PF_Err get_current_state(PF_ProgPtr, PF_ParamIndex, const A_Time*, const A_Time*, PF_State*) {
  return unsupported_call();
}
PF_Err are_states_identical(PF_ProgPtr, const PF_State*, const PF_State*, A_Boolean*) {
  return unsupported_call();
}
PF_Err is_identical_checkout(PF_ProgPtr, PF_ParamIndex, A_long, A_long, A_u_long, A_long, A_long,
                             A_u_long, PF_Boolean*) {
  return unsupported_call();
}
PF_Err find_keyframe_time(PF_ProgPtr, PF_ParamIndex, A_long, A_u_long, PF_TimeDir, PF_Boolean*,
                          PF_KeyIndex*, A_long*, A_u_long*) {
  return unsupported_call();
}
PF_Err get_keyframe_count(PF_ProgPtr, PF_ParamIndex, PF_KeyIndex*) { return unsupported_call(); }
PF_Err checkout_keyframe(PF_ProgPtr, PF_ParamIndex, PF_KeyIndex, A_long*, A_u_long*, PF_ParamDef*) {
  return unsupported_call();
}
PF_Err checkin_keyframe(PF_ProgPtr, PF_ParamDef*) { return unsupported_call(); }
PF_Err key_index_to_time(PF_ProgPtr, PF_ParamIndex, PF_KeyIndex, A_long*, A_u_long*) {
  return unsupported_call();
}

// ---- "PF Pixel Format Suite" (Premiere) ----

PF_Err clear_pixel_formats(PF_ProgPtr effect_ref) {
  return host_call(record_of(HostCall::ClearPixelFormats), effect_ref,
                   [](SimulatedHost::Core& core) -> PF_Err {
                     core.announced_formats.clear();
                     core.formats_cleared = true;
                     return PF_Err_NONE;
                   });
}

PF_Err add_pixel_format(PF_ProgPtr effect_ref, PrPixelFormat format) {
  return host_call(record_of(HostCall::AddPixelFormat), effect_ref,
                   [&](SimulatedHost::Core& core) -> PF_Err {
                     core.announced_formats.push_back(format);
                     return PF_Err_NONE;
                   });
}

PF_Err get_pixel_format(PF_EffectWorld* world, PrPixelFormat* format) {
  return host_call(record_of(HostCall::GetPixelFormat), std::nullopt,
                   [&](SimulatedHost::Core& core) -> PF_Err {
                     HostWorld* found = world != nullptr ? core.find_world(world) : nullptr;
                     if (found == nullptr || format == nullptr) {
                       return PF_Err_BAD_CALLBACK_PARAM;
                     }
                     *format = found->view.format;
                     return PF_Err_NONE;
                   });
}

PF_Err new_world_of_pixel_format(PF_ProgPtr, A_u_long, A_u_long, PF_NewWorldFlags, PrPixelFormat,
                                 PF_EffectWorld*) {
  return unsupported_call();
}
PF_Err pixel_format_dispose_world(PF_ProgPtr, PF_EffectWorld*) { return unsupported_call(); }
PF_Err black_for_pixel_format(PrPixelFormat, void*) { return unsupported_call(); }
PF_Err white_for_pixel_format(PrPixelFormat, void*) { return unsupported_call(); }
PF_Err convert_colour(PrPixelFormat, float, float, float, float, void*) {
  return unsupported_call();
}

}  // namespace

ActiveHost::ActiveHost(SimulatedHost::Core& core) : previous_(active_host) { active_host = &core; }

ActiveHost::~ActiveHost() { active_host = previous_; }

void install_callbacks(SimulatedHost::Core& core) {
  PF_InteractCallbacks& inter = core.interact;
  inter.checkout_param = checkout_param;
  inter.checkin_param = checkin_param;
  inter.add_param = add_param;
  inter.abort = abort_callback;
  inter.progress = progress_callback;
  inter.register_ui = register_ui;
  inter.checkout_layer_audio = checkout_layer_audio;
  inter.checkin_layer_audio = checkin_layer_audio;
  inter.get_audio_data = get_audio_data;

  PF_UtilCallbacks& utils = core.utils;
  utils.copy = copy;
  utils.fill = fill;
  utils.new_world = new_world;
  utils.dispose_world = dispose_world;
  utils.get_pixel_data8 = get_pixel_data8;
  fill_ansi_table(utils.ansi);
  utils.ansi.sprintf = utils_sprintf;

  SPBasicSuite& basic = core.basic_suite;
  basic.AcquireSuite = acquire_suite;
  basic.ReleaseSuite = release_suite;
  basic.IsEqual = is_equal;
  basic.AllocateBlock = allocate_block;
  basic.FreeBlock = free_block;
  basic.ReallocateBlock = reallocate_block;
  basic.Undefined = undefined_call;

  fill_ansi_table(core.ansi_suite);
  core.ansi_suite.sprintf = suite_sprintf;

  PF_ParamUtilsSuite3& param_utils = core.param_utils_suite;
  param_utils.PF_UpdateParamUI = update_param_ui;
  param_utils.PF_GetCurrentState = get_current_state;
  param_utils.PF_AreStatesIdentical = are_states_identical;
  param_utils.PF_IsIdenticalCheckout = is_identical_checkout;
  param_utils.PF_FindKeyframeTime = find_keyframe_time;
  param_utils.PF_GetKeyframeCount = get_keyframe_count;
  param_utils.PF_CheckoutKeyframe = checkout_keyframe;
  param_utils.PF_CheckinKeyframe = checkin_keyframe;
  param_utils.PF_KeyIndexToTime = key_index_to_time;

  PF_PixelFormatSuite1& pixel_format = core.pixel_format_suite;
  pixel_format.AddSupportedPixelFormat = add_pixel_format;
  pixel_format.ClearSupportedPixelFormats = clear_pixel_formats;
  pixel_format.NewWorldOfPixelFormat = new_world_of_pixel_format;
  pixel_format.DisposeWorld = pixel_format_dispose_world;
  pixel_format.GetPixelFormat = get_pixel_format;
  pixel_format.GetBlackForPixelFormat = black_for_pixel_format;
  pixel_format.GetWhiteForPixelFormat = white_for_pixel_format;
  pixel_format.ConvertColorToPixelFormattedData = convert_colour;
}

// The host's registration callback; lives here because it needs the active
// host like the other table callbacks.
A_Err registration_callback(PF_PluginDataPtr inPtr, const A_u_char* inNamePtr,
                            const A_u_char* inMatchNamePtr, const A_u_char* inCategoryPtr,
                            const A_u_char* inEntryPointNamePtr, A_long inkind,
                            A_long inApiVersionMajor, A_long inApiVersionMinor,
                            A_long inReservedInfo) {
  return host_call(record_of(HostCall::RegistrationCallback), std::nullopt,
                   [&](SimulatedHost::Core& core) -> PF_Err {
                     if (inPtr != reinterpret_cast<PF_PluginDataPtr>(&core)) {
                       violation(core, "registration callback given a foreign host pointer");
                     }
                     const auto text = [&](const A_u_char* value, const char* what) {
                       if (value == nullptr) {
                         violation(core, std::string("registration callback given no ") + what);
                         return std::string();
                       }
                       return std::string(reinterpret_cast<const char*>(value));
                     };
                     Registration registration;
                     registration.host_pointer = inPtr;
                     registration.name = text(inNamePtr, "name");
                     registration.match_name = text(inMatchNamePtr, "match name");
                     registration.category = text(inCategoryPtr, "category");
                     registration.entry_point = text(inEntryPointNamePtr, "entry point");
                     registration.kind = inkind;
                     registration.api_version_major = inApiVersionMajor;
                     registration.api_version_minor = inApiVersionMinor;
                     registration.reserved_info = inReservedInfo;
                     core.command->registrations.push_back(std::move(registration));
                     return core.options.registration_result;
                   });
}

std::string_view host_call_name(HostCall call) {
  switch (call) {
    case HostCall::RegistrationCallback:
      return "registration_callback";
    case HostCall::CheckoutParam:
      return "checkout_param";
    case HostCall::CheckinParam:
      return "checkin_param";
    case HostCall::AddParam:
      return "add_param";
    case HostCall::Abort:
      return "abort";
    case HostCall::Progress:
      return "progress";
    case HostCall::Copy:
      return "copy";
    case HostCall::Fill:
      return "fill";
    case HostCall::NewWorld:
      return "new_world";
    case HostCall::DisposeWorld:
      return "dispose_world";
    case HostCall::GetPixelData8:
      return "get_pixel_data8";
    case HostCall::AnsiSprintf:
      return "ansi.sprintf";
    case HostCall::AcquireSuite:
      return "AcquireSuite";
    case HostCall::ReleaseSuite:
      return "ReleaseSuite";
    case HostCall::AllocateBlock:
      return "AllocateBlock";
    case HostCall::FreeBlock:
      return "FreeBlock";
    case HostCall::SuiteSprintf:
      return "PF ANSI Suite sprintf";
    case HostCall::UpdateParamUi:
      return "PF_UpdateParamUI";
    case HostCall::ClearPixelFormats:
      return "ClearSupportedPixelFormats";
    case HostCall::AddPixelFormat:
      return "AddSupportedPixelFormat";
    case HostCall::GetPixelFormat:
      return "GetPixelFormat";
    case HostCall::Unsupported:
      return "unsupported";
  }
  return "unknown";
}

}  // namespace shardcast::hostsim
