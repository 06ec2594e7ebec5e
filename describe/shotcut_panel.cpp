// The parameter list of Shotcut's panel for the frei0r filter
// (packaging/shotcut/shardcast/ui.qml): one entry per group and per
// value-carrying parameter, in the effect's order, each slider with its
// range, decimals and default as the panel shows them. The panel writes a
// parameter under its frei0r index, the entry's `property`.
//
// A bound that JavaScript's double of its decimal would miss (0.1, 99.9 are
// single-precision numbers in the effect) is written as Math.fround of it.
#include <cstdlib>
#include <string>

#include "describe/descriptions.h"
#include "describe/markup.h"
#include "describe/parameter_texts.h"

namespace shardcast::describe {
namespace {

std::string bound(float value) {
  const std::string text = number_text(value);
  return std::strtod(text.c_str(), nullptr) == static_cast<double>(value) ? text : "Math.fround(" + text + ")";
}

std::string entry(const ParamRow& row, std::size_t slot) {
  const std::string head = ", property: '" + std::to_string(slot) + "', name: " + js_string(row.name);
  if (row.kind == ParamKind::Checkbox) {
    return "{kind: 'switch'" + head + ", value: " + (row.dephault != 0.0f ? "1" : "0") + "}";
  }
  return "{kind: 'slider'" + head + ", minimum: " + bound(row.minimum) + ", maximum: " + bound(row.maximum) +
         ", decimals: " + std::to_string(row.decimals) + ", value: " + number_text(row.dephault) + "}";
}

}  // namespace

std::string shotcut_frei0r_parameter_list() {
  std::string list;
  std::size_t slot = 0;
  for (const ParamRow& row : param_table) {
    if (row.kind == ParamKind::GroupStart) {
      list += "        {kind: 'group', name: " + js_string(row.name) + "},\n";
    } else if (row.carries_value()) {
      list += "        " + entry(row, slot++) + ",\n";
    }
  }
  list.erase(list.size() - 2, 1);  // no comma after the last entry
  return list;
}

}  // namespace shardcast::describe
