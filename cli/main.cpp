// shardcast: the effect outside a compositing host. `render` drives the
// built effect module through the simulated host, `decode` runs the tolerant
// decoder alone on a JPEG file, `params` lists the module's parameters.
//
// This file only turns the command line into requests. Parse errors, unknown
// options and malformed values exit with 2, like every other bad usage.
#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "cli/commands.h"
#include "cli/frame_sequence.h"
#include "cli/parameter_options.h"
#include "cli/sample_frame.h"

namespace shardcast::cli {
namespace {

// The texts given for parameter options, parsed once CLI11 is done.
struct ParameterTexts {
  std::array<std::string, PARAM_COUNT> text{};
  std::array<CLI::Option*, PARAM_COUNT> option{};
};

void add_parameter_options(CLI::App& command, ParameterTexts& texts, bool decoder_only) {
  for (const ParameterOption& parameter : parameter_options) {
    if (decoder_only && std::find(decoder_parameter_indices.begin(), decoder_parameter_indices.end(),
                                  parameter.index) == decoder_parameter_indices.end()) {
      continue;
    }
    const auto slot = static_cast<std::size_t>(parameter.index);
    const bool checkbox = parameter.kind == ParameterKind::Checkbox;
    texts.option[slot] =
        command
            .add_option(std::string("--") + parameter.name, texts.text[slot],
                        checkbox ? "on or off (also 1/0, true/false)" : "slider value (see `shardcast params`)")
            ->type_name(checkbox ? "on|off" : "NUMBER")
            ->group("Effect parameters");
  }
}

bool parse_number(const std::string& text, double& value) {
  const char* end = text.data() + text.size();
  const auto result = std::from_chars(text.data(), end, value);
  return result.ec == std::errc() && result.ptr == end;
}

// Empty on success, otherwise the refusal.
std::string collect_values(const ParameterTexts& texts, ParameterValues& values) {
  for (const ParameterOption& parameter : parameter_options) {
    const auto slot = static_cast<std::size_t>(parameter.index);
    if (texts.option[slot] == nullptr || texts.option[slot]->count() == 0) {
      continue;
    }
    double value = 0;
    const std::string& text = texts.text[slot];
    if (parameter.kind == ParameterKind::Checkbox) {
      if (!parse_checkbox(text, value)) {
        return std::string("--") + parameter.name + ": expected on or off, not \"" + text + "\"";
      }
    } else if (!parse_number(text, value)) {
      return std::string("--") + parameter.name + ": expected a number, not \"" + text + "\"";
    }
    values.given[slot] = value;
  }
  return {};
}

bool parse_size(const std::string& text, std::int32_t& width, std::int32_t& height) {
  const std::size_t x = text.find('x');
  if (x == std::string::npos) {
    return false;
  }
  const std::string first = text.substr(0, x);
  const std::string second = text.substr(x + 1);
  const auto w = std::from_chars(first.data(), first.data() + first.size(), width);
  const auto h = std::from_chars(second.data(), second.data() + second.size(), height);
  return w.ec == std::errc() && w.ptr == first.data() + first.size() && h.ec == std::errc() &&
         h.ptr == second.data() + second.size() && width > 0 && height > 0 && width <= 16384 && height <= 16384;
}

// --max-pixels: a whole number of pixels. The top of the range only keeps
// the tool's size arithmetic in 64 bits; memory runs out long before.
constexpr std::uint64_t max_pixels_ceiling = std::uint64_t{1} << 40;

std::string parse_max_pixels(const std::string& text, PictureLimits& limits) {
  std::uint64_t value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size() || value == 0 ||
      value > max_pixels_ceiling) {
    return "--max-pixels " + text + ": expected a whole number of pixels from 1 to " +
           std::to_string(max_pixels_ceiling);
  }
  limits.max_pixels = value;
  return {};
}

const std::string max_pixels_help = "largest picture read, in pixels (default " + std::to_string(default_max_pixels) +
                                    ", 8192x8192; a render takes about 36 bytes of memory per pixel)";

const char* const module_help =
    "effect module to load (default: $SHARDCAST_MODULE, else Shardcast.so beside this program, else the "
    "module of this build)";
const char* const messages_help = "where the decoder's lines go: a file, or - for standard output (default: discarded)";

int run(int argc, char** argv) {
  CLI::App app{"shardcast: renders pictures through the Shardcast damaged-JPEG effect", "shardcast"};
  app.set_version_flag("--version", std::string("shardcast ") + SHARDCAST_VERSION);
  app.require_subcommand(1);

  RenderRequest render;
  ParameterTexts render_texts;
  std::string frames_text;
  std::string size_text;
  CLI::App* render_command = app.add_subcommand("render", "render one frame or a frame sequence through the effect");
  render_command->add_option("input", render.input,
                             "PNG or JPEG picture, or a frame pattern such as in_%04d.png (default: the built-in "
                             "sample frame)");
  render_command->add_option("-o,--output", render.output, "output picture, .png or .jpg, or a frame pattern")
      ->required();
  render_command->add_option("--frames", frames_text, "frame range A-B for patterns and --seed-step");
  render_command->add_option("--seed-step", render.seed_step, "add N x frame number to --seed");
  render_command->add_flag("--supervise", render.supervise,
                           "keep the glitch window's end after its start, as the host does while editing");
  render_command->add_option("--sample-size", size_text, "size of the built-in sample frame, WxH (default 640x360)");
  render_command->add_option("--messages", render.messages, messages_help);
  render_command->add_option("--module", render.module_path, module_help);
  std::string render_max_pixels;
  render_command->add_option("--max-pixels", render_max_pixels, max_pixels_help)->type_name("PIXELS");
  add_parameter_options(*render_command, render_texts, false);

  DecodeRequest decode;
  ParameterTexts decode_texts;
  CLI::App* decode_command = app.add_subcommand("decode", "run only the effect's tolerant decoder on a JPEG file");
  decode_command->add_option("stream", decode.input, "JPEG file, damaged or not")->required();
  decode_command->add_option("-o,--output", decode.output, "output picture, .png or .jpg")->required();
  decode_command->add_option("--messages", decode.messages, messages_help);
  decode_command->add_option("--module", decode.module_path, "effect module whose parameter defaults apply");
  std::string decode_max_pixels;
  decode_command->add_option("--max-pixels", decode_max_pixels, max_pixels_help)->type_name("PIXELS");
  add_parameter_options(*decode_command, decode_texts, true);

  std::string params_module;
  CLI::App* params_command = app.add_subcommand("params", "list the effect's parameters");
  params_command->add_option("--module", params_module, module_help);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? exit_success : exit_bad_input;
  }

  if (*params_command) {
    return run_params(params_module);
  }
  if (*decode_command) {
    std::string invalid = collect_values(decode_texts, decode.values);
    if (invalid.empty() && !decode_max_pixels.empty()) {
      invalid = parse_max_pixels(decode_max_pixels, decode.limits);
    }
    if (!invalid.empty()) {
      report(invalid);
      return exit_bad_input;
    }
    return run_decode(decode);
  }
  std::string invalid = collect_values(render_texts, render.values);
  if (invalid.empty() && !render_max_pixels.empty()) {
    invalid = parse_max_pixels(render_max_pixels, render.limits);
  }
  if (!invalid.empty()) {
    report(invalid);
    return exit_bad_input;
  }
  if (!frames_text.empty()) {
    FrameRange range;
    if (std::string refusal = FrameRange::parse(frames_text, range); !refusal.empty()) {
      report("--frames " + frames_text + ": " + refusal);
      return exit_bad_input;
    }
    render.frames = range;
  }
  render.sample_width = sample_frame_width;
  render.sample_height = sample_frame_height;
  if (!size_text.empty()) {
    if (!render.input.empty()) {
      report("--sample-size applies only to the built-in sample frame (no input given)");
      return exit_bad_input;
    }
    if (!parse_size(size_text, render.sample_width, render.sample_height)) {
      report("--sample-size " + size_text + ": expected WxH, each from 1 to 16384");
      return exit_bad_input;
    }
    if (std::string too_large =
            render.limits.check_size("--sample-size: the sample frame", render.sample_width, render.sample_height);
        !too_large.empty()) {
      report(too_large);
      return exit_bad_input;
    }
  }
  return run_render(render);
}

}  // namespace

void report(const std::string& text) { std::fprintf(stderr, "shardcast: %s\n", text.c_str()); }

}  // namespace shardcast::cli

int main(int argc, char** argv) {
  // Within the default limits every picture fits in memory; a raised
  // --max-pixels may ask for more than there is.
  try {
    return shardcast::cli::run(argc, argv);
  } catch (const std::bad_alloc&) {
    shardcast::cli::report("out of memory: the picture is too large for the memory available");
    return shardcast::cli::exit_bad_input;
  }
}
