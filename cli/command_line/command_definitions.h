// The tool's commands and their options, each defined once: its name, its
// value's name and its help, which --help and the man page show. Options
// are parsed as text into the records here; request_checks.h turns them
// into the commands' requests.
//
// --help lists each effect parameter with its range and default as the
// module registers them (`registered`, empty when no module was loaded).
#pragma once

#include <CLI/CLI.hpp>

#include <array>
#include <string>
#include <vector>

#include "cli/command_line/video_options.h"
#include "cli/commands/commands.h"
#include "cli/parameters/parameter_options.h"
#include "cli/studio/studio.h"

namespace shardcast::cli {

// The texts given for parameter options, parsed once CLI11 is done.
struct ParameterTexts {
  std::array<std::string, PARAM_COUNT> text{};
  std::array<CLI::Option*, PARAM_COUNT> option{};
};

// What -q/-v and -n/-y say; a pair given together is refused.
struct RunOptions {
  bool quiet = false;
  bool verbose = false;
  bool no_overwrite = false;
  bool overwrite = false;
};

// The render options given as text, checked after parsing.
struct RenderTexts {
  std::string frames;
  std::string time;
  std::string fps;
  std::string seed_step;
  std::string jobs;
  std::string quality;
  std::string format;
  std::string size;
  std::string max_pixels;
};

// Each command's options, as parsed and then checked. `app` is the
// command's parser, which tells whether the command was given.
struct RenderCommand {
  CLI::App* app = nullptr;
  RenderRequest request;
  RenderTexts texts;
  VideoTexts video;
  ParameterTexts values;
  std::string settings;
  RunOptions run;
};

struct DecodeCommand {
  CLI::App* app = nullptr;
  DecodeRequest request;
  ParameterTexts values;
  std::string quality;
  std::string max_pixels;
  RunOptions run;
};

// `params`, which lists the parameters or, with --save, writes the values
// given as a settings file.
struct ParamsCommand {
  CLI::App* app = nullptr;
  std::string module;
  std::string save;
  std::string settings;
  ParameterTexts values;
};

struct StudioCommand {
  CLI::App* app = nullptr;
  StudioRequest request;
  std::string port;
  std::string size;
  std::string max_pixels;
  bool no_browser = false;
};

void add_render_command(CLI::App& app, RenderCommand& render, const std::vector<ParameterInfo>& registered);
void add_decode_command(CLI::App& app, DecodeCommand& decode, const std::vector<ParameterInfo>& registered);
void add_params_command(CLI::App& app, ParamsCommand& params, const std::vector<ParameterInfo>& registered);
void add_studio_command(CLI::App& app, StudioCommand& studio);

}  // namespace shardcast::cli
