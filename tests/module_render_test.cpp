// Rendering through the module's command entry: geometry of the work
// buffer, the pipeline and filter order, determinism, Premiere Pro's byte
// order, and the error and clean-up rules of the render's own failure paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "hostsim/simulated_host.h"
#include "pipeline/glitch_settings.h"
#include "pipeline/parameters.h"
#include "support/effect_setup.h"

namespace {

using shardcast::GlitchSettings;
using shardcast::hostsim::CommandOutcome;
using shardcast::hostsim::EffectEntryPoints;
using shardcast::hostsim::FailRule;
using shardcast::hostsim::FrameTime;
using shardcast::hostsim::HostCall;
using shardcast::hostsim::HostMode;
using shardcast::hostsim::HostOptions;
using shardcast::hostsim::ModuleLibrary;
using shardcast::hostsim::Picture;
using shardcast::hostsim::SimulatedHost;

constexpr PF_Pixel output_fill = {7, 11, 13, 17};
constexpr PF_Err failure_code = 0x2222;

// Stands between the simulated host and the loaded module: it sees the
// world sizes and rectangles the module asks for, and can make fill throw.
struct Interceptor {
  struct Copy {
    PF_Rect source;
    PF_Rect destination;
  };

  static inline shardcast::hostsim::EffectMainFunction module_main = nullptr;
  static inline PF_UtilCallbacks* host_utils = nullptr;
  static inline PF_UtilCallbacks patched{};
  static inline std::vector<std::pair<A_long, A_long>> new_worlds;
  static inline std::vector<Copy> copies;
  static inline std::function<void()> on_fill;

  static PF_Err new_world(PF_ProgPtr ref, A_long width, A_long height, PF_NewWorldFlags flags, PF_EffectWorld* world) {
    new_worlds.emplace_back(width, height);
    return host_utils->new_world(ref, width, height, flags, world);
  }
  static PF_Err copy(PF_ProgPtr ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r, PF_Rect* dst_r) {
    copies.push_back({*src_r, *dst_r});
    return host_utils->copy(ref, src, dst, src_r, dst_r);
  }
  static PF_Err fill(PF_ProgPtr ref, const PF_Pixel* color, const PF_Rect* rect, PF_EffectWorld* world) {
    if (on_fill) {
      on_fill();
    }
    return host_utils->fill(ref, color, rect, world);
  }
  static PF_Err effect_main(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                            PF_LayerDef* output, void* extra) {
    host_utils = in_data->utils;
    patched = *host_utils;
    patched.new_world = new_world;
    patched.copy = copy;
    patched.fill = fill;
    in_data->utils = &patched;
    const PF_Err err = module_main(cmd, in_data, out_data, params, output, extra);
    in_data->utils = host_utils;
    return err;
  }
  static void reset() {
    new_worlds.clear();
    copies.clear();
    on_fill = nullptr;
  }
};

Picture test_picture(A_long width, A_long height) {
  Picture picture = Picture::filled(width, height, {255, 0, 0, 0});
  for (A_long y = 0; y < height; ++y) {
    for (A_long x = 0; x < width; ++x) {
      picture.set(x, y,
                  {static_cast<A_u_char>(200 + (x + y) % 56), static_cast<A_u_char>((x * 7 + y * 3) & 0xFF),
                   static_cast<A_u_char>((x * x + y * 5) & 0xFF), static_cast<A_u_char>((255 - x * 2 + y) & 0xFF)});
    }
  }
  return picture;
}

class Render : public testing::Test {
 protected:
  ModuleLibrary module{SHARDCAST_MODULE_PATH};

  void SetUp() override {
    Interceptor::reset();
    Interceptor::module_main = module.entry_points().effect_main;
  }

  std::unique_ptr<SimulatedHost> host(HostMode mode = HostMode::AfterEffects, A_long work_row_padding = 0) {
    HostOptions options;
    options.mode = mode;
    options.new_world_row_padding = work_row_padding;
    options.output_fill = output_fill;
    auto result = std::make_unique<SimulatedHost>(EffectEntryPoints{Interceptor::effect_main,
                                                                    module.entry_points().plugin_data_entry},
                                                  options);
    EXPECT_TRUE(shardcast::testing::set_up_effect(*result));
    shardcast::testing::damage_some_bytes(*result);
    return result;
  }
};

void expect_clean(const CommandOutcome& outcome) {
  EXPECT_TRUE(outcome.clean()) << testing::PrintToString(outcome.violations);
}

bool same_rect(const PF_Rect& a, const PF_Rect& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

TEST_F(Render, WidthsThatAreMultiplesOf16AreProcessedAtTheirOwnSize) {
  auto h = host();
  for (auto [width, height] : {std::pair{1920, 4}, std::pair{16, 9}}) {
    Interceptor::reset();
    const CommandOutcome outcome = h->render(test_picture(width, height));
    EXPECT_EQ(outcome.result, PF_Err_NONE);
    expect_clean(outcome);
    ASSERT_EQ(Interceptor::new_worlds.size(), 1u);
    EXPECT_EQ(Interceptor::new_worlds[0], std::pair(width, height));
    ASSERT_EQ(Interceptor::copies.size(), 2u);
    const PF_Rect whole{0, 0, width, height};
    for (const auto& copy : Interceptor::copies) {
      EXPECT_TRUE(same_rect(copy.source, whole));
      EXPECT_TRUE(same_rect(copy.destination, whole));
    }
  }
}

TEST_F(Render, OtherWidthsArePaddedTo16WithTheHeightScaledAndRounded) {
  auto h = host();
  struct Case {
    A_long width, height, padded_width, padded_height;
  };
  for (const Case c : {Case{1000, 500, 1008, 504}, Case{17, 10, 32, 19}, Case{1, 1, 16, 16}, Case{33, 3, 48, 4}}) {
    SCOPED_TRACE(c.width);
    Interceptor::reset();
    const CommandOutcome outcome = h->render(test_picture(c.width, c.height));
    EXPECT_EQ(outcome.result, PF_Err_NONE);
    expect_clean(outcome);
    ASSERT_EQ(Interceptor::new_worlds.size(), 1u);
    EXPECT_EQ(Interceptor::new_worlds[0], std::pair(c.padded_width, c.padded_height));
    ASSERT_EQ(Interceptor::copies.size(), 2u);
    const PF_Rect input{0, 0, c.width, c.height};
    const PF_Rect work{0, 0, c.padded_width, c.padded_height};
    EXPECT_TRUE(same_rect(Interceptor::copies[0].source, input));
    EXPECT_TRUE(same_rect(Interceptor::copies[0].destination, work));
    EXPECT_TRUE(same_rect(Interceptor::copies[1].source, work));
    EXPECT_TRUE(same_rect(Interceptor::copies[1].destination, input));
  }
}

// The output is the glitched frame with filter 1 applied first and filter 2
// on its result: replaying the filters over the unfiltered render in that
// order gives the same picture, the other order does not.
TEST_F(Render, FilterOneRunsBeforeFilterTwo) {
  auto h = host();
  const Picture input = test_picture(32, 16);
  const Picture unfiltered = h->render(input).output;
  h->set_checkbox(30, true);
  h->set_checkbox(32, true);
  h->set_slider(31, 1.5);
  h->set_slider(33, -0.75);
  const CommandOutcome filtered = h->render(input);
  EXPECT_EQ(filtered.result, PF_Err_NONE);

  auto replay = [&](bool filter1_first) {
    Picture picture = unfiltered;
    GlitchSettings settings;
    settings.pixels = picture.argb.data();
    settings.width = picture.width;
    settings.height = picture.height;
    settings.filter1_value = 1.5f;
    settings.filter2_value = -0.75f;
    if (filter1_first) {
      settings.apply_filter1();
      settings.apply_filter2();
    } else {
      settings.apply_filter2();
      settings.apply_filter1();
    }
    return picture;
  };
  EXPECT_EQ(filtered.output, replay(true));
  EXPECT_NE(filtered.output, replay(false));
}

TEST_F(Render, SameValuesAtDifferentTimesGiveTheSameFrame) {
  auto h = host();
  const Picture input = test_picture(48, 24);
  const CommandOutcome first = h->render(input, {0, 1, 30});
  const CommandOutcome later = h->render(input, {4321, 2, 25});
  EXPECT_EQ(first.result, PF_Err_NONE);
  EXPECT_EQ(first.output, later.output);
  EXPECT_NE(first.output, Picture::filled(48, 24, output_fill));
  for (const auto& call : later.calls) {
    if (call.call == HostCall::CheckoutParam) {
      EXPECT_EQ(call.what_time, 4321);
      EXPECT_EQ(call.time_step, 2);
      EXPECT_EQ(call.time_scale, 25u);
    }
  }
}

// Zero broken bytes still sends the frame through the encoder and decoder.
TEST_F(Render, NoBrokenBytesStillShowsCompressionArtefacts) {
  auto h = host();
  h->set_slider(3, 0);
  h->set_slider(1, 10);
  const Picture input = test_picture(32, 16);
  const CommandOutcome outcome = h->render(input);
  EXPECT_EQ(outcome.result, PF_Err_NONE);
  EXPECT_NE(outcome.output, input);
  EXPECT_NE(outcome.output, Picture::filled(32, 16, output_fill));
}

// A host may hand over any value (expressions, other plug-ins), but the
// frame is always that of a value the slider accepts: outside the range,
// infinities included, the nearest bound's. The counts among the sliders set
// how many random draws a frame makes, so a far value must not cost more
// than the bound does (2e9 broken bytes once took minutes). NaN switches off
// what it counts. The other sliders are set so that every slider changes the
// frame between its bounds.
TEST_F(Render, SliderValuesOutsideTheirRangesGiveTheFrameOfTheNearestBound) {
  using namespace shardcast;
  auto h = host();
  for (const ParamIndex stage_switch : {PARAM_QTL, PARAM_QTC, PARAM_FILTER1, PARAM_FILTER2}) {
    h->set_checkbox(stage_switch, true);
  }
  for (const ParamIndex count : {PARAM_QTL_BREAKING_BYTES, PARAM_QTC_BREAKING_BYTES}) {
    h->set_slider(count, 8);
  }
  for (const ParamIndex maximum : {PARAM_QTL_MAX_RANDOM, PARAM_QTC_MAX_RANDOM}) {
    h->set_slider(maximum, 100);
  }
  const Picture input = test_picture(32, 16);
  const Picture untouched = Picture::filled(32, 16, output_fill);
  constexpr double infinity = std::numeric_limits<double>::infinity();
  const auto render_with = [&](ParamIndex index, double value) {
    const double kept = h->slider_value(index);
    h->set_slider(index, value);
    const CommandOutcome outcome = h->render(input);
    h->set_slider(index, kept);
    EXPECT_EQ(outcome.result, PF_Err_NONE);
    return outcome.output;
  };

  for (const ParamRow& range : param_table) {
    if (range.kind != ParamKind::Slider) {
      continue;
    }
    SCOPED_TRACE(::testing::Message() << "parameter " << range.index);
    const Picture at_minimum = render_with(range.index, range.minimum);
    const Picture at_maximum = render_with(range.index, range.maximum);
    ASSERT_NE(at_minimum, untouched);
    ASSERT_NE(at_maximum, untouched);
    EXPECT_NE(at_minimum, at_maximum);
    for (const double below : {-infinity, -1.0e12, -2.0e9, static_cast<double>(range.minimum) - 1.0}) {
      EXPECT_EQ(render_with(range.index, below), at_minimum) << below;
    }
    for (const double above : {2.0e9, 1.0e12, infinity, static_cast<double>(range.maximum) + 1.0}) {
      EXPECT_EQ(render_with(range.index, above), at_maximum) << above;
    }
  }
  for (const ParamIndex count : {PARAM_BROKEN_BYTES, PARAM_QTL_BREAKING_BYTES, PARAM_QTC_BREAKING_BYTES}) {
    EXPECT_EQ(render_with(count, std::numeric_limits<double>::quiet_NaN()), render_with(count, 0)) << count;
  }
}

TEST_F(Render, PremiereRenderEqualsAfterEffectsRenderOnceChannelsAreReordered) {
  auto after_effects = host(HostMode::AfterEffects);
  auto premiere = host(HostMode::PremierePro);
  ASSERT_EQ(premiere->world_format(), PrPixelFormat_BGRA_4444_8u);
  for (bool filters : {false, true}) {
    SCOPED_TRACE(filters);
    for (auto* h : {after_effects.get(), premiere.get()}) {
      h->set_checkbox(30, filters);
      h->set_checkbox(32, filters);
    }
    const Picture input = test_picture(40, 20);
    const CommandOutcome expected = after_effects->render(input);
    const CommandOutcome outcome = premiere->render(input);
    EXPECT_EQ(outcome.result, PF_Err_NONE);
    expect_clean(outcome);
    EXPECT_EQ(outcome.count(HostCall::GetPixelFormat), 1u);
    EXPECT_EQ(outcome.output, expected.output);
  }
}

// Without the suite nothing is reordered: the pipeline then reads B, G, R, A
// as if it were A, R, G, B, which is what the reordering exists to prevent.
TEST_F(Render, PremiereWithoutThePixelFormatSuiteReordersNothing) {
  auto after_effects = host(HostMode::AfterEffects);
  auto premiere = host(HostMode::PremierePro);
  premiere->faults().unavailable_suites = {"PF Pixel Format Suite"};
  const Picture input = test_picture(32, 16);
  const CommandOutcome outcome = premiere->render(input);
  EXPECT_EQ(outcome.result, PF_Err_NONE);
  expect_clean(outcome);
  EXPECT_EQ(outcome.count(HostCall::GetPixelFormat), 0u);
  EXPECT_NE(outcome.output, after_effects->render(input).output);
}

// A host that pads the rows of the work buffer it creates gets the same
// frame as one that does not: the pipeline never sees the padding.
TEST_F(Render, PaddedWorkBufferRowsGiveTheSameFrameAsPackedOnes) {
  for (const HostMode mode : {HostMode::AfterEffects, HostMode::PremierePro}) {
    auto packed = host(mode);
    for (const A_long padding : {4, 64, 124}) {
      auto padded = host(mode, padding);
      for (auto [width, height] : {std::pair{32, 16}, std::pair{17, 10}}) {
        SCOPED_TRACE(testing::Message() << (mode == HostMode::PremierePro ? "Premiere " : "After Effects ") << padding
                                        << " " << width << "x" << height);
        for (auto* h : {packed.get(), padded.get()}) {
          h->set_checkbox(30, true);
          h->set_checkbox(32, true);
        }
        const Picture input = test_picture(width, height);
        const CommandOutcome expected = packed->render(input);
        const CommandOutcome outcome = padded->render(input);
        EXPECT_EQ(outcome.result, PF_Err_NONE);
        expect_clean(outcome);
        EXPECT_EQ(outcome.output, expected.output);
      }
    }
  }
}

TEST_F(Render, AfterEffectsNeverAsksForThePixelFormat) {
  auto h = host(HostMode::AfterEffects);
  const CommandOutcome outcome = h->render(test_picture(16, 16));
  EXPECT_EQ(outcome.count(HostCall::AcquireSuite), 0u);
  EXPECT_EQ(outcome.count(HostCall::GetPixelFormat), 0u);
}

TEST_F(Render, AFailedCheckoutOfParameter5StopsEverythingButTheCheckins) {
  auto h = host();
  FailRule rule;
  rule.call = HostCall::CheckoutParam;
  rule.param_index = 5;
  rule.error = failure_code;
  h->faults().fail = {rule};
  const CommandOutcome outcome = h->render(test_picture(32, 16));
  EXPECT_EQ(outcome.result, failure_code);
  expect_clean(outcome);
  std::vector<A_long> checked_out;
  for (const auto& call : outcome.calls) {
    if (call.call == HostCall::CheckoutParam) {
      checked_out.push_back(call.param_index);
    }
  }
  EXPECT_EQ(checked_out, (std::vector<A_long>{0, 1, 3, 4, 5}));
  EXPECT_EQ(outcome.count(HostCall::NewWorld), 0u);
  EXPECT_EQ(outcome.count(HostCall::CheckinParam), 35u);
  EXPECT_EQ(outcome.output, Picture::filled(32, 16, output_fill));
}

TEST_F(Render, ChecksOutTheValueParametersInTheirFixedOrderAndChecksInAll35) {
  auto h = host();
  const CommandOutcome outcome = h->render(test_picture(16, 8));
  std::vector<A_long> checked_out;
  for (const auto& call : outcome.calls) {
    if (call.call == HostCall::CheckoutParam) {
      checked_out.push_back(call.param_index);
    }
  }
  EXPECT_EQ(checked_out, (std::vector<A_long>{0,  1,  3,  4,  5,  6,  9,  10, 11, 12, 13, 17, 18,
                                              19, 20, 21, 25, 26, 27, 30, 31, 32, 33, 22, 14}));
  EXPECT_EQ(outcome.count(HostCall::CheckinParam), 35u);
  EXPECT_EQ(outcome.count(HostCall::DisposeWorld), 1u);
}

// Clean-up comes last and in a fixed order, whatever failed: the work buffer
// (if it was made) is disposed of first, then all 35 records are checked in
// by ascending index, those never checked out included. The records are one
// array, so ascending index means consecutive addresses, and every record
// that was checked out comes back at its own index's place.
TEST_F(Render, DisposesOfTheWorkBufferThenChecksInEveryRecordByAscendingIndex) {
  struct Case {
    const char* name;
    std::optional<HostCall> failing;
    std::optional<A_long> param_index;
  };
  const Case cases[] = {
      {"nothing fails", std::nullopt, std::nullopt},   {"check-out of parameter 5", HostCall::CheckoutParam, 5},
      {"new_world", HostCall::NewWorld, std::nullopt}, {"fill", HostCall::Fill, std::nullopt},
      {"copy", HostCall::Copy, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto h = host();
    if (c.failing) {
      FailRule rule;
      rule.call = c.failing;
      rule.param_index = c.param_index;
      rule.error = failure_code;
      h->faults().fail = {rule};
    }
    const CommandOutcome outcome = h->render(test_picture(24, 8));
    expect_clean(outcome);

    std::vector<const PF_ParamDef*> checked_in;
    std::vector<std::pair<A_long, const PF_ParamDef*>> checked_out;
    std::size_t first_checkin = outcome.calls.size();
    for (std::size_t n = 0; n < outcome.calls.size(); ++n) {
      const auto& call = outcome.calls[n];
      if (call.call == HostCall::CheckinParam) {
        first_checkin = std::min(first_checkin, n);
        checked_in.push_back(call.record);
      } else if (call.call == HostCall::CheckoutParam) {
        checked_out.emplace_back(call.param_index, call.record);
      }
    }
    ASSERT_EQ(checked_in.size(), 35u);
    for (std::size_t i = 0; i < checked_in.size(); ++i) {
      EXPECT_EQ(checked_in[i], checked_in[0] + i) << i;
    }
    for (const auto& [index, record] : checked_out) {
      EXPECT_EQ(record, checked_in[0] + index) << index;
    }
    for (std::size_t n = first_checkin; n < outcome.calls.size(); ++n) {
      EXPECT_EQ(outcome.calls[n].call, HostCall::CheckinParam) << n;
    }
    const bool world_made = c.failing != HostCall::CheckoutParam && c.failing != HostCall::NewWorld;
    EXPECT_EQ(outcome.count(HostCall::DisposeWorld), world_made ? 1u : 0u);
  }
}

// The work buffer is asked for without clearing (flags 0) and then filled
// whole (no rectangle) with opaque black: alpha 255, red, green, blue 0.
TEST_F(Render, AsksForAnUnclearedWorkBufferAndFillsAllOfItWithOpaqueBlack) {
  auto h = host();
  const CommandOutcome outcome = h->render(test_picture(17, 10));
  EXPECT_EQ(outcome.result, PF_Err_NONE);
  ASSERT_EQ(outcome.count(HostCall::NewWorld), 1u);
  ASSERT_EQ(outcome.count(HostCall::Fill), 1u);
  for (const auto& call : outcome.calls) {
    if (call.call == HostCall::NewWorld) {
      EXPECT_EQ(call.world_flags, PF_NewWorldFlag_NONE);
    }
    if (call.call == HostCall::Fill) {
      EXPECT_TRUE(call.whole_world);
      ASSERT_TRUE(call.colour.has_value());
      EXPECT_EQ(call.colour->alpha, 255);
      EXPECT_EQ(call.colour->red, 0);
      EXPECT_EQ(call.colour->green, 0);
      EXPECT_EQ(call.colour->blue, 0);
    }
  }
}

TEST_F(Render, WithoutABasicSuiteNothingIsTouched) {
  auto h = host();
  h->faults().no_basic_suite = true;
  const CommandOutcome outcome = h->render(test_picture(16, 8));
  EXPECT_EQ(outcome.result, PF_Err_BAD_CALLBACK_PARAM);
  EXPECT_TRUE(outcome.calls.empty());
  EXPECT_EQ(outcome.output, Picture::filled(16, 8, output_fill));
}

TEST_F(Render, WithoutAPixelAddressThePipelineFailsQuietly) {
  auto h = host();
  h->faults().no_pixel_address = true;
  const CommandOutcome outcome = h->render(test_picture(16, 8));
  EXPECT_EQ(outcome.result, PF_Err_NONE);
  expect_clean(outcome);
  EXPECT_EQ(outcome.output, Picture::filled(16, 8, output_fill));
}

TEST_F(Render, ExceptionsBecomeErrorCodesAfterTheCleanUp) {
  auto h = host();
  Interceptor::on_fill = [] { throw std::bad_alloc(); };
  CommandOutcome outcome = h->render(test_picture(16, 8));
  EXPECT_EQ(outcome.result, PF_Err_OUT_OF_MEMORY);
  expect_clean(outcome);
  EXPECT_EQ(outcome.count(HostCall::DisposeWorld), 1u);
  EXPECT_EQ(outcome.count(HostCall::CheckinParam), 35u);

  Interceptor::on_fill = [] { throw std::runtime_error("unexpected"); };
  outcome = h->render(test_picture(16, 8));
  EXPECT_EQ(outcome.result, PF_Err_INTERNAL_STRUCT_DAMAGED);
  expect_clean(outcome);
}

}  // namespace
