// The parameters in words: the texts that the frei0r filter shows its hosts
// and that the description generator writes into the editors' files, the
// man page and the README, all made from the rows of the parameter table
// (pipeline/parameter_table.h), so one change of a row reaches every one.
//
// Numbers are written as the shortest decimal that reads back as the
// registered single-precision number (99.9, not 99.9000015), never in
// exponent form. The frei0r texts describe the filter's mapping of a value
// x in [0, 1] onto a slider, min + x * (max - min); their arithmetic is done
// on those decimals, so 0.1 to 100 reads "0.1 + 99.9x".
#pragma once

#include <cstdint>
#include <string>

#include "pipeline/parameter_table.h"

namespace shardcast::describe {

std::string number_text(float value);

// An exact decimal: units of 10^-places.
struct Decimal {
  std::int64_t units = 0;
  int places = 0;
};
// The number as number_text writes it; and a decimal in the same form.
Decimal decimal(float value);
std::string decimal_text(const Decimal& value);

// As the tool shows them: "1 .. 100" or "on/off"; "100", "on" or "off".
std::string range_text(const ParamRow& row);
std::string default_text(const ParamRow& row);

// The name in a flat list of every parameter (Kdenlive's panel, the
// README's frei0r table): the host's name, and where the effect repeats it
// in other groups, the group's word from the frei0r name in brackets, so
// "seed" of "chroma seed" is listed as "seed (Chroma)".
std::string listed_name(const ParamRow& row);

// The description led by the parameter's group, for editors that show one
// flat list: "Broken bytes: how many bytes ...".
std::string grouped_description(const ParamRow& row);

// The MLT filter's property: the tool's option with '_' for '-'
// ("broken_bytes").
std::string mlt_name(const ParamRow& row);

// The steps a slider's decimals give: "whole numbers", "tenths",
// "hundredths", "thousandths" (and "steps of 0.0001" beyond).
std::string steps_text(int decimals);

// The frei0r value's mapping onto a slider, "1 + 99x" or "10000x".
std::string frei0r_mapping(const ParamRow& slider);
// The frei0r value of a slider's default, exactly: "0", "1", "0.55", or a
// fraction ("4/63") where no short decimal is exact.
std::string frei0r_default_x(const ParamRow& slider);
// The one line a frei0r host shows: the description, then for a slider
// "; 1 to 100 (1 + 99x, whole numbers); default 1 = 100", for a checkbox
// "; default on".
std::string frei0r_explanation(const ParamRow& row);

}  // namespace shardcast::describe
