// The worker processes of `shardcast render --jobs` live and die with the
// tool: no more of them than frames, each ended by a request to terminate,
// all of them ended (and every temporary file removed) when the tool is
// interrupted, terminated or hung up on, and each ending by itself when the
// tool is gone. The tool runs in a fresh folder that is also its temporary
// folder, so anything left behind shows.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/video/video.h"
#include "support/program_run.h"
#include "support/scratch_folder.h"

namespace shardcast::cli {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::vector<pid_t> children_of(pid_t pid) {
  std::ifstream list("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) + "/children");
  std::vector<pid_t> children;
  for (pid_t child = 0; list >> child;) {
    children.push_back(child);
  }
  return children;
}

// Gone, or a zombie nobody has waited for yet: either way it runs no more.
// The state letter of /proc/PID/stat ('R', 'S', 'Z'...), or 'X' when gone.
char state_of(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const std::size_t close = text.rfind(')');
  return close == std::string::npos || close + 2 >= text.size() ? 'X' : text[close + 2];
}

bool has_ended(pid_t pid) {
  const char state = state_of(pid);
  return state == 'Z' || state == 'X';
}

template <typename Condition>
bool within(std::chrono::milliseconds limit, Condition condition) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

class RenderWorkerProcesses : public testing::ScratchFolder {
 protected:
  RenderWorkerProcesses() : ScratchFolder("shardcast-workers") {}

  // Starts the tool without waiting; its standard error goes to a file
  // outside the folder.
  pid_t start(const std::vector<std::string>& arguments) {
    err_path_ = folder_.string() + ".err";
    std::vector<std::string> words = {SHARDCAST_CLI_PATH, "render"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
      argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
      ::setenv("TMPDIR", folder_.c_str(), 1);
      if (::chdir(folder_.c_str()) != 0 || std::freopen(err_path_.c_str(), "w", stderr) == nullptr ||
          std::freopen("/dev/null", "w", stdout) == nullptr) {
        ::_exit(127);
      }
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    return child;
  }

  // The exit code, or -signal when the tool was killed.
  int finish(pid_t tool) const {
    int status = 0;
    if (::waitpid(tool, &status, 0) != tool) {
      return -1000;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  }

  std::string err() const { return testing::slurp(err_path_); }

  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    return names;
  }

  // A render long enough to be caught in the middle, into a video so that
  // nothing of it may stay when it stops.
  std::vector<std::string> long_render() const {
    return {"-o", "out.mkv", "--sample-size", "640x360", "--frames", "0-400", "--jobs", "2", "--broken-bytes", "300"};
  }

  void TearDown() override {
    fs::remove(err_path_);
    ScratchFolder::TearDown();
  }

  std::string err_path_;
};

TEST_F(RenderWorkerProcesses, NoMoreWorkersThanFramesToRender) {
  const pid_t tool = start(
      {"-o", "out_%d.png", "--sample-size", "1500x1500", "--frames", "0-2", "--jobs", "64", "--broken-bytes", "200"});
  ASSERT_GT(tool, 0);
  std::size_t most = 0;
  int status = 0;
  while (::waitpid(tool, &status, WNOHANG) == 0) {
    most = std::max(most, children_of(tool).size());
    std::this_thread::sleep_for(1ms);
  }
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << err();
  EXPECT_EQ(most, 3u);
}

TEST_F(RenderWorkerProcesses, AWorkerEndsWhenToldToTerminate) {
  if (!video_supported()) {
    GTEST_SKIP() << "this build writes no video";
  }
  const pid_t tool = start(long_render());
  ASSERT_TRUE(within(10s, [&] { return children_of(tool).size() == 2; }));
  std::this_thread::sleep_for(200ms);
  ::kill(children_of(tool).front(), SIGTERM);
  EXPECT_EQ(finish(tool), 1);
  EXPECT_NE(err().find("was killed by signal 15"), std::string::npos) << err();
  EXPECT_NE(err().find("out.mkv was not written"), std::string::npos) << err();
  EXPECT_EQ(files(), std::vector<std::string>{});
}

TEST_F(RenderWorkerProcesses, EverySignalToTheToolEndsItsWorkersAndLeavesNothing) {
  if (!video_supported()) {
    GTEST_SKIP() << "this build writes no video";
  }
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    const pid_t tool = start(long_render());
    // The video's temporary file exists once frames are on their way.
    ASSERT_TRUE(within(10s, [&] { return !files().empty() && children_of(tool).size() == 2; })) << signal;
    std::this_thread::sleep_for(300ms);
    const std::vector<pid_t> workers = children_of(tool);
    ::kill(tool, signal);
    EXPECT_EQ(finish(tool), 130) << signal;
    EXPECT_NE(err().find("shardcast: render: interrupted after "), std::string::npos) << err();
    for (const pid_t worker : workers) {
      EXPECT_TRUE(has_ended(worker)) << signal;
    }
    EXPECT_EQ(files(), std::vector<std::string>{}) << signal;
  }
}

// Even a worker that cannot read its pipe's end (stopped here) goes with
// the tool.
TEST_F(RenderWorkerProcesses, AWorkerWhoseToolIsGoneEndsByItself) {
  if (!video_supported()) {
    GTEST_SKIP() << "this build writes no video";
  }
  const pid_t tool = start(long_render());
  // Stopped before it has set itself up, a worker could never notice;
  // one that frames have reached and that waits on its pipe has.
  ASSERT_TRUE(within(10s, [&] { return !files().empty() && children_of(tool).size() == 2; }));
  const pid_t worker = children_of(tool).front();
  ASSERT_TRUE(within(10s, [&] { return state_of(worker) == 'S'; }));
  ::kill(worker, SIGSTOP);
  ::kill(tool, SIGKILL);
  EXPECT_EQ(finish(tool), -SIGKILL);
  EXPECT_TRUE(within(10s, [&] { return has_ended(worker); }));
  if (!has_ended(worker)) {
    ::kill(worker, SIGKILL);
  }
}

}  // namespace
}  // namespace shardcast::cli
