// The tool's commands, each run from parsed options to an exit code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "cli/frame_sequence.h"
#include "cli/parameter_options.h"
#include "cli/picture_limits.h"

namespace shardcast::cli {

inline constexpr int exit_success = 0;
inline constexpr int exit_internal_failure = 1;  // the module or the host failed
inline constexpr int exit_bad_input = 2;         // usage, input, values or output
inline constexpr int exit_decoder_gave_up = 3;   // `decode` only

struct RenderRequest {
  std::string input;  // empty: the built-in sample frame
  std::string output;
  ParameterValues values;
  std::optional<FrameRange> frames;
  std::int64_t seed_step = 0;
  bool supervise = false;
  std::string messages;  // "" discards, "-" standard output, or a file
  std::string module_path;
  std::int32_t sample_width = 0;
  std::int32_t sample_height = 0;
  PictureLimits limits;
};

struct DecodeRequest {
  std::string input;
  std::string output;
  ParameterValues values;
  std::string messages;
  std::string module_path;
  PictureLimits limits;
};

int run_render(const RenderRequest& request);
int run_decode(const DecodeRequest& request);
int run_params(const std::string& module_path);

// "shardcast: " and the text, on standard error.
void report(const std::string& text);

}  // namespace shardcast::cli
