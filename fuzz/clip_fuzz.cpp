// Fuzzes the clip road: the input's bytes are opened as a clip from memory,
// exactly as the tool opens a file (probing bounded, every decoder held to
// the pixel limit), its frames are counted, and its first frames are read
// and rendered through the effect as the simulated host renders them. A
// clip is refused, or read: every frame it gives has the size the clip
// declared, within the limit, numbered from 0, and renders cleanly. The
// clip is then opened again and a part of it sought, as --frames does: the
// frames that follow have the declared size and numbers that count up by
// one.
//
// It runs as the tool would under a 1 GiB address-space cap. The replay
// program sets that cap itself; under AddressSanitizer, which reserves far
// more address space than that for its shadow memory, an allocation above
// 1 GiB fails instead, as it would under the cap.
//
// FFmpeg's libraries are Debian's and not instrumented: libFuzzer sees the
// coverage of our own code only, and finds FFmpeg's faults as crashes,
// leaks, hangs and memory beyond the limits.
#include <sys/resource.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>

#include "AE_Effect.h"
#include "cli/video/video.h"
#include "host/effect_messages.h"
#include "host/entry_points.h"
#include "hostsim/simulated_host.h"
#include "pipeline/parameters.h"

// A fuzzing run has no use for the decoder's lines.
shardcast::MessageSink shardcast::effect_messages() { return shardcast::MessageSink::discard(); }

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SHARDCAST_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define SHARDCAST_ADDRESS_SANITIZER 1
#endif

#if defined(SHARDCAST_ADDRESS_SANITIZER)
// The cap's stand-in: an allocation above it returns null, as mmap would.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1:max_allocation_size_mb=1024"; }
#endif

namespace {

namespace cli = shardcast::cli;
namespace hostsim = shardcast::hostsim;

// Small frames keep each input quick; the limit works the same at any size.
constexpr std::uint64_t pixel_limit = std::uint64_t{1} << 18;
constexpr int frames_read = 8;
constexpr int frames_rendered = 2;

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "clip_fuzz: %s\n", what.c_str());
  std::abort();
}

bool cap_address_space() {
#if !defined(SHARDCAST_ADDRESS_SANITIZER)
  const rlimit cap{rlim_t{1} << 30, rlim_t{1} << 30};
  if (setrlimit(RLIMIT_AS, &cap) != 0) {
    fail("cannot cap the address space");
  }
#endif
  return true;
}

// The effect, set up once as a host applies it, with damage enough that
// the decoder's recovery runs too.
hostsim::SimulatedHost& effect() {
  static hostsim::SimulatedHost host = [] {
    hostsim::SimulatedHost made(hostsim::EffectEntryPoints{EffectMain, PluginDataEntryFunction});
    if (made.global_setup().result != PF_Err_NONE || made.params_setup().result != PF_Err_NONE) {
      fail("the effect did not set up");
    }
    made.set_slider(shardcast::PARAM_BROKEN_BYTES, 20);
    return made;
  }();
  return host;
}

void check_info(const cli::ClipInfo& info) {
  if (info.width <= 0 || info.height <= 0 ||
      static_cast<std::uint64_t>(info.width) * static_cast<std::uint64_t>(info.height) > pixel_limit) {
    fail("a clip of " + std::to_string(info.width) + "x" + std::to_string(info.height) + " pixels was taken");
  }
  if (info.rate.numerator <= 0 || info.rate.denominator <= 0 || info.frame_count < 0) {
    fail("a clip with rate " + info.rate.text() + " and " + std::to_string(info.frame_count) + " frames");
  }
}

void render(const cli::VideoFrame& frame, const cli::FrameRate& rate) {
  const cli::Image& image = frame.image;
  cli::HostTime time;
  // The tool refuses frames the host could not take before it renders.
  if (image.width > PF_MAX_WORLD_WIDTH || image.height > PF_MAX_WORLD_HEIGHT ||
      !cli::host_time(rate, frame.number, time)) {
    return;
  }
  const hostsim::CommandOutcome outcome =
      effect().render(hostsim::Picture::from_rgba(image.width, image.height, image.rgba.data()),
                      hostsim::FrameTime{time.current_time, time.time_step, time.time_scale});
  if (outcome.result != PF_Err_NONE || !outcome.clean() || outcome.output.width != image.width ||
      outcome.output.height != image.height) {
    fail("frame " + std::to_string(frame.number) + " did not render cleanly");
  }
}

// A part from frame 3 on, sought as the tool seeks it.
void read_part(std::span<const std::uint8_t> bytes, const cli::ClipInfo& info) {
  cli::VideoReader reader;
  if (!reader.open_memory(bytes, cli::PictureLimits{pixel_limit}).empty()) {
    return;
  }
  reader.seek_frame(3);
  std::int64_t previous = -1;
  for (int read = 0; read < frames_read; ++read) {
    cli::VideoFrame frame;
    bool end = false;
    if (!reader.next(frame, end).empty() || end) {
      return;
    }
    if ((previous >= 0 && frame.number != previous + 1) || frame.number < 0 || frame.image.width != info.width ||
        frame.image.height != info.height) {
      fail("frame " + std::to_string(frame.number) + " after a seek is not the frame the clip declared");
    }
    previous = frame.number;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool capped = cap_address_space();
  (void)capped;
  cli::VideoReader reader;
  if (!reader.open_memory(std::span(data, size), cli::PictureLimits{pixel_limit}).empty()) {
    return 0;
  }
  const cli::ClipInfo info = reader.info();
  check_info(info);
  if (reader.count_frames().empty() && reader.info().frame_count < 0) {
    fail("a negative count of frames");
  }
  for (std::int64_t number = 0; number < frames_read; ++number) {
    cli::VideoFrame frame;
    bool end = false;
    if (!reader.next(frame, end).empty() || end) {
      break;
    }
    const cli::Image& image = frame.image;
    if (frame.number != number || image.width != info.width || image.height != info.height ||
        image.rgba.size() != static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height) * 4) {
      fail("frame " + std::to_string(number) + " is not the frame the clip declared");
    }
    if (number < frames_rendered) {
      render(frame, info.rate);
    }
  }
  read_part(std::span(data, size), info);
  return 0;
}
