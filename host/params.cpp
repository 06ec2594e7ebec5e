// Parameter registration. Each of the 34 parameters is described by one row
// of a constant table; params_setup turns the rows into host records in
// index order and hands them to add_param, appending. A refusal by the host
// stops the registration at once: nothing is rolled back and num_params is
// left as it was, so the host sees the command fail as a whole.
#include "host/params.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "Param_Utils.h"
#include "host/registration.h"

// The 13.29 interface reaches the name member through a macro; older ones
// (and our own layer) name it directly.
#ifndef PF_DEF_NAME
#define PF_DEF_NAME name
#endif

namespace shardcast {
namespace {

// Most sliders show whole numbers; the glitch window and the filter weights
// show two decimals.
constexpr A_short precision_integer = PF_Precision_INTEGER;
constexpr A_short precision_hundredths = PF_Precision_HUNDREDTHS;
constexpr PF_FpShort curve_tolerance = AEFX_AUDIO_DEFAULT_CURVE_TOLERANCE;

struct StringTableEntry {
  std::int32_t id;
  char text[256];
};

constexpr std::array<StringTableEntry, STR_COUNT> string_table{{
    {STR_NONE, ""},
    {STR_NAME, "Shardcast"},
    {STR_DESCRIPTION, "Compresses every frame to JPEG, damages the compressed data and decodes what is left."},
    {STR_COMPRESSION_RATIO, "Compression ratio"},
    {STR_BROKEN_BYTES, "Broken bytes"},
    {STR_SUBSAMPLING, "Subsampling"},
    {STR_QTL_POSITION, "QTL position"},
    {STR_QTC_POSITION, "QTC position"},
    {STR_QTL_VALUE, "QTL value"},
    {STR_QTC_VALUE, "QTC value"},
    {STR_QTL, "QTL"},
    {STR_QTC, "QTC"},
    {STR_INVERSE_DCT, "Inverse DCT"},
    {STR_YCBCR_TO_RGB, "YCbCrToRGB"},
    {STR_DEQUANTIZE, "Dequantize"},
    {STR_CHANNEL_OVERLOADING, "Channel overloading"},
    {STR_RED, "Red"},
    {STR_GREEN, "Green"},
    {STR_BLUE, "Blue"},
    {STR_ITERATIONS, "Iterations"},
    {STR_SEED, "seed"},
    {STR_FILTER1, "filter 1"},
    {STR_FILTER2, "filter 2"},
    {STR_FILTER1_VALUE, "filter 1 value"},
    {STR_FILTER2_VALUE, "filter 2 value"},
    {STR_GLITCH_START, "start of glitch"},
    {STR_GLITCH_END, "end of glitch"},
    {STR_QTC_BREAKING_BYTES, "breaking bytes"},
    {STR_QTC_MAX_RANDOM, "max random value"},
    {STR_QTL_BREAKING_BYTES, "breaking bytes"},
    {STR_QTL_MAX_RANDOM, "max random value"},
}};

constexpr bool string_table_is_in_id_order() {
  for (std::size_t i = 0; i < string_table.size(); ++i) {
    if (string_table[i].id != static_cast<std::int32_t>(i)) {
      return false;
    }
  }
  return true;
}
static_assert(string_table_is_in_id_order(), "the position of a string table entry is its id");
static_assert(std::string_view("Shardcast") == registration_data.name, "StringTable entry 1 is the display name");

enum class Kind { FloatSlider, Checkbox, GroupStart, GroupEnd };

struct ParamRow {
  ParamIndex index;
  Kind kind;
  StringId name_id;        // sliders and checkboxes
  const char* group_name;  // group starts (fixed texts, not table entries)
  PF_FpShort minimum;
  PF_FpShort maximum;
  PF_FpShort dephault;  // checkboxes: 0 or 1
  A_short precision;
  PF_ParamFlags flags;
};

// A slider's range is the pipeline's (slider_ranges), so the registration,
// the render and the tools cannot disagree about it.
constexpr ParamRow slider(ParamIndex index, StringId name, PF_FpShort dephault, A_short precision,
                          PF_ParamFlags flags = 0) {
  const SliderRange* range = slider_range(index);
  return {index, Kind::FloatSlider, name, nullptr, range->minimum, range->maximum, dephault, precision, flags};
}
constexpr ParamRow checkbox(ParamIndex index, StringId name, bool on) {
  return {index, Kind::Checkbox, name, nullptr, 0.0f, 0.0f, on ? 1.0f : 0.0f, 0, 0};
}
constexpr ParamRow group_start(ParamIndex index, const char* name) {
  return {index, Kind::GroupStart, STR_NONE, name, 0.0f, 0.0f, 0.0f, 0, 0};
}
constexpr ParamRow group_end(ParamIndex index) {
  return {index, Kind::GroupEnd, STR_NONE, nullptr, 0.0f, 0.0f, 0.0f, 0, 0};
}

constexpr std::array<ParamRow, PARAM_COUNT - 1> param_rows{{
    slider(PARAM_COMPRESSION_RATIO, STR_COMPRESSION_RATIO, 100.0f, precision_integer),
    group_start(PARAM_BROKEN_BYTES_GROUP, "Broken bytes"),
    slider(PARAM_BROKEN_BYTES, STR_BROKEN_BYTES, 0.0f, precision_integer),
    slider(PARAM_GLITCH_START, STR_GLITCH_START, 0.0f, precision_hundredths, PF_ParamFlag_SUPERVISE),
    slider(PARAM_GLITCH_END, STR_GLITCH_END, 100.0f, precision_hundredths, PF_ParamFlag_SUPERVISE),
    slider(PARAM_SEED, STR_SEED, 1.0f, precision_integer),
    group_end(PARAM_BROKEN_BYTES_GROUP_END),
    group_start(PARAM_QTC_GROUP, "Quantization tables for Chroma"),
    checkbox(PARAM_QTC, STR_QTC, false),
    slider(PARAM_QTC_POSITION, STR_QTC_POSITION, 5.0f, precision_integer),
    slider(PARAM_QTC_VALUE, STR_QTC_VALUE, 0.0f, precision_integer),
    slider(PARAM_QTC_BREAKING_BYTES, STR_QTC_BREAKING_BYTES, 0.0f, precision_integer),
    slider(PARAM_QTC_MAX_RANDOM, STR_QTC_MAX_RANDOM, 0.0f, precision_integer),
    slider(PARAM_QTC_SEED, STR_SEED, 1.0f, precision_integer),
    group_end(PARAM_QTC_GROUP_END),
    group_start(PARAM_QTL_GROUP, "Quantization tables for Luma"),
    checkbox(PARAM_QTL, STR_QTL, false),
    slider(PARAM_QTL_POSITION, STR_QTL_POSITION, 5.0f, precision_integer),
    slider(PARAM_QTL_VALUE, STR_QTL_VALUE, 0.0f, precision_integer),
    slider(PARAM_QTL_BREAKING_BYTES, STR_QTL_BREAKING_BYTES, 0.0f, precision_integer),
    slider(PARAM_QTL_MAX_RANDOM, STR_QTL_MAX_RANDOM, 0.0f, precision_integer),
    slider(PARAM_QTL_SEED, STR_SEED, 1.0f, precision_integer),
    group_end(PARAM_QTL_GROUP_END),
    group_start(PARAM_ADVANCED_GROUP, "Advanced settings"),
    checkbox(PARAM_INVERSE_DCT, STR_INVERSE_DCT, true),
    checkbox(PARAM_YCBCR_TO_RGB, STR_YCBCR_TO_RGB, true),
    checkbox(PARAM_DEQUANTIZE, STR_DEQUANTIZE, true),
    group_end(PARAM_ADVANCED_GROUP_END),
    group_start(PARAM_TOOLS_GROUP, "Broken tools"),
    checkbox(PARAM_FILTER1, STR_FILTER1, false),
    slider(PARAM_FILTER1_VALUE, STR_FILTER1_VALUE, 1.0f, precision_hundredths),
    checkbox(PARAM_FILTER2, STR_FILTER2, false),
    slider(PARAM_FILTER2_VALUE, STR_FILTER2_VALUE, -0.1f, precision_hundredths),
    group_end(PARAM_TOOLS_GROUP_END),
}};

constexpr bool params_are_in_index_order() {
  for (std::size_t i = 0; i < param_rows.size(); ++i) {
    if (param_rows[i].index != static_cast<ParamIndex>(i + 1)) {
      return false;
    }
  }
  return true;
}
static_assert(params_are_in_index_order(), "registration order fixes the parameter indices");

constexpr bool every_slider_range_is_registered() {
  std::size_t sliders = 0;
  for (const ParamRow& row : param_rows) {
    sliders += row.kind == Kind::FloatSlider ? 1 : 0;
  }
  return sliders == slider_ranges.size();
}
static_assert(every_slider_range_is_registered(), "each slider range belongs to a registered slider");

void copy_name(PF_ParamDef& def, const char* name) {
  constexpr std::size_t capacity = sizeof(def.PF_DEF_NAME) - 1;  // 31 characters and the NUL
  const std::size_t length = std::min(std::strlen(name), capacity);
  std::memcpy(def.PF_DEF_NAME, name, length);
  def.PF_DEF_NAME[length] = '\0';
}

PF_ParamDef prepare(const ParamRow& row) {
  PF_ParamDef def;
  std::memset(&def, 0, sizeof def);
  def.uu.id = row.index;
  switch (row.kind) {
    case Kind::FloatSlider: {
      def.param_type = PF_Param_FLOAT_SLIDER;
      copy_name(def, string_by_id(row.name_id));
      def.flags = row.flags;
      PF_FloatSliderDef& slider = def.u.fs_d;
      slider.valid_min = row.minimum;
      slider.slider_min = row.minimum;
      slider.valid_max = row.maximum;
      slider.slider_max = row.maximum;
      slider.dephault = row.dephault;
      slider.value = static_cast<PF_FpLong>(row.dephault);
      slider.precision = row.precision;
      slider.curve_tolerance = curve_tolerance;
      break;
    }
    case Kind::Checkbox:
      def.param_type = PF_Param_CHECKBOX;
      copy_name(def, string_by_id(row.name_id));
      def.u.bd.value = row.dephault != 0.0f ? 1 : 0;
      def.u.bd.dephault = static_cast<PF_Boolean>(def.u.bd.value);
      def.u.bd.u.nameptr = "";
      break;
    case Kind::GroupStart:
      def.param_type = PF_Param_GROUP_START;
      copy_name(def, row.group_name);
      break;
    case Kind::GroupEnd:
      def.param_type = PF_Param_GROUP_END;
      break;
  }
  return def;
}

}  // namespace

const char* string_by_id(StringId id) {
  if (id < 0 || id >= STR_COUNT) {
    return string_table[STR_NONE].text;
  }
  return string_table[static_cast<std::size_t>(id)].text;
}

PF_Err params_setup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* /*params*/[], PF_LayerDef* /*output*/) {
  constexpr PF_ParamIndex append_at_end = -1;
  for (const ParamRow& row : param_rows) {
    PF_ParamDef def = prepare(row);
    const PF_Err err = in_data->inter.add_param(in_data->effect_ref, append_at_end, &def);
    if (err != PF_Err_NONE) {
      return err;
    }
  }
  out_data->num_params = PARAM_COUNT;
  return PF_Err_NONE;
}

}  // namespace shardcast
