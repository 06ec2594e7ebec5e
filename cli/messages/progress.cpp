// The progress of a render. The bar is drawn only when standard error is a
// terminal, with a carriage return so that it stays on one line, and
// cleared again at the end. A clip's frame count may be an estimate: past
// it the bar stays full; without any count only frames and their rate show.
#include "cli/messages/progress.h"

#include <algorithm>
#include <cstdio>

namespace shardcast::cli {

Progress::Progress(std::int64_t total, bool show_bar)
    : total_(total), show_bar_(show_bar), start_(std::chrono::steady_clock::now()) {}

void Progress::frame_done() {
  ++done_;
  if (!show_bar_) {
    return;
  }
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  const double rate = elapsed > 0 ? static_cast<double>(done_) / elapsed : 0.0;
  if (total_ <= 0) {
    std::fprintf(stderr, "\r%lld frames  %.1f frames/s  ", static_cast<long long>(done_), rate);
    std::fflush(stderr);
    return;
  }
  const std::int64_t shown_total = std::max(total_, done_);
  const double left = rate > 0 ? static_cast<double>(shown_total - done_) / rate : 0.0;
  constexpr int bar_width = 30;
  const int filled = static_cast<int>(done_ * bar_width / shown_total);
  char bar[bar_width + 1];
  for (int i = 0; i < bar_width; ++i) {
    bar[i] = i < filled ? '#' : '.';
  }
  bar[bar_width] = '\0';
  std::fprintf(stderr, "\r[%s] %lld/%lld frames  %.1f frames/s  %.0f s left  ", bar, static_cast<long long>(done_),
               static_cast<long long>(shown_total), rate, left);
  std::fflush(stderr);
}

double Progress::finish() {
  if (show_bar_ && done_ > 0) {
    std::fputs("\r\033[K", stderr);
  }
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

}  // namespace shardcast::cli
