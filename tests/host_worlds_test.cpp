// The simulated host's worlds from one frame to the next: storage kept by
// size and handed out again, bytes defined only where the host defines
// them, the accounting of the module's worlds unchanged by the reuse, and
// renders of rows the caller keeps.
#include <cstring>
#include <functional>
#include <vector>

#include <gtest/gtest.h>

#include "AE_EffectCBSuites.h"
#include "PrSDKAESupport.h"
#include "hostsim/simulated_host.h"
#include "hostsim/world_pool.h"

namespace shardcast::hostsim {
namespace {

// ---- the pool ----

TEST(WorldPool, HandsBackAKeptBlockOfTheSameSizeAndZeroesNewOnes) {
  WorldPool pool;
  PixelBlock block = pool.take(256);
  EXPECT_EQ(std::vector<std::uint8_t>(block.bytes.get(), block.bytes.get() + 256), std::vector<std::uint8_t>(256, 0));
  block.bytes[0] = 7;
  const std::uint8_t* kept = block.bytes.get();
  pool.give_back(std::move(block));

  const PixelBlock other_size = pool.take(320);
  EXPECT_EQ(other_size.bytes[0], 0);
  const PixelBlock again = pool.take(256);
  EXPECT_EQ(again.bytes.get(), kept);
  EXPECT_EQ(again.bytes[0], 7);  // what its last user left
  EXPECT_EQ(pool.kept(), 0u);
}

TEST(WorldPool, LetsTheLeastRecentlyReturnedBlocksGo) {
  WorldPool pool;
  std::vector<const std::uint8_t*> addresses;
  for (std::size_t size = 1; size <= WorldPool::max_kept + 2; ++size) {
    PixelBlock block = pool.take(size);
    addresses.push_back(block.bytes.get());
    pool.give_back(std::move(block));
  }
  EXPECT_EQ(pool.kept(), WorldPool::max_kept);
  EXPECT_EQ(pool.take(WorldPool::max_kept + 2).bytes.get(), addresses.back());
  EXPECT_EQ(pool.take(3).bytes.get(), addresses[2]);
  pool.give_back(PixelBlock{});  // nothing to keep
  EXPECT_EQ(pool.kept(), WorldPool::max_kept - 2);
}

// ---- a module whose render each test writes ----

using RenderBody = std::function<PF_Err(PF_InData*, PF_ParamDef**, PF_LayerDef*)>;
thread_local const RenderBody* render_body = nullptr;

// In Premiere the module announces B, G, R, A worlds, as the effect does.
PF_Err announce_bgra(PF_InData* in) {
  const PF_PixelFormatSuite1* suite = nullptr;
  if (in->appl_id == 'PrMr' && in->pica_basicP->AcquireSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1,
                                                             reinterpret_cast<const void**>(&suite)) == kSPNoError) {
    suite->ClearSupportedPixelFormats(in->effect_ref);
    suite->AddSupportedPixelFormat(in->effect_ref, PrPixelFormat_BGRA_4444_8u);
    in->pica_basicP->ReleaseSuite(kPFPixelFormatSuite, kPFPixelFormatSuiteVersion1);
  }
  return PF_Err_NONE;
}

PF_Err body_main(PF_Cmd cmd, PF_InData* in, PF_OutData*, PF_ParamDef* params[], PF_LayerDef* output, void*) {
  if (cmd == PF_Cmd_GLOBAL_SETUP) {
    return announce_bgra(in);
  }
  return cmd == PF_Cmd_RENDER ? (*render_body)(in, params, output) : PF_Err_NONE;
}

// Frames rendered by `body`, one after the other, by one host.
struct Session {
  explicit Session(RenderBody body, HostOptions options = {})
      : body_(std::move(body)), host({body_main, nullptr}, options) {
    render_body = &body_;
    host.global_setup();
  }
  ~Session() { render_body = nullptr; }
  RenderBody body_;
  SimulatedHost host;
};

std::uint8_t* bytes_of(const PF_LayerDef& world) { return reinterpret_cast<std::uint8_t*>(world.data); }

Picture numbered(A_long width, A_long height, int start) {
  Picture picture = Picture::filled(width, height, PF_Pixel{});
  for (std::size_t i = 0; i < picture.argb.size(); ++i) picture.argb[i] = static_cast<std::uint8_t>(start + i * 3);
  return picture;
}

// ---- frames ----

TEST(FrameReuse, AnUnclearedWorldHoldsJunkOrTheLastFramesBytesAndAClearedOneZeroes) {
  const struct {
    bool pixel_checks;
    PF_NewWorldFlags flags;
    std::uint8_t second_frame_sees;
  } cases[] = {{true, PF_NewWorldFlag_NONE, 0xCD},
               {false, PF_NewWorldFlag_NONE, 0x42},
               {false, PF_NewWorldFlag_CLEAR_PIXELS, 0},
               {true, PF_NewWorldFlag_CLEAR_PIXELS, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "pixel checks " << c.pixel_checks << ", flags " << c.flags);
    std::vector<std::uint8_t> seen;
    Session session(
        [&](PF_InData* in, PF_ParamDef**, PF_LayerDef*) {
          PF_EffectWorld work{};
          PF_Err err = in->utils->new_world(in->effect_ref, 8, 4, c.flags, &work);
          if (err == PF_Err_NONE) {
            seen.push_back(bytes_of(work)[5]);
            std::memset(bytes_of(work), 0x42, static_cast<std::size_t>(work.rowbytes) * 4);
            err = in->utils->dispose_world(in->effect_ref, &work);
          }
          return err;
        },
        HostOptions{.pixel_checks = c.pixel_checks});
    EXPECT_TRUE(session.host.render(numbered(8, 4, 0)).clean());
    EXPECT_TRUE(session.host.render(numbered(8, 4, 0)).clean());
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1], c.second_frame_sees);
  }
}

// A first frame that writes everywhere it should not; the second frame
// writes nothing and must still find exactly what the host defines.
TEST(FrameReuse, EveryFrameStartsFromTheInputTheOutputFillAndFreshPadding) {
  for (const bool pixel_checks : {true, false}) {
    SCOPED_TRACE(testing::Message() << "pixel checks " << pixel_checks);
    int frame = 0;
    std::vector<std::uint8_t> padding_seen;
    Session session(
        [&](PF_InData*, PF_ParamDef** params, PF_LayerDef* output) {
          std::uint8_t* input = bytes_of(params[0]->u.ld);
          std::uint8_t* out = bytes_of(*output);
          padding_seen.push_back(input[output->width * 4]);
          if (frame++ == 0) {
            std::memset(input, 0x11, static_cast<std::size_t>(params[0]->u.ld.rowbytes) * params[0]->u.ld.height);
            std::memset(out, 0x22, static_cast<std::size_t>(output->rowbytes) * output->height);
          }
          return PF_Err_NONE;
        },
        HostOptions{.pixel_checks = pixel_checks, .output_fill = PF_Pixel{9, 8, 7, 6}});
    const CommandOutcome careless = session.host.render(numbered(5, 3, 1));
    EXPECT_EQ(careless.violations.size(), pixel_checks ? 2u : 1u);  // the input (when checked), the padding

    Picture kept_input;
    const RenderBody look = [&](PF_InData*, PF_ParamDef** params, PF_LayerDef*) {
      const PF_LayerDef& layer = params[0]->u.ld;
      kept_input = Picture::filled(layer.width, layer.height, PF_Pixel{});
      for (A_long y = 0; y < layer.height; ++y) {
        std::memcpy(&kept_input.argb[static_cast<std::size_t>(y) * layer.width * 4],
                    bytes_of(layer) + static_cast<std::ptrdiff_t>(y) * layer.rowbytes, layer.width * 4);
      }
      padding_seen.push_back(bytes_of(layer)[layer.width * 4]);
      return PF_Err_NONE;
    };
    render_body = &look;
    const CommandOutcome quiet = session.host.render(numbered(5, 3, 2));
    EXPECT_TRUE(quiet.clean()) << quiet.violations.front();
    EXPECT_EQ(kept_input, numbered(5, 3, 2));
    EXPECT_EQ(quiet.output, Picture::filled(5, 3, PF_Pixel{9, 8, 7, 6}));
    EXPECT_EQ(padding_seen, (std::vector<std::uint8_t>{0xA5, 0xA5}));
  }
}

TEST(FrameReuse, AWorldNeverDisposedOfIsReportedInEveryFrameItLeaks) {
  Session session([](PF_InData* in, PF_ParamDef**, PF_LayerDef*) {
    PF_EffectWorld leaked{};
    return in->utils->new_world(in->effect_ref, 16, 16, PF_NewWorldFlag_NONE, &leaked);
  });
  for (int frame = 0; frame < 3; ++frame) {
    const CommandOutcome outcome = session.host.render(numbered(4, 4, frame));
    ASSERT_EQ(outcome.violations.size(), 1u) << "frame " << frame;
    EXPECT_NE(outcome.violations[0].find("16x16 created by new_world and never disposed of"), std::string::npos);
  }
}

// ---- rows the caller keeps ----

// Copies the input through the host and marks the output's first pixel.
PF_Err copy_and_mark(PF_InData* in, PF_ParamDef** params, PF_LayerDef* output) {
  PF_Err err = in->utils->copy(in->effect_ref, &params[0]->u.ld, output, nullptr, nullptr);
  const PF_Pixel mark{1, 2, 3, 4};
  const PF_Rect first{0, 0, 1, 1};
  return err != PF_Err_NONE ? err : in->utils->fill(in->effect_ref, &mark, &first, output);
}

TEST(FrameRows, RowsInEitherOrderRenderAsThePictureDoesInBothHostsAndInPlace) {
  for (const HostMode mode : {HostMode::AfterEffects, HostMode::PremierePro}) {
    SCOPED_TRACE(mode == HostMode::PremierePro ? "Premiere Pro" : "After Effects");
    Session session(copy_and_mark, HostOptions{.mode = mode, .pixel_checks = false});
    const Picture input = numbered(7, 2, 5);
    const CommandOutcome by_picture = session.host.render(input);
    ASSERT_TRUE(by_picture.clean());
    EXPECT_EQ(by_picture.output.at(0, 0).blue, 4);

    const std::vector<std::uint8_t> rgba = input.to_rgba();
    std::vector<std::uint8_t> out(rgba.size());
    const CommandOutcome by_rows = session.host.render(FrameRows{7, 2, PixelOrder::Rgba, rgba.data(), out.data()});
    EXPECT_TRUE(by_rows.clean());
    EXPECT_TRUE(by_rows.output.argb.empty());
    EXPECT_EQ(out, by_picture.output.to_rgba());

    std::vector<std::uint8_t> in_place = input.argb;
    session.host.render(FrameRows{7, 2, PixelOrder::Argb, in_place.data(), in_place.data()});
    EXPECT_EQ(in_place, by_picture.output.argb);
  }
}

}  // namespace
}  // namespace shardcast::hostsim
