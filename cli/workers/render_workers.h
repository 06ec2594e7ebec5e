// Rendering frames: one at a time in this process, or several at once in
// worker processes (--jobs).
//
// Workers are processes, not threads, because the module writes its
// decoder lines to the process's standard output without a lock: each
// worker captures its own standard output around every render, so a
// frame's lines reach the tool whole and are passed on in frame order,
// exactly as one process would have written them. The module itself still
// runs one render at a time in each process.
//
// A worker is forked once the module session is set up and its values set,
// and before the tool starts any thread (the video decoder and encoder
// start theirs later), so each worker holds the same module, host and
// values. It takes a frame through a pipe, renders it as ModuleSession
// does, sends back the picture, the failure text if any and the captured
// lines, and waits for the next; it ends when its pipe closes. Workers
// ignore Ctrl-C, which the tool handles for them; a request to terminate or
// a hang-up ends a worker, and so does the end of the tool, however it
// ends. A worker still rendering when the render stops is ended at once.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "cli/effect/module_session.h"
#include "cli/pictures/image.h"

namespace shardcast::cli {

struct RenderedFrame {
  std::int64_t frame = 0;
  std::string failure;  // empty when the render succeeded
  Image output;
  std::string messages;  // the decoder's lines, as written
};

// One frame in this process, its standard output captured.
RenderedFrame render_captured(ModuleSession& module, std::int64_t frame, const Image& input);

// False where worker processes cannot be started (Windows builds render
// one frame at a time).
bool parallel_rendering_supported();

class RenderWorkers {
 public:
  RenderWorkers() = default;
  RenderWorkers(const RenderWorkers&) = delete;
  RenderWorkers& operator=(const RenderWorkers&) = delete;
  // Closes every pipe and waits for the workers to end.
  ~RenderWorkers();

  // Starts `count` workers sharing the module as it is now, for pictures of
  // at most max_pixels. Empty on success, otherwise the reason.
  std::string start(ModuleSession& module, int count, std::uint64_t max_pixels);
  bool has_idle_worker() const { return in_flight_.size() < workers_.size(); }
  bool busy() const { return !in_flight_.empty(); }
  // Hands a frame to an idle worker.
  std::string submit(std::int64_t frame, const Image& input);
  // Waits for the oldest frame submitted and takes its result.
  std::string collect(RenderedFrame& result);

 private:
  struct Worker {
    int pid = -1;
    int to_worker = -1;
    int from_worker = -1;
  };
  void stop();
  // Ends a worker that failed the tool and says how it ended.
  std::string end(Worker& worker);

  std::vector<Worker> workers_;
  std::deque<std::size_t> in_flight_;  // worker indices, oldest frame first
  std::deque<std::int64_t> in_flight_frames_;
  std::uint64_t max_pixels_ = 0;
};

}  // namespace shardcast::cli
