// shardcast: the effect outside a compositing host. `render` drives the
// built effect module through the simulated host, `decode` runs the tolerant
// decoder alone on a JPEG file, `params` lists the module's parameters (or
// saves values as a settings file), `studio` serves a page that renders
// while the parameters are turned.
//
// This file only turns the command line into requests. Every value is taken
// as text and checked here, so each refusal is one of the tool's own lines;
// the option parser's few errors of its own (an unknown option, a missing or
// repeated one, no command) are reworded the same way. An option given an
// empty value is refused like any other bad value. All of them exit 2.
//
// --help lists each effect parameter with its range and default as the
// module registers them, so the module is loaded for it when it can be.
#include <CLI/CLI.hpp>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <sstream>
#include <string>

#include "cli/command_line/help_format.h"
#include "cli/command_line/video_options.h"
#include "cli/commands/commands.h"
#include "cli/effect/module_session.h"
#include "cli/frames/frame_sequence.h"
#include "cli/parameters/parameter_options.h"
#include "cli/parameters/settings_file.h"
#include "cli/pictures/sample_frame.h"
#include "cli/studio/studio.h"
#include "cli/system/process_memory.h"

namespace shardcast::cli {
namespace {

constexpr const char* command_names[] = {"render", "decode", "params", "studio"};

// The texts given for parameter options, parsed once CLI11 is done.
struct ParameterTexts {
  std::array<std::string, PARAM_COUNT> text{};
  std::array<CLI::Option*, PARAM_COUNT> option{};
};

void add_parameter_options(CLI::App& command, ParameterTexts& texts, bool decoder_only,
                           const std::vector<ParameterInfo>& registered) {
  for (const ParameterOption& parameter : parameter_options) {
    if (decoder_only && std::find(decoder_parameter_indices.begin(), decoder_parameter_indices.end(),
                                  parameter.index) == decoder_parameter_indices.end()) {
      continue;
    }
    const auto slot = static_cast<std::size_t>(parameter.index);
    const bool checkbox = parameter.kind == ParameterKind::Checkbox;
    std::string help = parameter.description;
    if (const ParameterInfo* info = registered_info(registered, parameter.index); info != nullptr) {
      help += " [" + range_text(*info) + ", default " + default_text(*info) + "]";
    }
    texts.option[slot] = command.add_option(std::string("--") + parameter.name, texts.text[slot], help)
                             ->type_name(checkbox ? "on|off" : "NUMBER")
                             ->group("Effect parameters (a value, or keys VALUE@FRAME,VALUE@FRAME,...)");
  }
}

// Empty on success, otherwise the refusal.
std::string collect_values(const ParameterTexts& texts, ParameterValues& values) {
  for (const ParameterOption& parameter : parameter_options) {
    const auto slot = static_cast<std::size_t>(parameter.index);
    if (texts.option[slot] == nullptr || texts.option[slot]->count() == 0) {
      continue;
    }
    ValueTrack track;
    if (std::string refusal = parse_track(texts.text[slot], parameter.kind == ParameterKind::Checkbox, track);
        !refusal.empty()) {
      return std::string("--") + parameter.name + ": " + refusal;
    }
    values.given[slot] = std::move(track);
  }
  return {};
}

// The values of --settings, under those given as options.
std::string add_settings_file(const std::string& file, ParameterValues& values) {
  if (file.empty()) {
    return {};
  }
  Settings settings;
  if (std::string refusal = read_settings(file, settings); !refusal.empty()) {
    return refusal;
  }
  add_settings(settings, values);
  return {};
}

const char* const settings_help =
    "parameter values from a settings file, or a look by name (see shardcast params --save); options given "
    "here override it";

bool parse_whole(const std::string& text, std::int64_t& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// A whole number within [lowest, highest] for an option, or the refusal.
std::string parse_bounded(const std::string& option, const std::string& text, std::int64_t lowest, std::int64_t highest,
                          std::int64_t& value) {
  if (!parse_whole(text, value) || value < lowest || value > highest) {
    return option + " takes a whole number from " + std::to_string(lowest) + " to " + std::to_string(highest) +
           ", not \"" + text + "\"";
  }
  return {};
}

bool parse_size(const std::string& text, std::int32_t& width, std::int32_t& height) {
  const std::size_t x = text.find('x');
  if (x == std::string::npos) {
    return false;
  }
  std::int64_t w = 0;
  std::int64_t h = 0;
  if (!parse_whole(text.substr(0, x), w) || !parse_whole(text.substr(x + 1), h) || w <= 0 || h <= 0 || w > 16384 ||
      h > 16384) {
    return false;
  }
  width = static_cast<std::int32_t>(w);
  height = static_cast<std::int32_t>(h);
  return true;
}

std::string no_such_command(const char* word) {
  return std::string("there is no command \"") + word +
         "\"; the commands are render, decode, params and studio (see shardcast --help)";
}

// A missing command, output, stream or other required option.
std::string reworded_missing(const std::string& text, const CLI::App& app, int argc, char** argv) {
  if (text.starts_with("A subcommand")) {
    for (int i = 1; i < argc; ++i) {
      if (argv[i][0] != '-') {
        return no_such_command(argv[i]);
      }
    }
    return "give a command: render, decode, params or studio (see shardcast --help)";
  }
  if (text.starts_with("--output")) {
    return "an output is needed: -o FILE (see shardcast " +
           std::string(app.get_subcommands().empty() ? "render" : app.get_subcommands().front()->get_name()) +
           " --help)";
  }
  if (text.starts_with("stream")) {
    return "decode needs a JPEG file to read";
  }
  return text.substr(0, text.find(':')) + " must be given";
}

// Words the parser did not expect, pointing to the help of the command
// they came with.
std::string reworded_extras(const std::string& text, int argc, char** argv) {
  // The parser lists what it did not expect last first.
  const std::size_t colon = text.find(": ");
  std::vector<std::string> words;
  std::istringstream listed(colon == std::string::npos ? text : text.substr(colon + 2));
  for (std::string word; listed >> word;) {
    words.insert(words.begin(), word);
  }
  std::string extras;
  for (const std::string& word : words) {
    extras += (extras.empty() ? "" : " ") + word;
  }
  const std::string what =
      words.size() == 1 && extras.starts_with("-") ? "there is no option " + extras : "unexpected " + extras;
  for (int i = 1; i < argc; ++i) {
    for (const char* command : command_names) {
      if (std::strcmp(argv[i], command) == 0) {
        return what + " (see shardcast " + command + " --help)";
      }
    }
    if (argv[i][0] != '-') {
      return no_such_command(argv[i]);
    }
  }
  return what + " (see shardcast --help)";
}

// The option parser's own errors as the tool's sentences.
std::string reworded(const CLI::ParseError& error, const CLI::App& app, int argc, char** argv) {
  const std::string text = error.what();
  if (dynamic_cast<const CLI::RequiredError*>(&error) != nullptr) {
    return reworded_missing(text, app, argc, argv);
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr) {
    const std::string name = text.substr(0, text.find(':'));
    if (text.find("At Most") != std::string::npos) {
      return name + " was given more than once; give it once";
    }
    return name + " needs a value";
  }
  if (dynamic_cast<const CLI::ExtrasError*>(&error) != nullptr) {
    return reworded_extras(text, argc, argv);
  }
  std::string sentence = text;
  if (!sentence.empty()) {
    sentence[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(sentence[0])));
  }
  return sentence;
}

// What --module says, if given; for --help, before the parser has run.
std::string module_option(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--module" && i + 1 < argc) {
      return argv[i + 1];
    }
    if (word.starts_with("--module=")) {
      return word.substr(9);
    }
  }
  return {};
}

bool asks_for_help(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      return true;
    }
  }
  return false;
}

// --max-pixels: a whole number of pixels. The top of the range only keeps
// the tool's size arithmetic in 64 bits; memory runs out long before.
constexpr std::uint64_t max_pixels_ceiling = std::uint64_t{1} << 40;

std::string parse_max_pixels(const std::string& text, PictureLimits& limits) {
  std::int64_t value = 0;
  if (!parse_whole(text, value) || value < 1 || static_cast<std::uint64_t>(value) > max_pixels_ceiling) {
    return "--max-pixels " + text + ": expected a whole number of pixels from 1 to " +
           std::to_string(max_pixels_ceiling);
  }
  limits.max_pixels = static_cast<std::uint64_t>(value);
  return {};
}

const std::string max_pixels_help = "largest picture or video frame read, in pixels (default " +
                                    std::to_string(default_max_pixels) +
                                    ", 8192x8192; a render takes about 36 bytes of memory per pixel)";

const char* const module_help =
    "effect module to load (default: $SHARDCAST_MODULE, else " SHARDCAST_MODULE_FILE_NAME
    " beside this program, else " SHARDCAST_INSTALLED_MODULE_DIR "/" SHARDCAST_MODULE_FILE_NAME
    " from this program's folder, else the module of the build folder this program is in)";
const char* const messages_help = "where the decoder's lines go: a file, or - for standard output (default: discarded)";
const char* const quality_help = "quality of JPEG outputs, 1 to 100 (baseline, 4:4:4; default 95)";

// An empty value ("--jobs ''") is no value: refused, not taken as absent.
std::string refuse_empty_values(const CLI::App& command) {
  for (const CLI::Option* option : command.get_options()) {
    if (option->get_type_size() == 0 || option->count() == 0) {
      continue;
    }
    for (const std::string& value : option->results()) {
      if (!value.empty()) {
        continue;
      }
      if (option->get_lnames().empty() && option->get_snames().empty()) {
        return "the " + option->get_name(true) + " name is empty; name a file";
      }
      return option->get_name() + " was given an empty value; give it one";
    }
  }
  return {};
}

// What -q/-v and -n/-y say; a pair given together is refused.
struct RunOptions {
  bool quiet = false;
  bool verbose = false;
  bool no_overwrite = false;
  bool overwrite = false;
};

void add_run_options(CLI::App& command, RunOptions& options) {
  command.add_flag("-q,--quiet", options.quiet, "errors only on standard error: no warnings, summary or progress");
  command.add_flag("-v,--verbose", options.verbose,
                   "also FFmpeg's and the encoders' own notes on standard error, each as a shardcast: line");
  command.add_flag("-n,--no-overwrite", options.no_overwrite, "refuse outputs that exist, before anything is rendered");
  command.add_flag("-y,--overwrite", options.overwrite,
                   "replace outputs that exist (the default; an input is never overwritten)");
}

std::string apply_run_options(const RunOptions& options, bool& no_overwrite) {
  if (options.quiet && options.verbose) {
    return "give -q (--quiet) or -v (--verbose), not both";
  }
  if (options.no_overwrite && options.overwrite) {
    return "give -n (--no-overwrite) or -y (--overwrite), not both";
  }
  set_verbosity(options.quiet ? Verbosity::Quiet : options.verbose ? Verbosity::Verbose : Verbosity::Normal);
  no_overwrite = options.no_overwrite;
  return {};
}

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

// --frames, --time and --fps. Empty on success, otherwise the refusal.
std::string finish_frame_options(const RenderTexts& texts, RenderRequest& render) {
  if (!texts.frames.empty()) {
    FrameRange range;
    if (std::string refusal = FrameRange::parse(texts.frames, range); !refusal.empty()) {
      return "--frames " + texts.frames + ": " + refusal;
    }
    render.frames = range;
  }
  if (!texts.time.empty()) {
    TimeRange range;
    if (std::string refusal = TimeRange::parse(texts.time, range); !refusal.empty()) {
      return "--time: " + refusal;
    }
    render.time = range;
  }
  if (!texts.fps.empty()) {
    FrameRate rate;
    if (std::string refusal = FrameRate::parse(texts.fps, rate); !refusal.empty()) {
      return "--fps: " + refusal;
    }
    render.rate = rate;
  }
  return {};
}

// The options that take a whole number in a range. Empty on success,
// otherwise the refusal.
std::string finish_number_options(const RenderTexts& texts, RenderRequest& render) {
  std::int64_t number = 0;
  if (!texts.seed_step.empty()) {
    if (std::string refusal = parse_bounded("--seed-step", texts.seed_step, -100000000, 100000000, number);
        !refusal.empty()) {
      return refusal;
    }
    render.seed_step = number;
  }
  if (!texts.jobs.empty()) {
    if (std::string refusal = parse_bounded("--jobs", texts.jobs, 1, 256, number); !refusal.empty()) {
      return refusal;
    }
    render.jobs = static_cast<int>(number);
  }
  if (!texts.quality.empty()) {
    if (std::string refusal = parse_bounded("--quality", texts.quality, 1, 100, number); !refusal.empty()) {
      return refusal;
    }
    render.quality = static_cast<int>(number);
  }
  return {};
}

// --sample-size, which applies only without an input.
std::string finish_sample_size(const std::string& text, RenderRequest& render) {
  render.sample_width = sample_frame_width;
  render.sample_height = sample_frame_height;
  if (text.empty()) {
    return {};
  }
  if (!render.input.empty()) {
    return "--sample-size applies only to the built-in sample frame (no input given)";
  }
  if (!parse_size(text, render.sample_width, render.sample_height)) {
    return "--sample-size takes WxH, each from 1 to 16384, not \"" + text + "\"";
  }
  return render.limits.check_size("--sample-size: the sample frame", static_cast<std::uint64_t>(render.sample_width),
                                  static_cast<std::uint64_t>(render.sample_height));
}

// Empty on success, otherwise the refusal.
std::string finish_render_request(const RenderTexts& texts, RenderRequest& render) {
  if (std::string refusal = finish_frame_options(texts, render); !refusal.empty()) {
    return refusal;
  }
  if (std::string refusal = finish_number_options(texts, render); !refusal.empty()) {
    return refusal;
  }
  if (!texts.format.empty()) {
    if (texts.format == "png") {
      render.format = ImageFormat::Png;
    } else if (texts.format == "jpg" || texts.format == "jpeg") {
      render.format = ImageFormat::Jpeg;
    } else {
      return "--format takes png or jpg, not \"" + texts.format + "\"";
    }
  }
  if (!texts.max_pixels.empty()) {
    if (std::string refusal = parse_max_pixels(texts.max_pixels, render.limits); !refusal.empty()) {
      return refusal;
    }
  }
  return finish_sample_size(texts.size, render);
}

// Each command's options, as parsed and then checked.
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

void add_render_command(CLI::App& app, RenderCommand& render, const std::vector<ParameterInfo>& registered) {
  RenderRequest& request = render.request;
  RenderTexts& texts = render.texts;
  CLI::App& command = *app.add_subcommand("render", "render a picture, a frame sequence or a clip through the effect");
  render.app = &command;
  command.add_option("input", request.input,
                     "PNG or JPEG picture, frame pattern (in_%04d.png, in_####.png), video file, or - for "
                     "pictures on standard input (default: the built-in sample frame)");
  command
      .add_option("-o,--output", request.output,
                  "picture (.png, .jpg), frame pattern, video (.mp4, .mkv, .mov, .webm), or - for standard output")
      ->required();
  command.add_option("--frames", texts.frames,
                     "frames A-B, A or A- (to the end) to render: of a pattern, a clip or standard input");
  command.add_option("--time", texts.time, "the part of a clip to render, START-END or START- in seconds");
  command.add_option("--fps", texts.fps,
                     "frame rate of pictures and sequences: the effect's time and a video output's rate "
                     "(default 25; a clip keeps its own)");
  command.add_option("--seed-step", texts.seed_step, "add N x frame number to --seed");
  command.add_flag("--supervise", request.supervise,
                   "keep the glitch window's end after its start, as the host does while editing");
  command.add_option("--jobs", texts.jobs, "frames rendered at once, each in its own process (default: one per core)");
  command.add_option("--quality", texts.quality, quality_help);
  command.add_option("--format", texts.format, "png or jpg, for pictures on standard output (default png)");
  command.add_option("--sample-size", texts.size, "size of the built-in sample frame, WxH (default 640x360)");
  command.add_option("--messages", request.messages, messages_help);
  command.add_option("--module", request.module_path, module_help);
  command.add_option("--max-pixels", texts.max_pixels, max_pixels_help)->type_name("PIXELS");
  command.add_option("--settings", render.settings, settings_help)->type_name("FILE|LOOK");
  add_run_options(command, render.run);
  add_video_options(command, render.video);
  add_parameter_options(command, render.values, false, registered);
}

void add_decode_command(CLI::App& app, DecodeCommand& decode, const std::vector<ParameterInfo>& registered) {
  CLI::App& command = *app.add_subcommand("decode", "run only the effect's tolerant decoder on a JPEG file");
  decode.app = &command;
  command.add_option("stream", decode.request.input, "baseline JPEG file, damaged or not")->required();
  command.add_option("-o,--output", decode.request.output, "output picture, .png or .jpg")->required();
  command.add_option("--quality", decode.quality, quality_help);
  command.add_option("--messages", decode.request.messages, messages_help);
  command.add_option("--module", decode.request.module_path, "effect module whose parameter defaults apply");
  command.add_option("--max-pixels", decode.max_pixels, max_pixels_help)->type_name("PIXELS");
  add_run_options(command, decode.run);
  add_parameter_options(command, decode.values, true, registered);
}

// Empty on success, otherwise the refusal.
std::string finish_decode_request(DecodeCommand& decode) {
  DecodeRequest& request = decode.request;
  if (std::string refusal = apply_run_options(decode.run, request.no_overwrite); !refusal.empty()) {
    return refusal;
  }
  if (std::string refusal = collect_values(decode.values, request.values); !refusal.empty()) {
    return refusal;
  }
  if (!decode.quality.empty()) {
    std::int64_t quality = 0;
    if (std::string refusal = parse_bounded("--quality", decode.quality, 1, 100, quality); !refusal.empty()) {
      return refusal;
    }
    request.quality = static_cast<int>(quality);
  }
  if (!decode.max_pixels.empty()) {
    return parse_max_pixels(decode.max_pixels, request.limits);
  }
  return {};
}

// Empty on success, otherwise the refusal.
std::string finish_render_command(RenderCommand& render) {
  if (std::string refusal = apply_run_options(render.run, render.request.no_overwrite); !refusal.empty()) {
    return refusal;
  }
  if (std::string refusal = collect_values(render.values, render.request.values); !refusal.empty()) {
    return refusal;
  }
  if (std::string refusal = finish_video_options(render.video, render.request.video, render.request.video_given);
      !refusal.empty()) {
    return refusal;
  }
  if (std::string refusal = add_settings_file(render.settings, render.request.values); !refusal.empty()) {
    return refusal;
  }
  return finish_render_request(render.texts, render.request);
}

// `params`, which lists the parameters or, with --save, writes the values
// given as a settings file.
struct ParamsCommand {
  CLI::App* app = nullptr;
  std::string module;
  std::string save;
  std::string settings;
  ParameterTexts values;
};

void add_params_command(CLI::App& app, ParamsCommand& params, const std::vector<ParameterInfo>& registered) {
  CLI::App& command = *app.add_subcommand("params", "list the effect's parameters, or save values as a settings file");
  params.app = &command;
  command.add_option("--module", params.module, module_help);
  command.add_option("--save", params.save, "write the values given (and those of --settings) as a settings file")
      ->type_name("FILE");
  command.add_option("--settings", params.settings, "start from this settings file or look")->type_name("FILE|LOOK");
  add_parameter_options(command, params.values, false, registered);
}

int run_params_command(const ParamsCommand& params) {
  ParameterValues values;
  std::string refusal = collect_values(params.values, values);
  if (refusal.empty()) {
    refusal = add_settings_file(params.settings, values);
  }
  const bool any = std::any_of(values.given.begin(), values.given.end(), [](const auto& track) { return track; });
  if (refusal.empty() && params.save.empty() && any) {
    refusal = "parameter values and --settings go with --save FILE, which writes them";
  }
  if (!refusal.empty()) {
    report(refusal);
    return exit_bad_input;
  }
  return params.save.empty() ? run_params(params.module) : run_save_settings(params.save, values, params.module);
}

struct StudioCommand {
  CLI::App* app = nullptr;
  StudioRequest request;
  std::string port;
  std::string size;
  std::string max_pixels;
  bool no_browser = false;
};

void add_studio_command(CLI::App& app, StudioCommand& studio) {
  StudioRequest& request = studio.request;
  CLI::App& command = *app.add_subcommand("studio", "turn the effect's parameters in a local web page, live");
  studio.app = &command;
  command.add_option("input", request.input,
                     "PNG or JPEG picture, frame pattern or video file (default: the built-in sample frame)");
  command.add_option("--port", studio.port, "port on 127.0.0.1 and ::1 (default: any free port)");
  command.add_flag("--no-browser", studio.no_browser, "print the page's address without opening a browser");
  command.add_option("--output-folder", request.output_folder,
                     "where the page's whole-clip renders go (default: the current folder)");
  command.add_option("--settings", request.settings, "start from this settings file or look")->type_name("FILE|LOOK");
  command.add_option("--sample-size", studio.size, "size of the built-in sample frame, WxH (default 640x360)");
  command.add_option("--module", request.module_path, module_help);
  command.add_option("--max-pixels", studio.max_pixels, max_pixels_help)->type_name("PIXELS");
}

// Empty on success, otherwise the refusal.
std::string finish_studio_command(StudioCommand& studio) {
  StudioRequest& request = studio.request;
  request.open_browser = !studio.no_browser;
  std::int64_t port = 0;
  if (!studio.port.empty()) {
    if (std::string refusal = parse_bounded("--port", studio.port, 1, 65535, port); !refusal.empty()) {
      return refusal;
    }
    request.port = static_cast<int>(port);
  }
  if (!studio.max_pixels.empty()) {
    if (std::string refusal = parse_max_pixels(studio.max_pixels, request.limits); !refusal.empty()) {
      return refusal;
    }
  }
  request.sample_width = sample_frame_width;
  request.sample_height = sample_frame_height;
  if (studio.size.empty()) {
    return {};
  }
  if (!request.input.empty()) {
    return "--sample-size applies only to the built-in sample frame (no input given)";
  }
  if (!parse_size(studio.size, request.sample_width, request.sample_height)) {
    return "--sample-size takes WxH, each from 1 to 16384, not \"" + studio.size + "\"";
  }
  return request.limits.check_size("--sample-size: the sample frame", static_cast<std::uint64_t>(request.sample_width),
                                   static_cast<std::uint64_t>(request.sample_height));
}

// The command line parsed: nothing to go on, or the exit code of what was
// done or refused instead (--help, --version, a parse error, an empty
// value).
std::optional<int> parse(CLI::App& app, int argc, char** argv) {
  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& success) {
    // --help and --version: a text that did not arrive is no success.
    if (app.exit(success) != 0) {
      return exit_bad_input;
    }
    if (std::string failure = flush_standard_output(); !failure.empty()) {
      report("cannot write standard output: " + failure);
      return exit_bad_input;
    }
    return exit_success;
  } catch (const CLI::ParseError& error) {
    report(reworded(error, app, argc, argv));
    return exit_bad_input;
  }
  for (const CLI::App* command : app.get_subcommands()) {
    if (std::string refusal = refuse_empty_values(*command); !refusal.empty()) {
      report(refusal);
      return exit_bad_input;
    }
  }
  return std::nullopt;
}

int run(int argc, char** argv) {
  // The ranges and defaults in --help come from the module itself.
  ModuleSession help_module;
  if (asks_for_help(argc, argv)) {
    help_module.find_and_open(module_option(argc, argv));
  }
  const std::vector<ParameterInfo>& registered = help_module.parameters();

  CLI::App app{"shardcast: renders pictures and clips through the Shardcast damaged-JPEG effect", "shardcast"};
  app.formatter(std::make_shared<WrappedHelp>());
  app.set_version_flag("--version", std::string("shardcast ") + SHARDCAST_VERSION);
  app.require_subcommand(1);
  RenderCommand render;
  add_render_command(app, render, registered);
  DecodeCommand decode;
  add_decode_command(app, decode, registered);
  ParamsCommand params;
  add_params_command(app, params, registered);
  StudioCommand studio;
  add_studio_command(app, studio);

  if (const std::optional<int> done = parse(app, argc, argv); done.has_value()) {
    return *done;
  }
  if (*params.app) {
    return run_params_command(params);
  }
  if (*studio.app) {
    if (std::string refusal = finish_studio_command(studio); !refusal.empty()) {
      report(refusal);
      return exit_bad_input;
    }
    return run_studio(studio.request);
  }
  const std::string refusal = *decode.app ? finish_decode_request(decode) : finish_render_command(render);
  if (!refusal.empty()) {
    report(refusal);
    return exit_bad_input;
  }
  return *decode.app ? run_decode(decode.request) : run_render(render.request);
}

}  // namespace

}  // namespace shardcast::cli

int main(int argc, char** argv) {
  shardcast::cli::reuse_freed_memory();
  // Within the default limits every picture fits in memory; a raised
  // --max-pixels may ask for more than there is.
  try {
    return shardcast::cli::run(argc, argv);
  } catch (const std::bad_alloc&) {
    shardcast::cli::report("out of memory: the picture is too large for the memory available");
    return shardcast::cli::exit_bad_input;
  }
}
