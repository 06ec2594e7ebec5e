// Keyed MLT values at a frame, through MLT's animation and the tool's two
// rules (keyed_values.h).
#include "mlt/keyed_values.h"

#include <algorithm>
#include <memory>

extern "C" {
#include <framework/mlt_animation.h>
#include <framework/mlt_property.h>
}

namespace shardcast::mlt {
namespace {

struct PropertyClose {
  void operator()(mlt_property property) const { mlt_property_close(property); }
};
using Property = std::unique_ptr<struct mlt_property_s, PropertyClose>;

// A key of the animation: the one at or before the frame (`before`), or at
// or after it.
struct Key {
  bool found = false;
  int frame = 0;
  double value = 0;
};

Key key_near(mlt_animation animation, int position, bool before, const FrameClock& clock) {
  const Property value(mlt_property_init());
  mlt_animation_item_s item{};
  item.property = value.get();
  const int missing =
      before ? mlt_animation_prev_key(animation, &item, position) : mlt_animation_next_key(animation, &item, position);
  if (missing != 0) {
    return {};
  }
  return {true, item.frame, mlt_property_get_double(value.get(), clock.fps, clock.numeric_locale)};
}

}  // namespace

double value_at(const KeyedText& keyed, const FrameClock& clock) {
  if (keyed.text == nullptr) {
    return 0.0;
  }
  const Property property(mlt_property_init());
  mlt_property_set_string(property.get(), keyed.text);
  const double interpolated =
      mlt_property_anim_get_double(property.get(), clock.fps, clock.numeric_locale, clock.position, clock.length);
  const mlt_animation animation = mlt_property_get_animation(property.get());
  if (animation == nullptr) {
    return interpolated;
  }
  const Key before = key_near(animation, clock.position, true, clock);
  const Key after = key_near(animation, clock.position, false, clock);
  if (keyed.hold) {
    // Before the first key its state holds, as the tool holds it.
    return before.found ? before.value : after.found ? after.value : interpolated;
  }
  if (!before.found || !after.found || before.frame == after.frame) {
    return interpolated;
  }
  return std::clamp(interpolated, std::min(before.value, after.value), std::max(before.value, after.value));
}

}  // namespace shardcast::mlt
