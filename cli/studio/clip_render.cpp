// The child render of clip_render.h: started with posix_spawn (no fork of a
// process that runs threads), signals as a fresh program has them, in a
// process group of its own so that the studio decides when it stops; its
// terminal read by a thread until every process holding it has ended.
#include "cli/studio/clip_render.h"

#include <fcntl.h>
#include <pty.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <system_error>

extern char** environ;

namespace shardcast::cli {
namespace {

// The render's own lines passed to the page: its refusal, warnings and
// closing line.
constexpr std::ptrdiff_t max_lines_kept = 8;

std::string safe_stem(const std::string& stem) {
  std::string safe;
  for (const char c : stem) {
    const bool kept =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    safe += kept ? c : '-';
  }
  return safe.empty() ? std::string("clip") : safe;
}

// "[####....] 12/96 frames ..." or "12 frames ...": the frames done and,
// where the bar shows it, the total.
bool read_bar(const std::string& segment, std::int64_t& done, std::int64_t& total) {
  const std::size_t bar_end = segment.find("] ");
  const std::size_t start = segment.starts_with("[") && bar_end != std::string::npos ? bar_end + 2 : 0;
  std::size_t used = 0;
  try {
    done = std::stoll(segment.substr(start), &used);
  } catch (const std::exception&) {
    return false;
  }
  const std::string rest = segment.substr(start + used);
  if (rest.starts_with("/")) {
    std::size_t total_used = 0;
    try {
      total = std::stoll(rest.substr(1), &total_used);
    } catch (const std::exception&) {
      return false;
    }
    return rest.substr(1 + total_used).starts_with(" frames");
  }
  return rest.starts_with(" frames");
}

}  // namespace

const char* state_name(ClipProgress::State state) {
  switch (state) {
    case ClipProgress::State::Idle:
      return "idle";
    case ClipProgress::State::Running:
      return "running";
    case ClipProgress::State::Done:
      return "done";
    case ClipProgress::State::Failed:
      return "failed";
    case ClipProgress::State::Cancelled:
      return "cancelled";
  }
  return "";
}

std::string clip_output(const std::filesystem::path& folder, const std::string& stem, const std::string& format,
                        std::filesystem::path& output, std::filesystem::path& shown) {
  const std::string safe = safe_stem(stem);
  for (int attempt = 1; attempt < 1000; ++attempt) {
    const std::string name = safe + "-glitched" + (attempt > 1 ? "-" + std::to_string(attempt) : std::string());
    if (format == "png") {
      shown = folder / name;
      if (::mkdir(shown.c_str(), 0777) == 0) {
        output = shown / (safe + "_%04d.png");
        return {};
      }
      if (errno != EEXIST) {
        return "cannot make the folder " + shown.string() + ": " + std::strerror(errno);
      }
      continue;
    }
    shown = output = folder / (name + "." + format);
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(output, error))) {
      return {};
    }
  }
  return "every name from " + safe + "-glitched to " + safe + "-glitched-999 is taken in " + folder.string();
}

ClipRender::~ClipRender() {
  cancel();
  if (follower_.joinable()) {
    follower_.join();
  }
}

std::string ClipRender::start(const std::string& program, const std::vector<std::string>& arguments,
                              const std::string& shown, std::int64_t total) {
  std::lock_guard lock(mutex_);
  if (progress_.state == ClipProgress::State::Running) {
    return "a render is running already: wait for it, or stop it";
  }
  if (follower_.joinable()) {
    follower_.join();
  }
  int terminal = -1;
  int child_side = -1;
  if (::openpty(&terminal, &child_side, nullptr, nullptr, nullptr) != 0) {
    return std::string("cannot start the render: ") + std::strerror(errno);
  }
  ::fcntl(terminal, F_SETFD, FD_CLOEXEC);
  ::fcntl(child_side, F_SETFD, FD_CLOEXEC);
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
  for (const std::string& word : arguments) {
    argv.push_back(const_cast<char*>(word.c_str()));
  }
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, child_side, 2);
  // Nothing else of ours: not the server's sockets, not the terminal's
  // other side.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigset_t defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    sigaddset(&defaults, signal);
  }
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  pid_t child = -1;
  const int spawned = ::posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(child_side);
  if (spawned != 0) {
    ::close(terminal);
    return "cannot start " + program + ": " + std::strerror(spawned);
  }
  child_ = child;
  cancelled_ = false;
  progress_ = ClipProgress{ClipProgress::State::Running, 0, total, shown, {}};
  follower_ = std::thread([this, terminal, child] { follow(terminal, child); });
  return {};
}

ClipProgress ClipRender::progress() const {
  std::lock_guard lock(mutex_);
  return progress_;
}

void ClipRender::cancel() {
  std::lock_guard lock(mutex_);
  if (progress_.state == ClipProgress::State::Running && child_ > 0) {
    cancelled_ = true;
    ::kill(-child_, SIGTERM);  // its group: the render and its workers
  }
}

// A piece of the terminal's text between carriage returns and newlines.
void ClipRender::take(const std::string& segment) {
  std::string text = segment;
  if (text.starts_with("\x1b[K")) {
    text.erase(0, 3);
  }
  std::int64_t done = 0;
  std::int64_t total = 0;
  std::lock_guard lock(mutex_);
  if (read_bar(text, done, total)) {
    progress_.done = done;
    progress_.total = total > 0 ? total : progress_.total;
  } else if (text.starts_with("shardcast: ") &&
             std::count(progress_.message.begin(), progress_.message.end(), '\n') < max_lines_kept) {
    progress_.message += (progress_.message.empty() ? "" : "\n") + text;
  }
}

void ClipRender::follow(int terminal, pid_t child) {
  std::array<char, 4096> buffer{};
  std::string segment;
  for (;;) {
    const ssize_t count = ::read(terminal, buffer.data(), buffer.size());
    if (count < 0 && errno == EINTR) {
      continue;
    }
    if (count <= 0) {
      break;  // EIO once every process holding the terminal has ended
    }
    for (ssize_t i = 0; i < count; ++i) {
      const char c = buffer[static_cast<std::size_t>(i)];
      if (c == '\r' || c == '\n') {
        take(segment);
        segment.clear();
      } else if (segment.size() < 4096) {
        segment += c;
      }
    }
  }
  take(segment);
  ::close(terminal);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  std::lock_guard lock(mutex_);
  const bool succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  progress_.state = succeeded    ? ClipProgress::State::Done
                    : cancelled_ ? ClipProgress::State::Cancelled
                                 : ClipProgress::State::Failed;
  if (succeeded && progress_.total > 0) {
    progress_.done = progress_.total;
  }
  child_ = -1;
}

}  // namespace shardcast::cli
