// The commands' options (command_definitions.h), in the order --help lists
// them. Every value is taken as text, so that each refusal is one of the
// tool's own sentences rather than the parser's.
#include "cli/command_line/command_definitions.h"

#include <algorithm>

namespace shardcast::cli {
namespace {

const char* const settings_help =
    "parameter values from a settings file, or a look by name (see shardcast params --save); options given "
    "here override it";
const std::string max_pixels_help = "largest picture or video frame read, in pixels (default " +
                                    std::to_string(default_max_pixels) +
                                    ", 8192x8192; a render takes about 36 bytes of memory per pixel)";
const char* const module_help =
    "effect module to load (default: $SHARDCAST_MODULE, else " SHARDCAST_MODULE_FILE_NAME
    " beside this program, else " SHARDCAST_INSTALLED_MODULE_DIR "/" SHARDCAST_MODULE_FILE_NAME
    " from this program's folder, else the module of the build folder this program is in)";
const char* const messages_help = "where the decoder's lines go: a file, or - for standard output (default: discarded)";
const char* const quality_help = "quality of JPEG outputs, 1 to 100 (baseline, 4:4:4; default 95)";
const char* const sample_size_help = "size of the built-in sample frame, WxH (default 640x360)";
const char* const start_settings_help = "start from this settings file or look";

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

void add_run_options(CLI::App& command, RunOptions& options) {
  command.add_flag("-q,--quiet", options.quiet, "errors only on standard error: no warnings, summary or progress");
  command.add_flag("-v,--verbose", options.verbose,
                   "also FFmpeg's and the encoders' own notes on standard error, each as a shardcast: line");
  command.add_flag("-n,--no-overwrite", options.no_overwrite, "refuse outputs that exist, before anything is rendered");
  command.add_flag("-y,--overwrite", options.overwrite,
                   "replace outputs that exist (the default; an input is never overwritten)");
}

}  // namespace

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
  command.add_option("--sample-size", texts.size, sample_size_help);
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

void add_params_command(CLI::App& app, ParamsCommand& params, const std::vector<ParameterInfo>& registered) {
  CLI::App& command = *app.add_subcommand("params", "list the effect's parameters, or save values as a settings file");
  params.app = &command;
  command.add_option("--module", params.module, module_help);
  command.add_option("--save", params.save, "write the values given (and those of --settings) as a settings file")
      ->type_name("FILE");
  command.add_option("--settings", params.settings, start_settings_help)->type_name("FILE|LOOK");
  add_parameter_options(command, params.values, false, registered);
}

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
  command.add_option("--settings", request.settings, start_settings_help)->type_name("FILE|LOOK");
  command.add_option("--sample-size", studio.size, sample_size_help);
  command.add_option("--module", request.module_path, module_help);
  command.add_option("--max-pixels", studio.max_pixels, max_pixels_help)->type_name("PIXELS");
}

}  // namespace shardcast::cli
