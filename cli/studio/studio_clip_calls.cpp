// The calls that render every frame of a clip or sequence into a file
// (clip_render.h): start one, follow it, stop it. The page chooses the
// format from a fixed list; the folder is the one given on the command
// line and the name is made from the input's, so nothing the page sends
// becomes a path.
#include <algorithm>
#include <filesystem>
#include <iterator>

#include "cli/studio/studio_calls.h"
#include "cli/studio/studio_values.h"

namespace shardcast::cli {

using nlohmann::json;

namespace {

json progress_json(const ClipProgress& progress) {
  return {{"state", state_name(progress.state)},
          {"done", progress.done},
          {"total", progress.total},
          {"output", progress.output},
          {"message", progress.message}};
}

}  // namespace

ApiReply clip_call(StudioState& state, const ApiCall& api) {
  json body;
  FrameCall call;
  if (auto refusal = read_frame_call(state, api.body, body, call, false); refusal) {
    return *refusal;
  }
  const json format = body.value("format", json());
  if (!format.is_string() || std::find(std::begin(clip_formats), std::end(clip_formats), format.get<std::string>()) ==
                                 std::end(clip_formats)) {
    return refused(400, "format: expected mp4, mov, mkv, webm or png");
  }
  const InputInfo& info = state.input.info();
  if (info.kind != SourceKind::Clip && info.kind != SourceKind::Sequence) {
    return refused(409, "the input is a single picture: export the frame as PNG");
  }
  std::filesystem::path output;
  std::filesystem::path shown;
  if (std::string refusal =
          clip_output(state.output_folder, input_stem(info), format.get<std::string>(), output, shown);
      !refusal.empty()) {
    return refused(500, refusal);
  }
  std::vector<std::string> words = render_arguments(state.input.request(), info, output.string(), std::nullopt,
                                                    state.request.module_path, call.given);
  words.push_back("-n");
  if (std::string refusal = state.clip.start(state.program, words, shown.string(), info.last - info.first + 1);
      !refusal.empty()) {
    if (format.get<std::string>() == "png") {
      std::error_code error;
      std::filesystem::remove(shown, error);
    }
    return refused(409, refusal);
  }
  return answer(progress_json(state.clip.progress()));
}

ApiReply clip_progress_call(StudioState& state, const ApiCall&) { return answer(progress_json(state.clip.progress())); }

ApiReply clip_cancel_call(StudioState& state, const ApiCall&) {
  state.clip.cancel();
  return answer(progress_json(state.clip.progress()));
}

}  // namespace shardcast::cli
