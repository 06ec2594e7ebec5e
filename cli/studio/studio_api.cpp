// The studio's calls (studio_api.h), and those about the page, the session,
// settings and looks. Each reads and checks what the page sent; a refusal
// is a 4xx with {"error": ...}.
#include "cli/studio/studio_api.h"

#include <algorithm>

#include "cli/parameters/settings_file.h"
#include "cli/studio/studio_calls.h"
#include "cli/studio/studio_values.h"

namespace shardcast::cli {
namespace {

using nlohmann::json;

ApiReply session_call(StudioState& state, const ApiCall&) {
  const InputInfo& info = state.input.info();
  const bool numbered = info.kind == SourceKind::Sequence || info.kind == SourceKind::Clip;
  json formats = json::array();
  if (numbered) {
    for (const char* format : clip_formats) {
      formats.push_back(format);
    }
  }
  return answer({{"version", SHARDCAST_VERSION},
                 {"input",
                  {{"description", info.description},
                   {"width", info.width},
                   {"height", info.height},
                   {"first", info.first},
                   {"last", info.last},
                   {"rate", info.rate.text()},
                   {"numbered", numbered}}},
                 {"parameters", parameters_json(state.module.parameters())},
                 {"looks", look_names()},
                 {"start", values_to_json(without_defaults(state.start, state.module.parameters()))},
                 {"clip_formats", formats},
                 {"output_folder", state.output_folder.string()}});
}

ApiReply command_call(StudioState& state, const ApiCall& api) {
  json body;
  FrameCall call;
  if (auto refusal = read_frame_call(state, api.body, body, call); refusal) {
    return *refusal;
  }
  const std::string output = export_name(state.input.info(), call.frame);
  const std::vector<std::string> words = render_arguments(state.input.request(), state.input.info(), output, call.frame,
                                                          state.request.module_path, call.given);
  return answer({{"command", "shardcast " + shell_command(words)}, {"output", output}});
}

ApiReply save_settings_call(StudioState& state, const ApiCall& api) {
  json body;
  FrameCall call;
  if (auto refusal = read_frame_call(state, api.body, body, call, false); refusal) {
    return *refusal;
  }
  ApiReply reply;
  reply.body = settings_text(call.given);
  reply.type = "application/toml";
  reply.file_name = "shardcast-settings.toml";
  return reply;
}

// Values of a settings file, checked against the module's ranges too.
ApiReply settings_answer(StudioState& state, const std::string& text, const std::string& name) {
  Settings settings;
  if (std::string refusal = parse_settings(text, name, settings); !refusal.empty()) {
    return refused(400, refusal);
  }
  ParameterValues values;
  add_settings(settings, values);
  AnimatedValues checked;
  if (std::string refusal = resolve_tracks(state.module.parameters(), values, checked); !refusal.empty()) {
    return refused(400, name + ": " + refusal);
  }
  return answer({{"values", values_to_json(values)}});
}

ApiReply load_settings_call(StudioState& state, const ApiCall& api) {
  // The name is the page's, for messages only.
  const auto given = api.query.find("name");
  const std::string name = given != api.query.end() && !given->second.empty() && given->second.size() <= 100
                               ? given->second
                               : std::string("the settings file");
  return settings_answer(state, api.body, name);
}

ApiReply look_call(StudioState&, const ApiCall& api) {
  const auto given = api.query.find("name");
  const std::vector<std::string> looks = look_names();
  if (given == api.query.end() || std::find(looks.begin(), looks.end(), given->second) == looks.end()) {
    return refused(404, "there is no such look");
  }
  Settings settings;
  if (std::string refusal = read_settings(look_file(given->second), settings); !refusal.empty()) {
    return refused(500, refusal);
  }
  ParameterValues values;
  add_settings(settings, values);
  return answer({{"values", values_to_json(values)}});
}

struct Call {
  const char* method;
  const char* path;
  const char* body_type;  // what a POST must declare
  ApiReply (*handle)(StudioState&, const ApiCall&);
};

ApiReply page_call(StudioState& state, const ApiCall& api) {
  const PageFile& file = state.page.at(api.path);
  ApiReply reply;
  reply.body = file.content;
  reply.type = file.type;
  return reply;
}

constexpr Call calls[] = {
    {"GET", "/", "", page_call},
    {"GET", "/controls.js", "", page_call},
    {"GET", "/studio.js", "", page_call},
    {"GET", "/studio.css", "", page_call},
    {"GET", "/api/session", "", session_call},
    {"GET", "/api/original", "", original_call},
    {"POST", "/api/render", "application/json", preview_call},
    {"POST", "/api/export", "application/json", export_call},
    {"POST", "/api/command", "application/json", command_call},
    {"POST", "/api/settings/save", "application/json", save_settings_call},
    {"POST", "/api/settings/load", "text/plain", load_settings_call},
    {"GET", "/api/look", "", look_call},
    {"POST", "/api/clip", "application/json", clip_call},
    {"GET", "/api/clip", "", clip_progress_call},
    {"POST", "/api/clip/cancel", "application/json", clip_cancel_call},
};

}  // namespace

std::string allowed_methods(const std::string& path) {
  std::string methods;
  for (const Call& call : calls) {
    if (path == call.path) {
      methods += (methods.empty() ? "" : ", ") + std::string(call.method);
    }
  }
  return methods;
}

std::string expected_body_type(const std::string& path) {
  for (const Call& call : calls) {
    if (path == call.path && std::string_view(call.method) == "POST") {
      return call.body_type;
    }
  }
  return {};
}

ApiReply handle_call(StudioState& state, const ApiCall& api) {
  for (const Call& call : calls) {
    if (api.path == call.path && api.method == call.method) {
      return call.handle(state, api);
    }
  }
  const std::string methods = allowed_methods(api.path);
  return methods.empty() ? refused(404, "there is no such page or call")
                         : refused(405, api.method + " is not taken here; " + methods + " is");
}

}  // namespace shardcast::cli
