// The tool's commands, each run from parsed options to an exit code.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "cli/frames/frame_sequence.h"
#include "cli/frames/frame_timing.h"
#include "cli/messages/tool_log.h"
#include "cli/parameters/parameter_options.h"
#include "cli/pictures/image.h"
#include "cli/pictures/picture_limits.h"
#include "cli/video/video.h"

namespace shardcast::cli {

inline constexpr int exit_success = 0;
inline constexpr int exit_internal_failure = 1;  // the module or the host failed
inline constexpr int exit_bad_input = 2;         // usage, input, values or output
inline constexpr int exit_decoder_gave_up = 3;   // `decode` only
inline constexpr int exit_interrupted = 130;     // Ctrl-C, as shells count it

struct RenderRequest {
  std::string input;   // empty: the built-in sample frame; "-": standard input
  std::string output;  // "-": standard output
  ParameterValues values;
  std::optional<FrameRange> frames;
  std::optional<TimeRange> time;
  std::optional<FrameRate> rate;  // of pictures; a clip keeps its own
  std::int64_t seed_step = 0;
  bool supervise = false;
  int jobs = 0;                          // 0: one per core
  std::optional<int> quality;            // JPEG outputs
  std::optional<ImageFormat> format;     // pictures on standard output
  VideoOutputOptions video;              // video outputs
  std::vector<std::string> video_given;  // the names of the video options given
  std::string messages;                  // "" discards, "-" standard output, or a file
  std::string module_path;
  std::int32_t sample_width = 0;
  std::int32_t sample_height = 0;
  PictureLimits limits;
  bool no_overwrite = false;  // -n: an existing output is refused
};

struct DecodeRequest {
  std::string input;
  std::string output;
  ParameterValues values;
  std::optional<int> quality;
  std::string messages;
  std::string module_path;
  PictureLimits limits;
  bool no_overwrite = false;
};

int run_render(const RenderRequest& request);
int run_decode(const DecodeRequest& request);
int run_params(const std::string& module_path);
// `params --save FILE`: the values, checked against the module's ranges,
// as a settings file.
int run_save_settings(const std::string& path, const ParameterValues& values, const std::string& module_path);

// Flushes standard output, std::cout included. Empty when everything
// written there arrived, otherwise the reason.
std::string flush_standard_output();

}  // namespace shardcast::cli
