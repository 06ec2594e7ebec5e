// libmltshardcast.so, the MLT filter "shardcast": keyed values read as the
// tool reads its keys, the metadata MLT reads for the service, and frames
// rendered by Debian's melt through the built filter compared byte for byte
// with `shardcast render` given the same keys: on one thread and on
// several at once, and for the projects Kdenlive and Shotcut saved.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

extern "C" {
#include <framework/mlt.h>
}

#include "describe/parameter_texts.h"
#include "hostsim/parameter_table.h"
#include "hostsim/simulated_host.h"
#include "mlt/keyed_values.h"
#include "support/effect_setup.h"
#include "support/host_programs.h"
#include "support/program_run.h"
#include "support/scratch_folder.h"

namespace shardcast::mlt {
namespace {

namespace fs = std::filesystem;
using testing::ProgramRun;

// ---- keyed values ----

struct CLocale {
  locale_t locale = newlocale(LC_NUMERIC_MASK, "C", nullptr);
  ~CLocale() { freelocale(locale); }
};

double at(const char* text, int position, bool hold = false, int length = 100, double fps = 25) {
  static const CLocale c;
  return value_at({text, hold}, {position, length, fps, c.locale});
}

struct KeyedCase {
  const char* text;
  int frame;
  double expected;  // the tool's value for the same keys
};

TEST(KeyedValues, SlidersMoveAsTheToolsKeysMove) {
  // The tool's --broken-bytes 0@0,400@48,0@96 and friends.
  const std::vector<KeyedCase> cases = {
      {"40", 0, 40},
      {"40", 77, 40},
      {"0=0;48=400;96=0", 0, 0},
      {"0=0;48=400;96=0", 12, 100},
      {"0=0;48=400;96=0", 48, 400},
      {"0=0;48=400;96=0", 72, 200},
      {"0=0;48=400;96=0", 200, 0},
      {"10=5;20=9", 3, 5},   // held before the first key
      {"0=0;10=5", 5, 2.5},  // fractional: the effect truncates, as it does the tool's
      {"0=-10;3=10", 1,
       -10 + 20 * (1.0 / 3.0)},  // v0 + (v1 - v0) * u, as the tool groups it  {"0=1;4=64", 3, 1 + 63 * 0.75},
      {"0=42;6|=87654321;24=25000001", 12, 87654321},  // a discrete key holds
      {"0=42;6|=87654321;24=25000001", 3, 42 + (87654321 - 42) * 0.5},
      {"0=25000001", 5, 25000001},  // every digit of a seed
      {"no number", 3, 0},
  };
  for (const KeyedCase& c : cases) {
    EXPECT_EQ(at(c.text, c.frame), c.expected) << c.text << " at " << c.frame;
  }
}

TEST(KeyedValues, SwitchesHoldTheKeyAtOrBeforeTheFrame) {
  // MLT alone would give 0.5 halfway between linear keys; hosts, and the
  // tool, hold a switch's state until the next key.
  const std::vector<KeyedCase> cases = {
      {"0=0;24=1", 12, 0}, {"0=0;24=1", 23, 0}, {"0=0;24=1", 24, 1}, {"0=0;24=1", 99, 1},
      {"0=1;24=0", 23, 1}, {"10=1;20=0", 5, 1}, {"0|=1;8|=0", 7, 1}, {"1", 50, 1},
  };
  for (const KeyedCase& c : cases) {
    EXPECT_EQ(at(c.text, c.frame, true), c.expected) << c.text << " at " << c.frame;
  }
}

TEST(KeyedValues, KeysWrittenAsTimesOrFromTheEndLandOnTheirFrames) {
  // Kdenlive and Shotcut write times; at 25 frames a second 0.48 s is
  // frame 12. A negative key counts back from the filter's length.
  for (int frame = 0; frame <= 30; ++frame) {
    EXPECT_EQ(at("00:00:00.000=0;00:00:00.480=40;00:00:00.960=8", frame), at("0=0;12=40;24=8", frame)) << frame;
    EXPECT_EQ(at("0=0;-1=60", frame, false, 31), at("0=0;30=60", frame)) << frame;
  }
}

// ---- metadata ----

std::vector<hostsim::ParameterInfo> registered_by_module() {
  hostsim::SimulatedHost host{fs::path(SHARDCAST_MODULE_PATH)};
  EXPECT_TRUE(testing::set_up_effect(host));
  return hostsim::registered_parameters(host);
}

TEST(MltMetadata, DescribesEveryParameterAsTheEffectRegistersIt) {
  const mlt_properties metadata = mlt_properties_parse_yaml(SHARDCAST_SOURCE_DIR "/packaging/mlt/filter_shardcast.yml");
  ASSERT_NE(metadata, nullptr);
  EXPECT_STREQ(mlt_properties_get(metadata, "identifier"), "shardcast");
  EXPECT_STREQ(mlt_properties_get(metadata, "type"), "filter");
  const auto parameters = static_cast<mlt_properties>(mlt_properties_get_data(metadata, "parameters", nullptr));
  ASSERT_NE(parameters, nullptr);
  const std::vector<hostsim::ParameterInfo> registered = registered_by_module();
  ASSERT_EQ(mlt_properties_count(parameters), static_cast<int>(registered.size()));
  for (std::size_t i = 0; i < registered.size(); ++i) {
    const hostsim::ParameterInfo& info = registered[i];
    SCOPED_TRACE(info.shown_name);
    const auto parameter =
        static_cast<mlt_properties>(mlt_properties_get_data_at(parameters, static_cast<int>(i), nullptr));
    ASSERT_NE(parameter, nullptr);
    // In the effect's order, under the tool's option name with '_' for '-'.
    EXPECT_EQ(std::string(mlt_properties_get(parameter, "identifier")), describe::mlt_name(*value_params[i]));
    EXPECT_EQ(value_params[i]->index, info.index);
    EXPECT_STREQ(mlt_properties_get(parameter, "animation"), "yes");
    if (info.kind == hostsim::ParameterKind::Checkbox) {
      EXPECT_STREQ(mlt_properties_get(parameter, "type"), "boolean");
      EXPECT_EQ(mlt_properties_get_double(parameter, "default"), info.default_value);
      continue;
    }
    EXPECT_STREQ(mlt_properties_get(parameter, "type"), "float");
    EXPECT_EQ(static_cast<float>(mlt_properties_get_double(parameter, "minimum")), info.minimum);
    EXPECT_EQ(static_cast<float>(mlt_properties_get_double(parameter, "maximum")), info.maximum);
    EXPECT_EQ(static_cast<float>(mlt_properties_get_double(parameter, "default")),
              static_cast<float>(info.default_value));
    EXPECT_EQ(mlt_properties_get_int(parameter, "scale"), info.precision);
  }
  mlt_properties_close(metadata);
}

// ---- melt ----

// A clip of ffmpeg's test pattern, and melt with the built filter beside
// the system's MLT modules and data.
class MeltRuns : public testing::ScratchFolder {
 protected:
  MeltRuns() : ScratchFolder("shardcast-mlt") {}

  void SetUp() override {
    ScratchFolder::SetUp();
    if (const std::string refusal = testing::host_refusal({"melt", "ffmpeg"}); !refusal.empty()) {
      GTEST_SKIP() << refusal;
    }
    link_folder(SHARDCAST_MLT_SYSTEM_MODULES, file("modules"), "libmltshardcast.so");
    fs::create_symlink(SHARDCAST_MLT_FILTER, file("modules") / "libmltshardcast.so");
    link_folder(SHARDCAST_MLT_SYSTEM_DATA, file("data"), "shardcast");
    fs::create_symlink(SHARDCAST_SOURCE_DIR "/packaging/mlt", file("data") / "shardcast");
  }

  // Links to everything in `from` but `except`.
  static void link_folder(const fs::path& from, const fs::path& to, const std::string& except) {
    fs::create_directories(to);
    for (const fs::directory_entry& entry : fs::directory_iterator(from)) {
      if (entry.path().filename() != except) {
        fs::create_symlink(entry.path(), to / entry.path().filename());
      }
    }
  }

  testing::ProgramEnvironment environment() const {
    testing::ProgramEnvironment settings;
    settings.unset = {"SHARDCAST_MLT_MESSAGES"};
    settings.set = testing::host_environment();
    settings.set.push_back("MLT_REPOSITORY=" + file("modules").string());
    settings.set.push_back("MLT_DATA=" + file("data").string());
    // No frei0r plugins: MLT would open every one installed, and some of
    // Debian's (those linking libgavl) hang melt at start-up under the
    // sanitizer runtimes.
    fs::create_directories(file("no-frei0r"));
    settings.set.push_back("FREI0R_PATH=" + file("no-frei0r").string());
    settings.set.push_back("MLT_FREI0R_PLUGIN_PATH=" + file("no-frei0r").string());
    return settings;
  }

  ProgramRun run(std::vector<std::string> words) const { return testing::run_program(folder_, std::move(words)); }

  void make_clip(const std::string& source, int frames) const {
    const ProgramRun clip =
        run({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", source, "-frames:v", std::to_string(frames),
             "-vf", "format=rgba", "-c:v", "png", "-pix_fmt", "rgba", "clip.mkv"});
    ASSERT_EQ(clip.exit_code, 0) << clip.err;
  }

  // melt's render of `input` (a clip with the filter, or a project) into
  // raw RGBA frames; a run that ends short is tried again.
  std::string melt_frames(std::vector<std::string> words, std::size_t frame_bytes, std::size_t frames,
                          const std::string& threads) const {
    words.insert(words.end(), {"-consumer", "avformat:melt.rgba", "f=rawvideo", "vcodec=rawvideo", "pix_fmt=rgba",
                               "mlt_image_format=rgba", "real_time=" + threads});
    const ProgramRun melt = testing::run_melt(folder_, words, environment(), [&] {
      return fs::exists(file("melt.rgba")) && fs::file_size(file("melt.rgba")) >= frame_bytes * frames;
    });
    EXPECT_EQ(melt.exit_code, 0) << melt.err.substr(0, 600);
    return testing::slurp(file("melt.rgba"));
  }

  // The tool's render of the clip with the given options, as raw RGBA.
  std::string tool_frames(const std::vector<std::string>& options) const {
    std::vector<std::string> words = {SHARDCAST_CLI_PATH, "render", "clip.mkv", "-o", "tool_%02d.png"};
    words.insert(words.end(), options.begin(), options.end());
    const ProgramRun tool = run(words);
    EXPECT_EQ(tool.exit_code, 0) << tool.err;
    const ProgramRun raw =
        run({"ffmpeg", "-nostdin", "-v", "error", "-i", "tool_%02d.png", "-f", "rawvideo", "-pix_fmt", "rgba", "-"});
    EXPECT_EQ(raw.exit_code, 0) << raw.err;
    return raw.out;
  }

  // Every frame of melt's render equals the tool's frame of the same number.
  static void expect_same_frames(const std::string& melt, const std::string& tool, std::size_t frame_bytes,
                                 std::size_t frames) {
    ASSERT_GE(melt.size(), frame_bytes * frames);
    ASSERT_EQ(tool.size(), frame_bytes * frames);
    for (std::size_t frame = 0; frame < frames; ++frame) {
      EXPECT_EQ(melt.compare(frame * frame_bytes, frame_bytes, tool, frame * frame_bytes, frame_bytes), 0)
          << "frame " << frame;
    }
  }
};

// The filter's keys and the tool's, for the same frames: linear keys, a
// discrete key, a switch keyed on and off, a seed with every digit.
// clang-format off
const std::vector<std::string> keyed_properties = {
    "compression_ratio=0=90;11=40",  "broken_bytes=0=2;6=60;11=10", "glitch_start=5",
    "glitch_end=0=95.5;11=40.25",    "seed=0=42;4|=87654321;11=3",  "qtl=0=0;5=1;9=0",
    "qtl_position=2",                "qtl_value=0=10;11=90",        "filter2=1",
    "filter2_value=0=-0.1;11=2.5"};
const std::vector<std::string> keyed_options = {
    "--compression-ratio", "90@0,40@11",   "--broken-bytes", "2@0,60@6,10@11", "--glitch-start", "5",
    "--glitch-end",        "95.5@0,40.25@11", "--seed",      "42@0,87654321@4,87654321@10,3@11",
    "--qtl",               "off@0,on@5,off@9", "--qtl-position", "2", "--qtl-value", "10@0,90@11",
    "--filter2",           "on",           "--filter2-value", "-0.1@0,2.5@11"};
// clang-format on

TEST_F(MeltRuns, KeyedValuesRenderAsTheToolRendersTheSameKeys) {
  make_clip("testsrc2=size=200x120:rate=10", 12);
  std::vector<std::string> words = {"melt", "clip.mkv", "-filter", "shardcast"};
  words.insert(words.end(), keyed_properties.begin(), keyed_properties.end());
  const std::size_t frame_bytes = 200 * 120 * 4;
  expect_same_frames(melt_frames(words, frame_bytes, 12, "0"), tool_frames(keyed_options), frame_bytes, 12);
}

// MLT renders frames on several threads at once (Shotcut does); each render
// takes an effect session of its own.
TEST_F(MeltRuns, FramesRenderedOnSeveralThreadsAtOnceAreTheFramesOfOne) {
  make_clip("testsrc2=size=320x240:rate=25", 40);
  std::vector<std::string> words = {"melt", "clip.mkv", "-filter", "shardcast"};
  words.insert(words.end(), keyed_properties.begin(), keyed_properties.end());
  const std::size_t frame_bytes = 320 * 240 * 4;
  const std::string tool = tool_frames(keyed_options);
  expect_same_frames(melt_frames(words, frame_bytes, 40, "-3"), tool, frame_bytes, 40);
}

struct EditorProject {
  const char* file;
  std::vector<std::string> options;  // the same keys, as tests/editors/README.md gives them
};

TEST_F(MeltRuns, ProjectsTheEditorsSavedRenderAsTheToolWithTheirKeys) {
  // clang-format off
  const std::vector<EditorProject> projects = {
      {"kdenlive-mlt-project.kdenlive",
       {"--compression-ratio", "60", "--broken-bytes", "0@0,40@12,8@24", "--glitch-start", "10",
        "--glitch-end", "90", "--seed", "42@0,999999@24", "--qtc", "on", "--qtc-position", "33",
        "--qtc-value", "51@0,249@12,80@24", "--qtc-breaking-bytes", "6", "--qtc-max-random", "128",
        "--qtc-seed", "7", "--filter1", "on", "--filter1-value", "2@0,-1.5@24"}},
      {"shotcut-mlt-project.mlt",
       {"--compression-ratio", "60", "--broken-bytes", "0@0,25@6,40@12,8@24", "--glitch-start", "25",
        "--glitch-end", "90", "--seed", "42@0,87654321@6,87654321@23,25000001@24", "--qtc", "on",
        "--qtc-position", "33", "--qtc-value", "51@0,80@24", "--qtc-breaking-bytes", "6",
        "--qtc-max-random", "128", "--qtc-seed", "7", "--filter1", "on", "--filter1-value", "2@0,-1.5@24"}},
  };
  // clang-format on
  make_clip("testsrc2=size=320x240:rate=25", 25);
  const std::size_t frame_bytes = 320 * 240 * 4;
  for (const EditorProject& project : projects) {
    SCOPED_TRACE(project.file);
    std::ifstream source(fs::path(SHARDCAST_SOURCE_DIR) / "tests/editors" / project.file);
    std::string text{std::istreambuf_iterator<char>(source), std::istreambuf_iterator<char>()};
    for (std::size_t at = text.find("@PROJECT_FOLDER@"); at != std::string::npos; at = text.find("@PROJECT_FOLDER@")) {
      text.replace(at, 16, folder_.string());
    }
    std::ofstream(file(project.file)) << text;
    fs::remove(file("melt.rgba"));
    // The Kdenlive project's clip ends at frame 23, its timeline later.
    const bool kdenlive = std::string(project.file).ends_with(".kdenlive");
    const std::size_t frames = kdenlive ? 24 : 25;
    std::vector<std::string> words = {"melt", project.file};
    if (kdenlive) {
      words.push_back("out=23");
    }
    const std::string melt = melt_frames(words, frame_bytes, frames, "0");
    const std::string tool = tool_frames(project.options);
    expect_same_frames(melt, tool.substr(0, frame_bytes * frames), frame_bytes, frames);
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_)) {
      if (entry.path().filename().string().starts_with("tool_")) {
        fs::remove(entry.path());
      }
    }
  }
}

TEST_F(MeltRuns, MeltListsTheServiceWithItsMetadata) {
  const ProgramRun query =
      testing::run_melt(folder_, {"melt", "-query", "filter=shardcast"}, environment(), [] { return true; });
  ASSERT_EQ(query.exit_code, 0) << query.err;
  EXPECT_NE(query.out.find("identifier: shardcast"), std::string::npos) << query.out.substr(0, 400);
  EXPECT_NE(query.out.find("identifier: qtc_breaking_bytes"), std::string::npos);
}

}  // namespace
}  // namespace shardcast::mlt
