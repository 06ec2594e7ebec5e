// The parameter lists of Shotcut's panels: one entry per group and per
// value-carrying parameter, in the effect's order, each slider with its
// range, decimals and default as the panel shows them. The frei0r filter's
// panel (packaging/shotcut/shardcast/ui.qml) writes a parameter under its
// frei0r index, the MLT filter's (packaging/shotcut/shardcast_mlt/ui.qml)
// under its MLT property name, the entry's `property`; the MLT filter's
// metadata (meta.qml) also lists every slider for Shotcut's keyframes
// panel.
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

std::string entry(const ParamRow& row, const std::string& property) {
  const std::string head = ", property: " + js_string(property) + ", name: " + js_string(row.name);
  if (row.kind == ParamKind::Checkbox) {
    return "{kind: 'switch'" + head + ", value: " + (row.dephault != 0.0f ? "1" : "0") + "}";
  }
  return "{kind: 'slider'" + head + ", minimum: " + bound(row.minimum) + ", maximum: " + bound(row.maximum) +
         ", decimals: " + std::to_string(row.decimals) + ", value: " + number_text(row.dephault) + "}";
}

std::string parameter_list(bool by_mlt_name) {
  std::string list;
  std::size_t slot = 0;
  for (const ParamRow& row : param_table) {
    if (row.kind == ParamKind::GroupStart) {
      list += "        {kind: 'group', name: " + js_string(row.name) + "},\n";
    } else if (row.carries_value()) {
      list += "        " + entry(row, by_mlt_name ? mlt_name(row) : std::to_string(slot)) + ",\n";
      ++slot;
    }
  }
  list.erase(list.size() - 2, 1);  // no comma after the last entry
  return list;
}

}  // namespace

std::string shotcut_frei0r_parameter_list() { return parameter_list(false); }

std::string shotcut_mlt_parameter_list() { return parameter_list(true); }

std::string shotcut_mlt_keyframe_list() {
  std::string list;
  for (const ParamRow* row : value_params) {
    if (row->kind == ParamKind::Slider) {
      list += "            Parameter { name: " + js_string(listed_name(*row)) +
              "; property: " + js_string(mlt_name(*row)) + "; isCurve: true; minimum: " + bound(row->minimum) +
              "; maximum: " + bound(row->maximum) + " },\n";
    }
  }
  list.erase(list.size() - 2, 1);
  return list;
}

}  // namespace shardcast::describe
