// The module's entry points as a host sees them: registration, the command
// table, About and global setup, in After Effects and in Premiere Pro.
#include <gtest/gtest.h>

#include <string>

#include "PrSDKAESupport.h"
#include "hostsim/simulated_host.h"

namespace {

using shardcast::hostsim::HostCall;
using shardcast::hostsim::HostMode;
using shardcast::hostsim::HostOptions;
using shardcast::hostsim::ModuleLibrary;
using shardcast::hostsim::SimulatedHost;

constexpr const char* pixel_format_suite_name = "PF Pixel Format Suite";
constexpr PF_OutFlags host_out_flags = PF_OutFlag_DEEP_COLOR_AWARE | PF_OutFlag_PIX_INDEPENDENT;
constexpr PF_OutFlags2 host_out_flags2 = PF_OutFlag2_FLOAT_COLOR_AWARE | PF_OutFlag2_I_AM_THREADSAFE;

shardcast::hostsim::FailRule fail_every(HostCall call, PF_Err error) {
  shardcast::hostsim::FailRule rule;
  rule.call = call;
  rule.error = error;
  return rule;
}

SimulatedHost make_host(HostMode mode = HostMode::AfterEffects) {
  HostOptions options;
  options.mode = mode;
  options.initial_out_flags = host_out_flags;
  options.initial_out_flags2 = host_out_flags2;
  return SimulatedHost(SHARDCAST_MODULE_PATH, options);
}

TEST(Registration, CallsTheCallbackOnceWithTheNineValues) {
  SimulatedHost host = make_host();
  const auto outcome = host.register_effect();
  EXPECT_EQ(outcome.result, A_Err_NONE);
  ASSERT_EQ(outcome.callbacks.size(), 1u);
  const auto& r = outcome.callbacks[0];
  EXPECT_EQ(r.name, "Shardcast");
  EXPECT_EQ(r.match_name, "ADBE Shardcast");
  EXPECT_EQ(r.category, "Korvane");
  EXPECT_EQ(r.entry_point, "EffectMain");
  EXPECT_EQ(r.kind, static_cast<A_long>('eFKT'));
  EXPECT_EQ(r.api_version_major, 13);
  EXPECT_EQ(r.api_version_minor, 28);
  EXPECT_EQ(r.reserved_info, 8);
  EXPECT_TRUE(outcome.violations.empty());
}

TEST(Registration, ReturnsTheCallbacksResultUnchanged) {
  HostOptions options;
  options.registration_result = 0x5432;
  SimulatedHost host(SHARDCAST_MODULE_PATH, options);
  const auto outcome = host.register_effect();
  EXPECT_EQ(outcome.result, 0x5432);
  EXPECT_EQ(outcome.callbacks.size(), 1u);
}

TEST(CommandTable, CommandsWithoutHandlerReturnZeroAndTouchNothing) {
  SimulatedHost host = make_host();
  for (PF_Cmd cmd = 0; cmd <= PF_Cmd_NUM_CMDS + 3; ++cmd) {
    if (cmd == PF_Cmd_ABOUT || cmd == PF_Cmd_GLOBAL_SETUP || cmd == PF_Cmd_PARAMS_SETUP || cmd == PF_Cmd_RENDER ||
        cmd == PF_Cmd_USER_CHANGED_PARAM || cmd == PF_Cmd_UPDATE_PARAMS_UI) {
      continue;
    }
    SCOPED_TRACE(cmd);
    const auto outcome = host.send(cmd);
    EXPECT_EQ(outcome.result, PF_Err_NONE);
    EXPECT_TRUE(outcome.calls.empty());
    EXPECT_EQ(outcome.out_data.my_version, 0u);
    EXPECT_EQ(outcome.out_data.out_flags, host_out_flags);
    EXPECT_EQ(outcome.out_data.out_flags2, host_out_flags2);
    EXPECT_EQ(outcome.out_data.num_params, 0);
    EXPECT_EQ(outcome.out_data.return_msg[0], '\0');
  }
  EXPECT_EQ(host.send(-1).result, PF_Err_NONE);
}

// A host that hands over no records gets an error instead of a crash; a
// command the module does not handle still answers 0 without looking.
TEST(CommandTable, MissingHostRecordsAreRefusedNotDereferenced) {
  ModuleLibrary module(SHARDCAST_MODULE_PATH);
  const auto effect_main = module.entry_points().effect_main;
  for (PF_Cmd cmd : {PF_Cmd_ABOUT, PF_Cmd_GLOBAL_SETUP, PF_Cmd_PARAMS_SETUP, PF_Cmd_RENDER, PF_Cmd_USER_CHANGED_PARAM,
                     PF_Cmd_UPDATE_PARAMS_UI}) {
    EXPECT_EQ(effect_main(cmd, nullptr, nullptr, nullptr, nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM) << cmd;
  }
  EXPECT_EQ(effect_main(PF_Cmd_SEQUENCE_SETUP, nullptr, nullptr, nullptr, nullptr, nullptr), PF_Err_NONE);
  EXPECT_EQ(module.entry_points().plugin_data_entry(nullptr, nullptr, nullptr, nullptr, nullptr),
            PF_Err_BAD_CALLBACK_PARAM);
}

TEST(About, WritesNameVersionAndDescriptionAndReleasesTheSuite) {
  SimulatedHost host = make_host();
  const auto outcome = host.about();
  EXPECT_EQ(outcome.result, PF_Err_NONE);
  const std::string text = outcome.out_data.return_msg;
  EXPECT_EQ(text,
            "Shardcast v1.0\rCompresses every frame to JPEG, damages the compressed data and decodes what is left.");
  EXPECT_LT(text.size(), sizeof outcome.out_data.return_msg);
  EXPECT_EQ(outcome.count(HostCall::AcquireSuite), 1u);
  EXPECT_TRUE(outcome.clean()) << testing::PrintToString(outcome.violations);
}

TEST(About, WithoutTheAnsiSuiteReturns516AndWritesNothing) {
  SimulatedHost host = make_host();
  host.faults().unavailable_suites = {"PF ANSI Suite"};
  const auto outcome = host.about();
  EXPECT_EQ(outcome.result, PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_EQ(outcome.out_data.return_msg[0], '\0');
  EXPECT_EQ(outcome.out_data.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
  EXPECT_TRUE(outcome.clean()) << testing::PrintToString(outcome.violations);

  host.faults().unavailable_suites.clear();
  host.faults().no_basic_suite = true;
  EXPECT_EQ(host.about().result, PF_Err_BAD_CALLBACK_PARAM);
}

TEST(GlobalSetup, AfterEffectsGetsVersionAndFlagsAndNoPixelFormats) {
  SimulatedHost host = make_host(HostMode::AfterEffects);
  const auto outcome = host.global_setup();
  EXPECT_EQ(outcome.result, PF_Err_NONE);
  EXPECT_EQ(outcome.out_data.my_version, 0x00083800u);
  EXPECT_EQ(outcome.out_data.out_flags, 0);
  EXPECT_EQ(outcome.out_data.out_flags2, host_out_flags2);
  EXPECT_TRUE(outcome.calls.empty());
  EXPECT_TRUE(host.announced_pixel_formats().empty());
}

TEST(GlobalSetup, PremiereClearsColourDepthFlagsAndAnnouncesOnlyBgra) {
  SimulatedHost host = make_host(HostMode::PremierePro);
  const auto outcome = host.global_setup();
  EXPECT_EQ(outcome.result, PF_Err_NONE);
  EXPECT_EQ(outcome.out_data.my_version, 0x00083800u);
  EXPECT_EQ(outcome.out_data.out_flags, 0);
  EXPECT_EQ(outcome.out_data.out_flags2, host_out_flags2 & ~PF_OutFlag2_FLOAT_COLOR_AWARE);
  EXPECT_TRUE(host.pixel_formats_cleared());
  ASSERT_EQ(host.announced_pixel_formats().size(), 1u);
  EXPECT_EQ(host.announced_pixel_formats()[0], PrPixelFormat_BGRA_4444_8u);
  EXPECT_EQ(static_cast<std::uint32_t>(PrPixelFormat_BGRA_4444_8u), 0x61726762u);
  EXPECT_EQ(outcome.count(HostCall::ClearPixelFormats), 1u);
  EXPECT_EQ(outcome.count(HostCall::AddPixelFormat), 1u);
  EXPECT_TRUE(outcome.clean()) << testing::PrintToString(outcome.violations);
}

TEST(GlobalSetup, PremiereWithoutThePixelFormatSuiteStillSucceeds) {
  SimulatedHost host = make_host(HostMode::PremierePro);
  host.faults().unavailable_suites = {pixel_format_suite_name};
  const auto outcome = host.global_setup();
  EXPECT_EQ(outcome.result, PF_Err_NONE);
  EXPECT_EQ(outcome.out_data.my_version, 0x00083800u);
  EXPECT_EQ(outcome.out_data.out_flags2, host_out_flags2 & ~PF_OutFlag2_FLOAT_COLOR_AWARE);
  EXPECT_FALSE(host.pixel_formats_cleared());
  EXPECT_TRUE(host.announced_pixel_formats().empty());
  EXPECT_EQ(outcome.out_data.return_msg[0], '\0');
  EXPECT_TRUE(outcome.clean()) << testing::PrintToString(outcome.violations);
}

// The announcement's own results are not looked at: a host that refuses
// them does not fail global setup, and the suite is still given back.
TEST(GlobalSetup, PremiereIgnoresRefusedAnnouncements) {
  SimulatedHost host = make_host(HostMode::PremierePro);
  host.faults().fail = {fail_every(HostCall::ClearPixelFormats, PF_Err_INTERNAL_STRUCT_DAMAGED),
                        fail_every(HostCall::AddPixelFormat, PF_Err_INTERNAL_STRUCT_DAMAGED)};
  const auto outcome = host.global_setup();
  EXPECT_EQ(outcome.result, PF_Err_NONE);
  EXPECT_EQ(outcome.count(HostCall::ReleaseSuite), 1u);
  EXPECT_TRUE(outcome.clean()) << testing::PrintToString(outcome.violations);
}

// A host that refuses the pixel format suite but still fills in the pointer:
// the answer is the error code, so the table is neither used nor released,
// and global setup still succeeds.
struct RefusingPremiere {
  static inline int cleared = 0;
  static inline int added = 0;
  static inline int released = 0;

  static PF_Err clear(PF_ProgPtr) {
    ++cleared;
    return PF_Err_NONE;
  }
  static PF_Err add(PF_ProgPtr, PrPixelFormat) {
    ++added;
    return PF_Err_NONE;
  }
  static SPErr acquire(const char*, int32, const void** suite) {
    *suite = &formats;
    return kSPSuiteNotFoundError;
  }
  static SPErr release(const char*, int32) {
    ++released;
    return kSPNoError;
  }
  static inline PF_PixelFormatSuite1 formats{};
};

TEST(GlobalSetup, PremiereDoesNotUseASuiteRefusedWithAPointer) {
  ModuleLibrary module(SHARDCAST_MODULE_PATH);
  RefusingPremiere::formats.ClearSupportedPixelFormats = RefusingPremiere::clear;
  RefusingPremiere::formats.AddSupportedPixelFormat = RefusingPremiere::add;
  SPBasicSuite basic{};
  basic.AcquireSuite = RefusingPremiere::acquire;
  basic.ReleaseSuite = RefusingPremiere::release;
  PF_InData in_data{};
  in_data.appl_id = 'PrMr';
  in_data.pica_basicP = &basic;
  PF_OutData out_data{};
  out_data.out_flags2 = host_out_flags2;
  EXPECT_EQ(module.entry_points().effect_main(PF_Cmd_GLOBAL_SETUP, &in_data, &out_data, nullptr, nullptr, nullptr),
            PF_Err_NONE);
  EXPECT_EQ(out_data.my_version, 0x00083800u);
  EXPECT_EQ(out_data.out_flags2, host_out_flags2 & ~PF_OutFlag2_FLOAT_COLOR_AWARE);
  EXPECT_EQ(RefusingPremiere::cleared, 0);
  EXPECT_EQ(RefusingPremiere::added, 0);
  EXPECT_EQ(RefusingPremiere::released, 0);
}

}  // namespace
