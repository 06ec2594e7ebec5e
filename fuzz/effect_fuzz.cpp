// Fuzzes the effect module as a host drives it: a sequence of commands
// (About, global setup, parameter setup, renders of small frames, edits of
// the glitch window, foreign commands) sent through the simulated host to
// the built module, in either host mode, with host failures injected before
// each command. Whatever happens, the host's accounting must stay clean:
// every check-out checked in, every world disposed of, every suite released.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/fuzz_input.h"
#include "hostsim/simulated_host.h"

namespace {

using shardcast::fuzzing::FuzzInput;
namespace hostsim = shardcast::hostsim;

// The module writes the decoder's lines to standard output; a fuzzing run
// has no use for them.
void silence_standard_output_once() {
  static const bool silenced = std::freopen("/dev/null", "w", stdout) != nullptr;
  (void)silenced;
}

const hostsim::HostCall injectable_calls[] = {
    hostsim::HostCall::checkout_param, hostsim::HostCall::checkin_param,
    hostsim::HostCall::add_param,      hostsim::HostCall::copy,
    hostsim::HostCall::fill,           hostsim::HostCall::new_world,
    hostsim::HostCall::dispose_world,  hostsim::HostCall::get_pixel_data8,
    hostsim::HostCall::acquire_suite,  hostsim::HostCall::release_suite,
    hostsim::HostCall::ansi_sprintf,   hostsim::HostCall::suite_sprintf,
    hostsim::HostCall::update_param_ui, hostsim::HostCall::get_pixel_format,
};

const char* const suite_names[] = {"PF ANSI Suite", "PF Param Utils Suite", "PF Pixel Format Suite"};

void plan_faults(FuzzInput& input, hostsim::FaultPlan& faults) {
  faults = {};
  const std::uint8_t choice = input.byte();
  if (choice & 1) {
    hostsim::FailRule rule;
    rule.position = input.byte() % 64;
    rule.error = 1 + input.byte() % 8;
    faults.fail.push_back(rule);
  }
  if (choice & 2) {
    hostsim::FailRule rule;
    rule.call = injectable_calls[input.byte() % std::size(injectable_calls)];
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
      // Mostly inside the range, sometimes far outside, as animated values may be.
      const double value = (input.byte() < 230) ? low + unit * (high - low) : (unit - 0.5) * 1.0e12;
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

void check(const hostsim::CommandOutcome& outcome, const char* command) {
  if (!outcome.clean()) {
    for (const std::string& violation : outcome.violations) {
      std::fprintf(stderr, "%s: %s\n", command, violation.c_str());
    }
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  silence_standard_output_once();
  FuzzInput input(data, size);
  hostsim::HostOptions options;
  options.mode = input.flag() ? hostsim::HostMode::premiere_pro : hostsim::HostMode::after_effects;
  hostsim::SimulatedHost host(std::filesystem::path(SHARDCAST_MODULE_PATH), options);

  for (int step = 0; step < 12 && input.rest_size() > 0; ++step) {
    const std::uint8_t command = input.byte();
    plan_faults(input, host.faults());
    switch (command % 8) {
      case 0:
        check(host.about(), "about");
        break;
      case 1:
        check(host.global_setup(), "global setup");
        break;
      case 2:
        check(host.params_setup(), "parameter setup");
        break;
      case 3:
      case 4: {
        set_random_values(input, host);
        const hostsim::Picture picture = random_picture(input);
        hostsim::FrameTime time;
        time.current_time = input.byte();
        check(host.render(picture, time), "render");
        break;
      }
      case 5:
        if (host.parameter_count() > 5) {
          const A_long index = input.flag() ? 4 : 5;
          const double value = static_cast<double>(input.byte()) / 2.0;
          for (const hostsim::CommandOutcome& outcome : host.user_edit(index, value)) {
            check(outcome, "edit");
          }
        }
        break;
      case 6:
        check(host.update_params_ui(), "update parameter UI");
        break;
      default:
        check(host.send(static_cast<PF_Cmd>(input.byte() % 40)), "other command");
        break;
    }
  }
  return 0;
}
