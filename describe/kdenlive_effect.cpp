// Kdenlive's description of the frei0r filter (Kdenlive 22.12): every
// value-carrying parameter in the effect's order, under its listed name,
// with its group leading the comment.
//
// The filter takes a value x in [0, 1] and gives the effect
// min + x * (max - min), rounded to the slider's decimals. Kdenlive shows a
// number as x * factor and stores x with six significant digits (%.6g), and
// cannot add an offset: a slider that starts at 0 is a number field with
// factor = max, any other a list of exact x values shown as the values they
// give. A list steps by a power of ten no finer than the slider's decimals
// and no coarser than 1, the finest that needs at most 200 steps; it holds
// the minimum, the maximum where reached, the default, and at most 1000
// entries (so the seeds offer 1 to 1000).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "describe/descriptions.h"
#include "describe/markup.h"
#include "describe/parameter_texts.h"

namespace shardcast::describe {
namespace {

constexpr const char* service = "frei0r.shardcast";
constexpr int most_steps = 200;
constexpr std::size_t most_entries = 1000;

std::string six_digits(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", x);
  return text;
}

double as_double(const Decimal& value) {
  double scale = 1.0;
  for (int p = 0; p < value.places; ++p) {
    scale *= 10.0;
  }
  return static_cast<double>(value.units) / scale;
}

// The frei0r value that gives `shown` on the slider; the bounds (as their
// decimals) give 0 and 1 exactly.
double x_of(const ParamRow& slider, const Decimal& shown) {
  const double value = as_double(shown);
  if (value == as_double(decimal(slider.minimum))) {
    return 0.0;
  }
  if (value == as_double(decimal(slider.maximum))) {
    return 1.0;
  }
  const double minimum = slider.minimum;
  return (value - minimum) / (static_cast<double>(slider.maximum) - minimum);
}

// The number of 10^-places in the value, rounded down.
std::int64_t floor_units(const Decimal& value, int places) {
  std::int64_t units = value.units;
  for (int p = value.places; p < places; ++p) {
    units *= 10;
  }
  for (int p = places; p < value.places; ++p) {
    units = units / 10 - (units % 10 < 0 ? 1 : 0);
  }
  return units;
}

std::string list_element(const ParamRow& slider) {
  std::string paramlist;
  std::string display;
  std::string dephault;
  for (const Decimal& value : kdenlive_list_values(slider)) {
    const std::string x = six_digits(x_of(slider, value));
    paramlist += (paramlist.empty() ? "" : ";") + x;
    display += (display.empty() ? "" : ",") + decimal_text(value);
    if (as_double(value) == as_double(decimal(slider.dephault))) {
      dephault = x;
    }
  }
  return "    <parameter type=\"list\" name=\"" + xml_text(slider.frei0r_name) + "\" default=\"" + dephault +
         "\" paramlist=\"" + paramlist + "\">\n        <paramlistdisplay>" + display + "</paramlistdisplay>\n";
}

std::string number_element(const ParamRow& slider) {
  const std::string maximum = number_text(slider.maximum);
  return "    <parameter type=\"animated\" name=\"" + xml_text(slider.frei0r_name) + "\" default=\"" +
         six_digits(x_of(slider, decimal(slider.dephault))) + "\" min=\"" + number_text(slider.minimum) + "\" max=\"" +
         maximum + "\" factor=\"" + maximum + "\" decimals=\"" + std::to_string(slider.decimals) + "\">\n";
}

std::string parameter_element(const ParamRow& row) {
  std::string element;
  if (row.kind == ParamKind::Checkbox) {
    element = "    <parameter type=\"bool\" name=\"" + xml_text(row.frei0r_name) + "\" default=\"" +
              (row.dephault != 0.0f ? "1" : "0") + "\">\n";
  } else if (row.minimum == 0.0f) {
    element = number_element(row);
  } else {
    element = list_element(row);
  }
  return element + "        <name>" + xml_text(listed_name(row)) + "</name>\n        <comment>" +
         xml_text(grouped_description(row)) + "</comment>\n    </parameter>\n";
}

}  // namespace

std::vector<Decimal> kdenlive_list_values(const ParamRow& slider) {
  const Decimal minimum = decimal(slider.minimum);
  const Decimal maximum = decimal(slider.maximum);
  int places = slider.decimals;
  while (places > 0 && floor_units(maximum, places) - floor_units(minimum, places) > most_steps) {
    --places;
  }
  std::vector<Decimal> values{minimum};
  for (std::int64_t units = floor_units(minimum, places) + 1;
       units <= floor_units(maximum, places) && values.size() < most_entries; ++units) {
    values.push_back({units, places});
  }
  const Decimal dephault = decimal(slider.dephault);
  const auto below = [](const Decimal& a, const Decimal& b) { return as_double(a) < as_double(b); };
  const auto at = std::lower_bound(values.begin(), values.end(), dephault, below);
  if (at == values.end() || as_double(*at) != as_double(dephault)) {
    values.insert(at, dephault);
  }
  return values;
}

std::string kdenlive_frei0r_effect() {
  std::string text =
      "<?xml version=\"1.0\"?>\n"
      "<!DOCTYPE kpartgui>\n"
      "<!-- Shardcast in Kdenlive (22.12): the effect's parameters with their own names,\n"
      "     ranges and defaults, over the frei0r filter, which takes each value as x in\n"
      "     [0, 1] and gives the effect min + x * (max - min) rounded to the decimals the\n"
      "     slider shows. Kdenlive shows a number as x * factor and stores x with six\n"
      "     significant digits, so a slider that starts at 0 is shown as its own value\n"
      "     (factor = max); the others, as Kdenlive cannot add an offset, are lists of\n"
      "     exact x values in steps of a power of ten (the finest, down to the slider's\n"
      "     decimals, that needs at most 200 steps), at most 1000 of them. Kdenlive\n"
      "     lists switches before numbers; each comment names the parameter's group.\n"
      "     Kept for projects made with it; new ones use shardcast.xml, over the MLT filter.\n"
      "     Written by shardcast_describe from pipeline/parameter_table.h: edit the\n"
      "     table, then build the target update_parameter_texts. -->\n";
  text += std::string("<effect tag=\"") + service + "\" id=\"" + service + "\">\n";
  text +=
      "    <name>Shardcast (frei0r)</name>\n"
      "    <description>Damaged-JPEG glitch: compresses the frame, overwrites bytes of the compressed data and "
      "decodes it with a decoder that never gives up.</description>\n"
      "    <author>Shardcast developers</author>\n";
  for (const ParamRow* row : value_params) {
    text += parameter_element(*row);
  }
  return text + "</effect>\n";
}

}  // namespace shardcast::describe
