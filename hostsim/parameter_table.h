// The value-carrying parameters a module registered, as read back from the
// host's table after parameter setup, and the small pieces every program
// that renders through the simulated host shares: setting a value of either
// kind, and judging whether a command went as a host would accept.
//
// Only sliders and checkboxes are listed; groups and the input layer carry
// no value. Group names are remembered so that repeated names can be told
// apart.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace shardcast::hostsim {

class SimulatedHost;
struct CommandOutcome;

enum class ParameterKind { Slider, Checkbox };

// One parameter as the module registered it.
struct ParameterInfo {
  std::int32_t index = 0;
  ParameterKind kind = ParameterKind::Slider;
  std::string shown_name;
  std::string group;  // empty outside every group
  float minimum = 0;
  float maximum = 0;
  double default_value = 0;  // the starting value (checkboxes: 0 or 1)
  int precision = 0;
};

// The host's table in index order, sliders and checkboxes only.
std::vector<ParameterInfo> registered_parameters(const SimulatedHost& host);

// Stores the value as given; a checkbox is on when the value is not 0.
void set_parameter_value(SimulatedHost& host, const ParameterInfo& info, double value);

// Empty when the command returned no error and broke none of the host's
// rules (a record not checked in, a world not disposed of, a suite not
// released); otherwise the reason, naming the command.
std::string command_failure(const char* command, const CommandOutcome& outcome);

}  // namespace shardcast::hostsim
