// The pieces the studio's calls share (studio_calls.h).
#include "cli/studio/studio_calls.h"

#include "cli/studio/studio_values.h"

namespace shardcast::cli {

using nlohmann::json;

namespace {

// The body as a JSON object, or the refusal.
std::optional<ApiReply> parse_body(const std::string& body, json& parsed) {
  parsed = json::parse(body, nullptr, false);
  if (parsed.is_discarded() || !parsed.is_object()) {
    return refused(400, "the request's body is no JSON object");
  }
  return std::nullopt;
}

}  // namespace

ApiReply refused(int status, std::string why) {
  ApiReply reply;
  reply.status = status;
  reply.body = json_text({{"error", why}});
  reply.refusal = std::move(why);
  return reply;
}

ApiReply answer(const json& value) {
  ApiReply reply;
  reply.body = json_text(value);
  return reply;
}

std::optional<ApiReply> read_frame_call(const StudioState& state, const std::string& text, json& body, FrameCall& call,
                                        bool with_frame) {
  if (auto refusal = parse_body(text, body); refusal) {
    return refusal;
  }
  const InputInfo& info = state.input.info();
  if (with_frame) {
    const json frame = body.value("frame", json());
    if (!frame.is_number_integer() || frame.get<std::int64_t>() < info.first || frame.get<std::int64_t>() > info.last) {
      return refused(400, "frame: expected a frame number from " + std::to_string(info.first) + " to " +
                              std::to_string(info.last));
    }
    call.frame = frame.get<std::int64_t>();
  }
  if (std::string refusal =
          values_from_json(body.value("values", json::object()), state.module.parameters(), call.given, call.resolved);
      !refusal.empty()) {
    return refused(400, refusal);
  }
  call.given = without_defaults(call.given, state.module.parameters());
  return std::nullopt;
}

// A job on the render thread; the reply when it did not run to its end.
std::optional<ApiReply> run_job(StudioState& state, int lane, const std::function<void()>& work) {
  QueuedJob job{lane, work};
  switch (state.queue.run(job)) {
    case JobOutcome::Done:
      return std::nullopt;
    case JobOutcome::Replaced: {
      ApiReply replaced;
      replaced.status = 204;  // a newer change of the same page took its place
      replaced.type.clear();
      return replaced;
    }
    case JobOutcome::Stopped:
      return refused(503, "the studio is stopping");
    case JobOutcome::OutOfMemory:
      break;
  }
  return refused(500, "out of memory: the picture is too large for the memory available");
}

}  // namespace shardcast::cli
