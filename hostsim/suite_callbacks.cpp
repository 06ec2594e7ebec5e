// The basic suite (suite acquisition and memory blocks) and the two suites
// with behaviour of their own: "PF Param Utils Suite" (PF_UpdateParamUI,
// whose cosmetic changes reach the host's table) and, in Premiere Pro, "PF
// Pixel Format Suite" (the formats the module announces decide the byte
// order of the worlds it gets). Every acquisition is accounted for until
// its release; the suites' other slots are refused.
#include <cstdlib>
#include <cstring>

#include "hostsim/host_call.h"

namespace shardcast::hostsim {
namespace {

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

void install_suite_callbacks(SimulatedHost::Core& core) {
  SPBasicSuite& basic = core.basic_suite;
  basic.AcquireSuite = acquire_suite;
  basic.ReleaseSuite = release_suite;
  basic.IsEqual = is_equal;
  basic.AllocateBlock = allocate_block;
  basic.FreeBlock = free_block;
  basic.ReallocateBlock = reallocate_block;
  basic.Undefined = undefined_call;

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

}  // namespace shardcast::hostsim
