#include "pipeline/glitch_settings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace shardcast {
namespace {

GlitchSettings seeded(std::int32_t seed, std::int32_t qtl_seed, std::int32_t qtc_seed) {
  GlitchSettings settings;
  settings.seed = seed;
  settings.qtl_seed = qtl_seed;
  settings.qtc_seed = qtc_seed;
  settings.seed_engines();
  return settings;
}

TEST(EngineSeeding, EachEngineStartsAfreshFromItsOwnSeedField) {
  GlitchSettings settings = seeded(1, 2, 3);
  EXPECT_TRUE(settings.glitch_rng == std::mt19937(1u));
  EXPECT_TRUE(settings.qtl_rng == std::mt19937(2u));
  EXPECT_TRUE(settings.qtc_rng == std::mt19937(3u));

  // Whatever an earlier render drew, seeding again starts from scratch.
  settings.glitch_rng.discard(1000);
  settings.qtl_rng();
  settings.qtc_rng.discard(5);
  settings.seed_engines();
  EXPECT_TRUE(settings.glitch_rng == std::mt19937(1u));
  EXPECT_TRUE(settings.qtl_rng == std::mt19937(2u));
  EXPECT_TRUE(settings.qtc_rng == std::mt19937(3u));
}

TEST(EngineSeeding, NegativeSeedIsTakenAsItsUnsignedPattern) {
  const GlitchSettings settings = seeded(-1, -2, -2147483647 - 1);
  EXPECT_TRUE(settings.glitch_rng == std::mt19937(0xFFFFFFFFu));
  EXPECT_TRUE(settings.qtl_rng == std::mt19937(0xFFFFFFFEu));
  EXPECT_TRUE(settings.qtc_rng == std::mt19937(0x80000000u));
}

}  // namespace
}  // namespace shardcast
