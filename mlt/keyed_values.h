// The value of one MLT property of the filter at a frame: a plain number,
// or keys as MLT writes them ("0=0;48=400;96=0", times such as
// "00:00:02.000=400" too), giving the same double the command-line tool
// gives for the same keys (--broken-bytes 0@0,400@48,0@96).
//
// MLT's own animation reads the text (mlt_property_anim_get_double): held
// before the first key and after the last, and between two linear keys
// v0 + (v1 - v0) * u with u = (frame - f0) / (f1 - f0) in double precision,
// the tool's arithmetic exactly. Two of the tool's rules are added on top:
// the value stays between the two keys around the frame, so that rounding
// can never carry it past a range the keys keep to; and a switch holds the
// state of the key at or before the frame until the next key, whatever kind
// of key it is (hosts do not interpolate switches). Discrete keys ("|=")
// hold as in the tool; smooth keys ("~=") follow MLT's spline, which the
// tool has no keys for.
//
// The text is read into a property of this call's own, so nothing is shared
// with another frame's render. Numbers read in the numeric locale given
// (MLT documents write "C"); a text that is no number reads as 0, as MLT
// reads it.
#pragma once

#include <locale.h>

namespace shardcast::mlt {

struct KeyedText {
  const char* text = nullptr;  // the property's text; null for none
  bool hold = false;           // a switch
};

struct FrameClock {
  int position = 0;  // the frame, counted from the filter's start
  int length = 0;    // the filter's length, for keys counted from its end
  double fps = 25;   // for keys written as times
  locale_t numeric_locale = nullptr;
};

double value_at(const KeyedText& keyed, const FrameClock& clock);

}  // namespace shardcast::mlt
