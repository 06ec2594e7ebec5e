// Parameter texts. The frei0r arithmetic works on exact decimals: each
// bound and default as the integer count of its last decimal place, so
// spans and fractions come out as people would write them, not as the
// binary numbers would.
#include "describe/parameter_texts.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <numeric>
#include <string_view>

namespace shardcast::describe {
namespace {

std::int64_t scaled(const Decimal& value, int places) {
  std::int64_t units = value.units;
  for (int p = value.places; p < places; ++p) {
    units *= 10;
  }
  return units;
}

// numerator / denominator (denominator > 0) as an exact decimal when one
// exists, else as the reduced fraction.
std::string ratio_text(std::int64_t numerator, std::int64_t denominator) {
  const std::int64_t divisor = std::gcd(numerator, denominator);
  numerator /= divisor;
  denominator /= divisor;
  std::int64_t rest = denominator;
  int twos = 0;
  int fives = 0;
  for (; rest % 2 == 0; rest /= 2) {
    ++twos;
  }
  for (; rest % 5 == 0; rest /= 5) {
    ++fives;
  }
  if (rest != 1) {
    return std::to_string(numerator) + "/" + std::to_string(denominator);
  }
  // Exact in max(twos, fives) places: scale the numerator to them.
  const int places = twos > fives ? twos : fives;
  std::int64_t scale = 1;
  for (int p = 0; p < places; ++p) {
    scale *= 10;
  }
  return decimal_text({numerator * (scale / denominator), places});
}

// The span of a slider's range and the distance of its default from the
// minimum, in the same decimal places.
struct SliderDecimals {
  std::int64_t span = 0;
  std::int64_t offset = 0;
  int places = 0;
};

SliderDecimals slider_decimals(const ParamRow& slider) {
  const Decimal minimum = decimal(slider.minimum);
  const Decimal maximum = decimal(slider.maximum);
  const Decimal dephault = decimal(slider.dephault);
  const int places = std::max({minimum.places, maximum.places, dephault.places});
  return {scaled(maximum, places) - scaled(minimum, places), scaled(dephault, places) - scaled(minimum, places),
          places};
}

}  // namespace

// The parameter table's bounds and defaults have a few digits on either
// side of the point; a number of more than 18 digits keeps its first 18, so
// that nothing overflows.
Decimal decimal(float value) {
  const std::string text = number_text(value);
  Decimal result;
  bool after_point = false;
  int digits = 0;
  for (const char c : text) {
    if (c == '.') {
      after_point = true;
    } else if (c != '-' && digits++ < std::numeric_limits<std::int64_t>::digits10) {
      result.units = result.units * 10 + (c - '0');
      result.places += after_point ? 1 : 0;
    }
  }
  result.units = text.front() == '-' ? -result.units : result.units;
  return result;
}

std::string decimal_text(const Decimal& value) {
  std::string digits = std::to_string(value.units < 0 ? -value.units : value.units);
  if (value.places > 0) {
    if (digits.size() <= static_cast<std::size_t>(value.places)) {
      digits.insert(0, static_cast<std::size_t>(value.places) - digits.size() + 1, '0');
    }
    digits.insert(digits.size() - static_cast<std::size_t>(value.places), ".");
    digits.erase(digits.find_last_not_of('0') + 1);
    if (digits.back() == '.') {
      digits.pop_back();
    }
  }
  return (value.units < 0 ? "-" : "") + digits;
}

std::string number_text(float value) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
  return std::string(text, end);
}

std::string range_text(const ParamRow& row) {
  if (row.kind == ParamKind::Checkbox) {
    return "on/off";
  }
  return number_text(row.minimum) + " .. " + number_text(row.maximum);
}

std::string default_text(const ParamRow& row) {
  if (row.kind == ParamKind::Checkbox) {
    return row.dephault != 0.0f ? "on" : "off";
  }
  return number_text(row.dephault);
}

std::string listed_name(const ParamRow& row) {
  std::size_t uses = 0;
  for (const ParamRow* other : value_params) {
    uses += std::string_view(other->name) == row.name ? 1 : 0;
  }
  const std::string_view frei0r_name = row.frei0r_name;
  const std::string_view name = row.name;
  if (uses < 2 || !frei0r_name.ends_with(name) || frei0r_name.size() < name.size() + 2) {
    return row.name;
  }
  std::string word(frei0r_name.substr(0, frei0r_name.size() - name.size() - 1));
  if (word.front() >= 'a' && word.front() <= 'z') {
    word.front() = static_cast<char>(word.front() - 'a' + 'A');
  }
  return std::string(name) + " (" + word + ")";
}

std::string grouped_description(const ParamRow& row) {
  const std::string_view group = group_of(row);
  return group.empty() ? std::string(row.description) : std::string(group) + ": " + row.description;
}

std::string mlt_name(const ParamRow& row) {
  std::string name = row.option;
  std::replace(name.begin(), name.end(), '-', '_');
  return name;
}

std::string steps_text(int decimals) {
  switch (decimals) {
    case 0:
      return "whole numbers";
    case 1:
      return "tenths";
    case 2:
      return "hundredths";
    case 3:
      return "thousandths";
    default:
      return "steps of " + decimal_text({1, decimals});
  }
}

std::string frei0r_mapping(const ParamRow& slider) {
  const SliderDecimals d = slider_decimals(slider);
  const std::string span = decimal_text({d.span, d.places}) + "x";
  return slider.minimum == 0.0f ? span : number_text(slider.minimum) + " + " + span;
}

std::string frei0r_default_x(const ParamRow& slider) {
  const SliderDecimals d = slider_decimals(slider);
  return ratio_text(d.offset, d.span);
}

std::string frei0r_explanation(const ParamRow& row) {
  if (row.kind == ParamKind::Checkbox) {
    return std::string(row.description) + "; default " + default_text(row);
  }
  const std::string x = frei0r_default_x(row);
  const std::string value = default_text(row);
  return std::string(row.description) + "; " + number_text(row.minimum) + " to " + number_text(row.maximum) + " (" +
         frei0r_mapping(row) + ", " + steps_text(row.decimals) + "); default " +
         (x == value ? value : x + " = " + value);
}

}  // namespace shardcast::describe
