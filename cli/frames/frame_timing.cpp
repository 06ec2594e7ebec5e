// Frame rates, time ranges and host times.
//
// A rate is kept as an exact fraction so that frame N's time is N whole
// steps: the effect's parameters are read at current_time / time_step, and
// that division must give the frame number back exactly. Frame times are
// bounded before they are multiplied, so no product can overflow.
#include "cli/frames/frame_timing.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <numeric>

namespace shardcast::cli {
namespace {

bool parse_whole(const std::string& text, std::int64_t& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

bool parse_decimal(const std::string& text, double& value) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) {
    return false;
  }
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end && std::isfinite(value);
}

// [H:]M:S or S, S with decimals.
bool parse_seconds(const std::string& text, double& seconds) {
  seconds = 0;
  std::size_t start = 0;
  int fields = 0;
  for (;;) {
    const std::size_t colon = text.find(':', start);
    const std::string field = text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    double value = 0;
    if (!parse_decimal(field, value) || ++fields > 3) {
      return false;
    }
    if (colon == std::string::npos) {
      if (fields > 1 && value >= 60) {
        return false;
      }
      seconds = seconds * 60 + value;
      return true;
    }
    if (field.find('.') != std::string::npos || (fields > 1 && value >= 60)) {
      return false;
    }
    seconds = seconds * 60 + value;
    start = colon + 1;
  }
}

}  // namespace

std::string FrameRate::text() const {
  return denominator == 1 ? std::to_string(numerator) : std::to_string(numerator) + "/" + std::to_string(denominator);
}

std::string FrameRate::parse(const std::string& text, FrameRate& rate) {
  const std::string refusal = "expected frames per second such as 25, 30000/1001 or 29.97, not \"" + text + "\"";
  std::int64_t numerator = 0;
  std::int64_t denominator = 1;
  if (const std::size_t slash = text.find('/'); slash != std::string::npos) {
    if (!parse_whole(text.substr(0, slash), numerator) || !parse_whole(text.substr(slash + 1), denominator)) {
      return refusal;
    }
  } else if (!parse_whole(text, numerator)) {
    double value = 0;
    if (!parse_decimal(text, value)) {
      return refusal;
    }
    // 29.97 is 30000/1001 the world over; other decimals are taken to the
    // thousandth.
    const double ntsc = std::round(value * 1.001);
    if (ntsc >= 1 && std::fabs(ntsc / 1.001 - value) < 0.005 && std::fmod(ntsc, 1.0) == 0 &&
        std::fabs(std::round(value) - value) > 0.001) {
      numerator = static_cast<std::int64_t>(ntsc) * 1000;
      denominator = 1001;
    } else {
      numerator = static_cast<std::int64_t>(std::llround(value * 1000));
      denominator = 1000;
    }
  }
  if (numerator <= 0 || denominator <= 0 || numerator > 1000 * denominator || denominator > 1001 * numerator ||
      denominator > std::numeric_limits<std::int32_t>::max() || numerator > std::numeric_limits<std::int32_t>::max()) {
    return "the frame rate must lie between 1/1001 and 1000 frames per second, not " + text;
  }
  const std::int64_t divisor = std::gcd(numerator, denominator);
  rate.numerator = numerator / divisor;
  rate.denominator = denominator / divisor;
  return {};
}

bool FrameRate::from_fraction(std::int64_t numerator, std::int64_t denominator, FrameRate& rate) {
  if (numerator <= 0 || denominator <= 0) {
    return false;
  }
  const std::int64_t divisor = std::gcd(numerator, denominator);
  if (numerator / divisor > std::numeric_limits<std::int32_t>::max() ||
      denominator / divisor > std::numeric_limits<std::int32_t>::max()) {
    return false;
  }
  rate.numerator = numerator / divisor;
  rate.denominator = denominator / divisor;
  return true;
}

bool TimeRange::open_end() const { return std::isinf(end); }

std::string TimeRange::parse(const std::string& text, TimeRange& range) {
  const std::size_t dash = text.find('-');
  const bool open = dash != std::string::npos && dash + 1 == text.size();
  if (open) {
    range.end = std::numeric_limits<double>::infinity();
  }
  if (dash == std::string::npos || !parse_seconds(text.substr(0, dash), range.start) ||
      (!open && !parse_seconds(text.substr(dash + 1), range.end))) {
    return "expected START-END or START- in seconds (4.5) or minutes and seconds (1:02.5), not \"" + text + "\"";
  }
  if (range.end <= range.start) {
    return "the end of the time range must come after its start";
  }
  return {};
}

std::int64_t last_host_frame(const FrameRate& rate) {
  constexpr std::int64_t clock_end = std::numeric_limits<std::int32_t>::max();
  if (rate.denominator <= 0 || rate.denominator > clock_end || rate.numerator <= 0 ||
      rate.numerator > std::numeric_limits<std::uint32_t>::max()) {
    return -1;
  }
  // Frame L ends at (L + 1) x time_step.
  return clock_end / rate.denominator - 1;
}

bool host_time(const FrameRate& rate, std::int64_t frame, HostTime& time) {
  if (frame < 0 || frame > last_host_frame(rate)) {
    return false;
  }
  time.current_time = static_cast<std::int32_t>(frame * rate.denominator);
  time.time_step = static_cast<std::int32_t>(rate.denominator);
  time.time_scale = static_cast<std::uint32_t>(rate.numerator);
  return true;
}

std::string beyond_host_time(const FrameRate& rate, std::int64_t frame) {
  const std::int64_t last = last_host_frame(rate);
  return "frame " + std::to_string(frame) + " lies beyond the host's time at " + rate.text() +
         " frames per second: its 32-bit clock holds " +
         (last < 0    ? std::string("no frame")
          : last == 0 ? std::string("frame 0 only")
                      : "frames 0 to " + std::to_string(last));
}

}  // namespace shardcast::cli
