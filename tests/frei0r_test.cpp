// shardcast.so, the frei0r filter: its face towards frei0r hosts (plug-in
// and parameter infos), the mapping of frei0r values onto the effect's
// ranges, and frames compared byte for byte with `shardcast render` of the
// same pictures and values: called directly, and inside Debian's ffmpeg and
// melt when they are installed.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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
#include "support/host_programs.h"
#include "support/program_run.h"
#include "support/scratch_folder.h"

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

std::string shortest(double value) {
  char text[64];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
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

// ---- programs: the tool, ffmpeg, melt ----

using testing::ProgramRun;
using testing::slurp;

// frei0r values with damage, table tampering and a filter, and the values
// the tool must be given for the same render, worked out by hand from the
// registered ranges (min + x * (max - min), rounded to the shown decimals).
// clang-format off
const std::vector<double> glitch_values = {
    0.6,    // Compression ratio: 60.4 -> 60
    0.004,  // Broken bytes: 40
    0.1,    // start of glitch: 9.99
    0.9,    // end of glitch: 90.01
    0.25,   // broken bytes seed: 25000000.75 -> 25000001
    1,      // QTC on
    0.5,    // QTC position: 32.5 -> 33
    0.2,    // QTC value: 51
    0.1,    // chroma breaking bytes: 6.4 -> 6
    0.5,    // chroma max random value: 127.5 -> 128
    0.01,   // chroma seed: 1000000.99 -> 1000001
    0,      // QTL off
    0.0634920634920635,  // QTL position: the default, 5
    0, 0, 0, 0,          // QTL value, breaking bytes, max random value, seed: defaults
    1, 1, 1,             // Inverse DCT, YCbCrToRGB, Dequantize on
    1,                   // filter 1 on
    0.6,                 // filter 1 value: 2
    0,                   // filter 2 off
    0.495,               // filter 2 value: the default, -0.1
};
// clang-format on
// clang-format off
const std::vector<std::string> glitch_tool_options = {
    "--compression-ratio", "60",   "--broken-bytes",       "40",   "--glitch-start",   "9.99",
    "--glitch-end",        "90.01", "--seed",              "25000001", "--qtc",        "on",
    "--qtc-position",      "33",   "--qtc-value",          "51",   "--qtc-breaking-bytes", "6",
    "--qtc-max-random",    "128",  "--qtc-seed",           "1000001", "--filter1",     "on",
    "--filter1-value",     "2"};
// clang-format on

// The same values as ffmpeg's frei0r filter takes them: in frei0r order,
// separated by '|', booleans as y or n.
std::string ffmpeg_parameters(const std::vector<double>& values) {
  std::string text;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) {
      text += '|';
    }
    if (filter_parameters[i].kind == ParameterKind::Checkbox) {
      text += values[i] >= 0.5 ? "y" : "n";
    } else {
      text += shortest(values[i]);
    }
  }
  return text;
}

std::vector<std::string> tool_render(const std::string& input, const std::string& output,
                                     const std::vector<std::string>& options) {
  std::vector<std::string> words = {SHARDCAST_CLI_PATH, "render", input, "-o", output};
  words.insert(words.end(), options.begin(), options.end());
  return words;
}

// prefix_01.png ... : the file of one frame of a numbered sequence.
std::string frame_file(const char* prefix, int frame) {
  char number[8];
  std::snprintf(number, sizeof number, "%02d", frame);
  return std::string(prefix) + number + ".png";
}

class Frei0rFiles : public testing::ScratchFolder {
 protected:
  Frei0rFiles() : ScratchFolder("shardcast-frei0r") {}

  // Runs a program (found on PATH) in the folder with extra environment
  // entries; standard output and error are captured.
  ProgramRun run(std::vector<std::string> words, const std::vector<std::string>& environment = {},
                 int time_limit_seconds = 0) const {
    testing::ProgramEnvironment settings;
    settings.time_limit_seconds = time_limit_seconds;
    settings.unset = {"SHARDCAST_FREI0R_MESSAGES"};
    settings.set = {std::string("FREI0R_PATH=") + SHARDCAST_FREI0R_DIR};
    settings.set.insert(settings.set.end(), environment.begin(), environment.end());
    return testing::run_program(folder_, std::move(words), settings);
  }

  // The ten frames a host wrote (out_01.png ...) against the tool's renders
  // of the same input frames (in_01.png ...) with the same values.
  void expect_frames_equal_tool_renders(const ProgramRun& host) const {
    std::vector<std::string> words = tool_render("in_%02d.png", "tool_%02d.png", glitch_tool_options);
    words.insert(words.end(), {"--frames", "1-10"});
    const ProgramRun tool = run(words);
    ASSERT_EQ(tool.exit_code, 0) << tool.err;
    for (int frame = 1; frame <= 10; ++frame) {
      ASSERT_TRUE(fs::exists(file(frame_file("out_", frame)))) << host.err.substr(0, 600);
      const Image input = picture(frame_file("in_", frame));
      const Image ours = picture(frame_file("out_", frame));
      ASSERT_EQ(ours.width, input.width);
      ASSERT_EQ(ours.height, input.height);
      EXPECT_NE(ours.rgba, input.rgba) << "frame " << frame << " came through unglitched";
      EXPECT_EQ(ours.rgba, picture(frame_file("tool_", frame)).rgba) << "frame " << frame;
    }
  }

  Image picture(const std::string& name) const {
    Image image;
    const cli::ImageResult read = cli::read_image(file(name).string(), image);
    EXPECT_TRUE(read.ok()) << name << ": " << read.error;
    return image;
  }
};

using testing::host_environment;
using testing::host_refusal;

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

// ---- inside real hosts ----

// ffmpeg 5.1 hands a frei0r filter its frame buffers as they are, rows
// padded to its alignment (64 bytes here), while frei0r frames have none:
// only widths that are a multiple of 16 pixels come through intact, so the
// clip is 320 wide.
TEST_F(Frei0rFiles, FfmpegClipFramesEqualTheToolsRendersOfTheSameFrames) {
  if (const std::string refusal = host_refusal({"ffmpeg"}); !refusal.empty()) {
    GTEST_SKIP() << refusal;
  }
  const std::string source = "testsrc2=size=320x240:rate=10";
  const ProgramRun frames = run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", source, "-frames:v", "10",
                                 "-vf", "format=rgba", "-pix_fmt", "rgba", "in_%02d.png"});
  ASSERT_EQ(frames.exit_code, 0) << frames.err;
  const ProgramRun glitched =
      run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", source, "-frames:v", "10", "-vf",
           "format=rgba,frei0r=shardcast:" + ffmpeg_parameters(glitch_values) + ",format=rgba", "-pix_fmt", "rgba",
           "out_%02d.png"},
          host_environment());
  ASSERT_EQ(glitched.exit_code, 0) << glitched.err;
  expect_frames_equal_tool_renders(glitched);
}

// The README's recipe for frames of any width in ffmpeg: pad to a
// multiple of 16 with black, glitch, crop back to the clip's own width
// (read with ffprobe), so that the aspect ratio is kept. Each frame is then
// the tool's render of the padded frame, cropped.
TEST_F(Frei0rFiles, FfmpegPadAndCropRecipeKeepsTheSizeAndMatchesTheToolOnThePaddedFrames) {
  if (const std::string refusal = host_refusal({"ffmpeg", "ffprobe"}); !refusal.empty()) {
    GTEST_SKIP() << refusal;
  }
  const ProgramRun clip =
      run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=200x120:rate=10", "-frames:v", "10",
           "-c:v", "ffv1", "-pix_fmt", "bgra", "in.mkv"});
  ASSERT_EQ(clip.exit_code, 0) << clip.err;
  const std::string recipe =
      "w=$(ffprobe -v error -select_streams v:0 -show_entries stream=width -of csv=p=0 in.mkv) && "
      "ffmpeg -nostdin -v error -i in.mkv -vf \"pad=ceil(iw/16)*16:ih,format=rgba,frei0r=shardcast:" +
      ffmpeg_parameters(glitch_values) + ",format=rgba,crop=$w:ih:0:0\" -pix_fmt rgba out_%02d.png";
  const ProgramRun glitched = run({"sh", "-c", recipe}, host_environment());
  ASSERT_EQ(glitched.exit_code, 0) << glitched.err;

  const ProgramRun frames =
      run({"ffmpeg", "-nostdin", "-v", "error", "-i", "in.mkv", "-pix_fmt", "rgba", "in_%02d.png"});
  ASSERT_EQ(frames.exit_code, 0) << frames.err;
  for (int frame = 1; frame <= 10; ++frame) {
    const Image input = picture(frame_file("in_", frame));
    Image padded = Image::filled(208, 120, 0, 0, 0, 255);
    for (std::int32_t y = 0; y < 120; ++y) {
      std::memcpy(padded.pixel(0, y), input.rgba.data() + static_cast<std::size_t>(y) * 200 * 4, 200 * 4);
    }
    ASSERT_TRUE(cli::write_image(file(frame_file("padded_", frame)).string(), padded).ok());
  }
  std::vector<std::string> words = tool_render("padded_%02d.png", "tool_%02d.png", glitch_tool_options);
  const ProgramRun tool = run(words);
  ASSERT_EQ(tool.exit_code, 0) << tool.err;
  for (int frame = 1; frame <= 10; ++frame) {
    const Image ours = picture(frame_file("out_", frame));
    ASSERT_EQ(ours.width, 200);
    ASSERT_EQ(ours.height, 120);
    Image expected = picture(frame_file("tool_", frame));
    Image cropped = Image::filled(200, 120, 0, 0, 0, 0);
    for (std::int32_t y = 0; y < 120; ++y) {
      std::memcpy(cropped.pixel(0, y), expected.pixel(0, y), 200 * 4);
    }
    EXPECT_EQ(ours.rgba, cropped.rgba) << "frame " << frame;
    EXPECT_NE(ours.rgba, picture(frame_file("in_", frame)).rgba) << "frame " << frame;
  }
}

TEST_F(Frei0rFiles, FfmpegStandardOutputCarriesOnlyVideoUnlessMessagesAreAsked) {
  if (const std::string refusal = host_refusal({"ffmpeg"}); !refusal.empty()) {
    GTEST_SKIP() << refusal;
  }
  const std::vector<std::string> words = {
      "ffmpeg",    "-nostdin", "-v",       "error",
      "-f",        "lavfi",    "-i",       "testsrc2=size=64x48:rate=10",
      "-frames:v", "2",        "-vf",      "format=rgba,frei0r=shardcast:1|0.01,format=rgba",
      "-f",        "rawvideo", "-pix_fmt", "rgba",
      "-"};
  const ProgramRun quiet = run(words, host_environment());
  ASSERT_EQ(quiet.exit_code, 0) << quiet.err;
  EXPECT_EQ(quiet.out.size(), 64u * 48u * 4u * 2u);
  EXPECT_EQ(quiet.err.find("Reading "), std::string::npos);

  std::vector<std::string> environment = host_environment();
  environment.push_back("SHARDCAST_FREI0R_MESSAGES=stderr");
  const ProgramRun told = run(words, environment);
  ASSERT_EQ(told.exit_code, 0) << told.err;
  EXPECT_EQ(told.out, quiet.out);
  EXPECT_NE(told.err.find("Reading SOF"), std::string::npos) << told.err.substr(0, 400);
  EXPECT_NE(told.err.find("Error - "), std::string::npos);
}

TEST_F(Frei0rFiles, MeltClipFramesEqualTheToolsRendersOfTheSameFrames) {
  if (const std::string refusal = host_refusal({"ffmpeg", "melt"}); !refusal.empty()) {
    GTEST_SKIP() << refusal;
  }
  // A lossless RGBA clip (MLT's picture producer needs a display, its
  // avformat producer reads clips), its frames as PNG, and a profile of the
  // clip's own size so that MLT does not scale. MLT hands frei0r filters
  // rows without padding, so unlike ffmpeg it takes any width: this one is
  // widened inside the render.
  const ProgramRun clip =
      run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=200x120:rate=10", "-frames:v", "10",
           "-vf", "format=rgba", "-c:v", "png", "-pix_fmt", "rgba", "clip.mkv"});
  ASSERT_EQ(clip.exit_code, 0) << clip.err;
  const ProgramRun frames =
      run({"ffmpeg", "-nostdin", "-v", "error", "-i", "clip.mkv", "-pix_fmt", "rgba", "in_%02d.png"});
  ASSERT_EQ(frames.exit_code, 0) << frames.err;
  std::ofstream(file("profile")) << "description=clip\nframe_rate_num=10\nframe_rate_den=1\nwidth=200\nheight=120\n"
                                    "progressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
                                    "display_aspect_num=5\ndisplay_aspect_den=3\ncolorspace=601\n";

  // MLT takes frei0r values by parameter number, booleans as numbers too.
  std::vector<std::string> words = {"melt", "-profile", "profile", "clip.mkv", "-filter", "frei0r.shardcast"};
  for (std::size_t i = 0; i < glitch_values.size(); ++i) {
    words.push_back(std::to_string(i) + "=" + shortest(glitch_values[i]));
  }
  // real_time=0: every frame is rendered; in its default real-time mode a
  // consumer that falls behind (a busy machine) drops frames.
  words.insert(words.end(), {"-consumer", "avformat:out_%02d.png", "vcodec=png", "pix_fmt=rgba",
                             "mlt_image_format=rgba", "real_time=0"});
  testing::ProgramEnvironment environment;
  environment.unset = {"SHARDCAST_FREI0R_MESSAGES"};
  environment.set = host_environment();
  environment.set.push_back(std::string("FREI0R_PATH=") + SHARDCAST_FREI0R_DIR);
  const ProgramRun melt =
      testing::run_melt(folder_, words, environment, [&] { return fs::exists(file(frame_file("out_", 10))); });
  ASSERT_EQ(melt.exit_code, 0) << melt.err;
  expect_frames_equal_tool_renders(melt);
}

// GStreamer's frei0r wrapper (gst-plugins-bad) makes every frei0r
// parameter a property of the element frei0r-filter-shardcast, named in
// lower case with '-' for spaces, sliders as doubles in [0, 1] and switches
// as booleans. Its frames have rows without padding, so any width passes.
TEST_F(Frei0rFiles, GstreamerPipelineFramesEqualTheToolsRendersOfTheSameFrames) {
  if (const std::string refusal = host_refusal({"gst-launch-1.0", "ffmpeg"}); !refusal.empty()) {
    GTEST_SKIP() << refusal;
  }
  const ProgramRun frames =
      run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "testsrc2=size=200x120:rate=10", "-frames:v", "10",
           "-vf", "format=rgba", "-pix_fmt", "rgba", "in_%02d.png"});
  ASSERT_EQ(frames.exit_code, 0) << frames.err;
  std::vector<std::string> words = {"gst-launch-1.0",
                                    "-q",
                                    "multifilesrc",
                                    "location=in_%02d.png",
                                    "index=1",
                                    "stop-index=10",
                                    "caps=image/png,framerate=10/1",
                                    "!",
                                    "pngdec",
                                    "!",
                                    "videoconvert",
                                    "!",
                                    "video/x-raw,format=RGBA",
                                    "!",
                                    "frei0r-filter-shardcast"};
  for (std::size_t i = 0; i < glitch_values.size(); ++i) {
    std::string property = filter_parameters[i].name;
    for (char& c : property) {
      c = c == ' ' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const bool is_switch = filter_parameters[i].kind == ParameterKind::Checkbox;
    words.push_back(property + "=" +
                    (is_switch ? (glitch_values[i] >= 0.5 ? "true" : "false") : shortest(glitch_values[i])));
  }
  words.insert(words.end(), {"!", "videoconvert", "!", "video/x-raw,format=RGBA", "!", "pngenc", "!", "multifilesink",
                             "location=out_%02d.png", "index=1"});
  std::vector<std::string> environment = host_environment();
  // A registry of its own, so that no cached scan of another build is used.
  environment.push_back("GST_REGISTRY=" + file("registry.bin").string());
  const ProgramRun pipeline = run(words, environment, 120);
  if (pipeline.err.find("no element \"frei0r-filter-shardcast\"") != std::string::npos) {
    GTEST_SKIP() << "GStreamer's frei0r wrapper is not installed (gstreamer1.0-plugins-bad)";
  }
  ASSERT_EQ(pipeline.exit_code, 0) << pipeline.err;
  expect_frames_equal_tool_renders(pipeline);
}

}  // namespace
}  // namespace shardcast::frei0r
