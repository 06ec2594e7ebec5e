// The commands' requests finished from the texts the parser took
// (request_checks.h). Parameter values are parsed as keys here and judged
// against the module's ranges later, by the command that loads it.
#include "cli/command_line/request_checks.h"

#include <algorithm>

#include "cli/command_line/option_values.h"
#include "cli/frames/frame_sequence.h"
#include "cli/messages/tool_log.h"
#include "cli/parameters/settings_file.h"

namespace shardcast::cli {
namespace {

// The parameter options given, as tracks.
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

// --frames, --time and --fps.
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

// The options that take a whole number in a range.
std::string finish_number_options(const RenderTexts& texts, RenderRequest& render) {
  if (std::string refusal = parse_given("--seed-step", texts.seed_step, -100000000, 100000000, render.seed_step);
      !refusal.empty()) {
    return refusal;
  }
  if (std::string refusal = parse_given("--jobs", texts.jobs, 1, 256, render.jobs); !refusal.empty()) {
    return refusal;
  }
  return parse_given("--quality", texts.quality, 1, 100, render.quality);
}

std::string finish_format(const std::string& text, RenderRequest& render) {
  if (text.empty()) {
    return {};
  }
  if (text == "png") {
    render.format = ImageFormat::Png;
  } else if (text == "jpg" || text == "jpeg") {
    render.format = ImageFormat::Jpeg;
  } else {
    return "--format takes png or jpg, not \"" + text + "\"";
  }
  return {};
}

std::string finish_render_request(const RenderTexts& texts, RenderRequest& render) {
  if (std::string refusal = finish_frame_options(texts, render); !refusal.empty()) {
    return refusal;
  }
  if (std::string refusal = finish_number_options(texts, render); !refusal.empty()) {
    return refusal;
  }
  if (std::string refusal = finish_format(texts.format, render); !refusal.empty()) {
    return refusal;
  }
  if (!texts.max_pixels.empty()) {
    if (std::string refusal = parse_max_pixels(texts.max_pixels, render.limits); !refusal.empty()) {
      return refusal;
    }
  }
  return parse_sample_size(texts.size, render.input, render.limits, render.sample_width, render.sample_height);
}

}  // namespace

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

std::string finish_decode_command(DecodeCommand& decode) {
  DecodeRequest& request = decode.request;
  if (std::string refusal = apply_run_options(decode.run, request.no_overwrite); !refusal.empty()) {
    return refusal;
  }
  if (std::string refusal = collect_values(decode.values, request.values); !refusal.empty()) {
    return refusal;
  }
  if (std::string refusal = parse_given("--quality", decode.quality, 1, 100, request.quality); !refusal.empty()) {
    return refusal;
  }
  if (!decode.max_pixels.empty()) {
    return parse_max_pixels(decode.max_pixels, request.limits);
  }
  return {};
}

std::string finish_studio_command(StudioCommand& studio) {
  StudioRequest& request = studio.request;
  request.open_browser = !studio.no_browser;
  if (std::string refusal = parse_given("--port", studio.port, 1, 65535, request.port); !refusal.empty()) {
    return refusal;
  }
  if (!studio.max_pixels.empty()) {
    if (std::string refusal = parse_max_pixels(studio.max_pixels, request.limits); !refusal.empty()) {
      return refusal;
    }
  }
  return parse_sample_size(studio.size, request.input, request.limits, request.sample_width, request.sample_height);
}

std::string finish_params_command(const ParamsCommand& params, ParameterValues& values) {
  if (std::string refusal = collect_values(params.values, values); !refusal.empty()) {
    return refusal;
  }
  if (std::string refusal = add_settings_file(params.settings, values); !refusal.empty()) {
    return refusal;
  }
  const bool any = std::any_of(values.given.begin(), values.given.end(), [](const auto& track) { return track; });
  if (params.save.empty() && any) {
    return "parameter values and --settings go with --save FILE, which writes them";
  }
  return {};
}

}  // namespace shardcast::cli
