// `studio` in a build without an HTTP server and threads (the Windows
// build): refused with one line.
#include "cli/commands/commands.h"
#include "cli/studio/studio.h"

namespace shardcast::cli {

int run_studio(const StudioRequest&) {
  report("studio is not part of this build (it needs cpp-httplib and threads); render with shardcast render");
  return exit_bad_input;
}

}  // namespace shardcast::cli
