// The render thread and its queue of waiting jobs (render_queue.h). A job
// lives on the stack of the server thread that waits for it; it leaves the
// queue before that thread is woken, so the render thread never holds a
// job whose owner has gone.
#include "cli/studio/render_queue.h"

#include <new>

namespace shardcast::cli {

RenderQueue::RenderQueue() : thread_([this] { serve(); }) {}

RenderQueue::~RenderQueue() {
  stop();
  thread_.join();
}

JobOutcome RenderQueue::run(QueuedJob& job) {
  std::unique_lock lock(mutex_);
  if (stopping_) {
    return JobOutcome::Stopped;
  }
  if (job.lane > 0) {
    std::erase_if(waiting_, [&job](QueuedJob* older) {
      if (older->lane != job.lane) {
        return false;
      }
      older->outcome = JobOutcome::Replaced;
      older->finished = true;
      return true;
    });
  }
  waiting_.push_back(&job);
  changed_.notify_all();
  changed_.wait(lock, [&job] { return job.finished; });
  return job.outcome;
}

void RenderQueue::stop() {
  std::lock_guard lock(mutex_);
  stopping_ = true;
  for (QueuedJob* job : waiting_) {
    job->outcome = JobOutcome::Stopped;
    job->finished = true;
  }
  waiting_.clear();
  changed_.notify_all();
}

std::size_t RenderQueue::waiting() {
  std::lock_guard lock(mutex_);
  return waiting_.size();
}

void RenderQueue::serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
    if (stopping_) {
      return;
    }
    QueuedJob* job = waiting_.front();
    waiting_.pop_front();
    lock.unlock();
    JobOutcome outcome = JobOutcome::Done;
    try {
      job->work();
    } catch (const std::bad_alloc&) {
      outcome = JobOutcome::OutOfMemory;
    }
    lock.lock();
    job->outcome = outcome;
    job->finished = true;
    changed_.notify_all();
  }
}

}  // namespace shardcast::cli
