// shardcast.so, the frei0r filter: its face towards frei0r hosts (plug-in
// and parameter infos), the mapping of frei0r values onto the effect's
// ranges, and frames compared byte for byte with `shardcast render` of the
// same pictures and values, the filter called directly (inside real hosts:
// frei0r_hosts_test).
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "cli/pictures/image.h"
#include "decoder/message_sink.h"
#include "frei0r/frei0r_parameters.h"
#include "hostsim/parameter_table.h"
#include "hostsim/simulated_host.h"
#include "support/effect_setup.h"
#include "support/frei0r_files.h"

namespace shardcast::frei0r {
namespace {

namespace fs = std::filesystem;
using cli::Image;
using hostsim::ParameterInfo;
using hostsim::ParameterKind;

// ---- the plug-in, opened as a frei0r host opens it ----

struct Plugin {
  void* handle = nullptr;
  decltype(&f0r_init) init = nullptr;
  decltype(&f0r_get_plugin_info) plugin_info = nullptr;
  decltype(&f0r_get_param_info) param_info = nullptr;
  decltype(&f0r_construct) construct = nullptr;
  decltype(&f0r_destruct) destruct = nullptr;
  decltype(&f0r_set_param_value) set_value = nullptr;
  decltype(&f0r_get_param_value) get_value = nullptr;
  decltype(&f0r_update) update = nullptr;

  Plugin() {
    handle = ::dlopen(SHARDCAST_FREI0R_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      return;
    }
    find(init, "f0r_init");
    find(plugin_info, "f0r_get_plugin_info");
    find(param_info, "f0r_get_param_info");
    find(construct, "f0r_construct");
    find(destruct, "f0r_destruct");
    find(set_value, "f0r_set_param_value");
    find(get_value, "f0r_get_param_value");
    find(update, "f0r_update");
  }
  ~Plugin() {
    if (handle != nullptr) {
      ::dlclose(handle);
    }
  }
  Plugin(const Plugin&) = delete;
  Plugin& operator=(const Plugin&) = delete;

  template <typename Function>
  void find(Function& function, const char* name) {
    function = reinterpret_cast<Function>(::dlsym(handle, name));
  }
  bool complete() const {
    return init && plugin_info && param_info && construct && destruct && set_value && get_value && update;
  }
};

// One f0r instance, destructed with the object.
struct Filter {
  const Plugin& plugin;
  f0r_instance_t instance;
  unsigned width;
  unsigned height;

  Filter(const Plugin& p, unsigned w, unsigned h) : plugin(p), instance(p.construct(w, h)), width(w), height(h) {}
  ~Filter() {
    if (instance != nullptr) {
      plugin.destruct(instance);
    }
  }
  Filter(const Filter&) = delete;
  Filter& operator=(const Filter&) = delete;

  void set(int index, double value) const { plugin.set_value(instance, &value, index); }
  double get(int index) const {
    double value = -1;
    plugin.get_value(instance, &value, index);
    return value;
  }
  std::vector<std::uint8_t> render(const std::vector<std::uint8_t>& rgba) const {
    std::vector<std::uint32_t> in(rgba.size() / 4);
    std::vector<std::uint32_t> out(in.size());
    std::memcpy(in.data(), rgba.data(), rgba.size());
    plugin.update(instance, 0.0, in.data(), out.data());
    std::vector<std::uint8_t> bytes(rgba.size());
    std::memcpy(bytes.data(), out.data(), bytes.size());
    return bytes;
  }
};

// What the module registers, read through the simulated host.
std::vector<ParameterInfo> registered_by_module() {
  hostsim::SimulatedHost host{fs::path(SHARDCAST_MODULE_PATH)};
  EXPECT_TRUE(testing::set_up_effect(host));
  return hostsim::registered_parameters(host);
}

const ParameterInfo& registered(const std::vector<ParameterInfo>& table, std::int32_t index) {
  for (const ParameterInfo& info : table) {
    if (info.index == index) {
      return info;
    }
  }
  throw std::runtime_error("parameter " + std::to_string(index) + " is not registered");
}

// A registered single-precision number as it is written for people (0.1, 99.9, 100000000).
std::string shown(float value) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
  return std::string(text, end);
}

// A picture with every channel varying, alpha included.
Image test_picture(std::int32_t width, std::int32_t height) {
  Image image = Image::filled(width, height, 0, 0, 0, 255);
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* pixel = image.pixel(x, y);
      pixel[0] = static_cast<std::uint8_t>(x * 7 + y * 3);
      pixel[1] = static_cast<std::uint8_t>(y * 11);
      pixel[2] = static_cast<std::uint8_t>((x ^ y) * 5);
      pixel[3] = static_cast<std::uint8_t>(255 - x * 2);
    }
  }
  return image;
}

using testing::Frei0rFiles;
using testing::glitch_tool_options;
using testing::glitch_values;
using testing::ProgramRun;
using testing::tool_render;

// ---- the mapping ----

TEST(Frei0rMapping, EndsOfTheUnitRangeLandExactlyOnTheRegisteredBounds) {
  const std::vector<ParameterInfo> table = registered_by_module();
  const ParameterInfo& end = registered(table, 5);  // 0.1 (single precision) to 100
  EXPECT_EQ(slider_value(0.0, end), static_cast<double>(0.1f));
  EXPECT_EQ(slider_value(1.0, end), 100.0);
  EXPECT_EQ(slider_value(-3.0, end), static_cast<double>(0.1f));
  EXPECT_EQ(slider_value(7.0, end), 100.0);
  const ParameterInfo& start = registered(table, 4);  // 0 to 99.9 (single precision)
  EXPECT_EQ(slider_value(1.0, start), static_cast<double>(99.9f));
  EXPECT_EQ(slider_value(-std::numeric_limits<double>::infinity(), start), 0.0);
}

TEST(Frei0rMapping, AValueWorkedOutFromAWantedNumberGivesThatNumber) {
  const std::vector<ParameterInfo> table = registered_by_module();
  const ParameterInfo& seed = registered(table, 6);
  for (const double wanted : {2.0, 3.0, 7.0, 49999999.0, 12345678.0, 99999999.0}) {
    EXPECT_EQ(slider_value((wanted - 1.0) / 99999999.0, seed), wanted) << wanted;
  }
  const ParameterInfo& filter = registered(table, 31);
  for (const double wanted : {1.0, -0.1, 0.55, 2.0, -9.99}) {
    EXPECT_EQ(slider_value((wanted + 10.0) / 20.0, filter), wanted) << wanted;
  }
  const ParameterInfo& bytes = registered(table, 3);
  EXPECT_EQ(slider_value(0.00004, bytes), 0.0);  // 0.4 rounds to no damage
  EXPECT_EQ(slider_value(0.00005, bytes), 1.0);
}

TEST(Frei0rMapping, StoredValuesAreClampedAndNanKeepsThePreviousOne) {
  EXPECT_EQ(stored_value(-0.5, 0.3), 0.0);
  EXPECT_EQ(stored_value(2.0, 0.3), 1.0);
  EXPECT_EQ(stored_value(0.25, 0.3), 0.25);
  EXPECT_EQ(stored_value(std::nan(""), 0.3), 0.3);
  EXPECT_FALSE(checkbox_value(0.49999));
  EXPECT_TRUE(checkbox_value(0.5));
}

TEST(Frei0rMapping, DefaultsGiveTheEffectsDefaults) {
  const std::vector<ParameterInfo> table = registered_by_module();
  for (const FilterParameter& parameter : filter_parameters) {
    const ParameterInfo& info = registered(table, parameter.effect_index);
    const double value = effect_value(default_value(info), info);
    // The effect reads sliders as single-precision floats or truncated integers.
    EXPECT_EQ(static_cast<float>(value), static_cast<float>(info.default_value)) << parameter.name;
    EXPECT_EQ(std::trunc(value), std::trunc(info.default_value)) << parameter.name;
  }
}

// ---- what a frei0r host sees ----

TEST(Frei0rPlugin, ExportsOnlyTheFrei0rFunctions) {
  Plugin plugin;
  ASSERT_NE(plugin.handle, nullptr) << ::dlerror();
  EXPECT_TRUE(plugin.complete());
  EXPECT_EQ(::dlsym(plugin.handle, "EffectMain"), nullptr);
  EXPECT_EQ(::dlsym(plugin.handle, "PluginDataEntryFunction"), nullptr);
}

TEST(Frei0rPlugin, DescribesAnRgbaFilterWithEveryValueCarryingParameter) {
  Plugin plugin;
  ASSERT_TRUE(plugin.complete());
  EXPECT_EQ(plugin.init(), 1);
  f0r_plugin_info_t info{};
  plugin.plugin_info(&info);
  EXPECT_STREQ(info.name, "shardcast");
  EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
  EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
  EXPECT_EQ(info.frei0r_version, 1);
  ASSERT_EQ(info.num_params, 24);

  // clang-format off
  const std::vector<std::string> names = {
      "Compression ratio", "Broken bytes",     "start of glitch",       "end of glitch",
      "broken bytes seed", "QTC",              "QTC position",          "QTC value",
      "chroma breaking bytes", "chroma max random value", "chroma seed", "QTL",
      "QTL position",      "QTL value",        "luma breaking bytes",   "luma max random value",
      "luma seed",         "Inverse DCT",      "YCbCrToRGB",            "Dequantize",
      "filter 1",          "filter 1 value",   "filter 2",              "filter 2 value"};
  // clang-format on
  const std::vector<ParameterInfo> table = registered_by_module();
  ASSERT_EQ(table.size(), names.size());
  for (int i = 0; i < info.num_params; ++i) {
    f0r_param_info_t param{};
    plugin.param_info(&param, i);
    EXPECT_EQ(std::string(param.name), names[static_cast<std::size_t>(i)]);
    ASSERT_NE(param.explanation, nullptr);
    // In the effect's registration order, as a bool exactly for its checkboxes.
    const ParameterInfo& registered_info = table[static_cast<std::size_t>(i)];
    EXPECT_EQ(param.type, registered_info.kind == ParameterKind::Checkbox ? F0R_PARAM_BOOL : F0R_PARAM_DOUBLE)
        << param.name;
    const std::string explanation = param.explanation;
    if (registered_info.kind == ParameterKind::Checkbox) {
      EXPECT_TRUE(explanation.ends_with(registered_info.default_value != 0 ? "default on" : "default off"))
          << explanation;
      continue;
    }
    // The range and the default as the effect registers them.
    const std::string range = shown(registered_info.minimum) + " to " + shown(registered_info.maximum);
    EXPECT_NE(explanation.find(range), std::string::npos) << explanation << " lacks " << range;
    const std::string default_text = shown(static_cast<float>(registered_info.default_value));
    EXPECT_TRUE(explanation.ends_with("= " + default_text) || explanation.ends_with("default " + default_text))
        << explanation;
  }
}

TEST(Frei0rPlugin, NewInstancesHoldTheDefaultsAndKeepClampedValues) {
  Plugin plugin;
  ASSERT_TRUE(plugin.complete());
  Filter filter(plugin, 32, 16);
  ASSERT_NE(filter.instance, nullptr);
  const std::vector<ParameterInfo> table = registered_by_module();
  for (std::size_t i = 0; i < filter_parameters.size(); ++i) {
    EXPECT_EQ(filter.get(static_cast<int>(i)), default_value(registered(table, filter_parameters[i].effect_index)))
        << filter_parameters[i].name;
  }
  filter.set(1, 7.0);
  EXPECT_EQ(filter.get(1), 1.0);
  filter.set(1, -3.0);
  EXPECT_EQ(filter.get(1), 0.0);
  filter.set(1, 0.25);
  filter.set(1, std::nan(""));
  EXPECT_EQ(filter.get(1), 0.25);
  filter.set(24, 0.5);  // no such parameter: ignored
  EXPECT_EQ(plugin.construct(0, 16), nullptr);
}

TEST(Frei0rPlugin, AFrameTheHostRefusesPassesThroughUnchanged) {
  Plugin plugin;
  ASSERT_TRUE(plugin.complete());
  // Widened to 16 pixels, the height grows sixteenfold past the largest
  // world the host makes, so the render command fails.
  Filter filter(plugin, 1, 4000);
  ASSERT_NE(filter.instance, nullptr);
  const Image input = test_picture(1, 4000);
  EXPECT_EQ(filter.render(input.rgba), input.rgba);
}

// ---- frames against the tool ----

TEST_F(Frei0rFiles, DefaultFrameEqualsTheToolsDefaultRender) {
  Plugin plugin;
  ASSERT_TRUE(plugin.complete());
  const Image input = test_picture(40, 24);  // widened to 48 x 29 inside the render
  ASSERT_TRUE(cli::write_image(file("in.png").string(), input).ok());
  const ProgramRun tool = run(tool_render("in.png", "tool.png", {}));
  ASSERT_EQ(tool.exit_code, 0) << tool.err;

  Filter filter(plugin, 40, 24);
  EXPECT_EQ(filter.render(input.rgba), picture("tool.png").rgba);
}

TEST_F(Frei0rFiles, GlitchedFrameEqualsTheToolsRenderAlsoInPlace) {
  Plugin plugin;
  ASSERT_TRUE(plugin.complete());
  const Image input = test_picture(36, 20);
  ASSERT_TRUE(cli::write_image(file("in.png").string(), input).ok());
  const ProgramRun tool = run(tool_render("in.png", "tool.png", glitch_tool_options));
  ASSERT_EQ(tool.exit_code, 0) << tool.err;
  const Image expected = picture("tool.png");

  Filter filter(plugin, 36, 20);
  for (std::size_t i = 0; i < glitch_values.size(); ++i) {
    filter.set(static_cast<int>(i), glitch_values[i]);
  }
  EXPECT_EQ(filter.render(input.rgba), expected.rgba);

  std::vector<std::uint32_t> frame(input.rgba.size() / 4);
  std::memcpy(frame.data(), input.rgba.data(), input.rgba.size());
  plugin.update(filter.instance, 0.0, frame.data(), frame.data());
  EXPECT_EQ(std::memcmp(frame.data(), expected.rgba.data(), expected.rgba.size()), 0);
}

TEST(Frei0rThreads, InstancesOnSeveralThreadsRenderAsTheyDoAlone) {
  Plugin plugin;
  ASSERT_TRUE(plugin.complete());
  struct Job {
    unsigned width;
    unsigned height;
    double broken_bytes;
    std::vector<std::uint8_t> expected;
    std::vector<std::vector<std::uint8_t>> results;
  };
  std::vector<Job> jobs = {{48, 32, 0.003, {}, {}}, {40, 24, 0.01, {}, {}}, {64, 16, 0.0, {}, {}}};
  for (Job& job : jobs) {
    Filter alone(plugin, job.width, job.height);
    alone.set(1, job.broken_bytes);
    job.expected =
        alone.render(test_picture(static_cast<std::int32_t>(job.width), static_cast<std::int32_t>(job.height)).rgba);
  }
  std::vector<std::thread> threads;
  for (Job& job : jobs) {
    threads.emplace_back([&plugin, &job] {
      Filter filter(plugin, job.width, job.height);
      filter.set(1, job.broken_bytes);
      const Image input = test_picture(static_cast<std::int32_t>(job.width), static_cast<std::int32_t>(job.height));
      for (int frame = 0; frame < 8; ++frame) {
        job.results.push_back(filter.render(input.rgba));
      }
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  for (const Job& job : jobs) {
    ASSERT_EQ(job.results.size(), 8u);
    for (const std::vector<std::uint8_t>& result : job.results) {
      EXPECT_EQ(result, job.expected) << job.width << "x" << job.height;
    }
  }
}

TEST(MessageDestination, EnvironmentChoosesStandardErrorOrStandardOutputElseNothing) {
  const char* variable = "SHARDCAST_FREI0R_TEST_MESSAGES";
  ::unsetenv(variable);
  EXPECT_EQ(MessageSink::from_environment(variable).write, nullptr);
  ::setenv(variable, "stderr", 1);
  EXPECT_EQ(MessageSink::from_environment(variable).write, MessageSink::standard_error().write);
  ::setenv(variable, "stdout", 1);
  EXPECT_EQ(MessageSink::from_environment(variable).write, MessageSink::standard_output().write);
  ::setenv(variable, "STDERR", 1);
  EXPECT_EQ(MessageSink::from_environment(variable).write, nullptr);
  ::unsetenv(variable);
}

}  // namespace
}  // namespace shardcast::frei0r
