// `studio`: the effect in a local web page, its parameters turned live.
//
// The page is served on the loopback interface only (127.0.0.1 and ::1)
// with a random token that every request must carry; see studio_server.h
// for what else a request must be to get an answer. The input is the one
// named on the command line, read with the render command's readers and
// limits; nothing the page sends names a file the server opens, and a
// whole clip rendered from the page goes into --output-folder under a name
// the server chooses.
#pragma once

#include <cstdint>
#include <string>

#include "cli/pictures/picture_limits.h"

namespace shardcast::cli {

struct StudioRequest {
  std::string input;  // empty: the built-in sample frame
  int port = 0;       // 0: any free port
  bool open_browser = true;
  std::string output_folder;  // empty: the current folder
  std::string settings;       // a settings file or look to start from
  std::string module_path;
  std::int32_t sample_width = 0;
  std::int32_t sample_height = 0;
  PictureLimits limits;
};

// Serves until Ctrl-C, a request to terminate or a hang-up; the exit code.
int run_studio(const StudioRequest& request);

}  // namespace shardcast::cli
