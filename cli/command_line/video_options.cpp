// The video output's options. Values are taken as text and checked here
// only as far as their form goes (a whole number, KEY=VALUE); whether the
// encoder takes them is the video writer's to say, before the first frame.
#include "cli/command_line/video_options.h"

#include "cli/command_line/option_values.h"

namespace shardcast::cli {
namespace {

struct VideoOption {
  const char* name;
  std::string VideoTexts::*text;
  const char* value;
  const char* help;
};

constexpr VideoOption video_options[] = {
    {"--codec", &VideoTexts::codec, "NAME",
     "FFmpeg encoder for a video output (default: libx264 in .mp4/.mkv, prores_ks in .mov, libvpx-vp9 in .webm)"},
    {"--crf", &VideoTexts::crf, "NUMBER", "constant quality of a video output, lower is better (default 18 for H.264)"},
    {"--preset", &VideoTexts::preset, "NAME",
     "the encoder's speed preset (libx264 and libx265: ultrafast to veryslow)"},
    {"--pix-fmt", &VideoTexts::pixel_format, "NAME",
     "pixel format of a video output (default: the clip's depth and chroma where the codec takes them)"},
    {"--bitrate", &VideoTexts::bitrate, "RATE", "average bit rate of a video output, as FFmpeg writes it (5M, 800k)"},
    {"--audio", &VideoTexts::audio, "copy|none|CODEC",
     "the clip's audio: copied (the default; encoded again where the container cannot hold it), dropped, or "
     "encoded again with an FFmpeg audio encoder"},
};

constexpr const char* encoder_option_help =
    "an option of the encoder itself, as ffmpeg -h encoder=NAME lists them (tune=grain, x264-params=keyint=48); "
    "may be repeated";

}  // namespace

void add_video_options(CLI::App& command, VideoTexts& texts) {
  for (const VideoOption& option : video_options) {
    command.add_option(option.name, texts.*option.text, option.help)->type_name(option.value)->group("Video output");
  }
  // One KEY=VALUE each time it is given, so that it cannot take the input
  // that follows it.
  command.add_option("--encoder-option", texts.encoder_options, encoder_option_help)
      ->type_name("KEY=VALUE")
      ->expected(1)
      ->take_all()
      ->group("Video output");
}

std::string finish_video_options(const VideoTexts& texts, VideoOutputOptions& options,
                                 std::vector<std::string>& given) {
  for (const VideoOption& option : video_options) {
    if (!(texts.*option.text).empty()) {
      given.push_back(option.name);
    }
  }
  if (!texts.encoder_options.empty()) {
    given.push_back("--encoder-option");
  }
  options.codec = texts.codec;
  options.preset = texts.preset;
  options.pixel_format = texts.pixel_format;
  options.bitrate = texts.bitrate;
  options.audio = texts.audio.empty() ? "copy" : texts.audio;
  if (std::string refusal = parse_given("--crf", texts.crf, 0, 63, options.crf); !refusal.empty()) {
    return refusal;
  }
  for (const std::string& option : texts.encoder_options) {
    const std::size_t equals = option.find('=');
    if (equals == 0 || equals == std::string::npos) {
      return "--encoder-option takes KEY=VALUE, not \"" + option + "\"";
    }
    options.encoder_options.emplace_back(option.substr(0, equals), option.substr(equals + 1));
  }
  return {};
}

}  // namespace shardcast::cli
