// The calls that give frames: the glitched frame for the page (a preview,
// replaced by a newer one while it waits), the same as the PNG file the
// render command writes, and the input's frame for comparing. They run on
// the render thread, where the frame is read and rendered exactly as
// `shardcast render INPUT --frames N -o OUT.png` reads and renders it: the
// same source, the same module session with the values set as keyed
// parameters of the host, the same capture of the decoder's lines, the
// same PNG writer.
#include <chrono>

#include "cli/studio/studio_calls.h"
#include "cli/studio/studio_values.h"
#include "cli/workers/render_workers.h"

namespace shardcast::cli {
namespace {

using nlohmann::json;

// The glitched frame, rendered on the render thread as the render command
// renders it. Empty on success, otherwise the failure.
std::string render_frame(StudioState& state, const FrameCall& call, RenderedFrame& rendered, std::string& warning) {
  std::shared_ptr<const Image> input;
  if (std::string failure = state.input.frame(call.frame, input, warning); !failure.empty()) {
    return failure;
  }
  state.module.set_values(call.resolved, state.input.info().rate);
  rendered = render_captured(state.module, call.frame, *input);
  return rendered.failure.empty() ? std::string() : "frame " + std::to_string(call.frame) + ": " + rendered.failure;
}

ApiReply render_call(StudioState& state, const ApiCall& api, bool as_png) {
  json body;
  FrameCall call;
  if (auto refusal = read_frame_call(state, api.body, body, call); refusal) {
    return *refusal;
  }
  RenderedFrame rendered;
  std::string failure;
  std::string warning;
  ApiReply reply;
  const auto work = [&] {
    const auto start = std::chrono::steady_clock::now();
    failure = render_frame(state, call, rendered, warning);
    if (!failure.empty()) {
      return;
    }
    if (as_png) {
      std::vector<std::uint8_t> png;
      const ImageResult encoded = encode_image(rendered.output, ImageFormat::Png, default_jpeg_quality, png);
      failure = encoded.ok() ? std::string() : encoded.error;
      reply.body.assign(png.begin(), png.end());
      return;
    }
    const double milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const json head = {{"width", rendered.output.width},
                       {"height", rendered.output.height},
                       {"frame", call.frame},
                       {"values", values_at_json(call.resolved, state.module.parameters(), call.frame)},
                       {"decoder", decoder_summary(rendered.messages)},
                       {"warning", warning},
                       {"milliseconds", milliseconds}};
    reply.body = framed_picture(head, rendered.output);
  };
  if (auto stopped = run_job(state, as_png ? 0 : 1, work); stopped) {
    return *stopped;
  }
  if (!failure.empty()) {
    return refused(500, failure);
  }
  reply.type = as_png ? "image/png" : "application/octet-stream";
  reply.file_name = as_png ? export_name(state.input.info(), call.frame) : std::string();
  return reply;
}

}  // namespace

ApiReply preview_call(StudioState& state, const ApiCall& api) { return render_call(state, api, false); }
ApiReply export_call(StudioState& state, const ApiCall& api) { return render_call(state, api, true); }

ApiReply original_call(StudioState& state, const ApiCall& api) {
  const InputInfo& info = state.input.info();
  const auto given = api.query.find("frame");
  std::int64_t frame = 0;
  std::size_t used = 0;
  try {
    frame = given != api.query.end() ? std::stoll(given->second, &used) : -1;
  } catch (const std::exception&) {
    frame = -1;
  }
  if (given == api.query.end() || used != given->second.size() || frame < info.first || frame > info.last) {
    return refused(400, "frame: expected a frame number from " + std::to_string(info.first) + " to " +
                            std::to_string(info.last));
  }
  std::string failure;
  ApiReply reply;
  const auto work = [&] {
    std::shared_ptr<const Image> image;
    std::string warning;
    failure = state.input.frame(frame, image, warning);
    if (failure.empty()) {
      reply.body =
          framed_picture({{"width", image->width}, {"height", image->height}, {"frame", frame}, {"warning", warning}},
                         *image);
    }
  };
  if (auto stopped = run_job(state, 2, work); stopped) {
    return *stopped;
  }
  if (!failure.empty()) {
    return refused(500, failure);
  }
  reply.type = "application/octet-stream";
  return reply;
}

}  // namespace shardcast::cli
