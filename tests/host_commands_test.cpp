// What the simulated host hands a module with each command and how it
// answers the module's calls, checked from inside: a probe module whose
// EffectMain each test writes as a lambda records the in-data, the worlds
// and the results of its callbacks.
#include <functional>
#include <limits>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "AE_EffectCBSuites.h"
#include "AE_EffectSuites.h"
#include "hostsim/simulated_host.h"
#include "support/fake_module.h"

namespace shardcast::hostsim {
namespace {

using ProbeBody = std::function<PF_Err(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef**, PF_LayerDef*)>;
thread_local const ProbeBody* probe_body = nullptr;

PF_Err probe_main(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef* params[], PF_LayerDef* output, void*) {
  if (cmd == PF_Cmd_PARAMS_SETUP) {
    return add_test_params(in, out);
  }
  return (*probe_body)(cmd, in, out, params, output);
}

// Runs `body` as the module's EffectMain for the scope's lifetime.
struct Probe {
  explicit Probe(ProbeBody body) : body_(std::move(body)) { probe_body = &body_; }
  ~Probe() { probe_body = nullptr; }
  ProbeBody body_;
};

TEST(CommandRecords, InDataDescribesTheHostTheFrameAndPaddedWorlds) {
  PF_InData seen{};
  PF_LayerDef layer{};
  PF_LayerDef out_world{};
  const Probe probe([&](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef** params, PF_LayerDef* output) {
    seen = *in;
    layer = params[0]->u.ld;
    out_world = *output;
    return PF_Err_NONE;
  });
  HostOptions premiere;
  premiere.mode = HostMode::PremierePro;
  premiere.output_fill = PF_Pixel{1, 2, 3, 4};
  SimulatedHost host({probe_main, nullptr}, premiere);
  host.params_setup();
  const CommandOutcome outcome = host.render(gradient(17, 3), FrameTime{60, 2, 24});
  EXPECT_EQ(seen.appl_id, 'PrMr');
  EXPECT_EQ(seen.num_params, 3);
  EXPECT_EQ(seen.current_time, 60);
  EXPECT_EQ(seen.time_step, 2);
  EXPECT_EQ(seen.time_scale, 24u);
  EXPECT_EQ(seen.width, 17);
  EXPECT_NE(seen.pica_basicP, nullptr);
  EXPECT_EQ(layer.width, 17);
  EXPECT_EQ(layer.rowbytes, 192);  // 68 bytes of pixels + 64 of padding, rounded up
  EXPECT_EQ(out_world.height, 3);
  EXPECT_EQ(out_world.rowbytes, 192);
  EXPECT_NE(out_world.data, layer.data);
  EXPECT_EQ(outcome.output, Picture::filled(17, 3, PF_Pixel{1, 2, 3, 4}));
}

TEST(CommandRecords, AFrameMustEndOnTheHostsThirtyTwoBitClock) {
  A_long total_time = 0;
  const Probe probe([&](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*) {
    total_time = in->total_time;
    return PF_Err_NONE;
  });
  SimulatedHost host({probe_main, nullptr});
  host.params_setup();
  constexpr A_long clock_end = std::numeric_limits<A_long>::max();
  host.render(gradient(2, 2), FrameTime{clock_end - 1001, 1001, 30000});
  EXPECT_EQ(total_time, clock_end);
  for (const FrameTime beyond :
       {FrameTime{clock_end - 1000, 1001, 30000}, FrameTime{std::numeric_limits<A_long>::min() + 1, -2, 30}}) {
    EXPECT_THROW(host.render(gradient(2, 2), beyond), std::invalid_argument) << beyond.current_time;
  }
}

TEST(CommandRecords, CheckoutGivesTheLayerAtIndexZeroAndRefusesUnknownIndices) {
  PF_Err beyond = PF_Err_NONE;
  PF_ParamDef layer{};
  PF_ParamDef box{};
  const Probe probe([&](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef** params, PF_LayerDef*) {
    PF_ParamDef unused{};
    beyond = in->inter.checkout_param(in->effect_ref, 3, 0, 1, 30, &unused);
    in->inter.checkout_param(in->effect_ref, 0, 0, 1, 30, &layer);
    in->inter.checkout_param(in->effect_ref, 2, 7, 1, 30, &box);
    in->inter.checkin_param(in->effect_ref, &layer);
    in->inter.checkin_param(in->effect_ref, &box);
    return params[0]->u.ld.data == layer.u.ld.data ? PF_Err_NONE : PF_Err_INTERNAL_STRUCT_DAMAGED;
  });
  SimulatedHost host({probe_main, nullptr});
  host.params_setup();
  host.set_curve(2, [](A_long time, A_long, A_u_long) { return time == 7 ? 0.0 : 1.0; });
  const CommandOutcome outcome = host.render(gradient(4, 4));
  EXPECT_EQ(outcome.result, PF_Err_NONE);
  EXPECT_EQ(beyond, PF_Err_INVALID_INDEX);
  EXPECT_EQ(layer.param_type, PF_Param_LAYER);
  EXPECT_EQ(box.u.bd.value, 0);  // the curve, asked at time 7
  EXPECT_TRUE(outcome.clean());
  EXPECT_TRUE(outcome.notes.empty());
}

TEST(CommandRecords, NewWorldHonoursClearingAndRefusesWhatAnEightBitHostCannotMake) {
  std::vector<PF_Err> results;
  std::vector<std::uint8_t> first_bytes;
  const Probe probe([&](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef**, PF_LayerDef*) {
    const struct {
      A_long w, h;
      PF_NewWorldFlags flags;
    } requests[] = {{4, 4, PF_NewWorldFlag_NONE},
                    {4, 4, PF_NewWorldFlag_CLEAR_PIXELS},
                    {0, 4, PF_NewWorldFlag_NONE},
                    {4, 30001, PF_NewWorldFlag_NONE},
                    {4, 4, PF_NewWorldFlag_DEEP_PIXELS}};
    for (const auto& request : requests) {
      PF_EffectWorld world{};
      results.push_back(in->utils->new_world(in->effect_ref, request.w, request.h, request.flags, &world));
      if (results.back() == PF_Err_NONE) {
        first_bytes.push_back(reinterpret_cast<std::uint8_t*>(world.data)[0]);
        in->utils->dispose_world(in->effect_ref, &world);
      }
    }
    return PF_Err_NONE;
  });
  SimulatedHost host({probe_main, nullptr});
  EXPECT_TRUE(host.send(PF_Cmd_SEQUENCE_SETUP).clean());
  EXPECT_EQ(results, (std::vector<PF_Err>{0, 0, PF_Err_BAD_CALLBACK_PARAM, PF_Err_BAD_CALLBACK_PARAM,
                                          PF_Err_BAD_CALLBACK_PARAM}));
  EXPECT_EQ(first_bytes, (std::vector<std::uint8_t>{0xCD, 0}));
}

TEST(CommandRecords, CopyChecksRectanglesAndCopiesAWorldOntoItself) {
  std::vector<PF_Err> results;
  const Probe probe([&](PF_Cmd, PF_InData* in, PF_OutData*, PF_ParamDef** params, PF_LayerDef* output) {
    PF_Rect outside{0, 0, 5, 4};
    PF_Rect left_half{0, 0, 2, 4};
    PF_Rect whole{0, 0, 4, 4};
    results.push_back(in->utils->copy(in->effect_ref, &params[0]->u.ld, output, &outside, nullptr));
    results.push_back(in->utils->copy(in->effect_ref, &params[0]->u.ld, output, nullptr, nullptr));
    results.push_back(in->utils->copy(in->effect_ref, output, output, &left_half, &whole));
    return PF_Err_NONE;
  });
  SimulatedHost host({probe_main, nullptr});
  Picture input = Picture::filled(4, 4, PF_Pixel{255, 0, 0, 0});
  for (A_long y = 0; y < 4; ++y) input.set(1, y, PF_Pixel{255, 200, 0, 0});
  const CommandOutcome outcome = host.render(input);
  EXPECT_EQ(results, (std::vector<PF_Err>{PF_Err_BAD_CALLBACK_PARAM, 0, 0}));
  // Columns 0 and 1 stretched over four: 0, 50, 150, 200 (from a snapshot).
  EXPECT_EQ(outcome.output.at(0, 2).red, 0);
  EXPECT_EQ(outcome.output.at(1, 2).red, 50);
  EXPECT_EQ(outcome.output.at(2, 2).red, 150);
  EXPECT_EQ(outcome.output.at(3, 2).red, 200);
}

TEST(CommandRecords, ParameterSetupIsCheckedAndAddingIsRefusedElsewhere) {
  HostOptions options;
  SimulatedHost refusing(fake_module, options);
  refusing.faults().fail = {FailRule{.call = HostCall::AddParam, .param_index = 2, .error = PF_Err_OUT_OF_MEMORY}};
  const CommandOutcome refused = refusing.params_setup();
  EXPECT_EQ(refused.result, PF_Err_OUT_OF_MEMORY);
  EXPECT_EQ(refusing.parameter_count(), 2);
  EXPECT_EQ(refusing.registered_num_params(), 0);

  const Probe probe([&](PF_Cmd, PF_InData* in, PF_OutData* out, PF_ParamDef** params, PF_LayerDef*) {
    out->num_params = 7;
    return in->inter.add_param(in->effect_ref, -1, params[1]);
  });
  SimulatedHost host({probe_main, nullptr});
  host.params_setup();
  const CommandOutcome late = host.about();
  EXPECT_EQ(late.result, PF_Err_BAD_CALLBACK_PARAM);
  ASSERT_EQ(late.violations.size(), 1u);
  EXPECT_NE(late.violations[0].find("outside PF_Cmd_PARAMS_SETUP"), std::string::npos);
}

// Parameter setup that names positions instead of appending.
std::vector<PF_Err> add_param_results;

PF_Err add_at_positions(PF_Cmd cmd, PF_InData* in, PF_OutData* out, PF_ParamDef**, PF_LayerDef*, void*) {
  if (cmd == PF_Cmd_PARAMS_SETUP) {
    PF_ParamDef box{};
    box.param_type = PF_Param_CHECKBOX;
    for (const PF_ParamIndex index : {1, -2, -1}) {  // 1 is the next position, named
      add_param_results.push_back(in->inter.add_param(in->effect_ref, index, &box));
    }
    out->num_params = 2;
  }
  return PF_Err_NONE;
}

TEST(CommandRecords, AddParamOnlyAppends) {
  add_param_results.clear();
  SimulatedHost host({add_at_positions, nullptr});
  EXPECT_TRUE(host.params_setup().clean());
  EXPECT_EQ(add_param_results, (std::vector<PF_Err>{PF_Err_INVALID_INDEX, PF_Err_INVALID_INDEX, PF_Err_NONE}));
  EXPECT_EQ(host.parameter_count(), 2);
}

TEST(CommandRecords, ForeignEffectReferencesAndUnknownSuiteVersionsAreRefused) {
  std::vector<PF_Err> results;
  const Probe probe([&](PF_Cmd, PF_InData* in, PF_OutData* out, PF_ParamDef**, PF_LayerDef*) {
    PF_EffectWorld world{};
    results.push_back(in->utils->new_world(nullptr, 4, 4, 0, &world));
    const void* suite = nullptr;
    results.push_back(in->pica_basicP->AcquireSuite(kPFParamUtilsSuite, 2, &suite));
    results.push_back(in->pica_basicP->AcquireSuite(kPFANSISuite, kPFANSISuiteVersion1, &suite));
    static_cast<const PF_ANSICallbacksSuite1*>(suite)->sprintf(out->return_msg, "%d-%s", 7, "x");
    results.push_back(in->pica_basicP->ReleaseSuite(kPFANSISuite, kPFANSISuiteVersion1));
    return PF_Err_NONE;
  });
  SimulatedHost host({probe_main, nullptr});
  const CommandOutcome outcome = host.about();
  EXPECT_EQ(results, (std::vector<PF_Err>{PF_Err_BAD_CALLBACK_PARAM, kSPSuiteNotFoundError, kSPNoError, kSPNoError}));
  EXPECT_STREQ(outcome.out_data.return_msg, "7-x");
  ASSERT_EQ(outcome.violations.size(), 1u);
  EXPECT_NE(outcome.violations[0].find("foreign effect_ref"), std::string::npos);
  EXPECT_EQ(outcome.calls[0].call, HostCall::NewWorld);
  EXPECT_EQ(host_call_name(outcome.calls[3].call), "PF ANSI Suite sprintf");
}

}  // namespace
}  // namespace shardcast::hostsim
