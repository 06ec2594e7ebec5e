// Frame rates, time ranges and host times.
//
// A rate is kept as an exact fraction so that frame N's time is N whole
// steps: the effect's parameters are read at current_time / time_step, and
// that division must give the frame number back exactly.
#include "cli/frame_timing.h"

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

std::string TimeRange::parse(const std::string& text, TimeRange& range) {
  const std::size_t dash = text.find('-');
  if (dash == std::string::npos || !parse_seconds(text.substr(0, dash), range.start) ||
      !parse_seconds(text.substr(dash + 1), range.end)) {
    return "expected START-END in seconds (4.5) or minutes and seconds (1:02.5), not \"" + text + "\"";
  }
  if (range.end <= range.start) {
    return "the end of the time range must come after its start";
  }
  return {};
}

bool host_time(const FrameRate& rate, std::int64_t frame, HostTime& time) {
  const std::int64_t current = frame * rate.denominator;
  if (frame < 0 || current > std::numeric_limits<std::int32_t>::max()) {
    return false;
  }
  time.current_time = static_cast<std::int32_t>(current);
  time.time_step = static_cast<std::int32_t>(rate.denominator);
  time.time_scale = static_cast<std::uint32_t>(rate.numerator);
  return true;
}

}  // namespace shardcast::cli
