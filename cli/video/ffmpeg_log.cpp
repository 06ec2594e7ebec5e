// FFmpeg's log kept and passed on (see ffmpeg_log.h). FFmpeg calls the
// callback from any of its threads; each line goes out whole, and what is
// kept of the log is touched only under its lock.
#include "cli/video/ffmpeg_log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include "cli/messages/tool_log.h"

namespace shardcast::cli::ffmpeg {
namespace {

struct HeldLine {
  LibraryLevel level;
  std::string library;
  std::string text;
};

struct LibraryLog {
  std::mutex lock;
  std::string last_error;
  bool holding = false;  // lines are kept in `held` instead of shown
  std::vector<HeldLine> held;
};

LibraryLog& library_log() {
  static LibraryLog log;
  return log;
}

// The name of what logged: "libx264", "mov,mp4,m4a,3gp,3g2,mj2".
std::string logger_name(void* context) {
  const AVClass* const* named = static_cast<const AVClass* const*>(context);
  if (named == nullptr || *named == nullptr || (*named)->item_name == nullptr) {
    return {};
  }
  const char* name = (*named)->item_name(context);
  return name != nullptr ? name : "";
}

void keep_log_line(void* context, int level, const char* format, va_list arguments) {
  if (level > AV_LOG_INFO) {
    return;
  }
  char line[512];
  std::vsnprintf(line, sizeof line, format, arguments);
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) {
    return;
  }
  // An error is shown as it comes only when verbose; the last one goes
  // into the refusal.
  HeldLine kept{level > AV_LOG_ERROR && level <= AV_LOG_WARNING ? LibraryLevel::Warning : LibraryLevel::Info,
                logger_name(context), text};
  LibraryLog& log = library_log();
  {
    const std::lock_guard<std::mutex> guard(log.lock);
    if (level <= AV_LOG_ERROR) {
      log.last_error = text;
    }
    if (log.holding) {
      log.held.push_back(std::move(kept));
      return;
    }
  }
  report_library_line(kept.level, kept.library, kept.text);
}

}  // namespace

void hold_library_lines() {
  LibraryLog& log = library_log();
  const std::lock_guard<std::mutex> guard(log.lock);
  log.holding = true;
}

void end_holding(bool show) {
  std::vector<HeldLine> held;
  {
    LibraryLog& log = library_log();
    const std::lock_guard<std::mutex> guard(log.lock);
    log.holding = false;
    held.swap(log.held);
  }
  if (!show) {
    return;
  }
  for (const HeldLine& line : held) {
    report_library_line(line.level, line.library, line.text);
  }
}

void quiet_library_log() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(&keep_log_line); });
  LibraryLog& log = library_log();
  const std::lock_guard<std::mutex> guard(log.lock);
  log.last_error.clear();
}

std::string reason(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  std::string result = text;
  LibraryLog& log = library_log();
  const std::lock_guard<std::mutex> guard(log.lock);
  if (!log.last_error.empty() && log.last_error != result) {
    result += ": " + log.last_error;
    log.last_error.clear();
  }
  return result;
}

std::string logged_error() {
  LibraryLog& log = library_log();
  const std::lock_guard<std::mutex> guard(log.lock);
  std::string line = log.last_error.empty() ? std::string() : " (" + log.last_error + ")";
  log.last_error.clear();
  return line;
}

}  // namespace shardcast::cli::ffmpeg
