// The render under a failing allocator. This program replaces every form of
// the global operator new and delete and runs the effect linked into it,
// so that the n-th allocation the module makes can be refused: a throwing
// form throws std::bad_alloc, a nothrow form yields null. Allocations made
// by the simulated host inside its callbacks are never refused (the host is
// not under test), and every block the module allocates during a command is
// tracked until it is freed, so a leak shows up here as well as under
// LeakSanitizer.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "host/entry_points.h"
#include "hostsim/simulated_host.h"
#include "support/effect_setup.h"

namespace {

// The allocator's bookkeeping. Replacement operators are process-wide by
// nature, so this is too.
struct AllocatorState {
  static constexpr std::size_t tracked_blocks = 1024;

  bool armed = false;       // counting: the module is running, not the host
  std::size_t counted = 0;  // allocations counted since the last reset
  std::size_t fail_at = 0;  // 1-based; 0 refuses nothing
  bool refused = false;
  bool refused_nothrow = false;
  void* live[tracked_blocks] = {};  // blocks the module allocated and still holds
  bool overflow = false;

  void reset(std::size_t refuse) {
    counted = 0;
    fail_at = refuse;
    refused = false;
    refused_nothrow = false;
    for (void*& slot : live) {
      slot = nullptr;  // a leak of an earlier command has been reported by then
    }
  }
  // True when this allocation must be refused.
  bool refuse_next(bool nothrow) {
    if (!armed) {
      return false;
    }
    if (++counted != fail_at) {
      return false;
    }
    refused = true;
    refused_nothrow = nothrow;
    return true;
  }
  void track(void* block) {
    if (!armed || block == nullptr) {
      return;
    }
    for (void*& slot : live) {
      if (slot == nullptr) {
        slot = block;
        return;
      }
    }
    overflow = true;
  }
  void forget(void* block) {
    for (void*& slot : live) {
      if (slot == block) {
        slot = nullptr;
        return;
      }
    }
  }
  std::size_t held() const {
    std::size_t count = 0;
    for (void* slot : live) {
      count += slot != nullptr ? 1 : 0;
    }
    return count;
  }
};

AllocatorState allocator;

void* allocate(std::size_t size, std::size_t alignment, bool nothrow) {
  if (allocator.refuse_next(nothrow)) {
    if (nothrow) {
      return nullptr;
    }
    throw std::bad_alloc();
  }
  if (size == 0) {
    size = 1;
  }
  void* block = nullptr;
  if (alignment <= alignof(std::max_align_t)) {
    block = std::malloc(size);
  } else {
    block = std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
  }
  if (block == nullptr && !nothrow) {
    throw std::bad_alloc();
  }
  allocator.track(block);
  return block;
}

void release(void* block) {
  if (block != nullptr) {
    allocator.forget(block);
    std::free(block);
  }
}

constexpr std::size_t default_alignment = alignof(std::max_align_t);

}  // namespace

void* operator new(std::size_t size) { return allocate(size, default_alignment, false); }
void* operator new[](std::size_t size) { return allocate(size, default_alignment, false); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return allocate(size, default_alignment, true); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size, default_alignment, true);
}
void* operator new(std::size_t size, std::align_val_t align) {
  return allocate(size, static_cast<std::size_t>(align), false);
}
void* operator new[](std::size_t size, std::align_val_t align) {
  return allocate(size, static_cast<std::size_t>(align), false);
}
void* operator new(std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return allocate(size, static_cast<std::size_t>(align), true);
}
void* operator new[](std::size_t size, std::align_val_t align, const std::nothrow_t&) noexcept {
  return allocate(size, static_cast<std::size_t>(align), true);
}
void operator delete(void* block) noexcept { release(block); }
void operator delete[](void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t) noexcept { release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { release(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { release(block); }
void operator delete(void* block, std::align_val_t) noexcept { release(block); }
void operator delete[](void* block, std::align_val_t) noexcept { release(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { release(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { release(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { release(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { release(block); }

namespace {

using shardcast::hostsim::CommandOutcome;
using shardcast::hostsim::EffectEntryPoints;
using shardcast::hostsim::HostCall;
using shardcast::hostsim::HostOptions;
using shardcast::hostsim::Picture;
using shardcast::hostsim::SimulatedHost;

constexpr PF_Pixel output_fill = {7, 11, 13, 17};
constexpr A_long frame_width = 40;  // padded to 48: the geometry step runs too
constexpr A_long frame_height = 12;

// Counts (and refuses) allocations only while the module runs: around the
// command, and not inside the host's callbacks.
struct ModuleOnly {
  struct Disarmed {
    bool was = allocator.armed;
    Disarmed() { allocator.armed = false; }
    ~Disarmed() { allocator.armed = was; }
  };

  static inline PF_InteractCallbacks host_inter{};
  static inline PF_UtilCallbacks* host_utils = nullptr;
  static inline PF_UtilCallbacks utils{};

  static PF_Err checkout(PF_ProgPtr ref, PF_ParamIndex index, A_long t, A_long step, A_u_long scale,
                         PF_ParamDef* param) {
    Disarmed host;
    return host_inter.checkout_param(ref, index, t, step, scale, param);
  }
  static PF_Err add_param(PF_ProgPtr ref, PF_ParamIndex index, PF_ParamDefPtr def) {
    Disarmed host;
    return host_inter.add_param(ref, index, def);
  }
  static PF_Err checkin(PF_ProgPtr ref, PF_ParamDef* param) {
    Disarmed host;
    return host_inter.checkin_param(ref, param);
  }
  static PF_Err new_world(PF_ProgPtr ref, A_long w, A_long h, PF_NewWorldFlags flags, PF_EffectWorld* world) {
    Disarmed host;
    return host_utils->new_world(ref, w, h, flags, world);
  }
  static PF_Err dispose_world(PF_ProgPtr ref, PF_EffectWorld* world) {
    Disarmed host;
    return host_utils->dispose_world(ref, world);
  }
  static PF_Err fill(PF_ProgPtr ref, const PF_Pixel* colour, const PF_Rect* rect, PF_EffectWorld* world) {
    Disarmed host;
    return host_utils->fill(ref, colour, rect, world);
  }
  static PF_Err copy(PF_ProgPtr ref, PF_EffectWorld* src, PF_EffectWorld* dst, PF_Rect* src_r, PF_Rect* dst_r) {
    Disarmed host;
    return host_utils->copy(ref, src, dst, src_r, dst_r);
  }
  static PF_Err pixel_data(PF_EffectWorld* world, PF_PixelPtr pixels, PF_Pixel8** result) {
    Disarmed host;
    return host_utils->get_pixel_data8(world, pixels, result);
  }

  static PF_Err effect_main(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                            PF_LayerDef* output, void* extra) {
    host_inter = in_data->inter;
    in_data->inter.checkout_param = checkout;
    in_data->inter.checkin_param = checkin;
    in_data->inter.add_param = add_param;
    host_utils = in_data->utils;
    utils = *host_utils;
    utils.new_world = new_world;
    utils.dispose_world = dispose_world;
    utils.fill = fill;
    utils.copy = copy;
    utils.get_pixel_data8 = pixel_data;
    in_data->utils = &utils;
    allocator.armed = true;
    const PF_Err err = EffectMain(cmd, in_data, out_data, params, output, extra);
    allocator.armed = false;
    return err;
  }
};

Picture test_picture() {
  Picture picture = Picture::filled(frame_width, frame_height, {255, 0, 0, 0});
  for (A_long y = 0; y < frame_height; ++y) {
    for (A_long x = 0; x < frame_width; ++x) {
      picture.set(x, y,
                  {255, static_cast<A_u_char>(x * 6), static_cast<A_u_char>(y * 20),
                   static_cast<A_u_char>((x * y) & 0xFF)});
    }
  }
  return picture;
}

class FailingAllocator : public testing::Test {
 protected:
  void SetUp() override {
    HostOptions options;
    options.output_fill = output_fill;
    host_ =
        std::make_unique<SimulatedHost>(EffectEntryPoints{ModuleOnly::effect_main, PluginDataEntryFunction}, options);
    ASSERT_TRUE(shardcast::testing::set_up_effect(*host_));
    shardcast::testing::damage_some_bytes(*host_, 60, 4321);
  }

  // One render with the n-th module allocation refused (0: none refused);
  // the decoder's lines are kept for inspection.
  CommandOutcome render(std::size_t refuse, std::string* lines = nullptr) {
    allocator.reset(refuse);
    testing::internal::CaptureStdout();
    CommandOutcome outcome = host_->render(test_picture());
    const std::string text = testing::internal::GetCapturedStdout();
    if (lines != nullptr) {
      *lines = text;
    }
    return outcome;
  }

  // Whatever is refused, the host gets everything back and the module holds
  // nothing afterwards.
  static void expect_clean_up(const CommandOutcome& outcome) {
    EXPECT_TRUE(outcome.clean()) << testing::PrintToString(outcome.violations);
    EXPECT_EQ(outcome.count(HostCall::CheckinParam), 35u);
    EXPECT_EQ(outcome.count(HostCall::DisposeWorld), outcome.count(HostCall::NewWorld));
    EXPECT_EQ(allocator.held(), 0u) << "blocks the module allocated and never freed";
    EXPECT_FALSE(allocator.overflow);
  }

  std::unique_ptr<SimulatedHost> host_;
};

const Picture untouched_output = Picture::filled(frame_width, frame_height, output_fill);

// A refused throwing allocation ends the render with PF_Err_OUT_OF_MEMORY
// after the clean-up; a refused nothrow allocation is one of the decoder's,
// which gives up with the output untouched and the render succeeding.
TEST_F(FailingAllocator, EveryAllocationOfARenderCanFailWithoutCrashOrLeak) {
  const CommandOutcome reference = render(0);
  ASSERT_EQ(reference.result, PF_Err_NONE);
  ASSERT_NE(reference.output, untouched_output);
  expect_clean_up(reference);
  const std::size_t allocations = allocator.counted;
  ASSERT_GE(allocations, 2u) << "the decoder's state and its coefficient storage";
  RecordProperty("allocations_per_render", static_cast<int>(allocations));

  for (std::size_t n = 1; n <= allocations; ++n) {
    SCOPED_TRACE(testing::Message() << "allocation " << n << " of " << allocations << " refused");
    std::string lines;
    const CommandOutcome outcome = render(n, &lines);
    ASSERT_TRUE(allocator.refused);
    expect_clean_up(outcome);
    EXPECT_EQ(outcome.output, untouched_output);
    if (allocator.refused_nothrow) {
      EXPECT_EQ(outcome.result, PF_Err_NONE);
      EXPECT_NE(lines.find("Error - Memory error\n"), std::string::npos);
    } else {
      EXPECT_EQ(outcome.result, PF_Err_OUT_OF_MEMORY);
    }
  }
}

// Filter 1's snapshot comes after the decoder's allocations; without it the
// filter is left out and the frame is the unfiltered one.
TEST_F(FailingAllocator, ARefusedFilterSnapshotLeavesTheFrameUnfiltered) {
  const CommandOutcome unfiltered = render(0);
  const std::size_t decoder_allocations = allocator.counted;
  host_->set_checkbox(30, true);
  host_->set_slider(31, 2.5);
  const CommandOutcome filtered = render(0);
  const std::size_t allocations = allocator.counted;
  ASSERT_GT(allocations, decoder_allocations);
  ASSERT_NE(filtered.output, unfiltered.output);

  for (std::size_t n = decoder_allocations + 1; n <= allocations; ++n) {
    SCOPED_TRACE(testing::Message() << "allocation " << n << " refused");
    const CommandOutcome outcome = render(n);
    expect_clean_up(outcome);
    EXPECT_EQ(outcome.result, allocator.refused_nothrow ? PF_Err_NONE : PF_Err_OUT_OF_MEMORY);
    if (allocator.refused_nothrow) {
      EXPECT_EQ(outcome.output, unfiltered.output);
    }
  }
}

}  // namespace
