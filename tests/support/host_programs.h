// The video programs the filters' tests run (ffmpeg, melt, gst-launch-1.0):
// whether they are there and can load this build of a filter, what they
// need in their environment for it, and a run of melt that survives melt's
// own flakiness.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "support/program_run.h"

namespace shardcast::testing {

inline bool program_installed(const char* name) {
  const char* path = std::getenv("PATH");
  std::string rest = path != nullptr ? path : "";
  while (!rest.empty()) {
    const std::size_t colon = rest.find(':');
    const std::string folder = rest.substr(0, colon);
    if (!folder.empty() && ::access((std::filesystem::path(folder) / name).c_str(), X_OK) == 0) {
      return true;
    }
    rest = colon == std::string::npos ? std::string() : rest.substr(colon + 1);
  }
  return false;
}

// Why these programs cannot run this build of a filter, naming the first
// that cannot, or empty.
inline std::string host_refusal(std::initializer_list<const char*> programs) {
#if defined(SHARDCAST_HOST_CANNOT_LOAD_FILTER)
  return std::string(*programs.begin()) + " cannot load a filter built with this compiler's sanitizers";
#else
  for (const char* program : programs) {
    if (!program_installed(program)) {
      return std::string(program) + " is not installed (scripts/install-deps.sh installs it)";
    }
  }
  return {};
#endif
}

// What the programs need in their environment to load this build of a
// filter.
inline std::vector<std::string> host_environment() {
#if defined(SHARDCAST_HOST_PRELOAD)
  return {std::string("LD_PRELOAD=") + SHARDCAST_HOST_PRELOAD, "ASAN_OPTIONS=detect_leaks=0"};
#else
  return {};
#endif
}

// melt 7.12 on a busy machine now and then ends early without a word, or
// never ends: a run that did not exit 0 with `finished` true, or ran past
// two minutes, is tried again, three times in all.
inline ProgramRun run_melt(const std::filesystem::path& folder, const std::vector<std::string>& words,
                           ProgramEnvironment environment, const std::function<bool()>& finished) {
  environment.time_limit_seconds = 120;
  ProgramRun melt;
  for (int attempt = 0; attempt < 3; ++attempt) {
    melt = run_program(folder, words, environment);
    if (melt.exit_code == 0 && finished()) {
      break;
    }
  }
  return melt;
}

}  // namespace shardcast::testing
