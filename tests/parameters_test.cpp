#include "pipeline/parameters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace shardcast {
namespace {

ParamValues values_with(std::initializer_list<std::pair<ParamIndex, double>> given) {
  ParamValues values{};
  for (const auto& [index, value] : given) {
    values[index] = value;
  }
  return values;
}

// Integer fields truncate toward zero; NaN, which has no nearest bound,
// becomes INT32_MIN, as in every truncation in the effect.
TEST(SettingsFromValues, IntegerFieldsAreTruncated) {
  struct Case {
    double value;
    std::int32_t expected;
  };
  constexpr std::int32_t int32_min = std::numeric_limits<std::int32_t>::min();
  for (const Case c : {Case{2.9, 2}, Case{64.0, 64}, Case{std::nan(""), int32_min}}) {
    SCOPED_TRACE(c.value);
    const GlitchSettings s = settings_from_values(values_with({{PARAM_COMPRESSION_RATIO, c.value},
                                                               {PARAM_BROKEN_BYTES, c.value},
                                                               {PARAM_SEED, c.value},
                                                               {PARAM_QTC_POSITION, c.value},
                                                               {PARAM_QTC_VALUE, c.value},
                                                               {PARAM_QTC_BREAKING_BYTES, c.value},
                                                               {PARAM_QTC_MAX_RANDOM, c.value},
                                                               {PARAM_QTC_SEED, c.value},
                                                               {PARAM_QTL_POSITION, c.value},
                                                               {PARAM_QTL_VALUE, c.value},
                                                               {PARAM_QTL_BREAKING_BYTES, c.value},
                                                               {PARAM_QTL_MAX_RANDOM, c.value},
                                                               {PARAM_QTL_SEED, c.value}}));
    for (const std::int32_t field :
         {s.quality, s.broken_bytes, s.seed, s.qtc_position, s.qtc_value, s.qtc_break_count, s.qtc_max_random,
          s.qtc_seed, s.qtl_position, s.qtl_value, s.qtl_break_count, s.qtl_max_random, s.qtl_seed}) {
      EXPECT_EQ(field, c.expected);
    }
  }
}

TEST(SettingsFromValues, EachValueReachesItsOwnField) {
  const GlitchSettings s = settings_from_values(values_with({{PARAM_COMPRESSION_RATIO, 1},
                                                             {PARAM_BROKEN_BYTES, 3},
                                                             {PARAM_GLITCH_START, 4.25},
                                                             {PARAM_GLITCH_END, 5.5},
                                                             {PARAM_SEED, 6},
                                                             {PARAM_QTC, 1},
                                                             {PARAM_QTC_POSITION, 10},
                                                             {PARAM_QTC_VALUE, 11},
                                                             {PARAM_QTC_BREAKING_BYTES, 12},
                                                             {PARAM_QTC_MAX_RANDOM, 13},
                                                             {PARAM_QTC_SEED, 14},
                                                             {PARAM_QTL_POSITION, 18},
                                                             {PARAM_QTL_VALUE, 19},
                                                             {PARAM_QTL_BREAKING_BYTES, 20},
                                                             {PARAM_QTL_MAX_RANDOM, 21},
                                                             {PARAM_QTL_SEED, 22},
                                                             {PARAM_YCBCR_TO_RGB, 1},
                                                             {PARAM_FILTER2, 1},
                                                             {PARAM_FILTER1_VALUE, 3.5},
                                                             {PARAM_FILTER2_VALUE, -0.1}}));
  EXPECT_EQ(s.quality, 1);
  EXPECT_EQ(s.broken_bytes, 3);
  EXPECT_EQ(s.glitch_start, 4.25f);
  EXPECT_EQ(s.glitch_end, 5.5f);
  EXPECT_EQ(s.seed, 6);
  EXPECT_EQ(s.subsampling, 1);
  EXPECT_EQ(s.qtc_position, 10);
  EXPECT_EQ(s.qtc_value, 11);
  EXPECT_EQ(s.qtc_break_count, 12);
  EXPECT_EQ(s.qtc_max_random, 13);
  EXPECT_EQ(s.qtc_seed, 14);
  EXPECT_EQ(s.qtl_position, 18);
  EXPECT_EQ(s.qtl_value, 19);
  EXPECT_EQ(s.qtl_break_count, 20);
  EXPECT_EQ(s.qtl_max_random, 21);
  EXPECT_EQ(s.qtl_seed, 22);
  EXPECT_TRUE(s.qtc_enabled);
  EXPECT_FALSE(s.qtl_enabled);
  EXPECT_FALSE(s.inverse_dct);
  EXPECT_TRUE(s.ycbcr_to_rgb);
  EXPECT_FALSE(s.dequantize);
  EXPECT_FALSE(s.filter1_enabled);
  EXPECT_TRUE(s.filter2_enabled);
  EXPECT_EQ(s.filter1_value, 3.5f);
  EXPECT_EQ(s.filter2_value, -0.1f);  // the float nearest to -0.1
  EXPECT_EQ(s.pixels, nullptr);
  // The engines start afresh from the three seeds.
  EXPECT_EQ(s.glitch_rng, std::mt19937(6u));
  EXPECT_EQ(s.qtc_rng, std::mt19937(14u));
  EXPECT_EQ(s.qtl_rng, std::mt19937(22u));
}

// Inside the range, bounds included, a value is kept as it is; just outside
// it becomes the bound exactly as registered in single precision, so 0.1
// typed for "end of glitch" (a little below the float 0.1) counts as that
// float, while 99.9 for "start of glitch" (a little below the float 99.9)
// stays. NaN is passed on; other parameters' values are never touched.
TEST(NearestValidValue, KeepsValuesInsideTheRangeAndMovesOthersToTheNearestBound) {
  constexpr double infinity = std::numeric_limits<double>::infinity();
  for (const ParamRow& range : param_table) {
    if (range.kind != ParamKind::Slider) {
      continue;
    }
    SCOPED_TRACE(range.index);
    const double low = range.minimum;
    const double high = range.maximum;
    struct Case {
      double given;
      double expected;
    };
    for (const Case c : {Case{low, low}, Case{high, high}, Case{(low + high) / 2, (low + high) / 2},
                         Case{std::nextafter(low, infinity), std::nextafter(low, infinity)},
                         Case{std::nextafter(high, -infinity), std::nextafter(high, -infinity)},
                         Case{std::nextafter(low, -infinity), low}, Case{std::nextafter(high, infinity), high},
                         Case{-2.0e9, low}, Case{2.0e9, high}, Case{-infinity, low}, Case{infinity, high}}) {
      EXPECT_EQ(nearest_valid_value(range.index, c.given), c.expected) << c.given;
    }
    EXPECT_TRUE(std::isnan(nearest_valid_value(range.index, std::nan(""))));
  }
  EXPECT_EQ(nearest_valid_value(PARAM_GLITCH_END, 0.1), static_cast<double>(0.1f));
  EXPECT_EQ(nearest_valid_value(PARAM_GLITCH_START, 99.9), 99.9);
  for (const ParamIndex other : {PARAM_INPUT, PARAM_QTC, PARAM_BROKEN_BYTES_GROUP, PARAM_DEQUANTIZE}) {
    EXPECT_EQ(nearest_valid_value(other, -5.0e9), -5.0e9) << other;
  }
}

TEST(SettingsFromValues, ACheckboxIsOnForAnyValueButZero) {
  for (const double value : {1.0, -1.0, 0.5, std::nan("")}) {
    EXPECT_TRUE(settings_from_values(values_with({{PARAM_DEQUANTIZE, value}})).dequantize) << value;
  }
  EXPECT_FALSE(settings_from_values(values_with({{PARAM_DEQUANTIZE, -0.0}})).dequantize);
}

// What a frame gets before anyone touches a control: the host's starting
// values, converted as any others.
TEST(DefaultSettings, AreTheSettingsOfEveryParametersStartingValue) {
  const GlitchSettings s = default_settings();
  EXPECT_EQ(s.quality, 100);
  EXPECT_EQ(s.broken_bytes, 0);
  EXPECT_EQ(s.glitch_start, 0.0f);
  EXPECT_EQ(s.glitch_end, 100.0f);
  for (const std::int32_t seed : {s.seed, s.qtc_seed, s.qtl_seed}) {
    EXPECT_EQ(seed, 1);
  }
  EXPECT_EQ(s.qtc_position, 5);
  EXPECT_EQ(s.qtl_position, 5);
  for (const std::int32_t zero :
       {s.qtc_value, s.qtl_value, s.qtc_break_count, s.qtl_break_count, s.qtc_max_random, s.qtl_max_random}) {
    EXPECT_EQ(zero, 0);
  }
  EXPECT_FALSE(s.qtc_enabled || s.qtl_enabled || s.filter1_enabled || s.filter2_enabled);
  EXPECT_TRUE(s.inverse_dct && s.ycbcr_to_rgb && s.dequantize);
  EXPECT_EQ(s.filter1_value, 1.0f);
  EXPECT_EQ(s.filter2_value, -0.1f);
  EXPECT_EQ(s.glitch_rng, std::mt19937(1u));
}

TEST(SliderRanges, EverySliderHasOneRangeAndNothingElseHasAny) {
  int sliders = 0;
  for (std::int32_t index = 0; index < PARAM_COUNT; ++index) {
    sliders += slider_row(static_cast<ParamIndex>(index)) != nullptr ? 1 : 0;
  }
  EXPECT_EQ(sliders, 17);
  for (const ParamIndex index : {PARAM_INPUT, PARAM_QTC, PARAM_QTC_GROUP, PARAM_TOOLS_GROUP_END}) {
    EXPECT_EQ(slider_row(index), nullptr) << index;
  }
  // The bounds that are not whole numbers are held in single precision.
  EXPECT_EQ(slider_row(PARAM_GLITCH_START)->maximum, 99.9f);
  EXPECT_EQ(slider_row(PARAM_GLITCH_END)->minimum, 0.1f);
  EXPECT_EQ(slider_row(PARAM_SEED)->maximum, 100000000.0f);
}

}  // namespace
}  // namespace shardcast
