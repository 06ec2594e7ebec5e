// Frame-sequence names.
//
// Patterns accept exactly the printf integer forms people use for numbered
// frames and refuse every other conversion; a frame number is formatted
// here, never by handing the user's text to printf.
#include "cli/frame_sequence.h"

#include <string>

namespace shardcast::cli {

std::string FramePattern::parse(const std::string& text, FramePattern& pattern) {
  pattern = FramePattern{};
  std::string* target = &pattern.prefix;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      *target += text[i];
      continue;
    }
    std::size_t j = i + 1;
    if (j < text.size() && text[j] == '%') {
      *target += '%';
      i = j;
      continue;
    }
    const bool zero = j < text.size() && text[j] == '0';
    if (zero) {
      ++j;
    }
    int width = 0;
    int digits = 0;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9' && digits < 3) {
      width = width * 10 + (text[j] - '0');
      ++digits;
      ++j;
    }
    if (digits > 2 || j >= text.size() || text[j] != 'd') {
      return "only %d, %Nd, %0Nd and %% may follow a percent sign";
    }
    if (pattern.has_frame_number) {
      return "more than one frame number conversion";
    }
    pattern.has_frame_number = true;
    pattern.zero_padded = zero;
    pattern.field_width = width;
    target = &pattern.suffix;
    i = j;
  }
  return {};
}

std::string FramePattern::name_for(std::int64_t frame) const {
  if (!has_frame_number) {
    return prefix;
  }
  std::string number = std::to_string(frame);
  const bool negative = frame < 0;
  if (static_cast<int>(number.size()) < field_width) {
    const std::size_t fill = static_cast<std::size_t>(field_width) - number.size();
    if (zero_padded) {
      number.insert(negative ? 1 : 0, fill, '0');
    } else {
      number.insert(0, fill, ' ');
    }
  }
  return prefix + number + suffix;
}

namespace {

bool parse_frame_number(const std::string& text, std::int64_t& value) {
  if (text.empty() || text.size() > 9) {
    return false;
  }
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      return false;
    }
    value = value * 10 + (c - '0');
  }
  return true;
}

}  // namespace

std::string FrameRange::parse(const std::string& text, FrameRange& range) {
  const std::size_t dash = text.find('-');
  const std::string first = text.substr(0, dash);
  const std::string last = dash == std::string::npos ? first : text.substr(dash + 1);
  if (!parse_frame_number(first, range.first) || !parse_frame_number(last, range.last)) {
    return "expected A-B with whole frame numbers from 0 to 999999999";
  }
  if (range.first > range.last) {
    return "the first frame comes after the last";
  }
  return {};
}

}  // namespace shardcast::cli
