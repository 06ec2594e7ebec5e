// The studio's one render thread. The module renders one frame at a time
// and writes its decoder lines to the process's standard output, so every
// job that touches the module or the input runs here, one after another,
// while the server's threads wait for their answers.
//
// Newest change wins: a preview waiting for the thread is dropped when a
// newer preview arrives (its request is answered "replaced"), so a knob
// turned quickly never builds a queue of stale frames; the same goes for
// the original frames a scrubbed timeline asks for. Other jobs (an export)
// always run. Jobs run in the order they came.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace shardcast::cli {

enum class JobOutcome { Done, Replaced, Stopped, OutOfMemory };

struct QueuedJob {
  int lane = 0;                // above 0: a newer job of the same lane replaces this one while it waits
  std::function<void()> work;  // runs on the render thread
  JobOutcome outcome = JobOutcome::Done;
  bool finished = false;
};

class RenderQueue {
 public:
  RenderQueue();
  RenderQueue(const RenderQueue&) = delete;
  RenderQueue& operator=(const RenderQueue&) = delete;
  // stop(), and the thread joined.
  ~RenderQueue();

  // Runs the job's work on the render thread and waits for it, unless a
  // newer preview replaces it first or the queue stops. The outcome says
  // which, or that the work ran out of memory.
  JobOutcome run(QueuedJob& job);
  // Jobs still waiting are answered Stopped; the one running finishes.
  void stop();
  // How many jobs wait for the thread.
  std::size_t waiting();

 private:
  void serve();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<QueuedJob*> waiting_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace shardcast::cli
