// A whole clip or sequence rendered from the studio's page: the render
// command itself, `shardcast render INPUT -o OUTPUT -n [values]`, run as a
// child process of this program, so the file is exactly the one that
// command line writes (worker processes, encoders and all), and the studio
// keeps serving while it runs. Its standard error is a terminal of our own
// (a pseudo-terminal), where the render draws its progress bar; the bar's
// "done/total frames" is the page's progress, and its closing line the
// page's message. One render at a time.
//
// The output never comes from the page: it goes into the folder given on
// the command line, under a name made here from the input's name that
// names nothing yet (clip_output).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace shardcast::cli {

struct ClipProgress {
  enum class State { Idle, Running, Done, Failed, Cancelled };
  State state = State::Idle;
  std::int64_t done = 0;
  std::int64_t total = 0;
  std::string output;   // the file or folder written
  std::string message;  // the render's own lines: its closing line, or why it stopped
};

const char* state_name(ClipProgress::State state);

// Output formats the page may choose: a video container, or "png" for a
// folder of numbered pictures.
inline constexpr const char* clip_formats[] = {"mp4", "mov", "mkv", "webm", "png"};

// An output in `folder` for the input called `stem`, as `format`: the first
// of "STEM-glitched.mp4", "STEM-glitched-2.mp4", ... that does not exist;
// for "png" a new folder "STEM-glitched[-N]" (made here, so it is ours)
// and the pattern "STEM_%04d.png" in it. `stem` is kept to letters, digits,
// '.', '_' and '-'. Empty on success, otherwise the refusal.
std::string clip_output(const std::filesystem::path& folder, const std::string& stem, const std::string& format,
                        std::filesystem::path& output, std::filesystem::path& shown);

class ClipRender {
 public:
  ClipRender() = default;
  ClipRender(const ClipRender&) = delete;
  ClipRender& operator=(const ClipRender&) = delete;
  // A render still running is stopped and waited for.
  ~ClipRender();

  // Runs `program` with `arguments`; `shown` is what the page is told is
  // being written. Empty on success, otherwise the refusal (one is running
  // already, or the child could not be started).
  std::string start(const std::string& program, const std::vector<std::string>& arguments, const std::string& shown,
                    std::int64_t total);
  ClipProgress progress() const;
  // Asks a running render to stop (it removes what it began): a request to
  // terminate, to it and its worker processes.
  void cancel();

 private:
  void follow(int terminal, pid_t child);
  void take(const std::string& segment);

  mutable std::mutex mutex_;
  ClipProgress progress_;
  pid_t child_ = -1;
  bool cancelled_ = false;
  std::thread follower_;
};

}  // namespace shardcast::cli
