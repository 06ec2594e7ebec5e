// `render`: one frame, or a numbered sequence, through the effect module.
//
// Every value is checked against the module's registered ranges before any
// frame is rendered, including the seed of the first and the last frame
// under --seed-step. Values reach the module as given, like animated values
// in a host; --supervise first applies the host's editing rule to the glitch
// window. Frames are independent: each is read, rendered and written before
// the next, and a failure stops the sequence naming the frame, with the
// frames already written left in place.
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/decoder_messages.h"
#include "cli/image.h"
#include "cli/module_session.h"
#include "cli/platform.h"
#include "cli/progress.h"
#include "cli/sample_frame.h"

namespace shardcast::cli {
namespace {

struct SequencePlan {
  FramePattern input;
  FramePattern output;
  FrameRange frames;
  bool sequence = false;
};

// Empty on success, otherwise the refusal.
std::string plan_sequence(const RenderRequest& request, SequencePlan& plan) {
  if (std::string refusal = FramePattern::parse(request.output, plan.output); !refusal.empty()) {
    if (request.frames.has_value()) {
      return request.output + ": " + refusal;
    }
    plan.output = FramePattern{request.output, {}, 0, false, false};
  }
  if (!request.input.empty()) {
    if (std::string refusal = FramePattern::parse(request.input, plan.input); !refusal.empty()) {
      if (request.frames.has_value()) {
        return request.input + ": " + refusal;
      }
      plan.input = FramePattern{request.input, {}, 0, false, false};
    }
  }
  if (!request.frames.has_value()) {
    if (plan.output.has_frame_number || plan.input.has_frame_number) {
      return "a frame pattern needs --frames A-B";
    }
    if (request.seed_step != 0) {
      return "--seed-step needs --frames A-B";
    }
    return {};
  }
  if (!plan.output.has_frame_number) {
    return "--frames needs an output pattern such as out_%04d.png";
  }
  plan.frames = *request.frames;
  plan.sequence = true;
  return {};
}

std::string format_number(double value) {
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string check_seed_steps(const std::vector<ParameterInfo>& registered, const ResolvedValues& values,
                             const RenderRequest& request, const SequencePlan& plan) {
  if (!plan.sequence || request.seed_step == 0) {
    return {};
  }
  for (const ParameterInfo& info : registered) {
    if (info.index != PARAM_SEED) {
      continue;
    }
    for (const std::int64_t frame : {plan.frames.first, plan.frames.last}) {
      const double seed = values[PARAM_SEED] + static_cast<double>(request.seed_step) * static_cast<double>(frame);
      if (std::string refusal = check_range(info, seed); !refusal.empty()) {
        return "frame " + std::to_string(frame) + ": --seed-step makes the seed " + format_number(seed) + "; " +
               refusal;
      }
    }
  }
  return {};
}

std::string frame_prefix(const SequencePlan& plan, std::int64_t frame) {
  return plan.sequence ? "frame " + std::to_string(frame) + ": " : std::string();
}

// Everything one run of `render` holds from its checks to its summary.
struct RenderRun {
  SequencePlan plan;
  ModuleSession module;
  ResolvedValues values{};
  MessageDestination messages;
  Image fixed_input;  // a single input, or the sample frame, read once for the whole sequence
};

// Checks the request against the module and opens the message destination
// and a single input. exit_success, or the exit code of the refusal, which
// has been reported.
int prepare(const RenderRequest& request, RenderRun& run) {
  if (std::string refusal = plan_sequence(request, run.plan); !refusal.empty()) {
    report(refusal);
    return exit_bad_input;
  }
  ImageFormat format{};
  if (!output_format_for(run.plan.output.name_for(run.plan.sequence ? run.plan.frames.first : 0), format)) {
    report("cannot write " + request.output + ": unknown picture format (use .png, .jpg or .jpeg)");
    return exit_bad_input;
  }
  if (std::string refusal = run.module.open_with_values(request.module_path, request.values, run.values);
      !refusal.empty()) {
    report(refusal);
    return exit_bad_input;
  }
  if (std::string refusal = check_seed_steps(run.module.parameters(), run.values, request, run.plan);
      !refusal.empty()) {
    report(refusal);
    return exit_bad_input;
  }
  if (request.supervise) {
    if (std::string failure = run.module.supervise(run.values); !failure.empty()) {
      report(failure);
      return exit_internal_failure;
    }
  }
  if (std::string failure = run.messages.open(request.messages); !failure.empty()) {
    report("cannot write " + request.messages + ": " + failure);
    return exit_bad_input;
  }
  if (request.input.empty()) {
    run.fixed_input = sample_frame(request.sample_width, request.sample_height);
  } else if (!run.plan.input.has_frame_number) {
    if (ImageResult read = read_image(request.input, run.fixed_input, request.limits); !read.ok()) {
      report("cannot read " + request.input + ": " + read.error);
      return exit_bad_input;
    }
  }
  return exit_success;
}

// One frame: its input read (for an input pattern), rendered with its seed
// and written. exit_success, or the exit code of the failure, which has
// been reported naming the frame.
int render_one_frame(const RenderRequest& request, RenderRun& run, std::int64_t frame, Progress& progress) {
  const SequencePlan& plan = run.plan;
  Image input_frame;
  const Image* input = &run.fixed_input;
  if (plan.input.has_frame_number) {
    const std::string name = plan.input.name_for(frame);
    if (ImageResult read = read_image(name, input_frame, request.limits); !read.ok()) {
      progress.finish();
      report(frame_prefix(plan, frame) + "cannot read " + name + ": " + read.error);
      return exit_bad_input;
    }
    input = &input_frame;
  }
  ResolvedValues frame_values = run.values;
  if (plan.sequence) {
    frame_values[PARAM_SEED] += static_cast<double>(request.seed_step) * static_cast<double>(frame);
  }

  Image output;
  StandardOutputCapture capture;
  std::string failure = capture.start();
  if (failure.empty()) {
    failure = run.module.render(*input, frame_values, output);
  }
  const std::string capture_failure = capture.release(run.messages);
  if (failure.empty()) {
    failure = capture_failure;
  }
  if (!failure.empty()) {
    progress.finish();
    report(frame_prefix(plan, frame) + failure);
    return exit_internal_failure;
  }
  const std::string name = plan.output.name_for(frame);
  if (ImageResult written = write_image(name, output); !written.ok()) {
    progress.finish();
    report(frame_prefix(plan, frame) + "cannot write " + name + ": " + written.error);
    return exit_bad_input;
  }
  progress.frame_done();
  return exit_success;
}

}  // namespace

int run_render(const RenderRequest& request) {
  RenderRun run;
  if (const int refused = prepare(request, run); refused != exit_success) {
    return refused;
  }

  const std::int64_t first = run.plan.sequence ? run.plan.frames.first : 0;
  const std::int64_t last = run.plan.sequence ? run.plan.frames.last : 0;
  Progress progress(last - first + 1, run.plan.sequence && standard_error_is_terminal());
  int exit_code = exit_success;
  for (std::int64_t frame = first; frame <= last && exit_code == exit_success; ++frame) {
    exit_code = render_one_frame(request, run, frame, progress);
  }

  const double seconds = progress.finish();
  const std::string messages_failure = run.messages.close();
  char timing[64];
  std::snprintf(timing, sizeof timing, " in %.2f s", seconds);
  report("render: " + std::to_string(progress.done()) + (progress.done() == 1 ? " frame" : " frames") + timing + ", " +
         std::to_string(run.messages.lines()) + " decoder lines " + run.messages.describe());
  if (!messages_failure.empty() && exit_code == exit_success) {
    report("cannot write " + request.messages + ": " + messages_failure);
    exit_code = exit_bad_input;
  }
  return exit_code;
}

}  // namespace shardcast::cli
