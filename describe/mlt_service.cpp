// The descriptions of the native MLT filter (service "shardcast"), whose
// properties carry the effect's own values under the tool's option names
// with '_' for '-':
//   - its MLT metadata (packaging/mlt/filter_shardcast.yml), which melt
//     -query and MLT-based applications read;
//   - Kdenlive's effect file for it (packaging/kdenlive/shardcast.xml,
//     Kdenlive 22.12): every parameter a keyframable number in the effect's
//     range, decimals and default, in the effect's order, each comment led
//     by the parameter's group.
//
// Kdenlive 22.12 shows every keyframable number in one keyframe panel,
// after all the other controls; a checkbox there would leave its group and
// its keys behind, so a switch is a number 0 (off) or 1 (on), which the
// filter holds from key to key as it holds a switch. Kdenlive hands MLT
// every number it stores as a double, which MLT writes with six
// significant digits: a slider ends at the largest value whose every step
// keeps all its digits (999999 for the seeds), so that no value shown is
// stored as another.
// Numbers are the registered single-precision ones as their shortest
// decimals (0.1 and 99.9), which the filter hands on as the doubles of
// those decimals, as the tool does with the same text.
#include <cstdint>
#include <string>

#include "describe/descriptions.h"
#include "describe/markup.h"
#include "describe/parameter_texts.h"

namespace shardcast::describe {
namespace {

constexpr const char* service = "shardcast";
constexpr const char* summary =
    "Damaged-JPEG glitch: compresses the frame, overwrites bytes of the compressed data and decodes it with a "
    "decoder that never gives up.";

std::string yaml_parameter(const ParamRow& row) {
  std::string text = "  - identifier: " + mlt_name(row) + "\n    title: " + yaml_string(listed_name(row)) +
                     "\n    description: " + yaml_string(grouped_description(row)) + "\n";
  if (row.kind == ParamKind::Checkbox) {
    text +=
        "    type: boolean\n    default: " + std::string(row.dephault != 0.0f ? "1" : "0") + "\n    widget: checkbox\n";
  } else {
    text += "    type: float\n    minimum: " + number_text(row.minimum) + "\n    maximum: " + number_text(row.maximum) +
            "\n    default: " + number_text(row.dephault) + "\n    scale: " + std::to_string(row.decimals) +
            "\n    widget: " + (row.maximum - row.minimum > 1.0e6f ? "spinner" : "slider") + "\n";
  }
  return text + "    mutable: yes\n    animation: yes\n";
}

std::string kdenlive_parameter(const ParamRow& row) {
  const bool is_switch = row.kind == ParamKind::Checkbox;
  const std::string maximum = is_switch ? "1" : decimal_text(kdenlive_maximum(row));
  const std::string comment = grouped_description(row) + (is_switch ? " (0 off, 1 on)" : "");
  return "    <parameter type=\"animated\" name=\"" + mlt_name(row) + "\" default=\"" +
         (is_switch ? (row.dephault != 0.0f ? "1" : "0") : number_text(row.dephault)) + "\" min=\"" +
         (is_switch ? "0" : number_text(row.minimum)) + "\" max=\"" + maximum + "\" decimals=\"" +
         std::to_string(is_switch ? 0 : row.decimals) + "\">\n        <name>" + xml_text(listed_name(row)) +
         "</name>\n        <comment>" + xml_text(comment) + "</comment>\n    </parameter>\n";
}

}  // namespace

Decimal kdenlive_maximum(const ParamRow& slider) {
  constexpr std::int64_t most_units = 999999;  // six significant digits
  const Decimal maximum = decimal(slider.maximum);
  std::int64_t units = maximum.units;
  for (int p = maximum.places; p < slider.decimals; ++p) {
    units *= 10;
  }
  return units <= most_units ? maximum : Decimal{most_units, slider.decimals};
}

std::string mlt_metadata() {
  std::string text =
      "# The MLT filter \"shardcast\" (libmltshardcast.so): the effect's parameters in its own\n"
      "# units, named after the shardcast tool's options with '_' for '-'. Every one takes\n"
      "# MLT's keys (\"0=0;48=400\"), read as the tool reads --broken-bytes 0@0,400@48;\n"
      "# switches hold each key's state until the next key.\n"
      "# Written by shardcast_describe from pipeline/parameter_table.h: edit the table,\n"
      "# then build the target update_parameter_texts.\n"
      "schema_version: 7.0\n"
      "type: filter\n"
      "identifier: shardcast\n"
      "title: Shardcast\n"
      "language: en\n"
      "creator: Shardcast developers\n"
      "tags:\n"
      "  - Video\n"
      "description: " +
      yaml_string(summary) +
      "\n"
      "notes: " +
      yaml_string(
          "Renders every frame through the effect module behind a simulated host, as the shardcast tool does: "
          "a frame equals shardcast render with the same values. SHARDCAST_MLT_MESSAGES=stderr sends the "
          "decoder's lines to standard error.") +
      "\nparameters:\n";
  for (const ParamRow* row : value_params) {
    text += yaml_parameter(*row);
  }
  return text;
}

std::string kdenlive_mlt_effect() {
  std::string text =
      "<?xml version=\"1.0\"?>\n"
      "<!DOCTYPE kpartgui>\n"
      "<!-- Shardcast in Kdenlive (22.12), over the MLT filter \"shardcast\": every parameter\n"
      "     a keyframable number in the effect's own range, decimals and default, in the\n"
      "     effect's order, each comment naming the parameter's group. Kdenlive shows\n"
      "     keyframable numbers after all other controls, so a switch is a number, 0 off\n"
      "     and 1 on, held from key to key by the filter. Kdenlive stores six significant\n"
      "     digits, so the seeds end at 999999 here. Projects made with the frei0r filter\n"
      "     keep frei0r_shardcast.xml.\n"
      "     Written by shardcast_describe from pipeline/parameter_table.h: edit the\n"
      "     table, then build the target update_parameter_texts. -->\n";
  text += std::string("<effect tag=\"") + service + "\" id=\"" + service + "\">\n";
  text += "    <name>Shardcast</name>\n    <description>" + xml_text(summary) +
          "</description>\n    <author>Shardcast developers</author>\n";
  for (const ParamRow* row : value_params) {
    text += kdenlive_parameter(*row);
  }
  return text + "</effect>\n";
}

}  // namespace shardcast::describe
