// The encoder's own options: --crf, --preset, --bitrate and each
// --encoder-option KEY=VALUE, set as FFmpeg sets its -crf, -preset, -b:v
// and the like: by name, on the encoder's context and its private options.
// Each is tried on an encoder context of its own while the writer is
// prepared, so an option the encoder does not know, or a value it refuses,
// is refused before anything is written. Where the user chose no rate
// control, the defaults keep the effect's damage visible: constant quality,
// high.
#include <cstdio>
#include <string>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "cli/video/ffmpeg_log.h"
#include "cli/video/writer_state.h"

namespace shardcast::cli {
namespace {

using ffmpeg::reason;

// --crf, when given, must be a setting of the encoder and lie in its range.
std::string check_crf(const AVCodec& encoder, const std::optional<int>& value) {
  if (!value.has_value()) {
    return {};
  }
  const AVClass* options_class = encoder.priv_class;
  const AVOption* crf =
      options_class != nullptr ? av_opt_find(&options_class, "crf", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ) : nullptr;
  if (crf == nullptr) {
    return "--crf applies to encoders with a constant-quality setting, and " + std::string(encoder.name) + " has none";
  }
  if (*value < crf->min || *value > crf->max) {
    char range[64];
    std::snprintf(range, sizeof range, "%g and %g", crf->min, crf->max);
    return "--crf " + std::to_string(*value) + " is out of " + encoder.name + "'s range: it must lie between " + range;
  }
  return {};
}

// The user's options in the order given; --encoder-option last, so that
// it has the last word.
std::vector<EncoderSetting> given_settings(const VideoOutputOptions& options) {
  std::vector<EncoderSetting> settings;
  if (options.crf.has_value()) {
    settings.push_back({"crf", std::to_string(*options.crf), "--crf"});
  }
  if (!options.preset.empty()) {
    settings.push_back({"preset", options.preset, "--preset"});
  }
  if (!options.bitrate.empty()) {
    settings.push_back({"b", options.bitrate, "--bitrate"});
  }
  for (const auto& [key, value] : options.encoder_options) {
    settings.push_back({key, value, "--encoder-option"});
  }
  return settings;
}

bool sets(const std::vector<EncoderSetting>& settings, std::initializer_list<const char*> keys) {
  for (const EncoderSetting& setting : settings) {
    for (const char* key : keys) {
      if (setting.key == key) {
        return true;
      }
    }
  }
  return false;
}

// Constant quality where the encoder has it and no rate control was
// chosen; ProRes 4444 for formats without subsampled chroma.
std::vector<EncoderSetting> default_settings(const VideoWriter::State& state,
                                             const std::vector<EncoderSetting>& given) {
  std::vector<EncoderSetting> settings;
  const std::string name = state.encoder->name;
  if (!sets(given, {"crf", "qp", "b", "q", "global_quality"})) {
    if (name == "libx264" || name == "libx265") {
      settings.push_back({"crf", "18", ""});
    } else if (name == "libvpx-vp9" || name == "libaom-av1") {
      settings.push_back({"crf", "24", ""});
    }
  }
  if (name == "prores_ks" && av_pix_fmt_desc_get(state.pixel_format)->log2_chroma_w == 0 && !sets(given, {"profile"})) {
    settings.push_back({"profile", "4444", ""});
  }
  return settings;
}

// An option the encoder does not know or a value it refuses, worded for
// the option that gave it.
std::string try_setting(AVCodecContext& trial, const EncoderSetting& setting) {
  const std::string encoder = trial.codec->name;
  if (av_opt_find(&trial, setting.key.c_str(), nullptr, 0, AV_OPT_SEARCH_CHILDREN) == nullptr) {
    if (setting.given == "--encoder-option") {
      return "--encoder-option " + setting.key + "=" + setting.value + ": " + encoder + " has no option " +
             setting.key + " (ffmpeg -h encoder=" + encoder + " lists them)";
    }
    return setting.given + " applies to encoders with a " + setting.key + " setting, and " + encoder + " has none";
  }
  if (const int result = av_opt_set(&trial, setting.key.c_str(), setting.value.c_str(), AV_OPT_SEARCH_CHILDREN);
      result < 0) {
    const std::string shown = setting.given == "--encoder-option" ? setting.key + "=" + setting.value : setting.value;
    return setting.given + " " + shown + ": " + encoder + " refuses the value (" + reason(result) + ")";
  }
  return {};
}

}  // namespace

std::string choose_encoder_settings(VideoWriter::State& state) {
  if (std::string refusal = check_crf(*state.encoder, state.options.crf); !refusal.empty()) {
    return refusal;
  }
  const std::vector<EncoderSetting> given = given_settings(state.options);
  const ffmpeg::CodecContext trial{avcodec_alloc_context3(state.encoder)};
  if (trial == nullptr) {
    return "out of memory";
  }
  for (const EncoderSetting& setting : given) {
    if (std::string refusal = try_setting(*trial, setting); !refusal.empty()) {
      return refusal;
    }
  }
  state.settings = default_settings(state, given);
  state.settings.insert(state.settings.end(), given.begin(), given.end());
  return {};
}

AVDictionary* encoder_dictionary(const VideoWriter::State& state, AVCodecContext& context) {
  const std::string name = state.encoder->name;
  if ((name == "libvpx-vp9" || name == "libaom-av1") && !sets(state.settings, {"b"})) {
    context.bit_rate = 0;  // constant quality alone
  }
  AVDictionary* dictionary = nullptr;
  for (const EncoderSetting& setting : state.settings) {
    av_dict_set(&dictionary, setting.key.c_str(), setting.value.c_str(), 0);
  }
  return dictionary;
}

std::string settings_text(const VideoWriter::State& state) {
  // "crf 18", "preset slow", "bitrate 5M" for the defaults and the named
  // options, "tune=grain" for the encoder's own.
  std::string text;
  for (const EncoderSetting& setting : state.settings) {
    if (setting.given == "--encoder-option") {
      text += ", " + setting.key + "=" + setting.value;
    } else {
      text += ", " + (setting.given.empty() ? setting.key : setting.given.substr(2)) + " " + setting.value;
    }
  }
  return text;
}

}  // namespace shardcast::cli
