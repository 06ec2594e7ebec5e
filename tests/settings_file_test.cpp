// Settings files: what a hand-written file may hold, the one line a bad
// one gets, the text `params --save` writes reading back as the same
// values, and the command line's values winning over the file's.
#include <gtest/gtest.h>

#include <string>

#include "cli/parameters/animated_values.h"
#include "cli/parameters/settings_file.h"
#include "cli/system/data_folders.h"

namespace shardcast::cli {
namespace {

const ValueTrack& track_at(const Settings& settings, ParamIndex index) {
  static const ValueTrack none;
  const auto& track = settings.tracks[static_cast<std::size_t>(index)];
  return track.has_value() ? *track : none;
}

TEST(SettingsFile, TakesNumbersSwitchesAndTheCommandLinesOwnForms) {
  Settings settings;
  ASSERT_EQ(parse_settings("# a look\n"
                           "compression-ratio = 80\n"
                           "filter1-value = -0.55\n"
                           "qtl = true\n"
                           "qtc = \"on\"\n"
                           "dequantize = 0\n"
                           "broken-bytes = \"0@0,400@48,0@96\"\n"
                           "filter1 = \"off@0,on@24\"\n"
                           "seed = '12'\n",
                           "look.toml", settings),
            "");
  EXPECT_EQ(track_at(settings, PARAM_COMPRESSION_RATIO).at(0), 80.0);
  EXPECT_EQ(track_at(settings, PARAM_FILTER1_VALUE).at(0), -0.55);
  EXPECT_EQ(track_at(settings, PARAM_QTL).at(0), 1.0);
  EXPECT_EQ(track_at(settings, PARAM_QTC).at(0), 1.0);
  EXPECT_EQ(track_at(settings, PARAM_DEQUANTIZE).at(0), 0.0);
  EXPECT_EQ(track_at(settings, PARAM_SEED).at(0), 12.0);
  EXPECT_EQ(track_at(settings, PARAM_BROKEN_BYTES).at(24), 200.0);
  EXPECT_TRUE(track_at(settings, PARAM_FILTER1).hold);
  EXPECT_EQ(track_at(settings, PARAM_FILTER1).at(23), 0.0);
  EXPECT_EQ(settings.lines[PARAM_BROKEN_BYTES], 7);
  EXPECT_FALSE(settings.tracks[PARAM_GLITCH_START].has_value());
}

// A number in the file is the number the same text gives on the command
// line, to the last bit.
TEST(SettingsFile, ReadsDecimalsAsTheCommandLineDoes) {
  for (const char* text : {"0.1", "9.99", "-0.30000000000000004", "1e-7", "-9.9", "3.14159265358979", "5"}) {
    Settings settings;
    ASSERT_EQ(parse_settings(std::string("filter2-value = ") + text + "\n", "f.toml", settings), "") << text;
    double typed = 0;
    ASSERT_TRUE(parse_number(text, typed));
    EXPECT_EQ(track_at(settings, PARAM_FILTER2_VALUE).at(0), typed) << text;
  }
}

TEST(SettingsFile, RefusesWithOneLineNamingTheFileTheLineAndTheKey) {
  const struct {
    const char* text;
    const char* refusal;
  } refused[] = {
      {"seed = 3\nbrokn-bytes = 2\n", "s.toml:2: \"brokn-bytes\" is no parameter"},
      {"qtl = 2\n", "s.toml:1: qtl: expected true or false (or on, off), not 2"},
      {"qtl = 0.5\n", "s.toml:1: qtl: expected true or false (or on, off), not 0.5"},
      {"qtl = \"maybe\"\n", "s.toml:1: qtl: expected on or off"},
      {"seed = true\n", "s.toml:1: seed: expected a number, not true"},
      {"seed = [1, 2]\n", "s.toml:1: seed: expected a number, not an array"},
      {"\n[seed]\nvalue = 3\n", "s.toml:2: seed: expected a number, not a table"},
      {"seed = 1979-05-27\n", "s.toml:1: seed: expected a number, not a date or time"},
      {"broken-bytes = \"5@10,2@3\"\n", "s.toml:1: broken-bytes: key frames must ascend"},
      {"broken-bytes = 20000\n",
       "s.toml:1: broken-bytes (\"Broken bytes\" in \"Broken bytes\") must lie between 0 and "
       "10000"},
      {"glitch-end = 0.05\n", "s.toml:1: glitch-end (\"end of glitch\" in \"Broken bytes\") must lie between 0.1"},
      {"broken-bytes = \"0@0,10001@5\"\n", "must lie between 0 and 10000 (the key at frame 5 is 10001)"},
      {"seed = nan\n", "s.toml:1: seed (\"seed\" in \"Broken bytes\") must lie between 1 and 100000000"},
      {"seed = 3\nseed = 4\n", "s.toml:2: "},
      {"seed = \n", "s.toml:1: "},
      {"seed = 3 qtl = true\n", "s.toml:1: "},
      // The refusal a reader meets first, though keys come back sorted.
      {"zzz = 1\n\nbroken-bytes = -1\n", "s.toml:1: \"zzz\" is no parameter"},
      {"seed = 0\nbroken-bytes = -1\n", "s.toml:1: seed "},
  };
  for (const auto& r : refused) {
    Settings settings;
    const std::string refusal = parse_settings(r.text, "s.toml", settings);
    EXPECT_TRUE(refusal.starts_with(r.refusal) || refusal.find(r.refusal) != std::string::npos)
        << r.text << "\n  gave: " << refusal;
    EXPECT_EQ(refusal.find('\n'), std::string::npos) << refusal;
    EXPECT_FALSE(settings.tracks[PARAM_SEED].has_value()) << "a refused file sets nothing: " << r.text;
  }
}

TEST(SettingsFile, WritesTextThatReadsBackAsTheSameValues) {
  ParameterValues values;
  const struct {
    ParamIndex index;
    const char* text;
    bool checkbox;
  } given[] = {
      {PARAM_BROKEN_BYTES, "0@0,400@48,0@96", false},
      {PARAM_GLITCH_END, "99.9", false},
      {PARAM_FILTER2_VALUE, "-0.1", false},
      {PARAM_SEED, "100000000", false},
      {PARAM_QTL, "on", true},
      {PARAM_FILTER1, "off@0,on@24", true},
      {PARAM_GLITCH_START, "0.5@3,12.25@7", false},
  };
  for (const auto& g : given) {
    ValueTrack track;
    ASSERT_EQ(parse_track(g.text, g.checkbox, track), "");
    values.given[g.index] = track;
  }
  const std::string text = settings_text(values);
  Settings settings;
  ASSERT_EQ(parse_settings(text, "saved.toml", settings), "") << text;
  for (std::size_t index = 0; index < values.given.size(); ++index) {
    ASSERT_EQ(settings.tracks[index].has_value(), values.given[index].has_value()) << index << "\n" << text;
    if (!values.given[index].has_value()) {
      continue;
    }
    const ValueTrack& written = *values.given[index];
    const ValueTrack& read = *settings.tracks[index];
    EXPECT_EQ(read.hold, written.hold) << index;
    ASSERT_EQ(read.keys.size(), written.keys.size()) << index;
    for (std::size_t key = 0; key < read.keys.size(); ++key) {
      EXPECT_EQ(read.keys[key].frame, written.keys[key].frame) << index;
      EXPECT_EQ(read.keys[key].value, written.keys[key].value) << index;
    }
  }
  // Every parameter is named, those not given commented out at their
  // defaults, so the file is a form to fill in.
  for (const ParameterOption& option : parameter_options) {
    EXPECT_NE(text.find(std::string(option.name) + " = "), std::string::npos) << option.name;
  }
  EXPECT_NE(text.find("# compression-ratio = 100 "), std::string::npos);
}

TEST(SettingsFile, ValuesOnTheCommandLineWinParameterByParameter) {
  Settings settings;
  ASSERT_EQ(parse_settings("seed = 3\nbroken-bytes = 12\n", "s.toml", settings), "");
  ParameterValues values;
  values.given[PARAM_BROKEN_BYTES] = ValueTrack::constant(40);
  add_settings(settings, values);
  EXPECT_EQ(values.given[PARAM_BROKEN_BYTES]->at(0), 40.0);
  EXPECT_EQ(values.given[PARAM_SEED]->at(0), 3.0);
  EXPECT_FALSE(values.given[PARAM_QTL].has_value());
}

TEST(SettingsFile, ShortensTracksToTheCommandLinesForm) {
  const struct {
    const char* text;
    bool checkbox;
  } tracks[] = {{"12", false}, {"-0.1", false},       {"1e+08", false},
                {"on", true},  {"0@0,400@48", false}, {"off@0,on@24,off@30", true}};
  for (const auto& t : tracks) {
    ValueTrack track;
    ASSERT_EQ(parse_track(t.text, t.checkbox, track), "");
    EXPECT_EQ(track_text(track, t.checkbox), t.text);
  }
}

TEST(DataFolders, LooksBesideTheProgramThenWhereAnInstallationPutsThem) {
  const auto places = data_folder_places("/opt/sc/bin/shardcast", "../share/shardcast", "looks");
  ASSERT_EQ(places.size(), 2u);
  EXPECT_EQ(places[0], "/opt/sc/bin/looks");
  EXPECT_EQ(places[1], "/opt/sc/share/shardcast/looks");
  // A Windows installation keeps its data beside the program: one place.
  EXPECT_EQ(data_folder_places("C:/sc/shardcast.exe", ".", "looks").size(), 1u);
}

}  // namespace
}  // namespace shardcast::cli
