// Frames rendered here or in worker processes.
//
// The pipe protocol is private to this file: a request is the frame number,
// the picture's width and height and its RGBA bytes; a reply is the failure
// text, the output picture and the captured lines, each length-prefixed.
// Every read and write loops until done, retrying after signals, and every
// length is checked against the render's picture limit before anything is
// allocated for it.
#include "cli/workers/render_workers.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include "cli/messages/output_capture.h"
#include "cli/system/platform.h"

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace shardcast::cli {

RenderedFrame render_captured(ModuleSession& module, std::int64_t frame, const Image& input) {
  RenderedFrame result;
  result.frame = frame;
  OutputCapture capture(stdout);
  result.failure = capture.start();
  if (result.failure.empty()) {
    result.failure = module.render(input, frame, result.output);
  }
  const std::string capture_failure = capture.release(result.messages);
  if (result.failure.empty()) {
    result.failure = capture_failure;
  }
  return result;
}

#ifdef _WIN32

bool parallel_rendering_supported() { return false; }
RenderWorkers::~RenderWorkers() = default;
std::string RenderWorkers::start(ModuleSession&, int, std::uint64_t) {
  return "worker processes are not available here";
}
std::string RenderWorkers::submit(std::int64_t, const Image&) { return "no workers"; }
std::string RenderWorkers::collect(RenderedFrame&) { return "no workers"; }
void RenderWorkers::stop() {}

#else

namespace {

bool write_all(int descriptor, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (size > 0) {
    const ssize_t written = ::write(descriptor, bytes, size);
    if (written < 0 && errno == EINTR && !interrupted()) {
      continue;
    }
    if (written <= 0) {
      return false;
    }
    bytes += written;
    size -= static_cast<std::size_t>(written);
  }
  return true;
}

// False at the end of the pipe or on an error; `ended` tells the end
// before the first byte.
bool read_all(int descriptor, void* data, std::size_t size, bool* ended = nullptr) {
  auto* bytes = static_cast<std::uint8_t*>(data);
  const std::size_t wanted = size;
  while (size > 0) {
    const ssize_t got = ::read(descriptor, bytes, size);
    if (got < 0 && errno == EINTR && !interrupted()) {
      continue;
    }
    if (got <= 0) {
      if (ended != nullptr) {
        *ended = got == 0 && size == wanted;
      }
      return false;
    }
    bytes += got;
    size -= static_cast<std::size_t>(got);
  }
  return true;
}

bool write_text(int descriptor, const std::string& text) {
  const std::uint64_t size = text.size();
  return write_all(descriptor, &size, sizeof size) && write_all(descriptor, text.data(), text.size());
}

bool read_text(int descriptor, std::string& text) {
  std::uint64_t size = 0;
  if (!read_all(descriptor, &size, sizeof size) || size > max_file_bytes) {
    return false;
  }
  text.resize(size);
  return read_all(descriptor, text.data(), text.size());
}

bool write_picture_bytes(int descriptor, const Image& image) {
  const std::int32_t size[2] = {image.width, image.height};
  return write_all(descriptor, size, sizeof size) && write_all(descriptor, image.rgba.data(), image.rgba.size());
}

// A picture larger than the render's limit never crosses a pipe.
bool read_picture_bytes(int descriptor, Image& image, std::uint64_t max_pixels, bool* ended = nullptr) {
  std::int32_t size[2] = {0, 0};
  if (!read_all(descriptor, size, sizeof size, ended) || size[0] < 0 || size[1] < 0 ||
      static_cast<std::uint64_t>(size[0]) * static_cast<std::uint64_t>(size[1]) > max_pixels) {
    return false;
  }
  image.width = size[0];
  image.height = size[1];
  image.rgba.resize(static_cast<std::size_t>(size[0]) * static_cast<std::size_t>(size[1]) * 4);
  return read_all(descriptor, image.rgba.data(), image.rgba.size());
}

// A worker ends with the tool: on a request to terminate or a hang-up (the
// tool's own handlers are not for it), and when the tool itself is gone,
// however it went. Ctrl-C reaches the whole process group, and the tool
// answers it for its workers.
void tie_to_parent(pid_t parent) {
  std::signal(SIGINT, SIG_IGN);
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGHUP, SIG_DFL);
  std::signal(SIGPIPE, SIG_IGN);
#ifdef __linux__
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
#endif
  // The tool may have gone before the line above took effect.
  if (::getppid() != parent) {
    ::_exit(1);
  }
}

[[noreturn]] void serve(ModuleSession& module, std::uint64_t max_pixels, int requests, int replies) {
  for (;;) {
    std::int64_t frame = 0;
    Image input;
    bool ended = false;
    if (!read_all(requests, &frame, sizeof frame, &ended) || !read_picture_bytes(requests, input, max_pixels)) {
      ::_exit(ended ? 0 : 1);
    }
    const RenderedFrame rendered = render_captured(module, frame, input);
    if (!write_text(replies, rendered.failure) || !write_picture_bytes(replies, rendered.output) ||
        !write_text(replies, rendered.messages)) {
      ::_exit(1);
    }
  }
}

std::string ended_how(int status) {
  if (WIFSIGNALED(status)) {
    return "was killed by signal " + std::to_string(WTERMSIG(status)) + " (" + strsignal(WTERMSIG(status)) + ")";
  }
  return "ended with exit code " + std::to_string(WEXITSTATUS(status));
}

}  // namespace

bool parallel_rendering_supported() { return true; }

RenderWorkers::~RenderWorkers() { stop(); }

std::string RenderWorkers::start(ModuleSession& module, int count, std::uint64_t max_pixels) {
  max_pixels_ = max_pixels;
  // Nothing buffered may be written twice, once by each process.
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t parent = ::getpid();
  for (int i = 0; i < count; ++i) {
    int requests[2] = {-1, -1};
    int replies[2] = {-1, -1};
    if (::pipe(requests) != 0 || ::pipe(replies) != 0) {
      const int error = errno;
      for (const int descriptor : {requests[0], requests[1], replies[0], replies[1]}) {
        if (descriptor >= 0) {
          ::close(descriptor);
        }
      }
      stop();
      return std::string("cannot start the render workers: ") + std::strerror(error);
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
      tie_to_parent(parent);
      // Only this worker's own ends stay open, so that every other worker
      // sees its pipe close when the tool closes it.
      for (const Worker& other : workers_) {
        ::close(other.to_worker);
        ::close(other.from_worker);
      }
      ::close(requests[1]);
      ::close(replies[0]);
      serve(module, max_pixels, requests[0], replies[1]);
    }
    ::close(requests[0]);
    ::close(replies[1]);
    if (pid < 0) {
      const int error = errno;
      ::close(requests[1]);
      ::close(replies[0]);
      stop();
      return std::string("cannot start the render workers: ") + std::strerror(error);
    }
    workers_.push_back(Worker{pid, requests[1], replies[0]});
  }
  return {};
}

std::string RenderWorkers::submit(std::int64_t frame, const Image& input) {
  std::size_t idle = 0;
  while (std::find(in_flight_.begin(), in_flight_.end(), idle) != in_flight_.end()) {
    ++idle;
  }
  Worker& worker = workers_.at(idle);
  if (!write_all(worker.to_worker, &frame, sizeof frame) || !write_picture_bytes(worker.to_worker, input)) {
    return interrupted() ? "interrupted" : "the worker taking frame " + std::to_string(frame) + " " + end(worker);
  }
  in_flight_.push_back(idle);
  in_flight_frames_.push_back(frame);
  return {};
}

std::string RenderWorkers::collect(RenderedFrame& result) {
  Worker& worker = workers_.at(in_flight_.front());
  result = RenderedFrame{};
  result.frame = in_flight_frames_.front();
  in_flight_.pop_front();
  in_flight_frames_.pop_front();
  if (read_text(worker.from_worker, result.failure) &&
      read_picture_bytes(worker.from_worker, result.output, max_pixels_) &&
      read_text(worker.from_worker, result.messages)) {
    return {};
  }
  if (interrupted()) {
    ::kill(worker.pid, SIGTERM);  // waited for by stop()
    return "interrupted";
  }
  return "the worker rendering frame " + std::to_string(result.frame) + " " + end(worker);
}

std::string RenderWorkers::end(Worker& worker) {
  // Gone, or talking nonsense: the worker is ended now and waited for here,
  // once.
  ::kill(worker.pid, SIGKILL);
  int status = 0;
  const bool waited = ::waitpid(worker.pid, &status, 0) == worker.pid;
  worker.pid = -1;
  return waited ? ended_how(status) : std::string("could not be waited for");
}

void RenderWorkers::stop() {
  // A worker still busy with a frame nobody will take is ended at once; an
  // idle one ends when its pipe closes.
  for (Worker& worker : workers_) {
    ::close(worker.to_worker);
    ::close(worker.from_worker);
  }
  for (const std::size_t busy : in_flight_) {
    if (workers_[busy].pid > 0) {
      ::kill(workers_[busy].pid, SIGTERM);
    }
  }
  for (const Worker& worker : workers_) {
    int status = 0;
    while (worker.pid > 0 && ::waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  workers_.clear();
  in_flight_.clear();
  in_flight_frames_.clear();
}

#endif

}  // namespace shardcast::cli
