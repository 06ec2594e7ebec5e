// Keyframed parameter values: parsing the option text and the value at a
// frame.
//
// Interpolation is v0 + (v1 - v0) * u in double precision, u being the
// fraction of the way from one key's frame to the next; a key's own frame
// returns its value as typed, and the result is kept between the two keys
// so that rounding can never carry it past a range the keys were checked
// against.
#include "cli/parameters/animated_values.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "cli/frames/frame_sequence.h"

namespace shardcast::cli {

ValueTrack ValueTrack::constant(double value) { return ValueTrack{{ValueKey{0, value}}, false}; }

double ValueTrack::at(double frame) const {
  if (keys.empty()) {
    return 0.0;
  }
  if (!(frame > static_cast<double>(keys.front().frame))) {
    return keys.front().value;
  }
  if (frame >= static_cast<double>(keys.back().frame)) {
    return keys.back().value;
  }
  const auto next = std::upper_bound(keys.begin(), keys.end(), frame,
                                     [](double f, const ValueKey& key) { return f < static_cast<double>(key.frame); });
  const ValueKey& before = *(next - 1);
  const ValueKey& after = *next;
  if (hold || frame == static_cast<double>(before.frame)) {
    return before.value;
  }
  const double fraction = (frame - static_cast<double>(before.frame)) / static_cast<double>(after.frame - before.frame);
  const double value = before.value + (after.value - before.value) * fraction;
  return std::clamp(value, std::min(before.value, after.value), std::max(before.value, after.value));
}

// A piecewise straight line reaches its extremes at the ends of the range
// or at a key inside it.
std::pair<double, double> ValueTrack::extremes(std::int64_t first, std::int64_t last) const {
  const double at_first = at(static_cast<double>(first));
  const double at_last = at(static_cast<double>(last));
  std::pair<double, double> result{std::min(at_first, at_last), std::max(at_first, at_last)};
  for (const ValueKey& key : keys) {
    if (key.frame > first && key.frame < last) {
      result = {std::min(result.first, key.value), std::max(result.second, key.value)};
    }
  }
  return result;
}

double ValueTrack::lowest(std::int64_t first, std::int64_t last) const { return extremes(first, last).first; }
double ValueTrack::highest(std::int64_t first, std::int64_t last) const { return extremes(first, last).second; }

bool parse_number(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

bool parse_checkbox(const std::string& text, double& value) {
  std::string word = text;
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (word == "on" || word == "1" || word == "true") {
    value = 1;
    return true;
  }
  if (word == "off" || word == "0" || word == "false") {
    value = 0;
    return true;
  }
  return false;
}

namespace {

std::string expected(bool checkbox, const std::string& text) {
  return std::string("expected ") + (checkbox ? "on or off" : "a number") + ", or keys such as " +
         (checkbox ? "off@0,on@24" : "0@0,400@48") + ", not \"" + text + "\"";
}

bool parse_value(const std::string& text, bool checkbox, double& value) {
  return checkbox ? parse_checkbox(text, value) : parse_number(text, value);
}

}  // namespace

std::string parse_track(const std::string& text, bool checkbox, ValueTrack& track) {
  track = ValueTrack{};
  track.hold = checkbox;
  if (text.find('@') == std::string::npos) {
    double value = 0;
    if (!parse_value(text, checkbox, value)) {
      return expected(checkbox, text);
    }
    track.keys.push_back({0, value});
    return {};
  }
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string key = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    const std::size_t at = key.find('@');
    ValueKey parsed;
    FrameRange frame;
    if (at == std::string::npos || !parse_value(key.substr(0, at), checkbox, parsed.value) ||
        key.find('-', at) != std::string::npos || !FrameRange::parse(key.substr(at + 1), frame).empty()) {
      return expected(checkbox, text);
    }
    parsed.frame = frame.first;
    if (!track.keys.empty() && parsed.frame <= track.keys.back().frame) {
      return "key frames must ascend, but frame " + std::to_string(parsed.frame) + " follows frame " +
             std::to_string(track.keys.back().frame) + " in \"" + text + "\"";
    }
    track.keys.push_back(parsed);
    if (comma == std::string::npos) {
      return {};
    }
    start = comma + 1;
  }
}

}  // namespace shardcast::cli
