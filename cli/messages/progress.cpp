// The progress of a render. The bar is drawn only when standard error is a
// terminal, with a carriage return so that it stays on one line, and
// cleared again at the end. A clip's frame count may be an estimate: past
// it the bar stays full; without any count only frames and their rate show.
#include "cli/messages/progress.h"

#include <algorithm>
#include <cstdio>

namespace shardcast::cli {
namespace {

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

Progress::Progress(std::int64_t total, bool show_bar)
    : total_(total), show_bar_(show_bar), start_(std::chrono::steady_clock::now()) {}

std::string Progress::rate_text(std::int64_t frames, double seconds) {
  char text[48];
  std::snprintf(text, sizeof text, "%.2f frames/s", seconds > 0 ? static_cast<double>(frames) / seconds : 0.0);
  return text;
}

void Progress::draw(double elapsed, const char* state) {
  last_drawn_ = elapsed;
  const std::string rate = rate_text(done_, elapsed);
  if (total_ <= 0) {
    std::fprintf(stderr, "\r%lld frames  %s  %s\033[K", static_cast<long long>(done_), rate.c_str(), state);
    std::fflush(stderr);
    return;
  }
  const std::int64_t shown_total = std::max(total_, done_);
  const double per_frame = done_ > 0 ? elapsed / static_cast<double>(done_) : 0.0;
  constexpr int bar_width = 30;
  const int filled = static_cast<int>(done_ * bar_width / shown_total);
  char bar[bar_width + 1];
  for (int i = 0; i < bar_width; ++i) {
    bar[i] = i < filled ? '#' : '.';
  }
  bar[bar_width] = '\0';
  char left[32] = "";
  if (*state == '\0') {
    std::snprintf(left, sizeof left, "%.0f s left", static_cast<double>(shown_total - done_) * per_frame);
  }
  std::fprintf(stderr, "\r[%s] %lld/%lld frames  %s  %s%s\033[K", bar, static_cast<long long>(done_),
               static_cast<long long>(shown_total), rate.c_str(), left, state);
  std::fflush(stderr);
}

void Progress::frame_done() {
  ++done_;
  if (show_bar_) {
    draw(seconds_since(start_), "");
  }
}

void Progress::finishing() {
  const double elapsed = seconds_since(start_);
  // A redraw every tenth of a second is enough for the eye.
  if (show_bar_ && done_ > 0 && elapsed - last_drawn_ >= 0.1) {
    draw(elapsed, "finishing the file");
  }
}

double Progress::finish() {
  const double elapsed = seconds_since(start_);
  if (show_bar_ && done_ > 0) {
    draw(elapsed, "done");
    std::fputs("\r\033[K", stderr);
  }
  return elapsed;
}

}  // namespace shardcast::cli
