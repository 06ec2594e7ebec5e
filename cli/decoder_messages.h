// Where the decoder's lines go: nowhere (the default), a file, or standard
// output; counted either way for the closing summary.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "decoder/message_sink.h"

namespace shardcast::cli {

class MessageDestination {
 public:
  MessageDestination() = default;
  MessageDestination(const MessageDestination&) = delete;
  MessageDestination& operator=(const MessageDestination&) = delete;
  ~MessageDestination();

  // "" discards, "-" is standard output, anything else a file created or
  // truncated now. Empty on success, otherwise the reason.
  std::string open(const std::string& where);
  void write(const char* text, std::size_t length);
  // Empty when every line reached its destination, otherwise the reason.
  std::string close();

  // A sink for GlitchSettings::messages that writes here.
  MessageSink sink();
  std::uint64_t lines() const { return lines_; }
  // "discarded", "written to standard output" or "written to FILE".
  std::string describe() const;
  // The last line that began "Error - ", without its newline.
  const std::string& last_error() const { return last_error_; }

 private:
  std::FILE* file_ = nullptr;
  bool owns_file_ = false;
  bool failed_ = false;
  std::string path_;
  std::uint64_t lines_ = 0;
  std::string current_line_;  // the start of the line being written
  std::string last_error_;
};

// While alive, everything written to file descriptor 1 (the module writes its
// decoder lines to the process's standard output) lands in a temporary
// file; release() restores standard output and hands back what was
// written.
class StandardOutputCapture {
 public:
  StandardOutputCapture() = default;
  StandardOutputCapture(const StandardOutputCapture&) = delete;
  StandardOutputCapture& operator=(const StandardOutputCapture&) = delete;
  ~StandardOutputCapture();

  // Empty on success, otherwise the reason.
  std::string start();
  std::string release(std::string& written);

 private:
  void restore();
  void discard_capture();
  int saved_output_ = -1;
  std::FILE* capture_ = nullptr;
  std::string capture_path_;
};

}  // namespace shardcast::cli
