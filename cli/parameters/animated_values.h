// Parameter values that change over the frames of a render, the way a host
// keeps a keyframed control: keys of value@frame, held before the first key
// and after the last. Between two keys a slider moves in a straight line
// and a checkbox holds the earlier key's state until the next key (hosts do
// not interpolate switches).
//
// Sliders the host shows as whole numbers move in a straight line too,
// through fractional values: a host interpolates the slider's value, not
// the number it shows, and the effect truncates what it receives. So the
// frames match what the keyframes would render in a host.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace shardcast::cli {

struct ValueKey {
  std::int64_t frame = 0;
  double value = 0;
};

struct ValueTrack {
  std::vector<ValueKey> keys;  // at least one, frames strictly ascending
  bool hold = false;           // a checkbox: no interpolation

  static ValueTrack constant(double value);
  bool animated() const { return keys.size() > 1; }
  // The value at a frame, which may lie between whole frames. A key's own
  // frame gives that key's value exactly; between keys the value never
  // leaves the range of the two keys.
  double at(double frame) const;
  // Lowest and highest value over frames first..last (both included).
  std::pair<double, double> extremes(std::int64_t first, std::int64_t last) const;
  double lowest(std::int64_t first, std::int64_t last) const;
  double highest(std::int64_t first, std::int64_t last) const;
};

// A number as people type it ("12", "-0.5", "1e3"), nothing after it.
bool parse_number(const std::string& text, double& value);
// "on"/"off", "1"/"0", "true"/"false" (any letter case) into 1 or 0.
bool parse_checkbox(const std::string& text, double& value);

// "VALUE" (the same at every frame) or "VALUE@FRAME,VALUE@FRAME,..." with
// whole frame numbers from 0 to 999999999 in ascending order; a VALUE is a
// number, or for a checkbox a word parse_checkbox takes. Empty on success,
// otherwise what is wrong, worded to follow the option's name.
std::string parse_track(const std::string& text, bool checkbox, ValueTrack& track);

}  // namespace shardcast::cli
