// `params`: the effect's parameters as the module registers them, one line
// each: the option that sets it, the name and group the host shows, range,
// default and what it does. Columns are as wide as their widest entry.
#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "cli/commands.h"
#include "cli/module_session.h"

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
  return exit_success;
}

}  // namespace shardcast::cli
