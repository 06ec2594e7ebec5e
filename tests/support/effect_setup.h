// Where every test that drives the effect through the simulated host
// starts: the effect set up as a host sets it up before anything else
// (global setup, then parameter setup), and for renders a little byte
// damage under a seed of its own, so that a frame shows the decoder at work.
#pragma once

#include <gtest/gtest.h>

#include "hostsim/simulated_host.h"
#include "pipeline/parameter_table.h"

namespace shardcast::testing {

// Success when both commands returned no error.
inline ::testing::AssertionResult set_up_effect(hostsim::SimulatedHost& host) {
  const PF_Err global = host.global_setup().result;
  const PF_Err params = host.params_setup().result;
  if (global == PF_Err_NONE && params == PF_Err_NONE) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "global setup returned " << global << ", parameter setup " << params;
}

inline void damage_some_bytes(hostsim::SimulatedHost& host, double broken_bytes = 40, double seed = 1234) {
  host.set_slider(PARAM_BROKEN_BYTES, broken_bytes);
  host.set_slider(PARAM_SEED, seed);
}

}  // namespace shardcast::testing
