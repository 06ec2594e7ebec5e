// The effect's parameters, one row each, in registration order: everything
// known about a parameter is written here once. The registration reads its
// records from these rows, the render its check-out order and ranges, the
// tool its options and help, the frei0r filter its names and explanations,
// and the description generator (describe/) the editors' descriptions, the
// man page's section and the README's tables.
//
// Plain constants and no host headers, so that any program may include it.
// The checks at the end refuse, at compile time, a table that breaks what
// its readers rely on: rows in index order, flat groups, ranges that hold
// their defaults, one check-out position per value, unique option and
// frei0r names.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace shardcast {

// Index 0 is the input layer, which the host supplies without registration;
// every registered parameter's id equals its index.
enum ParamIndex : std::int32_t {
  PARAM_INPUT = 0,
  PARAM_COMPRESSION_RATIO,
  PARAM_BROKEN_BYTES_GROUP,
  PARAM_BROKEN_BYTES,
  PARAM_GLITCH_START,
  PARAM_GLITCH_END,
  PARAM_SEED,
  PARAM_BROKEN_BYTES_GROUP_END,
  PARAM_QTC_GROUP,
  PARAM_QTC,
  PARAM_QTC_POSITION,
  PARAM_QTC_VALUE,
  PARAM_QTC_BREAKING_BYTES,
  PARAM_QTC_MAX_RANDOM,
  PARAM_QTC_SEED,
  PARAM_QTC_GROUP_END,
  PARAM_QTL_GROUP,
  PARAM_QTL,
  PARAM_QTL_POSITION,
  PARAM_QTL_VALUE,
  PARAM_QTL_BREAKING_BYTES,
  PARAM_QTL_MAX_RANDOM,
  PARAM_QTL_SEED,
  PARAM_QTL_GROUP_END,
  PARAM_ADVANCED_GROUP,
  PARAM_INVERSE_DCT,
  PARAM_YCBCR_TO_RGB,
  PARAM_DEQUANTIZE,
  PARAM_ADVANCED_GROUP_END,
  PARAM_TOOLS_GROUP,
  PARAM_FILTER1,
  PARAM_FILTER1_VALUE,
  PARAM_FILTER2,
  PARAM_FILTER2_VALUE,
  PARAM_TOOLS_GROUP_END,
  PARAM_COUNT  // 35, the input layer included: the host's num_params
};

// Ids of the module's string table (host/params.cpp); the position of an
// entry is its id. Sliders and checkboxes take their names from it.
enum StringId : std::int32_t {
  STR_NONE = 0,
  STR_NAME,
  STR_DESCRIPTION,
  STR_COMPRESSION_RATIO,
  STR_BROKEN_BYTES,
  STR_SUBSAMPLING,
  STR_QTL_POSITION,
  STR_QTC_POSITION,
  STR_QTL_VALUE,
  STR_QTC_VALUE,
  STR_QTL,
  STR_QTC,
  STR_INVERSE_DCT,
  STR_YCBCR_TO_RGB,
  STR_DEQUANTIZE,
  STR_CHANNEL_OVERLOADING,
  STR_RED,
  STR_GREEN,
  STR_BLUE,
  STR_ITERATIONS,
  STR_SEED,
  STR_FILTER1,
  STR_FILTER2,
  STR_FILTER1_VALUE,
  STR_FILTER2_VALUE,
  STR_GLITCH_START,
  STR_GLITCH_END,
  STR_QTC_BREAKING_BYTES,
  STR_QTC_MAX_RANDOM,
  STR_QTL_BREAKING_BYTES,
  STR_QTL_MAX_RANDOM,
  STR_COUNT  // 31
};

enum class ParamKind : std::uint8_t { Slider, Checkbox, GroupStart, GroupEnd };

struct ParamRow {
  ParamIndex index = PARAM_INPUT;
  ParamKind kind = ParamKind::Slider;
  StringId name_id = STR_NONE;  // the string table entry a slider's or checkbox's name comes from
  const char* name = "";        // as the host shows it; a group start's fixed name
  // A slider's valid range, which is also the range it shows, and its
  // default, all in the single precision they are registered in; a
  // checkbox's default is 0 or 1.
  float minimum = 0.0f;
  float maximum = 0.0f;
  float dephault = 0.0f;
  std::int16_t decimals = 0;  // a slider's precision
  bool supervised = false;    // user changes reach the supervision handler
  // Position in the render's check-out order, from 1 (the input layer is
  // 0): index order, but the two tables' seeds last, luma before chroma, as
  // the effect has always checked them out. Groups are never checked out
  // and keep 0.
  std::int32_t checkout = 0;
  bool decoder = false;          // read by the decoder alone: the tool's decode command takes it
  const char* option = "";       // the tool's option, without "--"
  const char* frei0r_name = "";  // fixed for good: projects store frei0r values under it
  const char* description = "";  // one line, for help texts, the filter and the editors

  constexpr bool carries_value() const { return kind == ParamKind::Slider || kind == ParamKind::Checkbox; }
};

// clang-format off
inline constexpr std::array<ParamRow, PARAM_COUNT - 1> param_table{{
    {.index = PARAM_COMPRESSION_RATIO, .kind = ParamKind::Slider, .name_id = STR_COMPRESSION_RATIO,
     .name = "Compression ratio",
     .minimum = 1.0f, .maximum = 100.0f, .dephault = 100.0f, .decimals = 0,
     .checkout = 1, .option = "compression-ratio", .frei0r_name = "Compression ratio",
     .description = "JPEG quality of the compression the damage is done to"},
    {.index = PARAM_BROKEN_BYTES_GROUP, .kind = ParamKind::GroupStart, .name = "Broken bytes"},
    {.index = PARAM_BROKEN_BYTES, .kind = ParamKind::Slider, .name_id = STR_BROKEN_BYTES,
     .name = "Broken bytes",
     .minimum = 0.0f, .maximum = 10000.0f, .dephault = 0.0f, .decimals = 0,
     .checkout = 2, .option = "broken-bytes", .frei0r_name = "Broken bytes",
     .description = "how many bytes of the compressed scan data are overwritten"},
    {.index = PARAM_GLITCH_START, .kind = ParamKind::Slider, .name_id = STR_GLITCH_START,
     .name = "start of glitch",
     .minimum = 0.0f, .maximum = 99.9f, .dephault = 0.0f, .decimals = 2, .supervised = true,
     .checkout = 3, .option = "glitch-start", .frei0r_name = "start of glitch",
     .description = "where in the scan data the damage may begin, in percent"},
    {.index = PARAM_GLITCH_END, .kind = ParamKind::Slider, .name_id = STR_GLITCH_END,
     .name = "end of glitch",
     .minimum = 0.1f, .maximum = 100.0f, .dephault = 100.0f, .decimals = 2, .supervised = true,
     .checkout = 4, .option = "glitch-end", .frei0r_name = "end of glitch",
     .description = "where in the scan data the damage ends, in percent"},
    {.index = PARAM_SEED, .kind = ParamKind::Slider, .name_id = STR_SEED,
     .name = "seed",
     .minimum = 1.0f, .maximum = 100000000.0f, .dephault = 1.0f, .decimals = 0,
     .checkout = 5, .decoder = true, .option = "seed", .frei0r_name = "broken bytes seed",
     .description = "seed of the damaged bytes and of the decoder's repairs"},
    {.index = PARAM_BROKEN_BYTES_GROUP_END, .kind = ParamKind::GroupEnd},

    {.index = PARAM_QTC_GROUP, .kind = ParamKind::GroupStart, .name = "Quantization tables for Chroma"},
    {.index = PARAM_QTC, .kind = ParamKind::Checkbox, .name_id = STR_QTC,
     .name = "QTC",
     .dephault = 0.0f,
     .checkout = 6, .decoder = true, .option = "qtc", .frei0r_name = "QTC",
     .description = "overwrite one entry of the chroma quantisation table"},
    {.index = PARAM_QTC_POSITION, .kind = ParamKind::Slider, .name_id = STR_QTC_POSITION,
     .name = "QTC position",
     .minimum = 1.0f, .maximum = 64.0f, .dephault = 5.0f, .decimals = 0,
     .checkout = 7, .decoder = true, .option = "qtc-position", .frei0r_name = "QTC position",
     .description = "the chroma table entry the QTC value replaces (1 is DC)"},
    {.index = PARAM_QTC_VALUE, .kind = ParamKind::Slider, .name_id = STR_QTC_VALUE,
     .name = "QTC value",
     .minimum = 0.0f, .maximum = 255.0f, .dephault = 0.0f, .decimals = 0,
     .checkout = 8, .decoder = true, .option = "qtc-value", .frei0r_name = "QTC value",
     .description = "the value written into that chroma table entry"},
    {.index = PARAM_QTC_BREAKING_BYTES, .kind = ParamKind::Slider, .name_id = STR_QTC_BREAKING_BYTES,
     .name = "breaking bytes",
     .minimum = 0.0f, .maximum = 64.0f, .dephault = 0.0f, .decimals = 0,
     .checkout = 9, .decoder = true, .option = "qtc-breaking-bytes", .frei0r_name = "chroma breaking bytes",
     .description = "how many chroma table entries get random values"},
    {.index = PARAM_QTC_MAX_RANDOM, .kind = ParamKind::Slider, .name_id = STR_QTC_MAX_RANDOM,
     .name = "max random value",
     .minimum = 0.0f, .maximum = 255.0f, .dephault = 0.0f, .decimals = 0,
     .checkout = 10, .decoder = true, .option = "qtc-max-random", .frei0r_name = "chroma max random value",
     .description = "the chroma table's random values lie below it (0 makes them 0)"},
    {.index = PARAM_QTC_SEED, .kind = ParamKind::Slider, .name_id = STR_SEED,
     .name = "seed",
     .minimum = 1.0f, .maximum = 100000000.0f, .dephault = 1.0f, .decimals = 0,
     .checkout = 24, .decoder = true, .option = "qtc-seed", .frei0r_name = "chroma seed",
     .description = "seed of the chroma table's random entries"},
    {.index = PARAM_QTC_GROUP_END, .kind = ParamKind::GroupEnd},

    {.index = PARAM_QTL_GROUP, .kind = ParamKind::GroupStart, .name = "Quantization tables for Luma"},
    {.index = PARAM_QTL, .kind = ParamKind::Checkbox, .name_id = STR_QTL,
     .name = "QTL",
     .dephault = 0.0f,
     .checkout = 11, .decoder = true, .option = "qtl", .frei0r_name = "QTL",
     .description = "overwrite one entry of the luma quantisation table"},
    {.index = PARAM_QTL_POSITION, .kind = ParamKind::Slider, .name_id = STR_QTL_POSITION,
     .name = "QTL position",
     .minimum = 1.0f, .maximum = 64.0f, .dephault = 5.0f, .decimals = 0,
     .checkout = 12, .decoder = true, .option = "qtl-position", .frei0r_name = "QTL position",
     .description = "the luma table entry the QTL value replaces (1 is DC)"},
    {.index = PARAM_QTL_VALUE, .kind = ParamKind::Slider, .name_id = STR_QTL_VALUE,
     .name = "QTL value",
     .minimum = 0.0f, .maximum = 255.0f, .dephault = 0.0f, .decimals = 0,
     .checkout = 13, .decoder = true, .option = "qtl-value", .frei0r_name = "QTL value",
     .description = "the value written into that luma table entry"},
    {.index = PARAM_QTL_BREAKING_BYTES, .kind = ParamKind::Slider, .name_id = STR_QTL_BREAKING_BYTES,
     .name = "breaking bytes",
     .minimum = 0.0f, .maximum = 64.0f, .dephault = 0.0f, .decimals = 0,
     .checkout = 14, .decoder = true, .option = "qtl-breaking-bytes", .frei0r_name = "luma breaking bytes",
     .description = "how many luma table entries get random values"},
    {.index = PARAM_QTL_MAX_RANDOM, .kind = ParamKind::Slider, .name_id = STR_QTL_MAX_RANDOM,
     .name = "max random value",
     .minimum = 0.0f, .maximum = 255.0f, .dephault = 0.0f, .decimals = 0,
     .checkout = 15, .decoder = true, .option = "qtl-max-random", .frei0r_name = "luma max random value",
     .description = "the luma table's random values lie below it (0 makes them 0)"},
    {.index = PARAM_QTL_SEED, .kind = ParamKind::Slider, .name_id = STR_SEED,
     .name = "seed",
     .minimum = 1.0f, .maximum = 100000000.0f, .dephault = 1.0f, .decimals = 0,
     .checkout = 23, .decoder = true, .option = "qtl-seed", .frei0r_name = "luma seed",
     .description = "seed of the luma table's random entries"},
    {.index = PARAM_QTL_GROUP_END, .kind = ParamKind::GroupEnd},

    {.index = PARAM_ADVANCED_GROUP, .kind = ParamKind::GroupStart, .name = "Advanced settings"},
    {.index = PARAM_INVERSE_DCT, .kind = ParamKind::Checkbox, .name_id = STR_INVERSE_DCT,
     .name = "Inverse DCT",
     .dephault = 1.0f,
     .checkout = 16, .decoder = true, .option = "inverse-dct", .frei0r_name = "Inverse DCT",
     .description = "run the inverse DCT (off: coefficients show as colours)"},
    {.index = PARAM_YCBCR_TO_RGB, .kind = ParamKind::Checkbox, .name_id = STR_YCBCR_TO_RGB,
     .name = "YCbCrToRGB",
     .dephault = 1.0f,
     .checkout = 17, .decoder = true, .option = "ycbcr-to-rgb", .frei0r_name = "YCbCrToRGB",
     .description = "convert YCbCr to RGB (off: the raw samples show)"},
    {.index = PARAM_DEQUANTIZE, .kind = ParamKind::Checkbox, .name_id = STR_DEQUANTIZE,
     .name = "Dequantize",
     .dephault = 1.0f,
     .checkout = 18, .decoder = true, .option = "dequantize", .frei0r_name = "Dequantize",
     .description = "scale coefficients by the quantisation tables"},
    {.index = PARAM_ADVANCED_GROUP_END, .kind = ParamKind::GroupEnd},

    {.index = PARAM_TOOLS_GROUP, .kind = ParamKind::GroupStart, .name = "Broken tools"},
    {.index = PARAM_FILTER1, .kind = ParamKind::Checkbox, .name_id = STR_FILTER1,
     .name = "filter 1",
     .dephault = 0.0f,
     .checkout = 19, .option = "filter1", .frei0r_name = "filter 1",
     .description = "run convolution filter 1 over the result (wraps around)"},
    {.index = PARAM_FILTER1_VALUE, .kind = ParamKind::Slider, .name_id = STR_FILTER1_VALUE,
     .name = "filter 1 value",
     .minimum = -10.0f, .maximum = 10.0f, .dephault = 1.0f, .decimals = 2,
     .checkout = 20, .option = "filter1-value", .frei0r_name = "filter 1 value",
     .description = "weight of filter 1"},
    {.index = PARAM_FILTER2, .kind = ParamKind::Checkbox, .name_id = STR_FILTER2,
     .name = "filter 2",
     .dephault = 0.0f,
     .checkout = 21, .option = "filter2", .frei0r_name = "filter 2",
     .description = "run convolution filter 2 after filter 1 (saturates)"},
    {.index = PARAM_FILTER2_VALUE, .kind = ParamKind::Slider, .name_id = STR_FILTER2_VALUE,
     .name = "filter 2 value",
     .minimum = -10.0f, .maximum = 10.0f, .dephault = -0.1f, .decimals = 2,
     .checkout = 22, .option = "filter2-value", .frei0r_name = "filter 2 value",
     .description = "weight of filter 2"},
    {.index = PARAM_TOOLS_GROUP_END, .kind = ParamKind::GroupEnd},
}};
// clang-format on

// The row of a registered parameter (index 1 to 34).
constexpr const ParamRow& param_row(ParamIndex index) { return param_table[static_cast<std::size_t>(index) - 1]; }

// The row of the slider at `index`; null for every other parameter, the
// input layer included.
constexpr const ParamRow* slider_row(ParamIndex index) {
  if (index <= PARAM_INPUT || index >= PARAM_COUNT) {
    return nullptr;
  }
  const ParamRow& row = param_row(index);
  return row.kind == ParamKind::Slider ? &row : nullptr;
}

// The name of the group a parameter lies in; empty outside every group.
constexpr std::string_view group_of(const ParamRow& row) {
  std::string_view group;
  for (const ParamRow& other : param_table) {
    if (other.index == row.index) {
      break;
    }
    if (other.kind == ParamKind::GroupStart) {
      group = other.name;
    } else if (other.kind == ParamKind::GroupEnd) {
      group = {};
    }
  }
  return row.carries_value() ? group : std::string_view();
}

constexpr std::size_t count_rows(bool (*wanted)(const ParamRow&)) {
  std::size_t count = 0;
  for (const ParamRow& row : param_table) {
    count += wanted(row) ? 1 : 0;
  }
  return count;
}

// The rows `wanted` picks, in registration order.
template <std::size_t count>
constexpr std::array<const ParamRow*, count> pick_rows(bool (*wanted)(const ParamRow&)) {
  std::array<const ParamRow*, count> rows{};
  std::size_t next = 0;
  for (const ParamRow& row : param_table) {
    if (wanted(row)) {
      rows[next++] = &row;
    }
  }
  return rows;
}

constexpr bool carries_value(const ParamRow& row) { return row.carries_value(); }
constexpr bool read_by_decoder(const ParamRow& row) { return row.decoder; }

// The sliders and checkboxes, in registration order: the parameters that
// carry a value (and the frei0r filter's parameters, in its order).
inline constexpr std::size_t value_param_count = count_rows(carries_value);
inline constexpr std::array<const ParamRow*, value_param_count> value_params =
    pick_rows<value_param_count>(carries_value);

// ---- what the readers rely on ----

constexpr bool rows_are_in_index_order() {
  for (std::size_t i = 0; i < param_table.size(); ++i) {
    if (param_table[i].index != static_cast<ParamIndex>(i + 1)) {
      return false;
    }
  }
  return true;
}
static_assert(rows_are_in_index_order(), "registration order fixes the parameter indices");

constexpr bool groups_are_flat_and_closed() {
  bool open = false;
  for (const ParamRow& row : param_table) {
    if (row.kind == ParamKind::GroupStart || row.kind == ParamKind::GroupEnd) {
      if (open == (row.kind == ParamKind::GroupStart)) {
        return false;
      }
      open = !open;
    }
  }
  return !open;
}
static_assert(groups_are_flat_and_closed(), "each group start is closed by the group end after it");

// A slider's range holds its default; its bounds stay within a billion and
// its decimals within six, where their decimal texts are exact
// (describe/parameter_texts.h). A checkbox's default is off or on.
constexpr bool range_holds_default(const ParamRow& row) {
  if (row.kind == ParamKind::Checkbox) {
    return row.dephault == 0.0f || row.dephault == 1.0f;
  }
  return row.minimum < row.maximum && row.minimum <= row.dephault && row.dephault <= row.maximum &&
         row.minimum >= -1.0e9f && row.maximum <= 1.0e9f && row.decimals >= 0 && row.decimals <= 6;
}

constexpr bool values_are_described() {
  for (const ParamRow* row : value_params) {
    if (row->name_id == STR_NONE || std::string_view(row->option).empty() ||
        std::string_view(row->frei0r_name).empty() || std::string_view(row->description).empty() ||
        !range_holds_default(*row)) {
      return false;
    }
  }
  return true;
}
static_assert(values_are_described(), "every value has a name, option, frei0r name, description and a valid default");

constexpr bool checkout_positions_are_one_to_count() {
  std::array<int, value_param_count + 1> taken{};
  for (const ParamRow& row : param_table) {
    if (!row.carries_value()) {
      if (row.checkout != 0) {
        return false;
      }
      continue;
    }
    if (row.checkout < 1 || row.checkout > static_cast<std::int32_t>(value_param_count) ||
        taken[static_cast<std::size_t>(row.checkout)]++ > 0) {
      return false;
    }
  }
  return true;
}
static_assert(checkout_positions_are_one_to_count(), "each value has its own check-out position, from 1 to the count");

constexpr bool names_are_unique(const char* ParamRow::*name) {
  for (const ParamRow* a : value_params) {
    for (const ParamRow* b : value_params) {
      if (a != b && std::string_view(a->*name) == std::string_view(b->*name)) {
        return false;
      }
    }
  }
  return true;
}
static_assert(names_are_unique(&ParamRow::option) && names_are_unique(&ParamRow::frei0r_name),
              "option and frei0r names tell the parameters apart");

}  // namespace shardcast
