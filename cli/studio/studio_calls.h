// What the studio's calls share (studio_api.h lists the calls): replies,
// the checks of what the page sends, and jobs on the render thread.
#pragma once

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cli/parameters/parameter_options.h"
#include "cli/studio/studio_api.h"

namespace shardcast::cli {

// A 4xx or 5xx reply: {"error": why}, and `why` for the log line.
ApiReply refused(int status, std::string why);
ApiReply answer(const nlohmann::json& value);

// A frame number and values, as the page sends them in a call's body,
// checked; `body` gets the whole body for the call's other fields.
struct FrameCall {
  std::int64_t frame = 0;
  ParameterValues given;  // less those that only repeat a default
  AnimatedValues resolved;
};
std::optional<ApiReply> read_frame_call(const StudioState& state, const std::string& text, nlohmann::json& body,
                                        FrameCall& call, bool with_frame = true);

// Runs `work` on the render thread in `lane` (render_queue.h); the reply
// when it did not run to its end.
std::optional<ApiReply> run_job(StudioState& state, int lane, const std::function<void()>& work);

ApiReply preview_call(StudioState& state, const ApiCall& api);
ApiReply export_call(StudioState& state, const ApiCall& api);
ApiReply original_call(StudioState& state, const ApiCall& api);
ApiReply clip_call(StudioState& state, const ApiCall& api);
ApiReply clip_progress_call(StudioState& state, const ApiCall& api);
ApiReply clip_cancel_call(StudioState& state, const ApiCall& api);

}  // namespace shardcast::cli
