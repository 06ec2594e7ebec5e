// Keyed parameter values: the option text, the value at a frame as a host
// interpolates it, ranges over frames; frame rates, time ranges and the
// host time of a frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "cli/frames/frame_timing.h"
#include "cli/parameters/animated_values.h"
#include "cli/parameters/parameter_options.h"

namespace shardcast::cli {
namespace {

ValueTrack track_of(const std::string& text, bool checkbox = false) {
  ValueTrack track;
  EXPECT_EQ(parse_track(text, checkbox, track), "") << text;
  return track;
}

TEST(ValueTrack, ParsesAValueOrKeysInAscendingFrames) {
  EXPECT_FALSE(track_of("12.5").animated());
  EXPECT_EQ(track_of("12.5").at(1000), 12.5);
  const ValueTrack keys = track_of("0@0,400@48,0@96");
  ASSERT_EQ(keys.keys.size(), 3u);
  EXPECT_EQ(keys.keys[1].frame, 48);
  EXPECT_EQ(keys.keys[1].value, 400);
  EXPECT_TRUE(keys.animated());
  EXPECT_FALSE(keys.hold);
  EXPECT_TRUE(track_of("off@0,on@10", true).hold);

  const struct {
    const char* text;
    bool checkbox;
    const char* refusal;
  } refused[] = {
      {"abc", false, "expected a number"},
      {"maybe", true, "expected on or off"},
      {"1@", false, "expected a number"},
      {"@3", false, "expected a number"},
      {"1@-3", false, "expected a number"},
      {"1@2.5", false, "expected a number"},
      {"1@0,,2@4", false, "expected a number"},
      {"1@0,2@4,", false, "expected a number"},
      {"1@4,2@4", false, "frame 4 follows frame 4"},
      {"1@9,2@3", false, "frame 3 follows frame 9"},
      {"1@1000000000", false, "expected a number"},
      {"on@0,2@3", true, "expected on or off"},
  };
  for (const auto& r : refused) {
    ValueTrack track;
    const std::string refusal = parse_track(r.text, r.checkbox, track);
    EXPECT_NE(refusal.find(r.refusal), std::string::npos) << r.text << ": " << refusal;
  }
}

TEST(ValueTrack, SlidersMoveInAStraightLineAndHoldOutsideTheKeys) {
  const ValueTrack track = track_of("10@4,30@8,0@10");
  const struct {
    double frame;
    double value;
  } expected[] = {{0, 10}, {4, 10}, {5, 15}, {6, 20}, {7.5, 27.5}, {8, 30}, {9, 15}, {10, 0}, {500, 0}};
  for (const auto& e : expected) {
    EXPECT_EQ(track.at(e.frame), e.value) << e.frame;
  }
}

TEST(ValueTrack, CheckboxesHoldUntilTheNextKey) {
  const ValueTrack track = track_of("off@2,on@5,off@6", true);
  for (const auto& [frame, value] :
       std::vector<std::pair<double, double>>{{0, 0}, {4.99, 0}, {5, 1}, {5.5, 1}, {6, 0}, {100, 0}}) {
    EXPECT_EQ(track.at(frame), value) << frame;
  }
}

TEST(ValueTrack, KeysGiveTheirValuesExactlyAndNothingLeavesTheirRange) {
  // 0.1 + (0.7 - 0.1) * 1 is not 0.7 in doubles; a key's frame must be.
  const ValueTrack track = track_of("0.1@0,0.7@3,0.3@7");
  EXPECT_EQ(track.at(3), 0.7);
  EXPECT_EQ(track.at(7), 0.3);
  for (double frame = 0; frame <= 7; frame += 0.125) {
    const double value = track.at(frame);
    EXPECT_GE(value, 0.1) << frame;
    EXPECT_LE(value, 0.7) << frame;
  }
  EXPECT_EQ(track.lowest(0, 7), 0.1);
  EXPECT_EQ(track.highest(0, 7), 0.7);
  EXPECT_EQ(track.highest(4, 7), track.at(4));  // the key at 3 lies outside
  EXPECT_EQ(track.lowest(1, 2), track.at(1));
}

TEST(AnimatedValues, SeedStepAddsToTheKeyedSeed) {
  AnimatedValues values;
  values.tracks[PARAM_SEED] = track_of("10@0,20@10");
  EXPECT_FALSE(values.animated(PARAM_SEED + 1));
  EXPECT_TRUE(values.animated(PARAM_SEED));
  values.seed_step = 3;
  EXPECT_EQ(values.at(PARAM_SEED, 5), 15 + 15);
  values.tracks[PARAM_SEED] = ValueTrack::constant(10);
  EXPECT_TRUE(values.animated(PARAM_SEED));
  EXPECT_EQ(values.at_frame(4)[PARAM_SEED], 22);
}

TEST(AnimatedValues, EveryKeyIsCheckedAgainstTheRegisteredRange) {
  ParameterInfo bytes;
  bytes.index = 3;
  bytes.shown_name = "Broken bytes";
  bytes.group = "Broken bytes";
  bytes.minimum = 0;
  bytes.maximum = 10000;
  ParameterValues given;
  given.given[3] = track_of("0@0,10001@12,5@20");
  AnimatedValues values;
  const std::string refusal = resolve_tracks({bytes}, given, values);
  EXPECT_NE(refusal.find("--broken-bytes (\"Broken bytes\" in \"Broken bytes\") must lie between 0 and 10000 (the key "
                         "at frame 12 is 10001)"),
            std::string::npos)
      << refusal;
  given.given[3] = track_of("0@0,400@12");
  EXPECT_EQ(resolve_tracks({bytes}, given, values), "");
  EXPECT_EQ(values.at(3, 6), 200);
  ResolvedValues constant{};
  EXPECT_NE(resolve_values({bytes}, given, constant).find("takes one value here"), std::string::npos);
}

TEST(FrameRate, ParsesWholeFractionalAndNtscRates) {
  const struct {
    const char* text;
    std::int64_t numerator;
    std::int64_t denominator;
  } rates[] = {{"25", 25, 1},          {"30000/1001", 30000, 1001},
               {"29.97", 30000, 1001}, {"23.976", 24000, 1001},
               {"59.94", 60000, 1001}, {"12.5", 25, 2},
               {"50/2", 25, 1},        {"0.5", 1, 2}};
  for (const auto& r : rates) {
    FrameRate rate;
    ASSERT_EQ(FrameRate::parse(r.text, rate), "") << r.text;
    EXPECT_EQ(rate.numerator, r.numerator) << r.text;
    EXPECT_EQ(rate.denominator, r.denominator) << r.text;
  }
  for (const char* text : {"0", "-25", "abc", "25/0", "1001", "1/2000", "nan", ""}) {
    FrameRate rate;
    EXPECT_NE(FrameRate::parse(text, rate), "") << text;
  }
}

TEST(TimeRange, ParsesSecondsAndMinutes) {
  TimeRange range;
  ASSERT_EQ(TimeRange::parse("1.5-4", range), "");
  EXPECT_EQ(range.start, 1.5);
  EXPECT_EQ(range.end, 4);
  EXPECT_TRUE(range.contains(1.5));
  EXPECT_FALSE(range.contains(4));
  ASSERT_EQ(TimeRange::parse("1:02.5-1:1:00", range), "");
  EXPECT_EQ(range.start, 62.5);
  EXPECT_EQ(range.end, 3660);
  EXPECT_FALSE(range.open_end());
  ASSERT_EQ(TimeRange::parse("9.5-", range), "");
  EXPECT_EQ(range.start, 9.5);
  EXPECT_TRUE(range.open_end());
  EXPECT_TRUE(range.contains(1e9));
  for (const char* text : {"4-1.5", "2-2", "1:60-2:00", "a-b", "3", "1.5:00-2:00", "-", "-4", "x-"}) {
    EXPECT_NE(TimeRange::parse(text, range), "") << text;
  }
}

TEST(HostTime, AFramesTimeDividedByTheStepGivesTheFrameBack) {
  for (const char* text : {"25", "30000/1001", "12.5"}) {
    FrameRate rate;
    ASSERT_EQ(FrameRate::parse(text, rate), "");
    for (const std::int64_t frame : {0, 1, 47, 2000000}) {
      HostTime time;
      ASSERT_TRUE(host_time(rate, frame, time)) << text << " " << frame;
      EXPECT_EQ(static_cast<double>(time.current_time) / static_cast<double>(time.time_step),
                static_cast<double>(frame));
      EXPECT_EQ(static_cast<double>(time.time_step) / time.time_scale, 1.0 / rate.per_second());
    }
  }
  HostTime time;
  EXPECT_FALSE(host_time(FrameRate{30000, 1001}, 3000000, time));  // past the host's 32-bit time
}

TEST(HostTime, TheLastFrameMustEndOnTheHostsClock) {
  const struct {
    FrameRate rate;
    std::int64_t last;
  } cases[] = {
      {{30000, 1001}, 2145337},  // 2145338 x 1001 fits, but not its end
      {{2147483647, 2147483646}, 0},
      {{1, 2147483647}, 0},
      {{25, 1}, 2147483646},
  };
  for (const auto& c : cases) {
    const std::string rate = c.rate.text();
    EXPECT_EQ(last_host_frame(c.rate), c.last) << rate;
    HostTime time;
    ASSERT_TRUE(host_time(c.rate, c.last, time)) << rate;
    EXPECT_LE(std::int64_t{time.current_time} + time.time_step, INT32_MAX) << rate;
    EXPECT_FALSE(host_time(c.rate, c.last + 1, time)) << rate;
    EXPECT_NE(beyond_host_time(c.rate, c.last + 1).find(std::to_string(c.last + 1)), std::string::npos);
  }
}

TEST(FrameRate, AClipsRateIsAnyFractionTheHostsClockCanStepBy) {
  FrameRate rate;
  ASSERT_TRUE(FrameRate::from_fraction(200000, 2, rate));  // far above what --fps takes
  EXPECT_EQ(rate.text(), "100000");
  ASSERT_TRUE(FrameRate::from_fraction(2, 2000000, rate));
  EXPECT_EQ(rate.text(), "1/1000000");
  ASSERT_TRUE(FrameRate::from_fraction(std::int64_t{4294967294}, 2, rate));  // reduced first
  EXPECT_EQ(rate.numerator, 2147483647);
  for (const auto& [numerator, denominator] :
       {std::pair<std::int64_t, std::int64_t>{0, 1}, {1, 0}, {-25, 1}, {std::int64_t{1} << 31, 1}}) {
    EXPECT_FALSE(FrameRate::from_fraction(numerator, denominator, rate)) << numerator << "/" << denominator;
  }
}

}  // namespace
}  // namespace shardcast::cli
