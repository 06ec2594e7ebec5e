// The effect as Kdenlive and Shotcut describe it (packaging/kdenlive, the
// effect XML; packaging/shotcut, the filter folder with its panel), held
// against what the effect registers and what the frei0r filter does with a
// value: every filter parameter once, with the effect's own name, group,
// range, decimals and default, and every value an editor offers reaching the
// effect as the number the editor shows. The files are written from the
// parameter table (describe/); this holds what was written against what the
// built module does with it.
//
// Kdenlive stores a number as x = shown / factor with six significant
// digits, and a list entry as the x written in the list; Shotcut's panel
// stores (shown - minimum) / (maximum - minimum) with every digit. The
// frei0r filter turns x into the effect's value (frei0r_parameters.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <pugixml.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "describe/descriptions.h"
#include "describe/parameter_texts.h"
#include "frei0r/frei0r_parameters.h"
#include "hostsim/parameter_table.h"
#include "hostsim/simulated_host.h"
#include "support/effect_setup.h"

namespace shardcast::frei0r {
namespace {

using hostsim::ParameterInfo;
using hostsim::ParameterKind;

constexpr std::size_t parameter_count = filter_parameters.size();
const std::string service = std::string("frei0r.") + SHARDCAST_FREI0R_NAME;

// What the effect registers, for each frei0r parameter in frei0r order.
struct Effect {
  std::string name;
  std::vector<ParameterInfo> parameters;
};

const Effect& effect() {
  static const Effect registered = [] {
    hostsim::SimulatedHost host(std::filesystem::path(SHARDCAST_MODULE_PATH));
    Effect result;
    const hostsim::RegistrationOutcome registration = host.register_effect();
    if (!registration.callbacks.empty()) {
      result.name = registration.callbacks.front().name;
    }
    EXPECT_TRUE(testing::set_up_effect(host));
    const std::vector<ParameterInfo> all = hostsim::registered_parameters(host);
    for (const FilterParameter& parameter : filter_parameters) {
      for (const ParameterInfo& info : all) {
        if (info.index == parameter.effect_index) {
          result.parameters.push_back(info);
        }
      }
    }
    return result;
  }();
  return registered;
}

std::string slurp(const char* path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A whole decimal number, or NaN.
double number(std::string_view text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() ? value : std::nan("");
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream stream(text);
  while (std::getline(stream, part, separator)) {
    parts.push_back(part);
  }
  return parts;
}

// A value as the slider shows it: in steps of its decimals.
long long steps(double value, int decimals) { return std::llround(value * std::pow(10.0, decimals)); }

double kdenlive_stored(double x) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", x);
  return number(text);
}

// The value the effect gets for a slider shown at `shown_steps`, Kdenlive
// storing shown / factor.
double through_kdenlive(long long shown_steps, const ParameterInfo& slider, double factor) {
  const double shown = static_cast<double>(shown_steps) / std::pow(10.0, slider.precision);
  return slider_value(kdenlive_stored(shown / factor), slider);
}

// Shotcut's panel writes (shown - minimum) / (maximum - minimum), bounds as
// the panel holds them.
double through_shotcut(long long shown_steps, const ParameterInfo& slider) {
  const double shown = static_cast<double>(shown_steps) / std::pow(10.0, slider.precision);
  const double minimum = slider.minimum;
  const double maximum = slider.maximum;
  if (shown <= minimum) {
    return slider_value(0.0, slider);
  }
  if (shown >= maximum) {
    return slider_value(1.0, slider);
  }
  return slider_value((shown - minimum) / (maximum - minimum), slider);
}

// Every step a slider offers, or an even spread of about 20000 of them (the
// ends included) where there are more.
std::vector<long long> offered_steps(const ParameterInfo& slider) {
  const long long first = steps(slider.minimum, slider.precision);
  const long long last = steps(slider.maximum, slider.precision);
  const long long stride = std::max(1LL, (last - first) / 20000);
  std::vector<long long> offered;
  for (long long step = first; step < last; step += stride) {
    offered.push_back(step);
  }
  offered.push_back(last);
  return offered;
}

TEST(EditorDescriptions, TheEffectRegistersEveryFrei0rParameter) {
  EXPECT_EQ(effect().name, "Shardcast");
  ASSERT_EQ(effect().parameters.size(), parameter_count);
  for (std::size_t slot = 0; slot < parameter_count; ++slot) {
    EXPECT_EQ(effect().parameters[slot].kind, filter_parameters[slot].kind) << filter_parameters[slot].name;
  }
}

// ---- Kdenlive ----

class KdenliveEffect : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(effect().parameters.size(), parameter_count);
    const pugi::xml_parse_result parsed = document_.load_file(SHARDCAST_KDENLIVE_EFFECT);
    ASSERT_TRUE(parsed) << parsed.description();
    root_ = document_.child("effect");
    ASSERT_TRUE(root_);
    for (const pugi::xml_node& element : root_.children("parameter")) {
      const std::size_t slot = slot_of(element);
      ASSERT_LT(slot, parameter_count) << "no frei0r parameter " << element.attribute("name").value();
      parameters_.push_back({element, slot, effect().parameters[slot]});
    }
  }

  // A parameter element with the frei0r slot it sets and what the effect
  // registers there.
  struct Described {
    pugi::xml_node element;
    std::size_t slot;
    const ParameterInfo& info;
  };

  // The frei0r slot a parameter element sets: Kdenlive hands MLT the value
  // under the element's name, which MLT matches with the frei0r names.
  static std::size_t slot_of(const pugi::xml_node& element) {
    for (std::size_t slot = 0; slot < parameter_count; ++slot) {
      if (filter_parameters[slot].name == std::string(element.attribute("name").value())) {
        return slot;
      }
    }
    return parameter_count;
  }

  pugi::xml_document document_;
  pugi::xml_node root_;
  std::vector<Described> parameters_;
};

TEST_F(KdenliveEffect, NamesTheFrei0rServiceAndTheEffect) {
  EXPECT_EQ(std::string(root_.attribute("tag").value()), service);
  EXPECT_EQ(std::string(root_.attribute("id").value()), service);
  // Kept for projects made with it, told apart from the MLT filter's.
  EXPECT_EQ(std::string(root_.child_value("name")), effect().name + " (frei0r)");
}

TEST_F(KdenliveEffect, ListsEveryParameterOnceUnderItsOwnNameAndGroup) {
  std::set<std::size_t> slots;
  std::set<std::string> shown;
  for (const auto& [element, slot, info] : parameters_) {
    EXPECT_TRUE(slots.insert(slot).second) << filter_parameters[slot].name << " twice";
    SCOPED_TRACE(info.shown_name);

    EXPECT_EQ(std::string(element.attribute("type").value()) == "bool", info.kind == ParameterKind::Checkbox);
    // Kdenlive shows one flat list, so a name the effect repeats in other
    // groups must be told apart there.
    const std::string name = element.child_value("name");
    EXPECT_TRUE(shown.insert(name).second) << name << " shown twice";
    EXPECT_EQ(name.rfind(info.shown_name, 0), 0u) << name;
    // The group leads the explanation.
    const std::string comment = element.child_value("comment");
    if (info.group.empty()) {
      EXPECT_EQ(comment.find(':'), std::string::npos) << comment;
    } else {
      EXPECT_EQ(comment.rfind(info.group + ": ", 0), 0u) << comment;
    }
  }
  EXPECT_EQ(slots.size(), parameter_count);
}

TEST_F(KdenliveEffect, SwitchesStartAsTheEffectsCheckboxes) {
  for (const auto& [element, slot, info] : parameters_) {
    if (info.kind == ParameterKind::Checkbox) {
      EXPECT_EQ(number(element.attribute("default").value()), info.default_value) << info.shown_name;
    }
  }
}

// A number field shows x * factor: the effect's range from 0, in its
// decimals, every step reaching the effect as shown.
TEST_F(KdenliveEffect, NumberFieldsShowTheEffectsRangeAndReachItStepByStep) {
  for (const auto& [element, slot, info] : parameters_) {
    if (std::string(element.attribute("type").value()) != "animated") {
      continue;
    }
    SCOPED_TRACE(info.shown_name);
    ASSERT_EQ(info.kind, ParameterKind::Slider);
    const double factor = number(element.attribute("factor").value());
    EXPECT_EQ(static_cast<float>(number(element.attribute("min").value())), info.minimum);
    EXPECT_EQ(static_cast<float>(number(element.attribute("max").value())), info.maximum);
    EXPECT_EQ(info.minimum, 0.0f) << "a field starting elsewhere than 0 cannot show the effect's value";
    EXPECT_EQ(static_cast<float>(factor), info.maximum);
    EXPECT_EQ(number(element.attribute("decimals").value()), info.precision);
    EXPECT_EQ(slider_value(number(element.attribute("default").value()), info), info.default_value);
    for (const long long step : offered_steps(info)) {
      ASSERT_EQ(steps(through_kdenlive(step, info, factor), info.precision), step);
    }
  }
}

// A list offers exact x values, each shown as the value the effect gets.
TEST_F(KdenliveEffect, ListsShowTheValueEachEntryGivesTheEffect) {
  for (const auto& [element, slot, info] : parameters_) {
    if (std::string(element.attribute("type").value()) != "list") {
      continue;
    }
    SCOPED_TRACE(info.shown_name);
    ASSERT_EQ(info.kind, ParameterKind::Slider);
    const std::vector<std::string> entries = split(element.attribute("paramlist").value(), ';');
    const std::vector<std::string> shown = split(element.child_value("paramlistdisplay"), ',');
    ASSERT_EQ(entries.size(), shown.size());
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(number(entries.front()), 0.0) << "the effect's minimum is offered";
    for (std::size_t i = 0; i < entries.size(); ++i) {
      const double x = number(entries[i]);
      ASSERT_TRUE(x >= 0.0 && x <= 1.0) << entries[i];
      ASSERT_EQ(steps(slider_value(x, info), info.precision), steps(number(shown[i]), info.precision))
          << entries[i] << " shown as " << shown[i];
    }
    const std::string dephault = element.attribute("default").value();
    EXPECT_NE(std::find(entries.begin(), entries.end(), dephault), entries.end()) << dephault << " is not offered";
    EXPECT_EQ(steps(slider_value(number(dephault), info), info.precision), steps(info.default_value, info.precision));
  }
}

// ---- Shotcut ----

// One entry of the panel's parameter table: {kind: 'slider', property: '0',
// name: '...', minimum: 1, maximum: Math.fround(99.9), decimals: 0, value: 100}.
struct PanelEntry {
  std::map<std::string, std::string> fields;
  std::string text;
};

std::vector<PanelEntry> panel_entries(const std::string& qml) {
  const std::size_t start = qml.find("property var parameters: [");
  const std::size_t end = qml.find("\n    ]", start);
  std::vector<PanelEntry> entries;
  if (start == std::string::npos || end == std::string::npos) {
    return entries;
  }
  const std::regex entry_line(R"(\s*\{(.*)\},?\s*)");
  const std::regex field(R"((\w+):\s*('[^']*'|[^,]+))");
  for (const std::string& line : split(qml.substr(start, end - start), '\n')) {
    std::smatch entry;
    if (!std::regex_match(line, entry, entry_line)) {
      continue;
    }
    PanelEntry parsed{{}, line};
    const std::string body = entry[1].str();
    for (auto it = std::sregex_iterator(body.begin(), body.end(), field); it != std::sregex_iterator(); ++it) {
      std::string value = (*it)[2].str();
      if (value.size() >= 2 && value.front() == '\'') {
        value = value.substr(1, value.size() - 2);
      }
      parsed.fields[(*it)[1].str()] = value;
    }
    entries.push_back(parsed);
  }
  return entries;
}

// A bound as the panel holds it: JavaScript's double, or the single
// precision number Math.fround gives.
double panel_number(const std::string& text) {
  const std::string fround = "Math.fround(";
  if (text.rfind(fround, 0) == 0 && text.back() == ')') {
    return static_cast<float>(number(text.substr(fround.size(), text.size() - fround.size() - 1)));
  }
  return number(text);
}

TEST(ShotcutFilter, MetadataNamesTheFrei0rServiceAndThePanel) {
  const std::string meta = slurp(SHARDCAST_SHOTCUT_FOLDER "/meta.qml");
  EXPECT_NE(meta.find("mlt_service: '" + service + "'"), std::string::npos);
  EXPECT_NE(meta.find("name: \"" + effect().name + "\""), std::string::npos);
  EXPECT_NE(meta.find("qml: 'ui.qml'"), std::string::npos);
}

// The panel in `folder` lists every parameter in the effect's groups,
// ranges and defaults, writing the one in `slot` under property(slot).
void expect_panel_shows_the_effect(const std::string& folder, const std::function<std::string(std::size_t)>& property) {
  ASSERT_EQ(effect().parameters.size(), parameter_count);
  const std::vector<PanelEntry> entries = panel_entries(slurp((folder + "/ui.qml").c_str()));
  ASSERT_FALSE(entries.empty()) << "no parameter table in " << folder << "/ui.qml";
  std::string group;
  std::size_t next_slot = 0;
  for (const PanelEntry& entry : entries) {
    const std::map<std::string, std::string>& fields = entry.fields;
    SCOPED_TRACE(entry.text);
    ASSERT_TRUE(fields.count("kind") && fields.count("name"));
    if (fields.at("kind") == "group") {
      group = fields.at("name");
      continue;
    }
    ASSERT_TRUE(fields.count("property") && fields.count("value"));
    ASSERT_EQ(fields.at("property"), property(next_slot));
    const ParameterInfo& info = effect().parameters[next_slot++];
    EXPECT_EQ(fields.at("name"), info.shown_name);
    EXPECT_EQ(group, info.group);
    if (info.kind == ParameterKind::Checkbox) {
      EXPECT_EQ(fields.at("kind"), "switch");
      EXPECT_EQ(number(fields.at("value")), info.default_value);
      continue;
    }
    ASSERT_EQ(fields.at("kind"), "slider");
    ASSERT_TRUE(fields.count("minimum") && fields.count("maximum") && fields.count("decimals"));
    EXPECT_EQ(panel_number(fields.at("minimum")), static_cast<double>(info.minimum));
    EXPECT_EQ(panel_number(fields.at("maximum")), static_cast<double>(info.maximum));
    EXPECT_EQ(number(fields.at("decimals")), info.precision);
    EXPECT_EQ(steps(number(fields.at("value")), info.precision), steps(info.default_value, info.precision));
  }
  EXPECT_EQ(next_slot, parameter_count);
}

// The frei0r filter's panel writes parameters by their frei0r index.
TEST(ShotcutFilter, ThePanelShowsEveryParameterInTheEffectsGroupsRangesAndDefaults) {
  expect_panel_shows_the_effect(SHARDCAST_SHOTCUT_FOLDER, [](std::size_t slot) { return std::to_string(slot); });
}

TEST(ShotcutFilter, EveryStepOfAPanelSliderReachesTheEffectAsShown) {
  for (const ParameterInfo& info : effect().parameters) {
    if (info.kind != ParameterKind::Slider) {
      continue;
    }
    SCOPED_TRACE(info.shown_name);
    for (const long long step : offered_steps(info)) {
      ASSERT_EQ(steps(through_shotcut(step, info), info.precision), step);
    }
  }
}

// ---- the MLT filter ----
//
// Its properties carry the effect's own values, so an editor's number is
// the value the effect gets.

TEST(ShotcutMltFilter, MetadataNamesTheServiceAndKeyframesEverySliderInItsRange) {
  const std::string meta = slurp(SHARDCAST_SHOTCUT_MLT_FOLDER "/meta.qml");
  EXPECT_NE(meta.find("mlt_service: 'shardcast'"), std::string::npos);
  EXPECT_NE(meta.find("name: \"" + effect().name + "\""), std::string::npos);
  const std::regex keyframe(
      R"(Parameter \{ name: '[^']*'; property: '(\w+)'; isCurve: true; minimum: ([^;]+); maximum: ([^ ]+) \})");
  std::vector<std::string> keyed;
  for (auto it = std::sregex_iterator(meta.begin(), meta.end(), keyframe); it != std::sregex_iterator(); ++it) {
    keyed.push_back((*it)[1].str());
    for (std::size_t slot = 0; slot < parameter_count; ++slot) {
      if (describe::mlt_name(*value_params[slot]) == keyed.back()) {
        EXPECT_EQ(panel_number((*it)[2].str()), static_cast<double>(effect().parameters[slot].minimum));
        EXPECT_EQ(panel_number((*it)[3].str()), static_cast<double>(effect().parameters[slot].maximum));
      }
    }
  }
  std::vector<std::string> sliders;
  for (std::size_t slot = 0; slot < parameter_count; ++slot) {
    if (effect().parameters[slot].kind == ParameterKind::Slider) {
      sliders.push_back(describe::mlt_name(*value_params[slot]));
    }
  }
  EXPECT_EQ(keyed, sliders);
}

TEST(ShotcutMltFilter, ThePanelShowsEveryParameterUnderItsPropertyInTheEffectsGroups) {
  expect_panel_shows_the_effect(SHARDCAST_SHOTCUT_MLT_FOLDER,
                                [](std::size_t slot) { return describe::mlt_name(*value_params[slot]); });
}

TEST(KdenliveMltEffect, EveryParameterIsAKeyframableNumberInTheEffectsOrderRangeAndDefault) {
  pugi::xml_document document;
  ASSERT_TRUE(document.load_file(SHARDCAST_KDENLIVE_MLT_EFFECT));
  const pugi::xml_node root = document.child("effect");
  EXPECT_STREQ(root.attribute("id").value(), "shardcast");
  EXPECT_EQ(std::string(root.child_value("name")), effect().name);
  std::size_t slot = 0;
  for (const pugi::xml_node& element : root.children("parameter")) {
    ASSERT_LT(slot, parameter_count);
    const ParameterInfo& info = effect().parameters[slot];
    SCOPED_TRACE(info.shown_name);
    EXPECT_STREQ(element.attribute("name").value(), describe::mlt_name(*value_params[slot++]).c_str());
    EXPECT_STREQ(element.attribute("type").value(), "animated");
    const double minimum = number(element.attribute("min").value());
    const double maximum = number(element.attribute("max").value());
    const int decimals = static_cast<int>(number(element.attribute("decimals").value()));
    const double dephault = number(element.attribute("default").value());
    if (info.kind == ParameterKind::Checkbox) {
      EXPECT_EQ(minimum, 0.0);
      EXPECT_EQ(maximum, 1.0);
      EXPECT_EQ(decimals, 0);
      EXPECT_EQ(dephault, info.default_value);
      continue;
    }
    EXPECT_EQ(static_cast<float>(minimum), info.minimum);
    EXPECT_EQ(decimals, info.precision);
    EXPECT_EQ(static_cast<float>(dephault), static_cast<float>(info.default_value));
    // Kdenlive stores six significant digits: the number reaches the
    // effect's maximum where that fits them, else the last value that does.
    const long long last_step = steps(maximum, decimals);
    EXPECT_LE(last_step, 999999);
    EXPECT_TRUE(static_cast<float>(maximum) == info.maximum || last_step == 999999) << maximum;
    EXPECT_LE(maximum, static_cast<double>(info.maximum) + 1e-9);
  }
  EXPECT_EQ(slot, parameter_count);
}

}  // namespace
}  // namespace shardcast::frei0r
