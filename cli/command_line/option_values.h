// The values of the tool's own options as they are typed: whole numbers in
// a range, a size WxH, a pixel count. Each is taken whole or refused with
// one sentence naming the option and what it takes.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "cli/pictures/picture_limits.h"

namespace shardcast::cli {

// A whole number in decimal, nothing before or after it.
bool parse_whole(const std::string& text, std::int64_t& value);

// A whole number within [lowest, highest] for an option, or the refusal.
std::string parse_bounded(const std::string& option, const std::string& text, std::int64_t lowest, std::int64_t highest,
                          std::int64_t& value);

// The same for an option that may not have been given (empty text): its
// number goes into `target` (an int, a std::optional<int> or a
// std::int64_t) only when it was.
template <typename Target>
std::string parse_given(const std::string& option, const std::string& text, std::int64_t lowest, std::int64_t highest,
                        Target& target) {
  if (text.empty()) {
    return {};
  }
  std::int64_t number = 0;
  std::string refusal = parse_bounded(option, text, lowest, highest, number);
  if (refusal.empty()) {
    if constexpr (std::is_same_v<Target, std::int64_t>) {
      target = number;
    } else {
      target = static_cast<int>(number);
    }
  }
  return refusal;
}

// --max-pixels: a whole number of pixels into the limits, or the refusal.
std::string parse_max_pixels(const std::string& text, PictureLimits& limits);

// --sample-size WxH, which applies only without an input: the sample
// frame's size, its default when not given. Empty on success, otherwise
// the refusal.
std::string parse_sample_size(const std::string& text, const std::string& input, const PictureLimits& limits,
                              std::int32_t& width, std::int32_t& height);

}  // namespace shardcast::cli
