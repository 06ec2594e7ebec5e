// Fuzzes the effect as a host drives it: a sequence of commands (About,
// global setup, parameter setup, renders of small frames, edits of the
// glitch window, foreign commands) sent through the simulated host to the
// effect linked into this program, in either host mode, with host failures
// injected before each command. Whatever happens, the host's accounting must
// stay clean (every check-out checked in, every world disposed of, every
// suite released), the result must be the first failure that counts for the
// command, a render must check in all 35 records and leave the output alone
// unless it copied its frame there, and a final render without faults must
// succeed and give the same frame twice.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

#include "fuzz/fuzz_input.h"
#include "host/effect_messages.h"
#include "host/entry_points.h"
#include "hostsim/host_failure_rules.h"
#include "hostsim/simulated_host.h"
#include "pipeline/parameters.h"

// A fuzzing run has no use for the decoder's lines.
shardcast::MessageSink shardcast::effect_messages() { return MessageSink::discard(); }

namespace {

using shardcast::fuzzing::FuzzInput;
namespace hostsim = shardcast::hostsim;

const hostsim::HostCall injectable_calls[] = {
    hostsim::HostCall::CheckoutParam, hostsim::HostCall::CheckinParam,   hostsim::HostCall::AddParam,
    hostsim::HostCall::Copy,          hostsim::HostCall::Fill,           hostsim::HostCall::NewWorld,
    hostsim::HostCall::DisposeWorld,  hostsim::HostCall::GetPixelData8,  hostsim::HostCall::AcquireSuite,
    hostsim::HostCall::ReleaseSuite,  hostsim::HostCall::AnsiSprintf,    hostsim::HostCall::SuiteSprintf,
    hostsim::HostCall::UpdateParamUi, hostsim::HostCall::GetPixelFormat,
};

const char* const suite_names[] = {"PF ANSI Suite", "PF Param Utils Suite", "PF Pixel Format Suite"};

void plan_faults(FuzzInput& input, hostsim::FaultPlan& faults) {
  faults = {};
  const std::uint8_t choice = input.byte();
  if (choice & 1) {
    hostsim::FailRule rule;
    rule.position = input.byte() % 80;  // a render logs about 70 calls
    rule.error = 1 + input.byte() % 8;
    faults.fail.push_back(rule);
  }
  if (choice & 2) {
    hostsim::FailRule rule;
    rule.call = injectable_calls[input.byte() % std::size(injectable_calls)];
    if (choice & 32) {
      rule.param_index = input.byte() % (shardcast::PARAM_COUNT + 1);  // one index past the table too
    }
    faults.fail.push_back(rule);
  }
  if (choice & 4) {
    faults.unavailable_suites.emplace_back(suite_names[input.byte() % std::size(suite_names)]);
  }
  faults.no_pixel_address = (choice & 8) != 0;
  faults.no_basic_suite = (choice & 16) != 0;
}

void set_random_values(FuzzInput& input, hostsim::SimulatedHost& host) {
  const int changes = input.byte() % 6;
  for (int n = 0; n < changes && host.parameter_count() > 1; ++n) {
    const A_long index = 1 + input.byte() % (host.parameter_count() - 1);
    const PF_ParamDef& def = host.parameter(index);
    if (def.param_type == PF_Param_FLOAT_SLIDER) {
      const double unit = static_cast<double>(input.byte()) / 255.0;
      const double low = def.u.fs_d.valid_min;
      const double high = def.u.fs_d.valid_max;
      // Mostly inside the range, sometimes far outside, as animated values
      // may be, and now and then not a number at all.
      const std::uint8_t selector = input.byte();
      double value = low + unit * (high - low);
      if (selector >= 250) {
        const double odd[] = {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity()};
        value = odd[selector % 3];
      } else if (selector >= 230) {
        value = (unit - 0.5) * 1.0e12;
      }
      host.set_slider(index, value);
    } else if (def.param_type == PF_Param_CHECKBOX) {
      host.set_checkbox(index, input.flag());
    }
  }
}

hostsim::Picture random_picture(FuzzInput& input) {
  const A_long width = 1 + input.byte() % 48;
  const A_long height = 1 + input.byte() % 24;
  hostsim::Picture picture = hostsim::Picture::filled(width, height, PF_Pixel{255, 0, 0, 0});
  for (std::uint8_t& byte : picture.argb) {
    byte = input.byte();
  }
  return picture;
}

[[noreturn]] void fail(const char* command, const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", command, what.c_str());
  std::abort();
}

// True when the render copied its frame into the output.
bool output_copied(const hostsim::CommandOutcome& outcome) {
  bool pixels_requested = false;
  for (const hostsim::CallRecord& call : outcome.calls) {
    pixels_requested = pixels_requested || call.call == hostsim::HostCall::GetPixelData8;
    if (pixels_requested && call.call == hostsim::HostCall::Copy && call.result == PF_Err_NONE) {
      return true;
    }
  }
  return false;
}

void check(const hostsim::CommandOutcome& outcome, PF_Cmd command, const hostsim::FaultPlan& faults, const char* name,
           const hostsim::Picture* untouched = nullptr) {
  for (const std::string& violation : outcome.violations) {
    fail(name, violation);
  }
  if (!faults.no_basic_suite) {
    const PF_Err expected = hostsim::expected_result(command, outcome.calls);
    if (outcome.result != expected) {
      fail(name, "result " + std::to_string(outcome.result) + " instead of " + std::to_string(expected));
    }
    if (const auto first = hostsim::deciding_failure(command, outcome.calls)) {
      for (std::size_t n = *first + 1; n < outcome.calls.size(); ++n) {
        if (!hostsim::is_clean_up(outcome.calls[n].call)) {
          fail(name, "a call other than clean-up after the deciding failure");
        }
      }
    }
  } else if (outcome.result == PF_Err_NONE &&
             (command == PF_Cmd_ABOUT || command == PF_Cmd_RENDER || command == PF_Cmd_USER_CHANGED_PARAM ||
              command == PF_Cmd_UPDATE_PARAMS_UI)) {
    fail(name, "succeeded without a basic suite");
  }
  if (command == PF_Cmd_RENDER) {
    if (!outcome.calls.empty() && outcome.count(hostsim::HostCall::CheckinParam) != shardcast::PARAM_COUNT) {
      fail(name, "not every parameter record checked in");
    }
    if (untouched != nullptr && !output_copied(outcome) && outcome.output != *untouched) {
      fail(name, "output written although the frame was never copied there");
    }
  }
}

bool in_command_table(PF_Cmd command) {
  return command == PF_Cmd_ABOUT || command == PF_Cmd_GLOBAL_SETUP || command == PF_Cmd_PARAMS_SETUP ||
         command == PF_Cmd_RENDER || command == PF_Cmd_USER_CHANGED_PARAM || command == PF_Cmd_UPDATE_PARAMS_UI;
}

// With the faults gone, whatever came before, a render succeeds and the
// same frame comes out twice: nothing of the earlier commands stayed behind.
void check_final_render(hostsim::SimulatedHost& host) {
  host.faults() = {};
  if (host.parameter_count() != shardcast::PARAM_COUNT) {
    return;
  }
  hostsim::Picture picture = hostsim::Picture::filled(24, 10, PF_Pixel{255, 0, 0, 0});
  for (std::size_t i = 0; i < picture.argb.size(); ++i) {
    picture.argb[i] = static_cast<std::uint8_t>(i * 37 + 11);
  }
  const hostsim::CommandOutcome first = host.render(picture);
  const hostsim::CommandOutcome second = host.render(picture);
  check(first, PF_Cmd_RENDER, host.faults(), "final render");
  if (first.result != PF_Err_NONE || second.result != PF_Err_NONE || first.output != second.output) {
    fail("final render", "did not succeed with the same frame twice");
  }
}

void render_random_frame(FuzzInput& input, hostsim::SimulatedHost& host, const hostsim::HostOptions& options) {
  const hostsim::FaultPlan& faults = host.faults();
  set_random_values(input, host);
  const hostsim::Picture picture = random_picture(input);
  const hostsim::Picture untouched = hostsim::Picture::filled(picture.width, picture.height, options.output_fill);
  hostsim::FrameTime time;
  time.current_time = input.byte();
  check(host.render(picture, time), PF_Cmd_RENDER, faults, "render", &untouched);
}

// A user's edit of the start or end of the glitch window, once the
// parameters reach it.
void edit_glitch_window(FuzzInput& input, hostsim::SimulatedHost& host) {
  if (host.parameter_count() <= 5) {
    return;
  }
  const hostsim::FaultPlan& faults = host.faults();
  const A_long index = input.flag() ? 4 : 5;
  const double value = static_cast<double>(input.byte()) / 2.0;
  const PF_Cmd sent[] = {PF_Cmd_USER_CHANGED_PARAM, PF_Cmd_UPDATE_PARAMS_UI};
  const auto outcomes = host.user_edit(index, value);
  for (std::size_t n = 0; n < outcomes.size() && n < std::size(sent); ++n) {
    check(outcomes[n], sent[n], faults, "edit");
  }
}

// Before a parameter setup the table does not reach the glitch window: the
// command is refused without a look at params[].
void update_parameter_ui(hostsim::SimulatedHost& host) {
  const bool short_table = host.parameter_count() <= 5;
  const hostsim::CommandOutcome outcome = host.update_params_ui();
  if (!short_table) {
    check(outcome, PF_Cmd_UPDATE_PARAMS_UI, host.faults(), "update parameter UI");
  } else if (outcome.result != PF_Err_BAD_CALLBACK_PARAM || !outcome.calls.empty() || !outcome.clean()) {
    fail("update parameter UI", "a table without the glitch window was not refused");
  }
}

void send_other_command(FuzzInput& input, hostsim::SimulatedHost& host) {
  const auto code = static_cast<PF_Cmd>(input.byte() % 40);
  const hostsim::CommandOutcome outcome = host.send(code);
  for (const std::string& violation : outcome.violations) {
    fail("other command", violation);
  }
  if (!in_command_table(code) && (outcome.result != PF_Err_NONE || !outcome.calls.empty())) {
    fail("other command", "a command without handler did something");
  }
}

// One command chosen by the input, with the faults the input plans for it,
// and its outcome judged.
void run_command(FuzzInput& input, hostsim::SimulatedHost& host, const hostsim::HostOptions& options) {
  const std::uint8_t command = input.byte();
  plan_faults(input, host.faults());
  const hostsim::FaultPlan& faults = host.faults();
  switch (command % 8) {
    case 0:
      check(host.about(), PF_Cmd_ABOUT, faults, "about");
      break;
    case 1:
      check(host.global_setup(), PF_Cmd_GLOBAL_SETUP, faults, "global setup");
      break;
    case 2:
      check(host.params_setup(), PF_Cmd_PARAMS_SETUP, faults, "parameter setup");
      break;
    case 3:
    case 4:
      render_random_frame(input, host, options);
      break;
    case 5:
      edit_glitch_window(input, host);
      break;
    case 6:
      update_parameter_ui(host);
      break;
    default:
      send_other_command(input, host);
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  hostsim::HostOptions options;
  options.mode = input.flag() ? hostsim::HostMode::PremierePro : hostsim::HostMode::AfterEffects;
  hostsim::SimulatedHost host(hostsim::EffectEntryPoints{EffectMain, PluginDataEntryFunction}, options);
  for (int step = 0; step < 12 && input.rest_size() > 0; ++step) {
    run_command(input, host, options);
  }
  check_final_render(host);
  return 0;
}
