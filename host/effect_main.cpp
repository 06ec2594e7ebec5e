// The module's two entry points.
//
// PluginDataEntryFunction hands the host the effect's identity through the
// registration callback, once. EffectMain answers one command at a time:
// About, global setup, parameter setup, render and the two supervision
// commands; every other command returns 0 and touches nothing.
//
// A handler reports a missing suite by throwing a plain A_long, which
// becomes the command's result. No other exception may cross into the host:
// an allocation failure is answered with PF_Err_OUT_OF_MEMORY, anything else
// with PF_Err_INTERNAL_STRUCT_DAMAGED. The handlers' clean-up (check-ins,
// disposal, suite releases) is done by destructors, so it has run by the
// time an exception reaches this point.
#include <new>

#include "PrSDKAESupport.h"
#include "host/commands.h"
#include "host/entry_points.h"
#include "host/params.h"
#include "host/registration.h"
#include "host/suites.h"

namespace shardcast {
namespace {

static_assert(registration_data.effect_version == PF_VERSION(SHARDCAST_VERSION_MAJOR, SHARDCAST_VERSION_MINOR,
                                                             effect_fix_level, PF_Stage_DEVELOP, effect_build),
              "the registration packs its version as the host does");

const A_u_char* as_host_text(const char* text) { return reinterpret_cast<const A_u_char*>(text); }

// A command's handler needs the host records it works on; a host that hands
// over none gets an error instead of a crash.
bool has_records(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output) {
  switch (cmd) {
    case PF_Cmd_ABOUT:
    case PF_Cmd_GLOBAL_SETUP:
    case PF_Cmd_PARAMS_SETUP:
      return in_data != nullptr && out_data != nullptr;
    case PF_Cmd_RENDER:
      return in_data != nullptr && params != nullptr && params[PARAM_INPUT] != nullptr && output != nullptr;
    case PF_Cmd_USER_CHANGED_PARAM:
    case PF_Cmd_UPDATE_PARAMS_UI:
      // params[] holds num_params entries: a host whose table does not
      // reach the glitch window is not indexed past its end.
      return in_data != nullptr && params != nullptr && in_data->num_params > PARAM_GLITCH_END &&
             params[PARAM_GLITCH_START] != nullptr && params[PARAM_GLITCH_END] != nullptr;
    default:
      return true;  // not ours: answered with 0 without looking at anything
  }
}

PF_Err dispatch(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
                void* extra) {
  switch (cmd) {
    case PF_Cmd_ABOUT:
      return show_about(in_data, out_data, params, output);
    case PF_Cmd_GLOBAL_SETUP:
      return global_setup(in_data, out_data, params, output);
    case PF_Cmd_PARAMS_SETUP:
      return params_setup(in_data, out_data, params, output);
    case PF_Cmd_RENDER:
      return render_frame(in_data, out_data, params, output);
    case PF_Cmd_USER_CHANGED_PARAM:
    case PF_Cmd_UPDATE_PARAMS_UI:
      return supervise_glitch_range(in_data, out_data, params, extra);
    default:
      return PF_Err_NONE;
  }
}

}  // namespace

PF_Err show_about(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* /*params*/[], PF_LayerDef* /*output*/) {
  SuiteCache suites(in_data->pica_basicP);
  suites.ansi()->sprintf(out_data->return_msg, "%s v%d.%d\r%s", string_by_id(STR_NAME),
                         registration_data.about_version_major, registration_data.about_version_minor,
                         string_by_id(STR_DESCRIPTION));
  return PF_Err_NONE;
}

PF_Err global_setup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* /*params*/[], PF_LayerDef* /*output*/) {
  out_data->my_version = registration_data.effect_version;
  out_data->out_flags = static_cast<PF_OutFlags>(registration_data.global_out_flags);
  if (in_data->appl_id != premiere_pro_app_id) {
    return PF_Err_NONE;
  }
  out_data->out_flags &= ~PF_OutFlag_DEEP_COLOR_AWARE;
  out_data->out_flags2 &= ~PF_OutFlag2_FLOAT_COLOR_AWARE;
  // Without the suite Premiere keeps imitating After Effects' 8-bit ARGB,
  // which is fine: nothing to announce, no message.
  OptionalSuite formats(in_data->pica_basicP, kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1);
  if (const auto* suite = formats.get<PF_PixelFormatSuite1>(); suite != nullptr) {
    suite->ClearSupportedPixelFormats(in_data->effect_ref);
    suite->AddSupportedPixelFormat(in_data->effect_ref, PrPixelFormat_BGRA_4444_8u);
  }
  return PF_Err_NONE;
}

}  // namespace shardcast

extern "C" DllExport PF_Err PluginDataEntryFunction(PF_PluginDataPtr inPtr, PF_PluginDataCB inPluginDataCallBackPtr,
                                                    SPBasicSuite* /*inSPBasicSuitePtr*/, const char* /*inHostName*/,
                                                    const char* /*inHostVersion*/) {
  using shardcast::as_host_text;
  if (inPluginDataCallBackPtr == nullptr) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  const auto& r = shardcast::registration_data;
  return inPluginDataCallBackPtr(inPtr, as_host_text(r.name), as_host_text(r.match_name), as_host_text(r.category),
                                 as_host_text(r.entry_point), static_cast<A_long>(r.kind), r.api_version_major,
                                 r.api_version_minor, r.reserved_info);
}

extern "C" DllExport PF_Err EffectMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                       PF_LayerDef* output, void* extra) {
  using namespace shardcast;
  if (!has_records(cmd, in_data, out_data, params, output)) {
    return PF_Err_BAD_CALLBACK_PARAM;
  }
  try {
    return dispatch(cmd, in_data, out_data, params, output, extra);
  } catch (A_long thrown) {
    return thrown;
  } catch (const std::bad_alloc&) {
    return PF_Err_OUT_OF_MEMORY;
  } catch (...) {
    return PF_Err_INTERNAL_STRUCT_DAMAGED;
  }
}
