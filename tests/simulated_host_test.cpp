// The simulated host, driven by small effect modules compiled into this
// test: world geometry and pixel operations, the parameter table, both host
// modes, fault injection and the accounting of every command. What it hands
// a module with each command is checked from inside in host_commands_test.
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <gtest/gtest.h>

#include "AE_EffectCBSuites.h"
#include "AE_EffectSuites.h"
#include "PrSDKAESupport.h"
#include "hostsim/simulated_host.h"
#include "hostsim/world_pixels.h"
#include "support/fake_module.h"

namespace shardcast::hostsim {
namespace {

SimulatedHost set_up(HostOptions options = {}) {
  SimulatedHost host(fake_module, options);
  host.global_setup();
  host.params_setup();
  return host;
}

// ---- worlds ----

TEST(Worlds, RowbytesAreRoundedUpToSixtyFourBytesAfterPadding) {
  EXPECT_EQ(padded_rowbytes(16, 0), 64);
  EXPECT_EQ(padded_rowbytes(17, 0), 128);
  EXPECT_EQ(padded_rowbytes(1, 0), 64);
  EXPECT_EQ(padded_rowbytes(16, 64), 128);
  EXPECT_EQ(padded_rowbytes(1920, 0), 7680);
}

// Two worlds of one row each, ARGB unless told otherwise.
struct TestWorld {
  std::vector<std::uint8_t> bytes;
  WorldView view;
  TestWorld(A_long width, A_long height, A_long rowbytes, PrPixelFormat format = PrPixelFormat_ARGB_4444_8u)
      : bytes(static_cast<std::size_t>(rowbytes) * height, 0xEE), view{bytes.data(), width, height, rowbytes, format} {}
};

TEST(Worlds, EqualSizeCopyIsExactAndLeavesRowPaddingAlone) {
  TestWorld src(3, 2, 64);
  TestWorld dst(3, 2, 128);
  for (std::size_t i = 0; i < src.bytes.size(); ++i) src.bytes[i] = static_cast<std::uint8_t>(i);
  copy_rect(src.view, whole_rect(src.view), dst.view, whole_rect(dst.view));
  for (A_long y = 0; y < 2; ++y) {
    EXPECT_EQ(0, std::memcmp(&src.bytes[y * 64], &dst.bytes[y * 128], 12));
    EXPECT_EQ(dst.bytes[y * 128 + 12], 0xEE);
    EXPECT_EQ(dst.bytes[y * 128 + 127], 0xEE);
  }
}

TEST(Worlds, UpscalingKeepsCornersAndInterpolatesEveryChannelIncludingAlpha) {
  TestWorld src(2, 1, 64);
  write_pixel(src.view, 0, 0, PF_Pixel{0, 0, 10, 255});
  write_pixel(src.view, 1, 0, PF_Pixel{255, 255, 10, 0});
  TestWorld dst(4, 1, 64);
  copy_rect(src.view, whole_rect(src.view), dst.view, whole_rect(dst.view));
  const PF_Pixel expected[4] = {{0, 0, 10, 255}, {64, 64, 10, 191}, {191, 191, 10, 64}, {255, 255, 10, 0}};
  for (A_long x = 0; x < 4; ++x) {
    const PF_Pixel got = read_pixel(dst.view, x, 0);
    EXPECT_EQ(std::memcmp(&got, &expected[x], 4), 0) << "pixel " << x;
  }
}

TEST(Worlds, DownscalingAndTwoDimensionalWeightsFollowTheFormula) {
  TestWorld src(4, 1, 64);
  const A_u_char reds[4] = {10, 20, 100, 201};
  for (A_long x = 0; x < 4; ++x) write_pixel(src.view, x, 0, PF_Pixel{255, reds[x], 0, 0});
  TestWorld half(2, 1, 64);
  copy_rect(src.view, whole_rect(src.view), half.view, whole_rect(half.view));
  EXPECT_EQ(read_pixel(half.view, 0, 0).red, 15);
  EXPECT_EQ(read_pixel(half.view, 1, 0).red, 151);  // 150.5 rounds up

  TestWorld square(2, 2, 64);
  const A_u_char values[4] = {0, 100, 200, 40};
  for (A_long i = 0; i < 4; ++i) write_pixel(square.view, i % 2, i / 2, PF_Pixel{values[i], 0, 0, 0});
  EXPECT_EQ(resample_channel(square.bytes.data(), 64, 2, 2, 3, 3, 1, 1, 0), 85);
  EXPECT_EQ(resample_channel(square.bytes.data(), 64, 2, 2, 3, 3, 2, 2, 0), 40);
}

TEST(Worlds, FillAndCopyWriteEachFormatsOwnByteOrder) {
  TestWorld bgra(2, 1, 64, PrPixelFormat_BGRA_4444_8u);
  fill_rect(bgra.view, PF_Rect{1, 0, 2, 1}, PF_Pixel{4, 3, 2, 1});
  EXPECT_EQ(bgra.bytes[0], 0xEE);
  EXPECT_EQ(bgra.bytes[4], 1);  // blue first
  EXPECT_EQ(bgra.bytes[7], 4);  // alpha last
  TestWorld argb(2, 1, 64);
  copy_rect(bgra.view, PF_Rect{1, 0, 2, 1}, argb.view, PF_Rect{0, 0, 1, 1});
  EXPECT_EQ(argb.bytes[0], 4);
  EXPECT_EQ(argb.bytes[3], 1);
  EXPECT_FALSE(rect_inside(PF_Rect{0, 0, 3, 1}, 2, 1));
  EXPECT_FALSE(rect_inside(PF_Rect{1, 0, 1, 1}, 2, 1));
}

TEST(Worlds, WholeRowsMatchPixelByPixelInEachFormatAndLeaveRowPaddingAlone) {
  for (const PrPixelFormat format : {PrPixelFormat_ARGB_4444_8u, PrPixelFormat_BGRA_4444_8u}) {
    for (const ChannelOrder order : {argb_order, rgba_order, ChannelOrder{1, 0, 3, 2}}) {
      for (const A_long rowbytes : {12, 64}) {
        SCOPED_TRACE(testing::Message() << "format " << format << ", rows with alpha at " << order.alpha
                                        << ", rowbytes " << rowbytes);
        std::vector<std::uint8_t> rows_in(3 * 2 * 4);
        for (std::size_t i = 0; i < rows_in.size(); ++i) rows_in[i] = static_cast<std::uint8_t>(i * 7 + 1);
        TestWorld rows(3, 2, rowbytes, format);
        TestWorld pixels(3, 2, rowbytes, format);
        write_rows(rows.view, rows_in.data(), order);
        for (A_long i = 0; i < 6; ++i) {
          const std::uint8_t* p = &rows_in[static_cast<std::size_t>(i) * 4];
          write_pixel(pixels.view, i % 3, i / 3, PF_Pixel{p[order.alpha], p[order.red], p[order.green], p[order.blue]});
        }
        EXPECT_EQ(rows.bytes, pixels.bytes);
        std::vector<std::uint8_t> back(rows_in.size());
        read_rows(rows.view, back.data(), order);
        EXPECT_EQ(back, rows_in);

        fill_rect(rows.view, PF_Rect{1, 0, 3, 2}, PF_Pixel{9, 8, 7, 6});
        for (A_long y = 0; y < 2; ++y) {
          for (A_long x = 1; x < 3; ++x) write_pixel(pixels.view, x, y, PF_Pixel{9, 8, 7, 6});
        }
        EXPECT_EQ(rows.bytes, pixels.bytes);
      }
    }
  }
}

TEST(Pictures, RgbaRoundTripAndChannelOrder) {
  const std::uint8_t rgba[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  const Picture picture = Picture::from_rgba(2, 1, rgba);
  EXPECT_EQ(picture.at(1, 0).alpha, 8);
  EXPECT_EQ(picture.at(1, 0).red, 5);
  EXPECT_EQ(picture.to_rgba(), std::vector<std::uint8_t>(rgba, rgba + 8));
  EXPECT_THROW(picture.at(2, 0), std::out_of_range);  // never the next row's pixel
}

// ---- loading and registration ----

TEST(ModuleLoading, MissingFilesAndLibrariesWithoutEntryPointsAreRefused) {
  EXPECT_THROW(ModuleLibrary("/nonexistent/Shardcast.so"), ModuleLoadError);
  EXPECT_THROW(ModuleLibrary("libm.so.6"), ModuleLoadError);
  EXPECT_THROW(SimulatedHost(EffectEntryPoints{}), std::invalid_argument);
}

TEST(Registration, RecordsTheNineValuesAndReturnsTheCallbacksResult) {
  HostOptions options;
  options.registration_result = 7;
  SimulatedHost host(fake_module, options);
  const RegistrationOutcome outcome = host.register_effect();
  EXPECT_EQ(outcome.result, 7);
  ASSERT_EQ(outcome.callbacks.size(), 1u);
  const Registration& r = outcome.callbacks[0];
  EXPECT_EQ(r.match_name, "ADBE Fake");
  EXPECT_EQ(r.entry_point, "EffectMain");
  EXPECT_EQ(r.kind, 'eFKT');
  EXPECT_EQ(r.api_version_minor, 28);
  EXPECT_EQ(r.reserved_info, 8);
  EXPECT_TRUE(outcome.violations.empty());
}

// ---- parameters ----

TEST(Parameters, AddedRecordsBecomeTheTableAndValuesCanBeSetOrVaryOverTime) {
  SimulatedHost host = set_up();
  ASSERT_EQ(host.parameter_count(), 3);
  EXPECT_EQ(host.registered_num_params(), 3);
  EXPECT_EQ(host.parameter(0).param_type, PF_Param_LAYER);
  EXPECT_STREQ(host.parameter(1).name, "amount");
  EXPECT_DOUBLE_EQ(host.slider_value(1), 2.5);
  EXPECT_TRUE(host.checkbox_value(2));
  EXPECT_STREQ(host.parameter(2).u.bd.u.nameptr, "");

  host.set_checkbox(2, false);
  EXPECT_FALSE(host.checkbox_value(2));
  EXPECT_THROW(host.set_slider(2, 1.0), std::invalid_argument);
  EXPECT_THROW(host.set_checkbox(3, true), std::invalid_argument);

  // The fake clears alpha of pixel 0 when the value it checks out exceeds 5.
  host.set_curve(1, [](A_long time, A_long, A_u_long) { return time >= 10 ? 9.0 : 1.0; });
  const Picture input = gradient(16, 2);
  EXPECT_EQ(host.render(input, FrameTime{0, 1, 30}).output.at(0, 0).alpha, 200);
  const CommandOutcome late = host.render(input, FrameTime{10, 1, 30});
  EXPECT_EQ(late.output.at(0, 0).alpha, 0);
  EXPECT_EQ(late.calls[0].what_time, 10);
  EXPECT_TRUE(late.notes.empty());  // ids in params[] are not mistaken for change flags
  EXPECT_EQ(late.calls[0].time_scale, 30u);
}

TEST(Parameters, SupervisedChangesApplyOnlyDuringUserChangedParam) {
  SimulatedHost host = set_up();
  const std::vector<CommandOutcome> edit = host.user_edit(1, 3.0);
  ASSERT_EQ(edit.size(), 2u);  // USER_CHANGED_PARAM, then UPDATE_PARAMS_UI
  EXPECT_DOUBLE_EQ(host.slider_value(1), 42.0);
  ASSERT_EQ(edit[1].notes.size(), 1u);  // the flag set during UPDATE_PARAMS_UI is ignored
  ASSERT_EQ(host.param_ui_updates().size(), 2u);
  EXPECT_EQ(host.param_ui_updates()[0].param_index, 1);

  host.set_slider(1, 1.0);
  const CommandOutcome ui = host.update_params_ui();
  EXPECT_DOUBLE_EQ(host.slider_value(1), 1.0);
  ASSERT_EQ(ui.notes.size(), 1u);
  EXPECT_NE(ui.notes[0].find("ignored"), std::string::npos);

  EXPECT_TRUE(host.user_edit(2, 0.0).empty());  // not supervised: nothing sent
}

// ---- host modes ----

TEST(HostModes, PremiereHandsOutBgraWorldsOnceAskedAndConvertsAtTheBoundary) {
  HostOptions premiere;
  premiere.mode = HostMode::PremierePro;
  SimulatedHost host = set_up(premiere);
  EXPECT_TRUE(host.pixel_formats_cleared());
  ASSERT_EQ(host.announced_pixel_formats().size(), 1u);
  EXPECT_EQ(host.world_format(), PrPixelFormat_BGRA_4444_8u);

  const Picture input = gradient(17, 3);
  const CommandOutcome outcome = host.render(input);
  EXPECT_EQ(outcome.result, PF_Err_NONE);
  EXPECT_EQ(outcome.output, input);
  EXPECT_TRUE(outcome.clean()) << outcome.violations.front();

  SimulatedHost after_effects = set_up();
  EXPECT_EQ(after_effects.world_format(), PrPixelFormat_ARGB_4444_8u);
  EXPECT_TRUE(after_effects.announced_pixel_formats().empty());  // no suite in AE
  EXPECT_EQ(after_effects.render(input).output, input);
}

PF_Err report_pixel_format(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef* output,
                           void* extra) {
  if (cmd != PF_Cmd_RENDER) {
    return fake_effect_main(cmd, in, out, params, output, extra);
  }
  const PF_PixelFormatSuite1* suite = nullptr;
  PF_Err err = in->pica_basicP->AcquireSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1,
                                             reinterpret_cast<const void**>(&suite));
  if (err != kSPNoError) {
    return err;
  }
  PrPixelFormat format{};
  err = suite->GetPixelFormat(output, &format);
  in->pica_basicP->ReleaseSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1);
  // The output's first byte tells the test what the host answered.
  reinterpret_cast<std::uint8_t*>(output->data)[0] = format == PrPixelFormat_BGRA_4444_8u ? 0xB6 : 0xA4;
  return err;
}

TEST(HostModes, PixelFormatSuiteAnswersForAWorldInPremiereOnly) {
  HostOptions premiere;
  premiere.mode = HostMode::PremierePro;
  SimulatedHost host({report_pixel_format, nullptr}, premiere);
  host.global_setup();
  const CommandOutcome bgra = host.render(gradient(4, 4));
  EXPECT_EQ(bgra.result, PF_Err_NONE);
  EXPECT_EQ(bgra.output.at(0, 0).blue, 0xB6);  // byte 0 of a BGRA pixel is blue

  SimulatedHost after_effects({report_pixel_format, nullptr});
  EXPECT_EQ(after_effects.render(gradient(4, 4)).result, kSPSuiteNotFoundError);
}

// ---- suites and messages ----

TEST(Messages, SprintfWritesReturnMsgAndReportsAnOverflow) {
  SimulatedHost host(fake_module);
  const CommandOutcome about = host.about();
  EXPECT_STREQ(about.out_data.return_msg, "Fake v1.0");
  EXPECT_EQ(about.count(HostCall::AnsiSprintf), 1u);

  const auto long_text = [](PF_Cmd, PF_InData* in, PF_OutData* out, PF_ParamDef**, PF_LayerDef*, void*) -> PF_Err {
    in->utils->ansi.sprintf(out->return_msg, "%300s", "x");
    return PF_Err_NONE;
  };
  SimulatedHost overflowing({long_text, nullptr});
  const CommandOutcome outcome = overflowing.about();
  EXPECT_EQ(std::strlen(outcome.out_data.return_msg), 255u);
  ASSERT_EQ(outcome.violations.size(), 1u);
  EXPECT_NE(outcome.violations[0].find("overflows return_msg"), std::string::npos);
}

// ---- fault injection ----

TEST(FaultInjection, EveryCallOfARenderCanFailAndTheFakeStillReturnsEverything) {
  SimulatedHost host = set_up();
  const Picture input = gradient(20, 5);
  const CommandOutcome clean = host.render(input);
  ASSERT_EQ(clean.result, PF_Err_NONE);
  ASSERT_EQ(clean.calls.size(), 8u);  // checkout, new, fill, copy, pixels, copy, dispose, checkin

  for (std::size_t n = 0; n < clean.calls.size(); ++n) {
    host.faults().fail = {FailRule{.position = n, .error = 600 + static_cast<PF_Err>(n)}};
    const CommandOutcome outcome = host.render(input);
    EXPECT_TRUE(outcome.calls[n].injected) << n;
    EXPECT_TRUE(outcome.clean()) << "call " << n << ": " << outcome.violations.front();
    if (clean.calls[n].call != HostCall::GetPixelData8) {
      EXPECT_EQ(outcome.result, 600 + static_cast<PF_Err>(n)) << n;
    }
    if (clean.calls[n].call == HostCall::DisposeWorld) {
      EXPECT_EQ(outcome.output, input);  // the release happened anyway
    }
  }
}

TEST(FaultInjection, RulesMatchByCallAndParameterAndSuitesCanVanish) {
  SimulatedHost host = set_up();
  host.faults().fail = {FailRule{.call = HostCall::CheckoutParam, .param_index = 1, .error = PF_Err_OUT_OF_MEMORY}};
  const CommandOutcome refused = host.render(gradient(4, 4));
  EXPECT_EQ(refused.result, PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(refused.count(HostCall::NewWorld), 0u);
  ASSERT_EQ(refused.notes.size(), 1u);  // the fake checks in a record it never got

  host.faults() = FaultPlan{};
  host.faults().unavailable_suites = {kPFParamUtilsSuite};
  const CommandOutcome missing = host.user_changed_param(1);
  EXPECT_EQ(missing.result, A_Err_MISSING_SUITE);
  EXPECT_EQ(missing.calls[0].result, kSPSuiteNotFoundError);

  host.faults() = FaultPlan{};
  host.faults().no_pixel_address = true;
  host.set_slider(1, 9.0);
  const Picture input = gradient(4, 4);
  EXPECT_EQ(host.render(input).output, input);  // nothing written through a null address
}

PF_Err needs_basic_suite(PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*, void*) {
  return in->pica_basicP == nullptr ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_NONE;
}

TEST(FaultInjection, TheBasicSuiteCanBeWithheld) {
  SimulatedHost host({needs_basic_suite, nullptr});
  EXPECT_EQ(host.about().result, PF_Err_NONE);
  host.faults().no_basic_suite = true;
  EXPECT_EQ(host.about().result, PF_Err_BAD_CALLBACK_PARAM);
}

// ---- accounting ----

PF_Err leaky_render(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef* output,
                    void* extra) {
  if (cmd != PF_Cmd_RENDER) {
    return fake_effect_main(cmd, in, out, params, output, extra);
  }
  PF_ParamDef kept{};
  in->inter.checkout_param(in->effect_ref, 1, 0, 1, 30, &kept);
  PF_EffectWorld world{};
  in->utils->new_world(in->effect_ref, 8, 8, PF_NewWorldFlag_CLEAR_PIXELS, &world);
  const void* suite = nullptr;
  in->pica_basicP->AcquireSuite(kPFANSISuite, kPFANSISuiteVersion1, &suite);
  in->pica_basicP->ReleaseSuite(kPFANSISuite, 2);  // wrong version
  return PF_Err_NONE;
}

TEST(Accounting, FindsUnreturnedCheckoutsWorldsAndSuites) {
  SimulatedHost host({leaky_render, nullptr});
  host.params_setup();
  const CommandOutcome outcome = host.render(gradient(4, 4));
  ASSERT_EQ(outcome.violations.size(), 4u);
  EXPECT_NE(outcome.violations[0].find("without a matching AcquireSuite"), std::string::npos);
  EXPECT_NE(outcome.violations[1].find("parameter 1 checked out"), std::string::npos);
  EXPECT_NE(outcome.violations[2].find("never disposed"), std::string::npos);
  EXPECT_NE(outcome.violations[3].find("\"PF ANSI Suite\" version 1"), std::string::npos);

  // The next command starts from a clean slate.
  host.faults().fail = {FailRule{.call = HostCall::NewWorld}};
  EXPECT_EQ(host.render(gradient(4, 4)).violations.size(), 3u);
}

PF_Err careless_render(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef* output,
                       void* extra) {
  if (cmd != PF_Cmd_RENDER) {
    return fake_effect_main(cmd, in, out, params, output, extra);
  }
  PF_EffectWorld world{};
  in->utils->new_world(in->effect_ref, 4, 4, 0, &world);
  in->utils->dispose_world(in->effect_ref, &world);
  in->utils->dispose_world(in->effect_ref, &world);  // twice
  in->utils->dispose_world(in->effect_ref, output);  // the host's
  PF_EffectWorld foreign = *output;
  std::uint8_t elsewhere[64] = {};
  foreign.data = reinterpret_cast<PF_PixelPtr>(elsewhere);
  const PF_Err fill_result = in->utils->fill(in->effect_ref, nullptr, nullptr, &foreign);
  // One byte into the input, one into the output's row padding.
  reinterpret_cast<std::uint8_t*>(params[0]->u.ld.data)[1] ^= 1;
  reinterpret_cast<std::uint8_t*>(output->data)[output->width * 4] = 0;
  return fill_result;
}

TEST(Accounting, RejectsForeignAndRepeatedWorldsAndSeesWritesOutsideTheOutput) {
  SimulatedHost host({careless_render, nullptr});
  const CommandOutcome outcome = host.render(gradient(4, 4));
  EXPECT_EQ(outcome.result, PF_Err_BAD_CALLBACK_PARAM);
  ASSERT_EQ(outcome.violations.size(), 5u);
  EXPECT_NE(outcome.violations[0].find("already disposed"), std::string::npos);
  EXPECT_NE(outcome.violations[1].find("world the host owns"), std::string::npos);
  EXPECT_NE(outcome.violations[2].find("does not know"), std::string::npos);
  EXPECT_NE(outcome.violations[3].find("input layer was written"), std::string::npos);
  EXPECT_NE(outcome.violations[4].find("row padding"), std::string::npos);
}

PF_Err throwing_main(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef**, PF_LayerDef*, void*) {
  throw std::runtime_error("escaped");
}

TEST(Accounting, AnExceptionLeavingEffectMainIsAViolation) {
  SimulatedHost host({throwing_main, nullptr});
  const CommandOutcome outcome = host.send(PF_Cmd_SEQUENCE_SETUP);
  EXPECT_EQ(outcome.result, PF_Err_INTERNAL_STRUCT_DAMAGED);
  ASSERT_EQ(outcome.violations.size(), 1u);
}

TEST(Accounting, UpdateParamUiMustBeGivenACopy) {
  const auto hands_over_original = [](PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[],
                                      PF_LayerDef* output, void* extra) -> PF_Err {
    if (cmd != PF_Cmd_USER_CHANGED_PARAM) {
      return fake_effect_main(cmd, in, out, params, output, extra);
    }
    const PF_ParamUtilsSuite3* suite = nullptr;
    in->pica_basicP->AcquireSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3,
                                  reinterpret_cast<const void**>(&suite));
    suite->PF_UpdateParamUI(in->effect_ref, 1, params[1]);
    in->pica_basicP->ReleaseSuite(kPFParamUtilsSuite, kPFParamUtilsSuiteVersion3);
    return PF_Err_NONE;
  };
  SimulatedHost host({hands_over_original, nullptr});
  host.params_setup();
  const CommandOutcome outcome = host.user_changed_param(1);
  ASSERT_EQ(outcome.violations.size(), 1u);
  EXPECT_NE(outcome.violations[0].find("instead of a copy"), std::string::npos);
}

}  // namespace
}  // namespace shardcast::hostsim
