// The decoder's lines on their way out of the tool.
//
// The decoder library takes a sink, so `decode` hands it one directly. The
// effect module writes to the process's standard output, which the tool
// captures around each render (output_capture.h) and then copies to the
// chosen destination. Nothing else the tool writes goes to standard output
// while lines may go there.
#include "cli/messages/decoder_messages.h"

#include <cerrno>
#include <cstring>

namespace shardcast::cli {
namespace {

void write_to_destination(void* context, const char* text, std::size_t length) {
  static_cast<MessageDestination*>(context)->write(text, length);
}

}  // namespace

std::string MessageDestination::open(const std::string& where) {
  path_ = where;
  if (where.empty()) {
    return {};
  }
  if (where == "-") {
    file_ = stdout;
    return {};
  }
  if (std::string failure = pending_.open(where); !failure.empty()) {
    return failure;
  }
  file_ = pending_.file();
  return {};
}

void MessageDestination::write(const char* text, std::size_t length) {
  constexpr std::size_t kept = 160;  // enough of a line to tell why
  for (std::size_t i = 0; i < length; ++i) {
    if (text[i] != '\n') {
      if (current_line_.size() < kept) {
        current_line_ += text[i];
      }
      continue;
    }
    ++lines_;
    if (current_line_.starts_with("Error - ")) {
      last_error_ = current_line_;
    }
    current_line_.clear();
  }
  if (file_ == nullptr || error_ != 0) {
    return;
  }
  errno = 0;
  if (std::fwrite(text, 1, length, file_) != length) {
    error_ = errno != 0 ? errno : EIO;
  }
}

std::string MessageDestination::failure(const std::string& reason) const {
  return "cannot write " + std::string(path_ == "-" ? "the decoder lines to standard output" : path_) + ": " + reason;
}

std::string MessageDestination::flush() {
  if (error_ == 0 && file_ == stdout) {
    errno = 0;
    if (std::fflush(stdout) != 0) {
      error_ = errno != 0 ? errno : EIO;
    }
  }
  return error_ != 0 ? failure(std::strerror(error_)) : std::string();
}

std::string MessageDestination::finish() {
  if (std::string failed = flush(); !failed.empty()) {
    return failed;
  }
  if (file_ != nullptr && file_ != stdout) {
    file_ = nullptr;
    if (std::string failed = pending_.finish(); !failed.empty()) {
      return failure(failed);
    }
  }
  return {};
}

std::string MessageDestination::commit() {
  if (std::string failed = finish(); !failed.empty()) {
    return failed;
  }
  if (path_.empty() || path_ == "-") {
    return {};
  }
  if (std::string failed = pending_.commit(); !failed.empty()) {
    return failure(failed);
  }
  committed_ = true;
  return {};
}

MessageSink MessageDestination::sink() { return {&write_to_destination, this}; }

std::string MessageDestination::describe() const {
  if (path_.empty()) {
    return "discarded";
  }
  const bool whole = error_ == 0 && (path_ == "-" || committed_);
  return std::string(whole ? "written to " : "not written to ") + (path_ == "-" ? "standard output" : path_);
}

}  // namespace shardcast::cli
