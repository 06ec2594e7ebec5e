// The parameter set as the host receives it, and the supervision of the
// glitch window after user edits.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "AE_EffectSuites.h"
#include "hostsim/simulated_host.h"
#include "support/effect_setup.h"

namespace {

using shardcast::hostsim::CommandOutcome;
using shardcast::hostsim::FailRule;
using shardcast::hostsim::HostCall;
using shardcast::hostsim::ModuleLibrary;
using shardcast::hostsim::SimulatedHost;

constexpr PF_OutFlags refresh_and_rerender = 0x420000;
constexpr PF_Err host_refusal = 0x1234;

struct Slider {
  A_long index;
  const char* name;
  float minimum;
  float maximum;
  float dephault;
  A_short precision;
  bool supervised;
};

// clang-format off
const Slider slider_cases[] = {
    {1, "Compression ratio", 1, 100, 100, 0, false},
    {3, "Broken bytes", 0, 10000, 0, 0, false},
    {4, "start of glitch", 0, 99.9f, 0, 2, true},
    {5, "end of glitch", 0.1f, 100, 100, 2, true},
    {6, "seed", 1, 100000000, 1, 0, false},
    {10, "QTC position", 1, 64, 5, 0, false},
    {11, "QTC value", 0, 255, 0, 0, false},
    {12, "breaking bytes", 0, 64, 0, 0, false},
    {13, "max random value", 0, 255, 0, 0, false},
    {14, "seed", 1, 100000000, 1, 0, false},
    {18, "QTL position", 1, 64, 5, 0, false},
    {19, "QTL value", 0, 255, 0, 0, false},
    {20, "breaking bytes", 0, 64, 0, 0, false},
    {21, "max random value", 0, 255, 0, 0, false},
    {22, "seed", 1, 100000000, 1, 0, false},
    {31, "filter 1 value", -10, 10, 1, 2, false},
    {33, "filter 2 value", -10, 10, -0.1f, 2, false},
};
// clang-format on

struct Checkbox {
  A_long index;
  const char* name;
  bool on;
};

// clang-format off
const Checkbox checkbox_cases[] = {
    {9, "QTC", false},          {17, "QTL", false},      {25, "Inverse DCT", true}, {26, "YCbCrToRGB", true},
    {27, "Dequantize", true},   {30, "filter 1", false}, {32, "filter 2", false},
};
// clang-format on

struct Group {
  A_long start;
  A_long end;
  const char* name;
};

const Group group_cases[] = {
    {2, 7, "Broken bytes"},
    {8, 15, "Quantization tables for Chroma"},
    {16, 23, "Quantization tables for Luma"},
    {24, 28, "Advanced settings"},
    {29, 34, "Broken tools"},
};

SimulatedHost set_up_host() {
  SimulatedHost host(SHARDCAST_MODULE_PATH);
  EXPECT_TRUE(shardcast::testing::set_up_effect(host));
  return host;
}

TEST(ParamsSetup, RegistersThirtyFourRecordsAndAnnouncesThirtyFive) {
  SimulatedHost host(SHARDCAST_MODULE_PATH);
  const CommandOutcome outcome = host.params_setup();
  EXPECT_EQ(outcome.result, PF_Err_NONE);
  EXPECT_EQ(outcome.out_data.num_params, 35);
  EXPECT_EQ(outcome.count(HostCall::AddParam), 34u);
  EXPECT_EQ(host.parameter_count(), 35);
  EXPECT_TRUE(outcome.clean()) << testing::PrintToString(outcome.violations);
  for (A_long index = 1; index < host.parameter_count(); ++index) {
    const PF_ParamDef& def = host.parameter(index);
    EXPECT_EQ(def.uu.id, index);
    EXPECT_EQ(def.ui_flags, 0) << index;
    EXPECT_EQ(def.ui_width, 0) << index;
    EXPECT_EQ(def.ui_height, 0) << index;
  }
}

TEST(ParamsSetup, SlidersCarryRangesDefaultsPrecisionAndFlags) {
  SimulatedHost host = set_up_host();
  for (const Slider& expected : slider_cases) {
    SCOPED_TRACE(expected.index);
    const PF_ParamDef& def = host.parameter(expected.index);
    ASSERT_EQ(def.param_type, PF_Param_FLOAT_SLIDER);
    EXPECT_STREQ(def.name, expected.name);
    EXPECT_EQ(def.flags, expected.supervised ? PF_ParamFlag_SUPERVISE : 0);
    const PF_FloatSliderDef& s = def.u.fs_d;
    EXPECT_EQ(s.valid_min, expected.minimum);
    EXPECT_EQ(s.slider_min, expected.minimum);
    EXPECT_EQ(s.valid_max, expected.maximum);
    EXPECT_EQ(s.slider_max, expected.maximum);
    EXPECT_EQ(s.dephault, expected.dephault);
    // The starting value is the single-precision default widened.
    EXPECT_EQ(s.value, static_cast<double>(expected.dephault));
    EXPECT_EQ(s.precision, expected.precision);
    EXPECT_EQ(s.display_flags, 0);
    EXPECT_EQ(s.fs_flags, 0u);
    EXPECT_EQ(s.phase, 0.0);
    EXPECT_EQ(s.value_desc[0], '\0');
    EXPECT_EQ(s.curve_tolerance, 0.05f);
  }
  EXPECT_NE(host.slider_value(33), -0.1);                        // not the double -0.1 ...
  EXPECT_EQ(host.slider_value(33), static_cast<double>(-0.1f));  // ... but the float's value
}

TEST(ParamsSetup, CheckboxesAndGroupsCarryTheirNamesAndDefaults) {
  SimulatedHost host = set_up_host();
  for (const Checkbox& expected : checkbox_cases) {
    SCOPED_TRACE(expected.index);
    const PF_ParamDef& def = host.parameter(expected.index);
    ASSERT_EQ(def.param_type, PF_Param_CHECKBOX);
    EXPECT_STREQ(def.name, expected.name);
    EXPECT_EQ(def.flags, 0);
    EXPECT_EQ(def.u.bd.value, expected.on ? 1 : 0);
    EXPECT_EQ(def.u.bd.dephault, expected.on ? 1 : 0);
    // The text beside the box: given, and empty.
    ASSERT_NE(def.u.bd.u.nameptr, nullptr);
    EXPECT_STREQ(def.u.bd.u.nameptr, "");
  }
  for (const Group& expected : group_cases) {
    SCOPED_TRACE(expected.name);
    EXPECT_EQ(host.parameter(expected.start).param_type, PF_Param_GROUP_START);
    EXPECT_STREQ(host.parameter(expected.start).name, expected.name);
    EXPECT_EQ(host.parameter(expected.end).param_type, PF_Param_GROUP_END);
    // Groups are flat: nothing between start and end opens another one.
    for (A_long index = expected.start + 1; index < expected.end; ++index) {
      EXPECT_NE(host.parameter(index).param_type, PF_Param_GROUP_START);
      EXPECT_NE(host.parameter(index).param_type, PF_Param_GROUP_END);
    }
  }
}

// The simulated host refuses every add_param index but -1 (append), so 34
// accepted calls mean 34 appends.
TEST(ParamsSetup, EveryRecordIsAppendedWithIndexMinusOne) {
  SimulatedHost host(SHARDCAST_MODULE_PATH);
  const CommandOutcome outcome = host.params_setup();
  EXPECT_EQ(outcome.result, PF_Err_NONE);
  ASSERT_EQ(outcome.count(HostCall::AddParam), 34u);
  for (const auto& call : outcome.calls) {
    EXPECT_EQ(call.result, PF_Err_NONE) << call.param_index;
  }
}

TEST(ParamsSetup, ARefusedParameterEndsTheRegistrationWithTheHostsCode) {
  for (std::size_t refused : {0u, 1u, 16u, 33u}) {
    SCOPED_TRACE(refused);
    SimulatedHost host(SHARDCAST_MODULE_PATH);
    FailRule rule;
    rule.call = HostCall::AddParam;
    rule.position = refused;
    rule.error = host_refusal;
    host.faults().fail = {rule};
    const CommandOutcome outcome = host.params_setup();
    EXPECT_EQ(outcome.result, host_refusal);
    EXPECT_EQ(outcome.count(HostCall::AddParam), refused + 1);
    EXPECT_EQ(outcome.out_data.num_params, 0);
  }
}

struct WindowCase {
  double start;
  double end;
  double new_end;
};

class GlitchWindow : public testing::TestWithParam<WindowCase> {};

TEST_P(GlitchWindow, EndIsRewrittenAsAWholeNumberAfterTheStart) {
  const WindowCase c = GetParam();
  SimulatedHost host = set_up_host();
  host.set_slider(4, c.start);
  host.set_slider(5, c.end);
  const CommandOutcome outcome = host.user_changed_param(4);
  EXPECT_EQ(outcome.result, PF_Err_NONE);
  EXPECT_EQ(host.slider_value(5), c.new_end);
  EXPECT_EQ(host.slider_value(4), c.start);
  EXPECT_EQ(outcome.out_data.out_flags & refresh_and_rerender, refresh_and_rerender);
  ASSERT_EQ(host.param_ui_updates().size(), 1u);
  const auto& update = host.param_ui_updates()[0];
  EXPECT_EQ(update.param_index, 5);
  EXPECT_EQ(update.def.u.fs_d.value, c.new_end);
  EXPECT_EQ(update.def.uu.change_flags, PF_ChangeFlag_CHANGED_VALUE);
  EXPECT_TRUE(outcome.clean()) << testing::PrintToString(outcome.violations);
}

INSTANTIATE_TEST_SUITE_P(Supervision, GlitchWindow,
                         testing::Values(WindowCase{10.75, 50.5, 50}, WindowCase{50.2, 50.9, 51},
                                         WindowCase{80, 20, 81}, WindowCase{0, 0.5, 1}, WindowCase{99.9, 100, 100}));

TEST(Supervision, BothCommandsRunTheSameRuleAndKeepOtherOutFlags) {
  SimulatedHost host(SHARDCAST_MODULE_PATH, {.initial_out_flags = PF_OutFlag_PIX_INDEPENDENT});
  ASSERT_EQ(host.params_setup().result, PF_Err_NONE);
  host.set_slider(4, 30);
  host.set_slider(5, 12.5);
  const std::vector<CommandOutcome> outcomes = host.user_edit(5, 12.5);
  ASSERT_EQ(outcomes.size(), 2u);
  for (const CommandOutcome& outcome : outcomes) {
    EXPECT_EQ(outcome.result, PF_Err_NONE);
    EXPECT_EQ(outcome.out_data.out_flags, refresh_and_rerender | PF_OutFlag_PIX_INDEPENDENT);
    EXPECT_TRUE(outcome.clean()) << testing::PrintToString(outcome.violations);
  }
  EXPECT_EQ(host.slider_value(5), 31);
  ASSERT_EQ(host.param_ui_updates().size(), 2u);
  EXPECT_EQ(host.param_ui_updates()[1].def.u.fs_d.value, 31);
}

TEST(Supervision, WithoutTheParamUtilsSuiteReturns13WithAMessage) {
  SimulatedHost host = set_up_host();
  host.set_slider(4, 80);
  host.set_slider(5, 20);
  host.faults().unavailable_suites = {"PF Param Utils Suite"};
  const CommandOutcome outcome = host.user_changed_param(5);
  EXPECT_EQ(outcome.result, A_Err_MISSING_SUITE);
  EXPECT_NE(outcome.out_data.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
  EXPECT_STREQ(outcome.out_data.return_msg, "Not able to acquire AEFX Suite.");
  EXPECT_EQ(host.slider_value(5), 20);
  EXPECT_TRUE(host.param_ui_updates().empty());
  EXPECT_TRUE(outcome.clean()) << testing::PrintToString(outcome.violations);
}

// A bare host of our own for what the simulated host cannot do: a command
// without PF_OutData, and a suite granted without a table.
struct BareHost {
  static inline int acquired = 0;
  static inline int released = 0;
  static inline SPErr acquire_result = kSPNoError;
  static inline const void* table = nullptr;
  static inline int ui_updates = 0;

  static SPErr acquire(const char*, int32, const void** suite) {
    *suite = acquire_result == kSPNoError ? table : nullptr;
    acquired += acquire_result == kSPNoError ? 1 : 0;
    return acquire_result;
  }
  static SPErr release(const char*, int32) {
    ++released;
    return kSPNoError;
  }
  static PF_Err update_ui(PF_ProgPtr, PF_ParamIndex, const PF_ParamDef*) {
    ++ui_updates;
    return PF_Err_NONE;
  }

  SPBasicSuite basic{};
  PF_ParamUtilsSuite3 param_utils{};
  PF_InData in_data{};
  PF_ParamDef start{};
  PF_ParamDef end{};
  PF_ParamDef* params[6] = {};

  BareHost(SPErr result, bool with_table) {
    acquired = released = ui_updates = 0;
    acquire_result = result;
    param_utils.PF_UpdateParamUI = update_ui;
    table = with_table ? &param_utils : nullptr;
    basic.AcquireSuite = acquire;
    basic.ReleaseSuite = release;
    in_data.pica_basicP = &basic;
    in_data.num_params = 6;  // params[] below
    start.param_type = end.param_type = PF_Param_FLOAT_SLIDER;
    start.u.fs_d.value = 40;
    end.u.fs_d.value = 10;
    params[4] = &start;
    params[5] = &end;
  }
};

TEST(Supervision, WithoutOutDataOnlyTheCodeComesBack) {
  ModuleLibrary module(SHARDCAST_MODULE_PATH);
  const auto effect_main = module.entry_points().effect_main;

  BareHost refusing(kSPSuiteNotFoundError, false);
  EXPECT_EQ(effect_main(PF_Cmd_USER_CHANGED_PARAM, &refusing.in_data, nullptr, refusing.params, nullptr, nullptr),
            A_Err_MISSING_SUITE);
  EXPECT_EQ(refusing.end.u.fs_d.value, 10);
  EXPECT_EQ(BareHost::released, 0);

  BareHost granting(kSPNoError, true);
  EXPECT_EQ(effect_main(PF_Cmd_USER_CHANGED_PARAM, &granting.in_data, nullptr, granting.params, nullptr, nullptr),
            PF_Err_NONE);
  EXPECT_EQ(granting.end.u.fs_d.value, 41);
  EXPECT_EQ(BareHost::ui_updates, 1);
  EXPECT_EQ(BareHost::released, 1);
}

// Without PF_OutData, the commands that write into it are refused with 516
// before anything is touched, while supervision, which needs it only for
// its flags and its failure message, rewrites the end and returns 0.
TEST(NullOutData, SetupCommandsAreRefusedAndSupervisionStillRewritesTheEnd) {
  ModuleLibrary module(SHARDCAST_MODULE_PATH);
  const auto effect_main = module.entry_points().effect_main;
  struct Case {
    PF_Cmd command;
    PF_Err result;
    double end;
    int acquired;
  };
  for (const Case c :
       {Case{PF_Cmd_ABOUT, PF_Err_BAD_CALLBACK_PARAM, 10, 0},
        Case{PF_Cmd_GLOBAL_SETUP, PF_Err_BAD_CALLBACK_PARAM, 10, 0},
        Case{PF_Cmd_PARAMS_SETUP, PF_Err_BAD_CALLBACK_PARAM, 10, 0},
        Case{PF_Cmd_USER_CHANGED_PARAM, PF_Err_NONE, 41, 1}, Case{PF_Cmd_UPDATE_PARAMS_UI, PF_Err_NONE, 41, 1}}) {
    SCOPED_TRACE(c.command);
    BareHost host(kSPNoError, true);
    EXPECT_EQ(effect_main(c.command, &host.in_data, nullptr, host.params, nullptr, nullptr), c.result);
    EXPECT_EQ(host.end.u.fs_d.value, c.end);
    EXPECT_EQ(BareHost::acquired, c.acquired);
    EXPECT_EQ(BareHost::released, c.acquired);
    EXPECT_EQ(BareHost::ui_updates, c.acquired);
  }
}

// A host that reports success but hands over no table gets the suite back
// and the usual failure, instead of a call through a null table.
TEST(Supervision, ASuiteGrantedWithoutATableIsGivenBackAndReportedMissing) {
  ModuleLibrary module(SHARDCAST_MODULE_PATH);
  BareHost host(kSPNoError, false);
  PF_OutData out_data{};
  EXPECT_EQ(module.entry_points().effect_main(PF_Cmd_USER_CHANGED_PARAM, &host.in_data, &out_data, host.params, nullptr,
                                              nullptr),
            A_Err_MISSING_SUITE);
  EXPECT_EQ(BareHost::acquired, 1);
  EXPECT_EQ(BareHost::released, 1);
  EXPECT_STREQ(out_data.return_msg, "Not able to acquire AEFX Suite.");
  EXPECT_EQ(host.end.u.fs_d.value, 10);
}

}  // namespace
