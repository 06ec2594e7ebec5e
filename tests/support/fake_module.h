// A small, well-behaved effect module compiled into the simulated host's
// tests: two parameters, B, G, R, A announced in Premiere, a render through
// a work buffer with every error chained and every clean-up on every path,
// and a supervised change reported through PF_UpdateParamUI; and a picture
// to render with it.
#pragma once

#include <cstring>

#include "AE_EffectCBSuites.h"
#include "AE_EffectSuites.h"
#include "PrSDKAESupport.h"
#include "hostsim/simulated_host.h"

namespace shardcast::hostsim {

inline PF_Err add_test_params(PF_InData* in, PF_OutData* out) {
  PF_ParamDef slider{};
  slider.param_type = PF_Param_FLOAT_SLIDER;
  std::strcpy(slider.name, "amount");
  slider.uu.id = 1;
  slider.flags = PF_ParamFlag_SUPERVISE;
  slider.u.fs_d.value = 2.5;
  slider.u.fs_d.valid_max = slider.u.fs_d.slider_max = 10.0f;
  PF_Err err = in->inter.add_param(in->effect_ref, -1, &slider);
  if (err != PF_Err_NONE) {
    return err;
  }
  PF_ParamDef box{};
  box.param_type = PF_Param_CHECKBOX;
  std::strcpy(box.name, "enabled");
  box.uu.id = 2;
  box.u.bd.value = box.u.bd.dephault = 1;
  box.u.bd.u.nameptr = "";
  err = in->inter.add_param(in->effect_ref, -1, &box);
  if (err == PF_Err_NONE) {
    out->num_params = 3;
  }
  return err;
}

// Announces B, G, R, A in Premiere, as the module does.
inline PF_Err announce_bgra(PF_InData* in) {
  if (in->appl_id != 'PrMr') {
    return PF_Err_NONE;
  }
  const PF_PixelFormatSuite1* suite = nullptr;
  if (in->pica_basicP->AcquireSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1,
                                    reinterpret_cast<const void**>(&suite)) == kSPNoError) {
    suite->ClearSupportedPixelFormats(in->effect_ref);
    suite->AddSupportedPixelFormat(in->effect_ref, PrPixelFormat_BGRA_4444_8u);
    in->pica_basicP->ReleaseSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1);
  }
  return PF_Err_NONE;
}

// Through a work buffer of the input's size and back, with every error
// chained and every clean-up on every path.
inline PF_Err render_through_work_buffer(PF_InData* in, PF_ParamDef* params[], PF_LayerDef* output) {
  PF_UtilCallbacks* utils = in->utils;
  PF_ParamDef amount{};
  PF_Err err = in->inter.checkout_param(in->effect_ref, 1, in->current_time, in->time_step, in->time_scale, &amount);
  PF_EffectWorld work{};
  bool made = false;
  PF_LayerDef* layer = &params[0]->u.ld;
  if (err == PF_Err_NONE) {
    err = utils->new_world(in->effect_ref, layer->width, layer->height, 0, &work);
    made = err == PF_Err_NONE;
  }
  const PF_Pixel black{255, 0, 0, 0};
  if (err == PF_Err_NONE) {
    err = utils->fill(in->effect_ref, &black, nullptr, &work);
  }
  if (err == PF_Err_NONE) {
    err = utils->copy(in->effect_ref, layer, &work, nullptr, nullptr);
  }
  if (err == PF_Err_NONE) {
    PF_Pixel8* pixels = nullptr;
    utils->get_pixel_data8(&work, nullptr, &pixels);
    if (pixels != nullptr && amount.u.fs_d.value > 5.0) {
      pixels[0].alpha = 0;  // visible proof of the checked-out value
    }
  }
  if (err == PF_Err_NONE) {
    err = utils->copy(in->effect_ref, &work, output, nullptr, nullptr);
  }
  if (made) {
    const PF_Err disposed = utils->dispose_world(in->effect_ref, &work);
    if (err == PF_Err_NONE) {
      err = disposed;
    }
  }
  const PF_Err checked_in = in->inter.checkin_param(in->effect_ref, &amount);
  return err != PF_Err_NONE ? err : checked_in;
}

// Sets the slider to 42 as a supervised change, and reports through
// PF_UpdateParamUI with a copy.
inline PF_Err supervise(PF_InData* in, PF_ParamDef* params[]) {
  const PF_ParamUtilsSuite3* suite = nullptr;
  if (in->pica_basicP->AcquireSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3,
                                    reinterpret_cast<const void**>(&suite)) != kSPNoError) {
    return A_Err_MISSING_SUITE;
  }
  PF_ParamDef copy = *params[1];
  copy.u.fs_d.value = 42.0;
  copy.uu.change_flags = PF_ChangeFlag_CHANGED_VALUE;
  *params[1] = copy;
  suite->PF_UpdateParamUI(in->effect_ref, 1, &copy);
  in->pica_basicP->ReleaseSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);
  return PF_Err_NONE;
}

inline PF_Err fake_effect_main(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef* output,
                               void*) {
  switch (cmd) {
    case PF_Cmd_ABOUT:
      in->utils->ansi.sprintf(out->return_msg, "%s v%d.%d", "Fake", 1, 0);
      return PF_Err_NONE;
    case PF_Cmd_GLOBAL_SETUP:
      return announce_bgra(in);
    case PF_Cmd_PARAMS_SETUP:
      return add_test_params(in, out);
    case PF_Cmd_RENDER:
      return render_through_work_buffer(in, params, output);
    case PF_Cmd_USER_CHANGED_PARAM:
    case PF_Cmd_UPDATE_PARAMS_UI:
      return supervise(in, params);
    default:
      return PF_Err_NONE;
  }
}

inline A_Err fake_plugin_data_entry(PF_PluginDataPtr host, PF_PluginDataCB callback, SPBasicSuite*, const char*,
                                    const char*) {
  return callback(host, reinterpret_cast<const A_u_char*>("Fake"), reinterpret_cast<const A_u_char*>("ADBE Fake"),
                  reinterpret_cast<const A_u_char*>("Tests"), reinterpret_cast<const A_u_char*>("EffectMain"), 'eFKT',
                  13, 28, 8);
}

inline constexpr EffectEntryPoints fake_module{fake_effect_main, fake_plugin_data_entry};

inline Picture gradient(A_long width, A_long height) {
  Picture picture = Picture::filled(width, height, PF_Pixel{255, 0, 0, 0});
  for (A_long y = 0; y < height; ++y) {
    for (A_long x = 0; x < width; ++x) {
      picture.set(x, y,
                  PF_Pixel{static_cast<A_u_char>(200 + x), static_cast<A_u_char>(x * 7), static_cast<A_u_char>(y * 11),
                           static_cast<A_u_char>(x + y)});
    }
  }
  return picture;
}

}  // namespace shardcast::hostsim
