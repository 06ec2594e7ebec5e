// The progress shown while frames render.
#pragma once

#include <chrono>
#include <cstdint>

namespace shardcast::cli {

// On a terminal a bar redrawn after every frame (frames done, frames per
// second, time left; without the bar when the total is not known, 0);
// elsewhere nothing until the final line.
class Progress {
 public:
  Progress(std::int64_t total, bool show_bar);
  void frame_done();
  // Clears the bar, if any, and returns seconds since the start.
  double finish();
  std::int64_t done() const { return done_; }

 private:
  std::int64_t total_;
  std::int64_t done_ = 0;
  bool show_bar_;
  std::chrono::steady_clock::time_point start_;
};

}  // namespace shardcast::cli
