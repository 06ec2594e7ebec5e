// The progress shown while frames render.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace shardcast::cli {

// On a terminal a bar redrawn after every frame (frames done, frames per
// second, time left; without the bar when the total is not known, 0);
// elsewhere nothing until the final line. The rate is frames over the time
// since the start, the same as the closing line's: while a video's encoder
// writes its last frames the bar keeps being redrawn, its rate falling,
// and it is drawn once more at the end, with the closing line's figures,
// before it is cleared.
class Progress {
 public:
  Progress(std::int64_t total, bool show_bar);
  void frame_done();
  // Redraws the bar while the output is being finished.
  void finishing();
  // Draws the bar a last time and clears it; returns the seconds since the
  // start, which the closing line shows.
  double finish();
  std::int64_t done() const { return done_; }

  // "8.72 frames/s", as the bar and the closing line show a rate.
  static std::string rate_text(std::int64_t frames, double seconds);

 private:
  void draw(double elapsed, const char* state);

  std::int64_t total_;
  std::int64_t done_ = 0;
  bool show_bar_;
  std::chrono::steady_clock::time_point start_;
  double last_drawn_ = 0;
};

}  // namespace shardcast::cli
