// Time in a render: the frame rate of sequences and clips, the --time range
// of a clip, and a frame's time as the host passes it to the effect.
#pragma once

#include <cstdint>
#include <string>

namespace shardcast::cli {

// Frames per second as a fraction, e.g. 30000/1001.
struct FrameRate {
  std::int64_t numerator = 25;
  std::int64_t denominator = 1;

  double per_second() const { return static_cast<double>(numerator) / static_cast<double>(denominator); }
  // "25" or "30000/1001".
  std::string text() const;
  // "25", "30000/1001", or a decimal such as "29.97" (the NTSC rates 23.976,
  // 29.97, 47.952, 59.94 and 119.88 become N000/1001); from 1/1001 to
  // 1000 frames per second. Empty on success, otherwise the refusal.
  static std::string parse(const std::string& text, FrameRate& rate);
  // A clip's own rate, whatever it is, as long as the host's time can step
  // by its frames: both terms positive and, once reduced, within 32 bits.
  // False otherwise.
  static bool from_fraction(std::int64_t numerator, std::int64_t denominator, FrameRate& rate);
};

// Seconds from the start of a clip: frames whose time t has
// start <= t < end.
struct TimeRange {
  double start = 0;
  double end = 0;  // infinity for "START-": to the end of the clip

  bool contains(double seconds) const { return seconds >= start && seconds < end; }
  bool open_end() const;
  // "START-END" or "START-", each seconds ("4.5") or [H:]M:S ("1:02.5");
  // END after START.
  static std::string parse(const std::string& text, TimeRange& range);
};

// The host's time of a frame: current_time = frame x time_step in units of
// 1/time_scale seconds, with time_step / time_scale one frame long. The
// host's clock is a signed 32-bit count, and a frame must end on it too
// (the host's total_time), so the frames it holds at a rate are 0 to
// last_host_frame(rate). False for a frame outside.
struct HostTime {
  std::int32_t current_time = 0;
  std::int32_t time_step = 1;
  std::uint32_t time_scale = 25;
};
bool host_time(const FrameRate& rate, std::int64_t frame, HostTime& time);
std::int64_t last_host_frame(const FrameRate& rate);
// Why `frame` cannot be rendered at this rate: the refusal's text.
std::string beyond_host_time(const FrameRate& rate, std::int64_t frame);

}  // namespace shardcast::cli
