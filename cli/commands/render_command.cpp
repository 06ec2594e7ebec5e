// `render`: frames from a picture, a sequence, standard input or a clip,
// through the effect module, into a picture, a sequence, standard output or
// a video.
//
// Everything that can be refused is refused before the first frame: the
// input and output and how they fit together (an input is never an
// output; under -n no existing file is), every value and key against
// the module's registered ranges (the seed under --seed-step at the ends of
// the range and at every key), the container, codec and copied streams of
// a video output. Values reach the module as the host delivers keyframed
// ones: read by the module at each frame's time. --supervise first applies
// the host's editing rule to the glitch window.
//
// Frames are independent. With --jobs above 1 they are rendered several at
// a time in worker processes and still written, and their decoder lines
// passed on, strictly in frame order, so the result is byte for byte that
// of --jobs 1. A failure stops the render naming the frame; a sequence
// keeps the frames already written, a video or a single picture is not
// written at all. Ctrl-C, a request to terminate or a hang-up stops it
// between frames in the same way (exit 130), workers included.
//
// The end is ordered so that a failure at it leaves nothing new behind
// and claims no success: the decoder lines are flushed first, then the
// picture or video is put in place, then the lines' file; if that last
// step fails, the output just put in place goes again.
#include <cstdio>
#include <deque>
#include <functional>
#include <optional>

#include "cli/commands/commands.h"
#include "cli/effect/module_session.h"
#include "cli/frames/frame_sink.h"
#include "cli/frames/frame_source.h"
#include "cli/messages/decoder_messages.h"
#include "cli/messages/progress.h"
#include "cli/output/output_guard.h"
#include "cli/output/pending_file.h"
#include "cli/system/platform.h"
#include "cli/workers/render_workers.h"

namespace shardcast::cli {
namespace {

// Options that only some inputs and outputs take, and outputs that need
// one frame. Empty when everything fits, otherwise the refusal.
std::string check_fit(const RenderRequest& request, const FrameSource& source, const FrameSink& sink) {
  const bool numbered =
      source.kind == SourceKind::Sequence || source.kind == SourceKind::Stream || source.kind == SourceKind::Clip;
  if (request.time.has_value() && source.kind != SourceKind::Clip) {
    return "--time applies to clips; choose frames with --frames";
  }
  if (request.time.has_value() && request.frames.has_value()) {
    return "give --frames or --time, not both";
  }
  if (request.frames.has_value() && request.frames->open_end && !numbered) {
    return "--frames A- renders to the end of a clip, a sequence or standard input; choose frames A-B of a "
           "picture";
  }
  if (request.rate.has_value() && source.kind == SourceKind::Clip) {
    return "--fps sets the rate of pictures; " + source.name + " keeps its own";
  }
  if (request.messages == "-" && sink.kind == SinkKind::Stream) {
    return "--messages - and -o - would both write to standard output";
  }
  if (!numbered && !request.frames.has_value()) {
    if (sink.kind == SinkKind::Sequence) {
      return "an output pattern needs several frames: give --frames A-B for a single picture";
    }
    if (request.seed_step != 0) {
      return "--seed-step changes the seed from frame to frame: give --frames A-B for a single picture";
    }
  }
  if (sink.kind == SinkKind::Picture && (source.kind != SourceKind::Stream || source.bounded) && !source.single()) {
    return sink.name + " holds one picture, but " +
           (source.kind == SourceKind::Clip ? source.name + " is a clip" : std::string("there are several frames")) +
           ": name a frame pattern (out_%04d.png) or a video, or choose one frame with --frames N";
  }
  return {};
}

// The seed stays within its range at every frame: a straight line plus a
// piecewise straight line, checked where it bends and at the ends.
std::string check_seed(const ModuleSession& module, const AnimatedValues& values, std::int64_t first,
                       std::int64_t last) {
  const ParameterInfo* info = registered_info(module.parameters(), PARAM_SEED);
  if (values.seed_step == 0 || info == nullptr) {
    return {};
  }
  std::vector<std::int64_t> frames = {first, last};
  for (const ValueKey& key : values.tracks[PARAM_SEED].keys) {
    if (key.frame > first && key.frame < last) {
      frames.push_back(key.frame);
    }
  }
  for (const std::int64_t frame : frames) {
    const double seed = values.at(PARAM_SEED, static_cast<double>(frame));
    if (std::string refusal = check_range(*info, seed); !refusal.empty()) {
      return "frame " + std::to_string(frame) + ": --seed-step makes the seed " + format_number(seed) + "; " + refusal;
    }
  }
  return {};
}

// True when no frame of the render can be damaged beyond the compression
// itself: no broken bytes, both tables left alone, every stage on, no
// filter, at every key.
bool nothing_damages(const AnimatedValues& values, std::int64_t first, std::int64_t last) {
  const auto highest = [&](std::int32_t index) {
    return values.tracks[static_cast<std::size_t>(index)].highest(first, last);
  };
  const auto lowest = [&](std::int32_t index) {
    return values.tracks[static_cast<std::size_t>(index)].lowest(first, last);
  };
  return highest(PARAM_BROKEN_BYTES) < 1.0 && highest(PARAM_QTC) == 0.0 && highest(PARAM_QTL) == 0.0 &&
         lowest(PARAM_INVERSE_DCT) != 0.0 && lowest(PARAM_YCBCR_TO_RGB) != 0.0 && lowest(PARAM_DEQUANTIZE) != 0.0 &&
         highest(PARAM_FILTER1) == 0.0 && highest(PARAM_FILTER2) == 0.0;
}

// Frames on their way through the module: rendered here one at a time, or
// by the workers several at a time; taken back in the order given.
struct FrameRenderer {
  ModuleSession& module;
  RenderWorkers* workers = nullptr;
  std::deque<RenderedFrame> done;

  bool can_take() const { return workers != nullptr ? workers->has_idle_worker() : done.empty(); }
  bool busy() const { return workers != nullptr ? workers->busy() : !done.empty(); }
  std::string submit(std::int64_t frame, const Image& input) {
    if (workers != nullptr) {
      return workers->submit(frame, input);
    }
    done.push_back(render_captured(module, frame, input));
    return {};
  }
  std::string collect(RenderedFrame& result) {
    if (workers != nullptr) {
      return workers->collect(result);
    }
    result = std::move(done.front());
    done.pop_front();
    return {};
  }
};

// A step's refusal: what to say and the exit code, or nothing.
struct Stop {
  std::string text;
  int exit_code = exit_success;
  bool stopped() const { return !text.empty(); }
};

// No stop when the text is empty.
Stop refuse(std::string text, int exit_code = exit_bad_input) {
  return text.empty() ? Stop{} : Stop{std::move(text), exit_code};
}

// Everything a render holds from its first check to its last frame.
struct Render {
  FrameSink sink;
  FrameSource source;
  ModuleSession module;
  AnimatedValues values;
  FrameRange known;           // the frames expected; last -1 when not known
  std::int64_t expected = 0;  // how many; 0 when not known
  MessageDestination messages;
  std::optional<SourceFrame> first;  // read ahead: a video output takes its size

  // A clip's frames left out before the first one rendered.
  std::function<void(double)> skipped() {
    return [this](double seconds) {
      if (sink.video != nullptr) {
        sink.video->skip_to(seconds);
      }
    };
  }
};

// Input, output and the options that must fit them.
Stop open_ends(const RenderRequest& request, Render& render) {
  if (std::string refusal = plan_sink(request, render.sink); !refusal.empty()) {
    return refuse(refusal);
  }
  if (std::string refusal = open_source(request, render.source); !refusal.empty()) {
    return refuse(refusal);
  }
  if (std::string refusal = check_fit(request, render.source, render.sink); !refusal.empty()) {
    return refuse(refusal);
  }
  return refuse(check_render_outputs(request, render.source, render.sink));
}

// The module, and every value over the frames expected. Where the last
// frame is not known yet (a clip that does not say, pictures on standard
// input), the seed is checked again at every frame.
Stop set_up_values(const RenderRequest& request, Render& render) {
  if (std::string failure = render.module.find_and_open(request.module_path); !failure.empty()) {
    return refuse(failure, exit_internal_failure);
  }
  if (std::string refusal = resolve_tracks(render.module.parameters(), request.values, render.values);
      !refusal.empty()) {
    return refuse(refusal);
  }
  render.values.seed_step = request.seed_step;
  render.expected = render.source.expected_count();
  render.known = render.source.expected_frames();
  const std::int64_t last = render.known.last >= 0 ? render.known.last : render.known.first;
  if (std::string refusal = check_seed(render.module, render.values, render.known.first, last); !refusal.empty()) {
    return refuse(refusal);
  }
  if (request.supervise) {
    if (std::string failure = render.module.supervise(render.values); !failure.empty()) {
      return refuse(failure, failure.starts_with("--supervise") ? exit_bad_input : exit_internal_failure);
    }
  }
  render.module.set_values(render.values, render.source.rate);
  return {};
}

// The decoder lines' destination, the first frame of pictures, and what a
// video output can check before it writes.
Stop prepare_output(const RenderRequest& request, Render& render) {
  if (std::string failure = render.messages.open(request.messages); !failure.empty()) {
    return refuse("cannot write " + request.messages + ": " + failure);
  }
  FrameSource& source = render.source;
  if (source.kind != SourceKind::Clip) {
    SourceFrame frame;
    bool end = false;
    if (std::string failure = source.next(frame, end, render.skipped()); !failure.empty()) {
      return refuse(failure);
    }
    if (end) {
      return refuse("cannot read " + source.name + ": it holds no picture");
    }
    render.first = std::move(frame);
  }
  FrameSink& sink = render.sink;
  if (sink.kind == SinkKind::Video) {
    sink.video_options.rate = source.rate;
    const std::int32_t width = render.first.has_value() ? render.first->image.width : source.clip->info().width;
    const std::int32_t height = render.first.has_value() ? render.first->image.height : source.clip->info().height;
    // The file a symbolic link points to is the one written.
    if (std::string refusal = sink.video->prepare(output_target(request.output).string(), sink.video_options,
                                                  source.clip.get(), width, height);
        !refusal.empty()) {
      return refuse("cannot write " + request.output + ": " + refusal);
    }
    for (const VideoNotice& notice : sink.video->notices()) {
      if (notice.warning) {
        report_warning(request.output + ": " + notice.text);
      } else {
        report_note(request.output + ": " + notice.text);
      }
    }
  }
  return {};
}

struct Written {
  std::int64_t first = -1;
  std::int64_t last = -1;
};

// The next frame to render: the one read ahead, or the source's next.
// False at the end of the source or on a stop.
bool take_frame(Render& render, std::int64_t taken, SourceFrame& frame, Stop& stop) {
  if (render.first.has_value()) {
    frame = std::move(*render.first);
    render.first.reset();
  } else {
    bool end = false;
    if (std::string failure = render.source.next(frame, end, render.skipped()); !failure.empty()) {
      stop = refuse(failure);
      return false;
    }
    if (end) {
      return false;
    }
    if (render.sink.kind == SinkKind::Picture && taken > 0) {
      stop = refuse(render.source.name + " holds more than one picture, and " + render.sink.name +
                    " holds one: name a frame pattern or a video, or choose one with --frames N");
      return false;
    }
  }
  if (!frame.warning.empty()) {
    report_warning(frame.warning);
  }
  stop = refuse(check_seed(render.module, render.values, frame.number, frame.number));
  return !stop.stopped();
}

// Frames through the module and out, in order, until the source ends or
// something stops them. A frame that cannot be read stops the render after
// the frames before it are written.
Stop render_frames(Render& render, FrameRenderer& renderer, Progress& progress, Written& written) {
  std::deque<std::optional<VideoFrame>> timings;  // of the frames being rendered, in order
  bool source_done = false;
  std::int64_t taken = 0;
  Stop unread;
  for (;;) {
    while (!source_done && renderer.can_take()) {
      if (interrupted()) {
        return refuse("interrupted", exit_interrupted);
      }
      SourceFrame frame;
      if (!take_frame(render, taken, frame, unread)) {
        source_done = true;
        break;
      }
      if (std::string failure = renderer.submit(frame.number, frame.image); !failure.empty()) {
        return refuse(failure, exit_internal_failure);
      }
      timings.push_back(std::move(frame.timing));
      ++taken;
    }
    if (!renderer.busy()) {
      return unread;
    }
    RenderedFrame rendered;
    if (std::string failure = renderer.collect(rendered); !failure.empty()) {
      return refuse(failure, exit_internal_failure);
    }
    const std::optional<VideoFrame> timing = std::move(timings.front());
    timings.pop_front();
    render.messages.write(rendered.messages.data(), rendered.messages.size());
    if (std::string failure = render.messages.flush(); !failure.empty()) {
      return refuse(failure);
    }
    if (!rendered.failure.empty()) {
      return refuse("frame " + std::to_string(rendered.frame) + ": " + rendered.failure, exit_internal_failure);
    }
    if (std::string failure = render.sink.write(rendered.frame, rendered.output, timing ? &*timing : nullptr);
        !failure.empty()) {
      return refuse(failure);
    }
    if (written.first < 0) {
      written.first = rendered.frame;
    }
    written.last = rendered.frame;
    progress.frame_done();
  }
}

// The output put in place, and then the decoder lines' file (see the top
// of this file for the order).
Stop complete(Render& render, Progress& progress) {
  if (std::string failure = render.messages.finish(); !failure.empty()) {
    return refuse(failure);
  }
  if (std::string failure = render.sink.finish([&progress] { progress.finishing(); }); !failure.empty()) {
    return refuse(failure);
  }
  if (std::string failure = render.messages.commit(); !failure.empty()) {
    render.sink.remove_finished();
    return refuse(failure);
  }
  return {};
}

// What a stopped render leaves: a sequence's frames and pictures already
// sent keep their decoder lines; a picture or video is not written.
std::string leftover(Render& render, std::int64_t done, const Written& written) {
  const FrameSink& sink = render.sink;
  if ((sink.kind == SinkKind::Sequence || sink.kind == SinkKind::Stream) && done > 0) {
    if (std::string failure = render.messages.commit(); !failure.empty()) {
      report(failure);
    }
    return sink.kind == SinkKind::Sequence
               ? "; " + sink.describe(written.first, written.last) + (done == 1 ? " was" : " were") + " written"
               : std::string();
  }
  if (sink.kind == SinkKind::Picture || sink.kind == SinkKind::Video) {
    return "; " + sink.name + " was not written";
  }
  return {};
}

// The closing lines: what was written, or why it stopped and what is left.
int report_outcome(Render& render, const Stop& stop, const Written& written, Progress& progress) {
  const double seconds = progress.finish();
  const std::int64_t done = progress.done();
  char timing[64];
  std::snprintf(timing, sizeof timing, " in %.2f s", seconds);
  const std::string rate = done > 1 && seconds > 0 ? " (" + Progress::rate_text(done, seconds) + ")" : "";
  const std::string frames = std::to_string(done) + (done == 1 ? " frame" : " frames");
  const auto lines = [&] {
    return std::to_string(render.messages.lines()) + " decoder lines " + render.messages.describe();
  };
  if (!stop.stopped()) {
    report_note("render: " + frames + timing + rate + " to " + render.sink.describe(written.first, written.last) +
                ", " + lines());
    return exit_success;
  }
  const bool interrupt = stop.exit_code == exit_interrupted;
  if (!interrupt) {
    report(stop.text);
  }
  const std::string kept = leftover(render, done, written);
  report(std::string("render: ") + (interrupt ? "interrupted" : "stopped") + " after " + frames + kept + ", " +
         lines());
  return stop.exit_code;
}

// Renders at once: as many workers as asked for (one per core by default),
// but no more than there are frames.
int job_count(const RenderRequest& request, const Render& render) {
  int jobs = request.jobs > 0 ? request.jobs : core_count();
  if (render.expected > 0 && render.expected < jobs) {
    jobs = static_cast<int>(render.expected);
  }
  return parallel_rendering_supported() ? jobs : 1;
}

}  // namespace

int run_render(const RenderRequest& request) {
  catch_interrupts();
  Render render;
  for (const auto& step : {&open_ends, &set_up_values, &prepare_output}) {
    if (const Stop stop = step(request, render); stop.stopped()) {
      report(stop.text);
      return stop.exit_code;
    }
  }

  // Workers start before any thread does (the video decoder's and
  // encoder's start with its first frame and in open()).
  const int jobs = job_count(request, render);
  RenderWorkers workers;
  FrameRenderer renderer{render.module, nullptr, {}};
  if (jobs > 1) {
    if (std::string failure = workers.start(render.module, jobs, request.limits.max_pixels); !failure.empty()) {
      report(failure);
      return exit_internal_failure;
    }
    renderer.workers = &workers;
  }
  if (render.sink.kind == SinkKind::Video) {
    if (std::string failure = render.sink.open_video(); !failure.empty()) {
      report("cannot write " + request.output + ": " + failure);
      return exit_bad_input;
    }
  }
  const std::int64_t last = render.known.last >= 0 ? render.known.last : max_frame_number;
  if (nothing_damages(render.values, render.known.first, last)) {
    report_note(
        "hint: nothing here damages the picture beyond JPEG compression; try --broken-bytes 20, --qtl on or "
        "--inverse-dct off");
  }

  Progress progress(render.expected,
                    render.expected != 1 && verbosity() != Verbosity::Quiet && standard_error_is_terminal());
  Written written;
  Stop stop = render_frames(render, renderer, progress, written);
  if (!stop.stopped() && render.sink.written == 0) {
    stop = refuse("cannot read " + render.source.name + ": no frame of it was chosen");
  }
  bool completed = false;
  if (!stop.stopped() && !interrupted()) {
    stop = complete(render, progress);
    completed = !stop.stopped();
  }
  // A read or write that a signal cut short failed only because of it.
  if (!completed && interrupted()) {
    stop = refuse("interrupted", exit_interrupted);
  }
  return report_outcome(render, stop, written, progress);
}

}  // namespace shardcast::cli
