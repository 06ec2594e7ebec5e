// The options of a video output, each defined once here: its name, its
// value's name and its help, which --help and the man page show.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "cli/video/video.h"

namespace shardcast::cli {

// The video options given as text, checked after parsing.
struct VideoTexts {
  std::string codec;
  std::string crf;
  std::string preset;
  std::string pixel_format;
  std::string bitrate;
  std::vector<std::string> encoder_options;
  std::string audio;
};

void add_video_options(CLI::App& command, VideoTexts& texts);
// The options as the writer takes them, and the names of those given (for
// the refusal of an output that is no video). Empty on success, otherwise
// the refusal.
std::string finish_video_options(const VideoTexts& texts, VideoOutputOptions& options, std::vector<std::string>& given);

}  // namespace shardcast::cli
