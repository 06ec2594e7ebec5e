// A scratch folder for the tests that make clips with Debian's ffmpeg,
// inspect them with ffprobe and render them with the built tool
// (SHARDCAST_CLI_PATH): each program run in the folder, its output and
// exit code captured.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/program_run.h"
#include "support/scratch_folder.h"

namespace shardcast::testing {

class ClipFolder : public ScratchFolder {
 protected:
  using ScratchFolder::ScratchFolder;

  ProgramRun run(std::vector<std::string> words, const ProgramEnvironment& environment = {}) const {
    return run_program(folder_, std::move(words), environment);
  }

  // `shardcast render` with the arguments, then the more.
  ProgramRun tool(const std::vector<std::string>& arguments, const std::vector<std::string>& more = {}) const {
    std::vector<std::string> words = {SHARDCAST_CLI_PATH, "render"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    words.insert(words.end(), more.begin(), more.end());
    return run(words);
  }

  // ffmpeg, quietly, overwriting, with the given arguments.
  void make(const std::vector<std::string>& arguments) const {
    std::vector<std::string> words = {"ffmpeg", "-nostdin", "-v", "error", "-y"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    const ProgramRun made = run(words);
    ASSERT_EQ(made.exit_code, 0) << made.err;
  }

  // ffprobe's answer, one value per line.
  std::string probe(const std::string& name, const std::vector<std::string>& what) const {
    std::vector<std::string> words = {"ffprobe", "-v", "error"};
    words.insert(words.end(), what.begin(), what.end());
    words.insert(words.end(), {"-of", "csv=p=0", name});
    return run(words).out;
  }
};

}  // namespace shardcast::testing
