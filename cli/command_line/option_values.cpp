// The tool's own option values (option_values.h). Numbers are read with
// std::from_chars: no sign but a leading minus, no spaces, no suffix.
#include "cli/command_line/option_values.h"

#include <charconv>

#include "cli/pictures/sample_frame.h"

namespace shardcast::cli {
namespace {

// The top of --max-pixels' range only keeps the tool's size arithmetic in
// 64 bits; memory runs out long before.
constexpr std::uint64_t max_pixels_ceiling = std::uint64_t{1} << 40;

bool parse_size(const std::string& text, std::int32_t& width, std::int32_t& height) {
  const std::size_t x = text.find('x');
  if (x == std::string::npos) {
    return false;
  }
  std::int64_t w = 0;
  std::int64_t h = 0;
  if (!parse_whole(text.substr(0, x), w) || !parse_whole(text.substr(x + 1), h) || w <= 0 || h <= 0 || w > 16384 ||
      h > 16384) {
    return false;
  }
  width = static_cast<std::int32_t>(w);
  height = static_cast<std::int32_t>(h);
  return true;
}

}  // namespace

bool parse_whole(const std::string& text, std::int64_t& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

std::string parse_bounded(const std::string& option, const std::string& text, std::int64_t lowest, std::int64_t highest,
                          std::int64_t& value) {
  if (!parse_whole(text, value) || value < lowest || value > highest) {
    return option + " takes a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest) +
           ", not \"" + text + "\"";
  }
  return {};
}

std::string parse_max_pixels(const std::string& text, PictureLimits& limits) {
  std::int64_t value = 0;
  if (!parse_whole(text, value) || value < 1 || static_cast<std::uint64_t>(value) > max_pixels_ceiling) {
    return "--max-pixels " + text + ": expected a whole number of pixels from 1 to " +
           std::to_string(max_pixels_ceiling);
  }
  limits.max_pixels = static_cast<std::uint64_t>(value);
  return {};
}

std::string parse_sample_size(const std::string& text, const std::string& input, const PictureLimits& limits,
                              std::int32_t& width, std::int32_t& height) {
  width = sample_frame_width;
  height = sample_frame_height;
  if (text.empty()) {
    return {};
  }
  if (!input.empty()) {
    return "--sample-size applies only to the built-in sample frame (no input given)";
  }
  if (!parse_size(text, width, height)) {
    return "--sample-size takes WxH, each from 1 to 16384, not \"" + text + "\"";
  }
  return limits.check_size("--sample-size: the sample frame", static_cast<std::uint64_t>(width),
                           static_cast<std::uint64_t>(height));
}

}  // namespace shardcast::cli
