/* Compile-time proof that the records declared in this folder have the
 * host's sizes and member offsets (Windows x86-64 and Linux x86-64 agree).
 * Included by layout_checks.cpp, which every target that uses these headers
 * compiles, so a drifting layout stops the build instead of corrupting a
 * host's memory at run time. */
#ifndef SHARDCAST_SDK_LAYOUT_CHECKS_H
#define SHARDCAST_SDK_LAYOUT_CHECKS_H

#include <cstddef>

#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"
#include "AE_EffectSuites.h"
#include "PrSDKAESupport.h"
#include "SPBasic.h"

/* Newer host headers rename PF_ParamDef::name and reach it through this
 * macro; older ones, like ours, keep the plain member name. */
#ifndef PF_DEF_NAME
#define PF_DEF_NAME name
#endif

static_assert(sizeof(A_long) == 4 && sizeof(A_u_long) == 4, "A_long is 32 bits everywhere");
static_assert(sizeof(PF_Boolean) == 1, "PF_Boolean is one byte");
static_assert(sizeof(PrPixelFormat) == 4, "PrPixelFormat is an int-sized enumeration");

static_assert(sizeof(PF_InData) == 408, "PF_InData size");
static_assert(sizeof(PF_OutData) == 408, "PF_OutData size");
static_assert(sizeof(PF_ParamDef) == 176, "PF_ParamDef size");
static_assert(sizeof(PF_ParamDefUnion) == 120, "PF_ParamDefUnion size");
static_assert(sizeof(PF_LayerDef) == 120, "PF_LayerDef size");
static_assert(sizeof(PF_FloatSliderDef) == 88, "PF_FloatSliderDef size");
static_assert(sizeof(PF_CheckBoxDef) == 16, "PF_CheckBoxDef size");
static_assert(sizeof(PF_InteractCallbacks) == 176, "PF_InteractCallbacks size");
static_assert(sizeof(PF_UtilCallbacks) == 552, "PF_UtilCallbacks size");
static_assert(sizeof(PF_ANSICallbacks) == 160, "PF_ANSICallbacks size");
static_assert(sizeof(PF_ANSICallbacksSuite1) == 152, "PF_ANSICallbacksSuite1 size");
static_assert(sizeof(PF_ParamUtilsSuite3) == 72, "PF_ParamUtilsSuite3 size");
static_assert(sizeof(PF_PixelFormatSuite1) == 64, "PF_PixelFormatSuite1 size");
static_assert(sizeof(SPBasicSuite) == 56, "SPBasicSuite size");

static_assert(offsetof(PF_InData, utils) == 176, "PF_InData::utils");
static_assert(offsetof(PF_InData, effect_ref) == 184, "PF_InData::effect_ref");
static_assert(offsetof(PF_InData, appl_id) == 204, "PF_InData::appl_id");
static_assert(offsetof(PF_InData, current_time) == 224, "PF_InData::current_time");
static_assert(offsetof(PF_InData, time_scale) == 240, "PF_InData::time_scale");
static_assert(offsetof(PF_InData, pica_basicP) == 384, "PF_InData::pica_basicP");
static_assert(offsetof(PF_OutData, out_flags) == 96, "PF_OutData::out_flags");
static_assert(offsetof(PF_OutData, return_msg) == 100, "PF_OutData::return_msg");
static_assert(offsetof(PF_OutData, out_flags2) == 400, "PF_OutData::out_flags2");
static_assert(offsetof(PF_ParamDef, u) == 56, "PF_ParamDef::u");
static_assert(offsetof(PF_ParamDef, PF_DEF_NAME) == 16, "PF_ParamDef::name");
static_assert(offsetof(PF_UtilCallbacks, copy) == 64, "PF_UtilCallbacks::copy");
static_assert(offsetof(PF_UtilCallbacks, fill) == 72, "PF_UtilCallbacks::fill");
static_assert(offsetof(PF_UtilCallbacks, new_world) == 112, "PF_UtilCallbacks::new_world");
static_assert(offsetof(PF_UtilCallbacks, dispose_world) == 120, "PF_UtilCallbacks::dispose_world");
static_assert(offsetof(PF_UtilCallbacks, ansi) == 208, "PF_UtilCallbacks::ansi");
static_assert(offsetof(PF_UtilCallbacks, get_pixel_data8) == 528,
              "PF_UtilCallbacks::get_pixel_data8");
static_assert(offsetof(PF_ANSICallbacks, sprintf) == 120, "PF_ANSICallbacks::sprintf");
static_assert(offsetof(PF_FloatSliderDef, dephault) == 64, "PF_FloatSliderDef::dephault");
static_assert(offsetof(PF_FloatSliderDef, curve_tolerance) == 76,
              "PF_FloatSliderDef::curve_tolerance");
static_assert(offsetof(PF_FloatSliderDef, exponent) == 84, "PF_FloatSliderDef::exponent");
static_assert(offsetof(PF_LayerDef, data) == 24, "PF_LayerDef::data");
static_assert(offsetof(PF_LayerDef, rowbytes) == 32, "PF_LayerDef::rowbytes");
static_assert(offsetof(PF_LayerDef, width) == 36, "PF_LayerDef::width");
static_assert(offsetof(PF_LayerDef, height) == 40, "PF_LayerDef::height");

/* Members the module and the simulated host touch beyond the list above. */
static_assert(offsetof(PF_InData, time_step) == 228, "PF_InData::time_step");
static_assert(offsetof(PF_InData, shutter_phase) == 400, "PF_InData::shutter_phase");
static_assert(offsetof(PF_OutData, my_version) == 0, "PF_OutData::my_version");
static_assert(offsetof(PF_OutData, num_params) == 48, "PF_OutData::num_params");
static_assert(offsetof(PF_ParamDef, param_type) == 12, "PF_ParamDef::param_type");
static_assert(offsetof(PF_ParamDef, flags) == 48, "PF_ParamDef::flags");
static_assert(offsetof(PF_CheckBoxDef, u) == 8, "PF_CheckBoxDef::u");
static_assert(offsetof(PF_LayerDef, extent_hint) == 44, "PF_LayerDef::extent_hint");
static_assert(offsetof(PF_LayerDef, dephault) == 116, "PF_LayerDef::dephault");
static_assert(offsetof(PF_InteractCallbacks, add_param) == 16, "PF_InteractCallbacks::add_param");
static_assert(offsetof(PF_PixelFormatSuite1, GetPixelFormat) == 32,
              "PF_PixelFormatSuite1::GetPixelFormat");
static_assert(offsetof(SPBasicSuite, ReleaseSuite) == 8, "SPBasicSuite::ReleaseSuite");

#endif
