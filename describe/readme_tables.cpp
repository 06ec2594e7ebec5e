// The README's two parameter tables: the tool's options (as `shardcast
// params` lists them) and the frei0r filter's parameters with the frei0r
// values of their ranges and defaults.
#include <charconv>
#include <string>
#include <vector>

#include "describe/descriptions.h"
#include "describe/markup.h"
#include "describe/parameter_texts.h"

namespace shardcast::describe {
namespace {

// One Markdown table row; an empty cell stays a single space.
std::string table_row(const std::vector<std::string>& cells) {
  std::string row = "|";
  for (const std::string& cell : cells) {
    row += cell.empty() ? " |" : " " + markdown_cell(cell) + " |";
  }
  return row + "\n";
}

// A frei0r value that is a fraction also as the decimal people type.
std::string typed_x(const ParamRow& slider) {
  const std::string x = frei0r_default_x(slider);
  if (x.find('/') == std::string::npos) {
    return x;
  }
  const double value =
      (static_cast<double>(slider.dephault) - slider.minimum) / (static_cast<double>(slider.maximum) - slider.minimum);
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return x + " (" + std::string(text, end) + ")";
}

}  // namespace

std::string readme_options_table() {
  std::string table = table_row({"option", "name in the host", "group", "range", "default", "what it does"}) +
                      "|---|---|---|---|---|---|\n";
  for (const ParamRow* row : value_params) {
    table += table_row({std::string("`--") + row->option + "`", row->name, std::string(group_of(*row)),
                        range_text(*row), default_text(*row), row->description});
  }
  return table;
}

std::string readme_frei0r_table() {
  std::string table = table_row({"#", "frei0r name", "effect parameter", "range (x = 0 ... 1)", "default x = value"}) +
                      "|---|---|---|---|---|\n";
  for (std::size_t slot = 0; slot < value_params.size(); ++slot) {
    const ParamRow& row = *value_params[slot];
    const bool slider = row.kind == ParamKind::Slider;
    const std::string range =
        slider ? number_text(row.minimum) + " ... " + number_text(row.maximum) + ", " + steps_text(row.decimals)
               : "switch";
    const std::string dephault = slider ? typed_x(row) + " = " + default_text(row) : default_text(row);
    table += table_row({std::to_string(slot), row.frei0r_name, listed_name(row), range, dephault});
  }
  return table;
}

}  // namespace shardcast::describe
