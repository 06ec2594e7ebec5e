// Every command the module answers, under every failure a host can hand it:
// each host call of the command made to fail in turn, each suite missing,
// no pixel address, no basic suite, and exceptions thrown out of host
// calls. Whatever fails, the command's result is the first error that
// counts for it, only clean-up follows that error, every checked-out
// parameter is checked in once, a created work buffer is disposed of once,
// every suite acquired is released once under its name and version, the
// output stays untouched unless the pipeline ran, and no exception reaches
// the host.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "AE_EffectCBSuites.h"
#include "AE_EffectSuites.h"
#include "PrSDKAESupport.h"
#include "hostsim/host_failure_rules.h"
#include "hostsim/simulated_host.h"
#include "support/effect_setup.h"

namespace {

using shardcast::hostsim::CallRecord;
using shardcast::hostsim::CommandOutcome;
using shardcast::hostsim::EffectEntryPoints;
using shardcast::hostsim::EffectMainFunction;
using shardcast::hostsim::FailRule;
using shardcast::hostsim::HostCall;
using shardcast::hostsim::HostMode;
using shardcast::hostsim::HostOptions;
using shardcast::hostsim::ModuleLibrary;
using shardcast::hostsim::Picture;
using shardcast::hostsim::SimulatedHost;
using shardcast::hostsim::deciding_failure;
using shardcast::hostsim::expected_result;
using shardcast::hostsim::is_clean_up;

constexpr PF_Pixel output_fill = {7, 11, 13, 17};
constexpr PF_Err failure_code = 0x2222;
constexpr PF_Err later_failure = 0x3333;
constexpr A_long thrown_code = 77;
constexpr const char* suite_names[] = {"PF ANSI Suite", "PF Param Utils Suite", "PF Pixel Format Suite"};
constexpr const char* missing_suite_message = "Not able to acquire AEFX Suite.";

// ---- the commands ----

struct Command {
  const char* name;
  PF_Cmd code;
  HostMode mode;
};

void PrintTo(const Command& command, std::ostream* out) { *out << command.name; }

const Command swept_commands[] = {
    {"About", PF_Cmd_ABOUT, HostMode::AfterEffects},
    {"GlobalSetupAfterEffects", PF_Cmd_GLOBAL_SETUP, HostMode::AfterEffects},
    {"GlobalSetupPremiere", PF_Cmd_GLOBAL_SETUP, HostMode::PremierePro},
    {"ParamsSetup", PF_Cmd_PARAMS_SETUP, HostMode::AfterEffects},
    {"UserChangedParam", PF_Cmd_USER_CHANGED_PARAM, HostMode::AfterEffects},
    {"UpdateParamsUi", PF_Cmd_UPDATE_PARAMS_UI, HostMode::AfterEffects},
    {"RenderAfterEffects", PF_Cmd_RENDER, HostMode::AfterEffects},
    {"RenderPremiere", PF_Cmd_RENDER, HostMode::PremierePro},
};

Picture test_picture(A_long width, A_long height) {
  Picture picture = Picture::filled(width, height, {255, 0, 0, 0});
  for (A_long y = 0; y < height; ++y) {
    for (A_long x = 0; x < width; ++x) {
      picture.set(x, y,
                  {static_cast<A_u_char>(200 + (x + y) % 56), static_cast<A_u_char>((x * 7 + y * 3) & 0xFF),
                   static_cast<A_u_char>((x * x + y * 5) & 0xFF), static_cast<A_u_char>((255 - x * 2 + y) & 0xFF)});
    }
  }
  return picture;
}

constexpr A_long frame_width = 32;
constexpr A_long frame_height = 8;
// The glitch window as a user left it: the end before the start, so the
// supervision has something to move (to 81).
constexpr double start_value = 80;
constexpr double end_value = 20;

// Throws out of the n-th host call that acquires or produces something
// (never out of a release, which runs in destructors): the module stands
// between this and the host, so that every table the module reaches passes
// through here.
struct Thrower {
  static inline EffectMainFunction module_main = nullptr;
  static inline int throw_at = 0;  // 1-based; 0 never throws
  static inline int counted = 0;
  static inline std::function<void()> throw_it;

  static inline PF_InteractCallbacks host_inter{};
  static inline PF_UtilCallbacks* host_utils = nullptr;
  static inline PF_UtilCallbacks utils{};
  static inline SPBasicSuite* host_basic = nullptr;
  static inline SPBasicSuite basic{};
  static inline const PF_ANSICallbacksSuite1* host_ansi = nullptr;
  static inline PF_ANSICallbacksSuite1 ansi{};
  static inline const PF_ParamUtilsSuite3* host_param_utils = nullptr;
  static inline PF_ParamUtilsSuite3 param_utils{};
  static inline const PF_PixelFormatSuite1* host_formats = nullptr;
  static inline PF_PixelFormatSuite1 formats{};

  static void count() {
    if (++counted == throw_at) {
      throw_it();
    }
  }

  static PF_Err checkout(PF_ProgPtr ref, PF_ParamIndex index, A_long t, A_long step, A_u_long scale,
                         PF_ParamDef* param) {
    count();
    return host_inter.checkout_param(ref, index, t, step, scale, param);
  }
  static PF_Err add_param(PF_ProgPtr ref, PF_ParamIndex index, PF_ParamDefPtr def) {
    count();
    return host_inter.add_param(ref, index, def);
  }
  static PF_Err new_world(PF_ProgPtr ref, A_long w, A_long h, PF_NewWorldFlags flags, PF_EffectWorld* world) {
    count();
    return host_utils->new_world(ref, w, h, flags, world);
  }
  static PF_Err fill(PF_ProgPtr ref, const PF_Pixel* colour, const PF_Rect* rect, PF_EffectWorld* world) {
    count();
    return host_utils->fill(ref, colour, rect, world);
  }
  static PF_Err copy(PF_ProgPtr ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r, PF_Rect* dst_r) {
    count();
    return host_utils->copy(ref, src, dst, src_r, dst_r);
  }
  static PF_Err pixel_data(PF_EffectWorld* world, PF_PixelPtr pixels, PF_Pixel8** result) {
    count();
    return host_utils->get_pixel_data8(world, pixels, result);
  }
  // The host's sprintf is variadic; the text is formatted here and passed
  // on whole, so the host still sees (and checks) the write.
  static int sprintf_via(int (*host)(A_char*, const A_char*, ...), A_char* buffer, const A_char* format, va_list args) {
    count();
    char text[1024];
    std::vsnprintf(text, sizeof text, format, args);
    return host(buffer, "%s", text);
  }
  static int utils_sprintf(A_char* buffer, const A_char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = sprintf_via(host_utils->ansi.sprintf, buffer, format, args);
    va_end(args);
    return written;
  }
  static int suite_sprintf(A_char* buffer, const A_char* format, ...) {
    va_list args;
    va_start(args, format);
    const int written = sprintf_via(host_ansi->sprintf, buffer, format, args);
    va_end(args);
    return written;
  }
  static PF_Err update_param_ui(PF_ProgPtr ref, PF_ParamIndex index, const PF_ParamDef* def) {
    count();
    return host_param_utils->PF_UpdateParamUI(ref, index, def);
  }
  static PF_Err clear_formats(PF_ProgPtr ref) {
    count();
    return host_formats->ClearSupportedPixelFormats(ref);
  }
  static PF_Err add_format(PF_ProgPtr ref, PrPixelFormat format) {
    count();
    return host_formats->AddSupportedPixelFormat(ref, format);
  }
  static PF_Err get_format(PF_EffectWorld* world, PrPixelFormat* format) {
    count();
    return host_formats->GetPixelFormat(world, format);
  }
  static SPErr acquire(const char* name, int32 version, const void** suite) {
    count();
    const SPErr err = host_basic->AcquireSuite(name, version, suite);
    if (err != kSPNoError || *suite == nullptr) {
      return err;
    }
    const std::string which = name;
    if (which == "PF ANSI Suite") {
      host_ansi = static_cast<const PF_ANSICallbacksSuite1*>(*suite);
      ansi = *host_ansi;
      ansi.sprintf = suite_sprintf;
      *suite = &ansi;
    } else if (which == "PF Param Utils Suite") {
      host_param_utils = static_cast<const PF_ParamUtilsSuite3*>(*suite);
      param_utils = *host_param_utils;
      param_utils.PF_UpdateParamUI = update_param_ui;
      *suite = &param_utils;
    } else if (which == "PF Pixel Format Suite") {
      host_formats = static_cast<const PF_PixelFormatSuite1*>(*suite);
      formats = *host_formats;
      formats.ClearSupportedPixelFormats = clear_formats;
      formats.AddSupportedPixelFormat = add_format;
      formats.GetPixelFormat = get_format;
      *suite = &formats;
    }
    return err;
  }

  static PF_Err effect_main(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                            PF_LayerDef* output, void* extra) {
    counted = 0;
    host_inter = in_data->inter;
    in_data->inter.checkout_param = checkout;
    in_data->inter.add_param = add_param;
    host_utils = in_data->utils;
    utils = *host_utils;
    utils.new_world = new_world;
    utils.fill = fill;
    utils.copy = copy;
    utils.get_pixel_data8 = pixel_data;
    utils.ansi.sprintf = utils_sprintf;
    in_data->utils = &utils;
    host_basic = in_data->pica_basicP;
    if (host_basic != nullptr) {
      basic = *host_basic;
      basic.AcquireSuite = acquire;
      in_data->pica_basicP = &basic;
    }
    return module_main(cmd, in_data, out_data, params, output, extra);
  }
};

// A host for one command, set up as far as the command needs, with the
// module loaded once and reached through the Thrower.
class Sweep {
 public:
  explicit Sweep(const Command& command) : command_(command) {
    Thrower::module_main = module_.entry_points().effect_main;
    Thrower::throw_at = 0;
    HostOptions options;
    options.mode = command.mode;
    options.output_fill = output_fill;
    host_ = std::make_unique<SimulatedHost>(EffectEntryPoints{Thrower::effect_main,
                                                              module_.entry_points().plugin_data_entry},
                                            options);
    if (command.code == PF_Cmd_RENDER || command.code == PF_Cmd_USER_CHANGED_PARAM ||
        command.code == PF_Cmd_UPDATE_PARAMS_UI) {
      EXPECT_TRUE(shardcast::testing::set_up_effect(*host_));
      shardcast::testing::damage_some_bytes(*host_);
    }
  }

  SimulatedHost& host() { return *host_; }
  const Command& command() const { return command_; }

  CommandOutcome run() {
    switch (command_.code) {
      case PF_Cmd_ABOUT:
        return host_->about();
      case PF_Cmd_GLOBAL_SETUP:
        return host_->global_setup();
      case PF_Cmd_PARAMS_SETUP:
        return host_->params_setup();
      case PF_Cmd_USER_CHANGED_PARAM:
        reset_window();
        return host_->user_changed_param(end_index);
      case PF_Cmd_UPDATE_PARAMS_UI:
        reset_window();
        return host_->update_params_ui();
      default:
        return host_->render(test_picture(frame_width, frame_height));
    }
  }

  // Runs the command once with every fault cleared; the reference for what
  // a successful command logs and produces.
  CommandOutcome baseline() {
    host_->faults() = {};
    CommandOutcome outcome = run();
    EXPECT_EQ(outcome.result, PF_Err_NONE);
    EXPECT_TRUE(outcome.clean()) << testing::PrintToString(outcome.violations);
    return outcome;
  }

 private:
  static constexpr A_long end_index = 5;

  void reset_window() {
    host_->set_slider(4, start_value);
    host_->set_slider(end_index, end_value);
  }

  const Command& command_;
  ModuleLibrary module_{SHARDCAST_MODULE_PATH};
  std::unique_ptr<SimulatedHost> host_;
};

// ---- the invariants every outcome must keep ----

void expect_balanced_accounting(const CommandOutcome& outcome, PF_Cmd command) {
  EXPECT_TRUE(outcome.clean()) << testing::PrintToString(outcome.violations);

  std::map<A_long, int> checked_out;
  std::map<A_long, int> checked_in;
  std::size_t checkins = 0;
  std::map<std::pair<std::string, A_long>, int> acquired;
  std::map<std::pair<std::string, A_long>, int> released;
  std::size_t worlds_created = 0;
  std::size_t worlds_disposed = 0;
  for (const CallRecord& call : outcome.calls) {
    switch (call.call) {
      case HostCall::CheckoutParam:
        checked_out[call.param_index] += call.result == PF_Err_NONE ? 1 : 0;
        break;
      case HostCall::CheckinParam:
        ++checkins;
        if (call.param_index >= 0) {  // -1: a record the host never handed out
          ++checked_in[call.param_index];
        }
        break;
      case HostCall::AcquireSuite:
        acquired[{call.suite_name, call.suite_version}] += call.result == PF_Err_NONE ? 1 : 0;
        break;
      case HostCall::ReleaseSuite:
        ++released[{call.suite_name, call.suite_version}];
        break;
      case HostCall::NewWorld:
        worlds_created += call.result == PF_Err_NONE ? 1 : 0;
        break;
      case HostCall::DisposeWorld:
        ++worlds_disposed;
        break;
      default:
        break;
    }
  }
  std::erase_if(checked_out, [](const auto& entry) { return entry.second == 0; });
  std::erase_if(acquired, [](const auto& entry) { return entry.second == 0; });
  EXPECT_EQ(checked_in, checked_out) << "every checked-out parameter is checked in, once";
  EXPECT_EQ(released, acquired) << "every suite acquired is released once, under its name and version";
  EXPECT_LE(worlds_created, 1u);
  EXPECT_EQ(worlds_disposed, worlds_created) << "a created work buffer is disposed of, once";
  if (command == PF_Cmd_RENDER && !outcome.calls.empty()) {
    EXPECT_EQ(checkins, 35u) << "every parameter record is checked in on render";
  }
}

// The result is the first failure that counts, and only clean-up follows it.
void expect_first_error(const CommandOutcome& outcome, PF_Cmd command) {
  EXPECT_EQ(outcome.result, expected_result(command, outcome.calls));
  if (const auto n = deciding_failure(command, outcome.calls)) {
    for (std::size_t later = *n + 1; later < outcome.calls.size(); ++later) {
      EXPECT_TRUE(is_clean_up(outcome.calls[later].call))
          << "call " << later << " (" << shardcast::hostsim::host_call_name(outcome.calls[later].call)
          << ") after the failure at " << *n;
    }
  }
}

// True when the render copied its work buffer into the output.
bool output_copied(const CommandOutcome& outcome) {
  bool pixels_requested = false;
  for (const CallRecord& call : outcome.calls) {
    pixels_requested = pixels_requested || call.call == HostCall::GetPixelData8;
    if (pixels_requested && call.call == HostCall::Copy && call.result == PF_Err_NONE) {
      return true;
    }
  }
  return false;
}

void expect_command_effects(Sweep& sweep, const CommandOutcome& outcome) {
  const PF_Cmd command = sweep.command().code;
  switch (command) {
    case PF_Cmd_ABOUT:
      EXPECT_EQ(outcome.out_data.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0) << "516 comes without a message";
      break;
    case PF_Cmd_PARAMS_SETUP:
      EXPECT_EQ(outcome.out_data.num_params, outcome.result == PF_Err_NONE ? 35 : 0);
      break;
    case PF_Cmd_USER_CHANGED_PARAM:
    case PF_Cmd_UPDATE_PARAMS_UI:
      if (outcome.result == A_Err_MISSING_SUITE) {
        EXPECT_NE(outcome.out_data.out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
        EXPECT_EQ(outcome.count(HostCall::UpdateParamUi), 0u);
        if (command == PF_Cmd_USER_CHANGED_PARAM) {
          EXPECT_EQ(sweep.host().slider_value(5), end_value) << "the parameters are left untouched";
        }
      } else if (command == PF_Cmd_USER_CHANGED_PARAM) {
        EXPECT_EQ(sweep.host().slider_value(5), start_value + 1);
      }
      break;
    case PF_Cmd_RENDER:
      if (!output_copied(outcome)) {
        EXPECT_EQ(outcome.output, Picture::filled(frame_width, frame_height, output_fill))
            << "the output is untouched when the pipeline did not run";
      }
      break;
    default:
      break;
  }
}

void expect_invariants(Sweep& sweep, const CommandOutcome& outcome) {
  expect_balanced_accounting(outcome, sweep.command().code);
  expect_first_error(outcome, sweep.command().code);
  expect_command_effects(sweep, outcome);
}

FailRule fail_at(std::size_t position, PF_Err error) {
  FailRule rule;
  rule.position = position;
  rule.error = error;
  return rule;
}

FailRule fail_every(HostCall call, PF_Err error) {
  FailRule rule;
  rule.call = call;
  rule.error = error;
  return rule;
}

// Makes every position of the command's call log fail in turn, alone and
// with every later clean-up failing as well; returns the number of
// positions swept.
std::size_t sweep_positions(Sweep& sweep, const shardcast::hostsim::FaultPlan& environment) {
  sweep.host().faults() = environment;
  const CommandOutcome reference = sweep.run();
  expect_invariants(sweep, reference);
  for (std::size_t n = 0; n < reference.calls.size(); ++n) {
    const HostCall call = reference.calls[n].call;
    SCOPED_TRACE(testing::Message() << "call " << n << ": " << shardcast::hostsim::host_call_name(call));
    shardcast::hostsim::FaultPlan plan = environment;
    plan.fail.push_back(fail_at(n, failure_code));
    sweep.host().faults() = plan;
    const CommandOutcome alone = sweep.run();
    expect_invariants(sweep, alone);
    EXPECT_TRUE(alone.calls.size() > n && alone.calls[n].injected) << "the failure reached the planned call";
    if (sweep.command().code == PF_Cmd_RENDER && is_clean_up(call)) {
      EXPECT_EQ(alone.output, reference.output) << "a failing release changes no pixel";
    }

    for (HostCall release : {HostCall::CheckinParam, HostCall::DisposeWorld, HostCall::ReleaseSuite}) {
      plan.fail.push_back(fail_every(release, later_failure));
    }
    sweep.host().faults() = plan;
    expect_invariants(sweep, sweep.run());
  }
  sweep.host().faults() = {};
  return reference.calls.size();
}

class EveryCommand : public testing::TestWithParam<Command> {};

TEST_P(EveryCommand, EveryFailingHostCallKeepsTheFirstErrorAndTheAccounting) {
  Sweep sweep(GetParam());
  const std::size_t positions = sweep_positions(sweep, {});
  EXPECT_EQ(positions, sweep.baseline().calls.size());
  RecordProperty("fault_positions", static_cast<int>(positions));
  std::cout << "[ swept    ] " << GetParam().name << ": " << positions << " fault positions\n";
}

TEST_P(EveryCommand, EachMissingSuiteAtEveryPositionKeepsTheInvariants) {
  Sweep sweep(GetParam());
  std::size_t positions = 0;
  for (const char* suite : suite_names) {
    SCOPED_TRACE(suite);
    shardcast::hostsim::FaultPlan missing;
    missing.unavailable_suites = {suite};
    positions += sweep_positions(sweep, missing);
  }
  RecordProperty("fault_positions_with_a_missing_suite", static_cast<int>(positions));
  std::cout << "[ swept    ] " << GetParam().name << " with each suite missing: " << positions << " fault positions\n";
}

TEST_P(EveryCommand, NoPixelAddressAtEveryPositionKeepsTheInvariants) {
  Sweep sweep(GetParam());
  shardcast::hostsim::FaultPlan no_address;
  no_address.no_pixel_address = true;
  sweep.host().faults() = no_address;
  const CommandOutcome outcome = sweep.run();
  EXPECT_EQ(outcome.result, PF_Err_NONE);
  if (GetParam().code == PF_Cmd_RENDER) {
    EXPECT_EQ(outcome.output, Picture::filled(frame_width, frame_height, output_fill))
        << "the encoder refuses no pixels";
  }
  const std::size_t positions = sweep_positions(sweep, no_address);
  RecordProperty("fault_positions_without_pixel_address", static_cast<int>(positions));
}

// Without a basic suite no suite can be had: the SuiteCache commands end at
// once with 516, the supervision with 13 and its message, and global setup
// in Premiere simply announces nothing.
TEST_P(EveryCommand, WithoutABasicSuiteTheCommandEndsCleanly) {
  Sweep sweep(GetParam());
  sweep.host().faults().no_basic_suite = true;
  const CommandOutcome outcome = sweep.run();
  expect_balanced_accounting(outcome, GetParam().code);
  switch (GetParam().code) {
    case PF_Cmd_ABOUT:
    case PF_Cmd_RENDER:
      EXPECT_EQ(outcome.result, PF_Err_BAD_CALLBACK_PARAM);
      EXPECT_TRUE(outcome.calls.empty());
      break;
    case PF_Cmd_USER_CHANGED_PARAM:
    case PF_Cmd_UPDATE_PARAMS_UI:
      EXPECT_EQ(outcome.result, A_Err_MISSING_SUITE);
      EXPECT_STREQ(outcome.out_data.return_msg, missing_suite_message);
      break;
    default:
      EXPECT_EQ(outcome.result, PF_Err_NONE);
      break;
  }
  expect_command_effects(sweep, outcome);
}

// Exceptions out of host calls: a thrown integer is the result, an
// allocation failure PF_Err_OUT_OF_MEMORY, anything else an error code;
// the clean-up has run by then and nothing reaches the host.
TEST_P(EveryCommand, ExceptionsFromEveryHostCallBecomeResultsAfterTheCleanUp) {
  Sweep sweep(GetParam());
  sweep.baseline();
  const int acquisitions = Thrower::counted;
  struct Kind {
    const char* name;
    std::function<void()> raise;
    std::optional<PF_Err> result;
  };
  const Kind kinds[] = {
      {"integer", [] { throw static_cast<A_long>(thrown_code); }, thrown_code},
      {"bad_alloc", [] { throw std::bad_alloc(); }, PF_Err_OUT_OF_MEMORY},
      {"runtime_error", [] { throw std::runtime_error("host trouble"); }, std::nullopt},
  };
  for (const Kind& kind : kinds) {
    for (int n = 1; n <= acquisitions; ++n) {
      SCOPED_TRACE(testing::Message() << kind.name << " from host call " << n);
      Thrower::throw_it = kind.raise;
      Thrower::throw_at = n;
      const CommandOutcome outcome = sweep.run();
      Thrower::throw_at = 0;
      expect_balanced_accounting(outcome, GetParam().code);
      if (kind.result) {
        EXPECT_EQ(outcome.result, *kind.result);
      } else {
        EXPECT_NE(outcome.result, PF_Err_NONE);
      }
      if (GetParam().code == PF_Cmd_RENDER) {
        EXPECT_EQ(outcome.output, Picture::filled(frame_width, frame_height, output_fill));
      }
    }
  }
  RecordProperty("throwing_host_calls", acquisitions);
}

// A host that sends a supervision command while its table does not yet
// reach the glitch window (before a parameter setup) gets an error; the
// module does not index params[] past the num_params entries it holds.
TEST(ShortParameterTable, SupervisionBeforeParameterSetupIsRefusedNotReadPastTheTable) {
  SimulatedHost host(SHARDCAST_MODULE_PATH);
  ASSERT_EQ(host.parameter_count(), 1);
  for (const CommandOutcome& outcome : {host.update_params_ui(), host.send(PF_Cmd_USER_CHANGED_PARAM)}) {
    EXPECT_EQ(outcome.result, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(outcome.calls.empty());
    EXPECT_TRUE(outcome.clean()) << testing::PrintToString(outcome.violations);
  }
}

INSTANTIATE_TEST_SUITE_P(FaultSweep, EveryCommand, testing::ValuesIn(swept_commands),
                         [](const testing::TestParamInfo<Command>& info) { return std::string(info.param.name); });

}  // namespace
