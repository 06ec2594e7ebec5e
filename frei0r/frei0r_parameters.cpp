// frei0r values into effect values: clamping, the linear map onto a
// slider's range, and rounding to the decimals the slider shows; and the
// explanations, made once from the parameter table.
#include "frei0r/frei0r_parameters.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <string>

#include "describe/parameter_texts.h"

namespace shardcast::frei0r {

// Made on first use and kept, for hosts hold on to the text. Without the
// memory for them a host gets empty explanations, as no exception may reach
// it.
const char* explanation(std::size_t slot) {
  try {
    static const std::array<std::string, value_param_count> explanations = [] {
      std::array<std::string, value_param_count> texts;
      for (std::size_t i = 0; i < texts.size(); ++i) {
        texts[i] = describe::frei0r_explanation(*value_params[i]);
      }
      return texts;
    }();
    return slot < explanations.size() ? explanations[slot].c_str() : "";
  } catch (const std::bad_alloc&) {
    return "";
  }
}

double stored_value(double given, double previous) {
  if (std::isnan(given)) {
    return previous;
  }
  return std::clamp(given, 0.0, 1.0);
}

double slider_value(double x, const hostsim::ParameterInfo& slider) {
  const double minimum = slider.minimum;
  const double maximum = slider.maximum;
  x = stored_value(x, 0.0);
  if (x <= 0.0) {
    return minimum;
  }
  if (x >= 1.0) {
    return maximum;
  }
  const double scale = std::pow(10.0, std::clamp(slider.precision, 0, 6));
  const double value = std::round((minimum + x * (maximum - minimum)) * scale) / scale;
  // A bound held in single precision (0.1, 99.9) may lie just inside the
  // decimal it rounds to.
  return std::clamp(value, minimum, maximum);
}

bool checkbox_value(double x) { return x >= 0.5; }

double effect_value(double x, const hostsim::ParameterInfo& info) {
  if (info.kind == hostsim::ParameterKind::Checkbox) {
    return checkbox_value(x) ? 1.0 : 0.0;
  }
  return slider_value(x, info);
}

double default_value(const hostsim::ParameterInfo& info) {
  if (info.kind == hostsim::ParameterKind::Checkbox) {
    return info.default_value != 0.0 ? 1.0 : 0.0;
  }
  const double span = static_cast<double>(info.maximum) - static_cast<double>(info.minimum);
  if (!(span > 0.0)) {
    return 0.0;
  }
  return stored_value((info.default_value - info.minimum) / span, 0.0);
}

}  // namespace shardcast::frei0r
