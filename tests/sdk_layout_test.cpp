// Our host-interface headers against the host's published numbers: the
// layout facts the build's layout checks leave out, command, error and flag
// values, and the version packing (the host's, and the registration's).
#include <cstddef>
#include <cstdint>

#include <gtest/gtest.h>

#include "AE_Effect.h"
#include "AE_EffectCB.h"
#include "AE_EffectCBSuites.h"
#include "AE_EffectPixelFormat.h"
#include "AE_EffectSuites.h"
#include "AE_PluginData.h"
#include "Param_Utils.h"
#include "PrSDKAESupport.h"
#include "SPBasic.h"
#include "checks/layout_checks.h"
#include "entry.h"
#include "host/registration.h"

namespace {

// Layout facts beyond the build's own layout checks (checks/layout_checks.h,
// which every user of these headers compiles): records and members the
// effect does not touch, but whose place a host relies on all the same.
static_assert(sizeof(PF_Pixel) == 4, "PF_Pixel size");
static_assert(sizeof(PF_SoundWorld) == 32, "PF_SoundWorld size");
static_assert(alignof(PF_ParamDef) == 8 && alignof(PF_LayerDef) == 8, "8-byte alignment");
static_assert(offsetof(PF_InData, src_snd) == 352, "PF_InData::src_snd");
static_assert(offsetof(PF_OutData, global_data) == 40, "PF_OutData::global_data");
static_assert(offsetof(PF_OutData, dest_snd) == 368, "PF_OutData::dest_snd");
static_assert(offsetof(PF_ParamDef, ui_width) == 8, "PF_ParamDef::ui_width");
static_assert(offsetof(PF_UtilCallbacks, app) == 200, "PF_UtilCallbacks::app");
static_assert(offsetof(PF_UtilCallbacks, colorCB) == 368, "PF_UtilCallbacks::colorCB");
static_assert(offsetof(PF_UtilCallbacks, get_platform_data) == 432, "PF_UtilCallbacks::get_platform_data");
static_assert(offsetof(PF_UtilCallbacks, reserved) == 544, "PF_UtilCallbacks::reserved");
static_assert(offsetof(PF_UtilCallbacks, ansi) + offsetof(PF_ANSICallbacks, sprintf) == 328, "ANSI sprintf");
static_assert(offsetof(PF_ANSICallbacksSuite1, sprintf) == 120, "PF_ANSICallbacksSuite1::sprintf");
static_assert(offsetof(PF_FloatSliderDef, value_desc) == 16, "PF_FloatSliderDef::value_desc");
static_assert(offsetof(PF_FloatSliderDef, precision) == 68, "PF_FloatSliderDef::precision");
static_assert(offsetof(PF_FloatSliderDef, useExponent) == 80, "PF_FloatSliderDef::useExponent");
static_assert(offsetof(PF_CheckBoxDef, dephault) == 4, "PF_CheckBoxDef::dephault");
static_assert(offsetof(PF_LayerDef, platform_ref) == 64, "PF_LayerDef::platform_ref");
static_assert(offsetof(PF_LayerDef, pix_aspect_ratio) == 88, "PF_LayerDef::pix_aspect_ratio");
static_assert(offsetof(PF_LayerDef, origin_x) == 104, "PF_LayerDef::origin_x");
static_assert(offsetof(PF_ParamUtilsSuite3, PF_KeyIndexToTime) == 64, "PF_ParamUtilsSuite3::PF_KeyIndexToTime");
static_assert(offsetof(PF_PixelFormatSuite1, ClearSupportedPixelFormats) == 8,
              "PF_PixelFormatSuite1::ClearSupportedPixelFormats");
static_assert(offsetof(PF_PixelFormatSuite1, ConvertColorToPixelFormattedData) == 56,
              "PF_PixelFormatSuite1::ConvertColorToPixelFormattedData");

TEST(HostConstants, CommandCodesFollowTheHostsOrder) {
  EXPECT_EQ(PF_Cmd_ABOUT, 0);
  EXPECT_EQ(PF_Cmd_GLOBAL_SETUP, 1);
  EXPECT_EQ(PF_Cmd_GLOBAL_SETDOWN, 3);
  EXPECT_EQ(PF_Cmd_PARAMS_SETUP, 4);
  EXPECT_EQ(PF_Cmd_RENDER, 11);
  EXPECT_EQ(PF_Cmd_USER_CHANGED_PARAM, 13);
  EXPECT_EQ(PF_Cmd_UPDATE_PARAMS_UI, 14);
  EXPECT_EQ(PF_Cmd_SMART_RENDER, 24);
  EXPECT_EQ(PF_Cmd_GET_FLATTENED_SEQUENCE_DATA, 28);
  EXPECT_EQ(PF_Cmd_GPU_DEVICE_SETDOWN, 33);
  EXPECT_EQ(PF_Cmd_NUM_CMDS, 34);
}

TEST(HostConstants, ErrorCodes) {
  EXPECT_EQ(PF_Err_NONE, 0);
  EXPECT_EQ(PF_Err_OUT_OF_MEMORY, 4);
  EXPECT_EQ(PF_Err_INTERNAL_STRUCT_DAMAGED, 512);
  EXPECT_EQ(PF_Err_INVALID_INDEX, 513);
  EXPECT_EQ(PF_Err_BAD_CALLBACK_PARAM, 516);
  EXPECT_EQ(PF_Interrupt_CANCEL, 517);
  EXPECT_EQ(PF_Err_CANNOT_PARSE_KEYFRAME_TEXT, 518);
  EXPECT_EQ(A_Err_MISSING_SUITE, 13);
  EXPECT_EQ(A_Err_LAST, 25);
  EXPECT_EQ(kSPSuiteNotFoundError, 0x53214664);
  EXPECT_EQ(static_cast<std::uint32_t>(kSPOutOfMemoryError), 0xFFFFFF6Cu);
}

TEST(HostConstants, ParameterTypesAndFlags) {
  EXPECT_EQ(PF_Param_LAYER, 0);
  EXPECT_EQ(PF_Param_CHECKBOX, 4);
  EXPECT_EQ(PF_Param_FLOAT_SLIDER, 10);
  EXPECT_EQ(PF_Param_GROUP_START, 13);
  EXPECT_EQ(PF_Param_GROUP_END, 14);
  EXPECT_EQ(PF_Param_POINT_3D, 18);
  EXPECT_EQ(PF_ParamFlag_SUPERVISE, 0x40);
  EXPECT_EQ(PF_ParamFlag_COLLAPSE_TWIRLY, 0x20);
  EXPECT_EQ(PF_ChangeFlag_CHANGED_VALUE, 1);
  EXPECT_EQ(PF_PUI_INVISIBLE, 0x200);
  EXPECT_EQ(PF_Precision_INTEGER, 0);
  EXPECT_EQ(PF_Precision_HUNDREDTHS, 2);
  EXPECT_EQ(PF_NewWorldFlag_CLEAR_PIXELS, 1);
  EXPECT_EQ(PF_NewWorldFlag_DEEP_PIXELS, 2);
  EXPECT_FLOAT_EQ(AEFX_AUDIO_DEFAULT_CURVE_TOLERANCE, 0.05f);
}

TEST(HostConstants, OutFlagsIncludingBitThirtyOne) {
  EXPECT_EQ(PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0x100);
  EXPECT_EQ(PF_OutFlag_REFRESH_UI | PF_OutFlag_FORCE_RERENDER, 0x00420000);
  EXPECT_EQ(PF_OutFlag_DEEP_COLOR_AWARE, 0x02000000);
  EXPECT_EQ(PF_OutFlag_SEND_UPDATE_PARAMS_UI, 0x04000000);
  EXPECT_EQ(PF_OutFlag2_FLOAT_COLOR_AWARE, 0x1000);
  EXPECT_EQ(PF_OutFlag2_SUPPORTS_THREADED_RENDERING, 0x8000000);
  // The top bit keeps a 32-bit signed enumeration on every platform.
  EXPECT_EQ(sizeof(PF_OutFlag_AUDIO_EFFECT_ONLY), 4u);
  EXPECT_EQ(static_cast<std::uint32_t>(PF_OutFlag_AUDIO_EFFECT_ONLY), 0x80000000u);
  EXPECT_EQ(static_cast<std::uint32_t>(PF_WorldFlag_RESERVED), 0x80000000u);
}

TEST(HostConstants, PixelFormatCodesAreBuiltInMemoryOrder) {
  EXPECT_EQ(static_cast<std::uint32_t>(PrPixelFormat_BGRA_4444_8u), 0x61726762u);
  EXPECT_EQ(static_cast<std::uint32_t>(PrPixelFormat_ARGB_4444_8u), 0x62677261u);
  EXPECT_NE(static_cast<std::uint32_t>(PrPixelFormat_BGRA_4444_8u), static_cast<std::uint32_t>('bgra'));
  EXPECT_EQ(PF_PixelFormat_BGRA32, static_cast<A_long>(PrPixelFormat_BGRA_4444_8u));
  EXPECT_STREQ(kPFPixelFormatSuite, "PF Pixel Format Suite");
  EXPECT_STREQ(kPFANSISuite, "PF ANSI Suite");
  EXPECT_STREQ(kPFParamUtilsSuite, "PF Param Utils Suite");
  EXPECT_EQ(kPFPixelFormatSuiteVersion1, 1);
  EXPECT_EQ(kPFParamUtilsSuiteVersion3, 3);
}

TEST(HostConstants, FourCharacterCodes) {
  EXPECT_EQ('PrMr', 0x50724D72);
  EXPECT_EQ('FXTC', 0x46585443);
  EXPECT_EQ('eFKT', 0x65464B54);
  EXPECT_STREQ(AE_ENTRY_POINT, "EffectMain");
  EXPECT_EQ(AE_RESERVED_INFO, 8);
}

// Usable where the module needs a constant (its version and the resource's).
static_assert(PF_VERSION(1, 0, 7, 0, 0) == 0x00083800u);

TEST(VersionPacking, PacksAndUnpacksEveryField) {
  EXPECT_EQ(PF_VERSION(1, 0, 7, 0, 0), 0x00083800u);
  EXPECT_EQ(PF_VERSION(2, 4, 0, 0, 1), 0x00120001u);
  // Versions above 7 spill into bits 26-29.
  const A_u_long v = PF_VERSION(13, 9, 5, PF_Stage_RELEASE, 300);
  EXPECT_EQ(v, (1u << 26) | (5u << 19) | (9u << 15) | (5u << 11) | (3u << 9) | 300u);
  EXPECT_EQ(PF_Version_VERS(v), 13u);
  EXPECT_EQ(PF_Version_SUBVERS(v), 9u);
  EXPECT_EQ(PF_Version_BUGFIX(v), 5u);
  EXPECT_EQ(PF_Version_STAGE(v), 3u);
  EXPECT_EQ(PF_Version_BUILD(v), 300u);
}

// The registration packs its version without the host's headers; a later
// version, stage or build must come out as the host packs it.
TEST(VersionPacking, TheRegistrationPacksEveryFieldAsTheHostDoes) {
  struct Case {
    A_u_long version, subversion, fix_level, stage, build;
  };
  for (const Case c : {Case{1, 0, 7, PF_Stage_DEVELOP, 0}, Case{2, 15, 0, PF_Stage_BETA, 511},
                       Case{13, 9, 5, PF_Stage_RELEASE, 300}, Case{127, 1, 15, PF_Stage_ALPHA, 1}}) {
    EXPECT_EQ(shardcast::packed_effect_version(c.version, c.subversion, c.fix_level, c.stage, c.build),
              PF_VERSION(c.version, c.subversion, c.fix_level, c.stage, c.build))
        << c.version << "." << c.subversion;
  }
}

}  // namespace
