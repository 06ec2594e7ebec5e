// The studio's requests and answers, apart from HTTP: what each of the
// page's calls does, and the state they share. studio_server.h carries
// them over HTTP once a request has passed its checks.
//
// Calls (all JSON unless said otherwise):
//   GET  /, /controls.js, /studio.js, /studio.css   the page, read at start
//   GET  /api/session                 input, parameters, looks, start values
//   GET  /api/original?frame=N        the input's frame N (framed RGBA)
//   POST /api/render                  {frame, values}: the frame glitched (framed RGBA)
//   POST /api/export                  {frame, values}: the same as a PNG file
//   POST /api/command                 {frame, values}: the render command line
//   POST /api/settings/save           {values}: a settings file (TOML)
//   POST /api/settings/load?name=N    a settings file's text: its values
//   GET  /api/look?name=N             a shipped look's values
//   POST /api/clip                    {values, format}: render every frame to a file
//   GET  /api/clip                    that render's progress
//   POST /api/clip/cancel             stops it
// Nothing a call carries names a file that is opened: the input is the
// command line's, a look is one of those listed, and a whole render's
// output is named by the server (clip_render.h).
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "cli/effect/module_session.h"
#include "cli/studio/clip_render.h"
#include "cli/studio/render_queue.h"
#include "cli/studio/studio.h"
#include "cli/studio/studio_input.h"

namespace shardcast::cli {

struct PageFile {
  std::string content;
  std::string type;  // the Content-Type
};

// Everything the calls share. The module and the input are touched only
// on the render queue's thread once the server runs.
struct StudioState {
  StudioRequest request;
  std::string program;  // this program, which renders whole clips
  ModuleSession module;
  StudioInput input;
  ParameterValues start;  // from --settings
  std::filesystem::path output_folder;
  std::map<std::string, PageFile> page;  // by path: "/", "/studio.js", ...
  RenderQueue queue;
  ClipRender clip;
};

// Opens the module, the input, the settings, the page and the output
// folder. Empty on success, otherwise the refusal; `exit_code` says which
// kind (the module failing, or bad usage).
std::string open_studio(StudioState& state, const std::string& token, int& exit_code);

struct ApiCall {
  std::string method;
  std::string path;  // without the query
  std::multimap<std::string, std::string> query;
  std::string body;
};

struct ApiReply {
  int status = 200;
  std::string body;
  std::string type = "application/json";
  std::string file_name;  // offered as a download under this name
  std::string refusal;    // why, when status is 400 or more: the log line's
};

// The methods a path takes, as the Allow header lists them; empty for a
// path that is none of the calls.
std::string allowed_methods(const std::string& path);
// The body a POST to the path must declare (Content-Type), if any.
std::string expected_body_type(const std::string& path);

ApiReply handle_call(StudioState& state, const ApiCall& call);

}  // namespace shardcast::cli
