// Parameter registration. Each of the 34 parameters is one row of the
// parameter table (pipeline/parameter_table.h); params_setup turns the rows
// into host records in index order and hands them to add_param, appending.
// A refusal by the host stops the registration at once: nothing is rolled
// back and num_params is left as it was, so the host sees the command fail
// as a whole. The string table's parameter names are the rows' names too.
#include "host/params.h"

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

constexpr PF_FpShort curve_tolerance = AEFX_AUDIO_DEFAULT_CURVE_TOLERANCE;

struct StringTableEntry {
  std::int32_t id;
  char text[256];
};

// The entries that name no parameter (entry 1 is the display name); a
// parameter's name is its row's.
constexpr const char* fixed_text(StringId id) {
  switch (id) {
    case STR_NONE:
      return "";
    case STR_NAME:
      return registration_data.name;
    case STR_DESCRIPTION:
      return "Compresses every frame to JPEG, damages the compressed data and decodes what is left.";
    case STR_SUBSAMPLING:
      return "Subsampling";
    case STR_CHANNEL_OVERLOADING:
      return "Channel overloading";
    case STR_RED:
      return "Red";
    case STR_GREEN:
      return "Green";
    case STR_BLUE:
      return "Blue";
    case STR_ITERATIONS:
      return "Iterations";
    default:
      return nullptr;
  }
}

// The text of entry `id`: its fixed text, or the name of the parameters
// that take their name from it. Null when the ids disagree: no text, or
// parameters of different names sharing one entry.
constexpr const char* entry_text(StringId id) {
  const char* text = fixed_text(id);
  for (const ParamRow& row : param_table) {
    if (row.name_id != id || !row.carries_value()) {
      continue;
    }
    if (text != nullptr && std::string_view(text) != row.name) {
      return nullptr;
    }
    text = row.name;
  }
  return text;
}

constexpr std::array<StringTableEntry, STR_COUNT> make_string_table() {
  std::array<StringTableEntry, STR_COUNT> table{};
  for (std::int32_t id = 0; id < STR_COUNT; ++id) {
    StringTableEntry& entry = table[static_cast<std::size_t>(id)];
    entry.id = id;
    const std::string_view text = entry_text(static_cast<StringId>(id));
    for (std::size_t i = 0; i < text.size() && i + 1 < sizeof entry.text; ++i) {
      entry.text[i] = text[i];
    }
  }
  return table;
}

constexpr bool every_entry_has_one_text() {
  for (std::int32_t id = 0; id < STR_COUNT; ++id) {
    const char* text = entry_text(static_cast<StringId>(id));
    if (text == nullptr || std::string_view(text).size() >= sizeof(StringTableEntry::text)) {
      return false;
    }
  }
  return true;
}
static_assert(every_entry_has_one_text(), "each string table entry holds one text that fits");

constexpr std::array<StringTableEntry, STR_COUNT> string_table = make_string_table();

void copy_name(PF_ParamDef& def, const char* name) {
  constexpr std::size_t capacity = sizeof(def.PF_DEF_NAME) - 1;  // 31 characters and the NUL
  std::size_t length = 0;
  while (length < capacity && name[length] != '\0') {
    ++length;
  }
  std::memcpy(def.PF_DEF_NAME, name, length);
  def.PF_DEF_NAME[length] = '\0';
}

PF_ParamDef prepare(const ParamRow& row) {
  PF_ParamDef def;
  std::memset(&def, 0, sizeof def);
  def.uu.id = row.index;
  switch (row.kind) {
    case ParamKind::Slider: {
      def.param_type = PF_Param_FLOAT_SLIDER;
      copy_name(def, string_by_id(row.name_id));
      def.flags = row.supervised ? PF_ParamFlag_SUPERVISE : 0;
      PF_FloatSliderDef& slider = def.u.fs_d;
      slider.valid_min = row.minimum;
      slider.slider_min = row.minimum;
      slider.valid_max = row.maximum;
      slider.slider_max = row.maximum;
      slider.dephault = row.dephault;
      slider.value = static_cast<PF_FpLong>(row.dephault);
      slider.precision = row.decimals;
      slider.curve_tolerance = curve_tolerance;
      break;
    }
    case ParamKind::Checkbox:
      def.param_type = PF_Param_CHECKBOX;
      copy_name(def, string_by_id(row.name_id));
      def.u.bd.value = row.dephault != 0.0f ? 1 : 0;
      def.u.bd.dephault = static_cast<PF_Boolean>(def.u.bd.value);
      def.u.bd.u.nameptr = "";
      break;
    case ParamKind::GroupStart:
      def.param_type = PF_Param_GROUP_START;
      copy_name(def, row.name);
      break;
    case ParamKind::GroupEnd:
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
  for (const ParamRow& row : param_table) {
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
