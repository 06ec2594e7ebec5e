// `params`: the effect's parameters as the module registers them, one line
// each: the option that sets it, the name and group the host shows, range,
// default and what it does. Columns are as wide as their widest entry.
// A list that cannot be written (standard output on a full disk, a closed
// pipe) is a failure, not a success.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <vector>

#include "cli/commands/commands.h"
#include "cli/effect/module_session.h"

namespace shardcast::cli {

int run_params(const std::string& module_path) {
  ModuleSession module;
  if (std::string failure = module.find_and_open(module_path); !failure.empty()) {
    report(failure);
    return exit_internal_failure;
  }
  using Row = std::array<std::string, 6>;
  std::vector<Row> rows = {{"OPTION", "NAME", "GROUP", "RANGE", "DEFAULT", "WHAT IT DOES"}};
  for (const ParameterInfo& info : module.parameters()) {
    const ParameterOption* option = option_for_index(info.index);
    rows.push_back({option != nullptr ? std::string("--") + option->name : "(index " + std::to_string(info.index) + ")",
                    "\"" + info.shown_name + "\"", info.group.empty() ? "-" : info.group, range_text(info),
                    default_text(info), option != nullptr ? option->description : ""});
  }
  std::array<std::size_t, 6> widths{};
  for (const Row& row : rows) {
    for (std::size_t column = 0; column < row.size(); ++column) {
      widths[column] = std::max(widths[column], row[column].size());
    }
  }
  for (const Row& row : rows) {
    std::string line;
    for (std::size_t column = 0; column < row.size(); ++column) {
      line += row[column];
      if (column + 1 < row.size()) {
        line.append(widths[column] - row[column].size() + 2, ' ');
      }
    }
    std::printf("%s\n", line.c_str());
  }
  if (std::string failure = flush_standard_output(); !failure.empty()) {
    report("cannot write standard output: " + failure);
    return exit_bad_input;
  }
  return exit_success;
}

std::string flush_standard_output() {
  // The C stream first: std::cout's flush empties it too, and its reason
  // would be lost. A write that already failed (std::endl flushes) left
  // its reason behind.
  const int earlier_error = errno;
  errno = 0;
  const bool flushed = std::fflush(stdout) == 0;
  const int error_number = errno;
  std::cout.flush();
  if (flushed && std::ferror(stdout) == 0 && std::cout.good()) {
    return {};
  }
  const int reason = error_number != 0 ? error_number : earlier_error;
  return reason != 0 ? std::strerror(reason) : "the output was cut short";
}

}  // namespace shardcast::cli
