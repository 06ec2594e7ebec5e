// Where the decoder's lines go: nowhere (the default), a file, or standard
// output; counted either way for the closing summary.
//
// A file is written under a temporary name and put in place by commit(),
// so a render that fails leaves no new lines file behind and an existing
// one untouched. Standard output is flushed after every frame's lines, so a
// full disk or a closed pipe there stops the render at once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "cli/output/pending_file.h"
#include "decoder/message_sink.h"

namespace shardcast::cli {

class MessageDestination {
 public:
  MessageDestination() = default;
  MessageDestination(const MessageDestination&) = delete;
  MessageDestination& operator=(const MessageDestination&) = delete;

  // "" discards, "-" is standard output, anything else a file (see above).
  // Empty on success, otherwise the reason, worded to follow "cannot write
  // FILE: ".
  std::string open(const std::string& where);
  void write(const char* text, std::size_t length);
  // Empty while every line written so far reached its destination (standard
  // output is flushed for it), otherwise the failure, naming where.
  std::string flush();
  // flush(), and a file complete but still pending.
  std::string finish();
  // finish(), and a file renamed into place.
  std::string commit();

  // A sink for GlitchSettings::messages that writes here.
  MessageSink sink();
  std::uint64_t lines() const { return lines_; }
  // "discarded", "written to standard output", "written to FILE", or "not
  // written to ..." when writing failed or the file was not put in place.
  std::string describe() const;
  // The last line that began "Error - ", without its newline.
  const std::string& last_error() const { return last_error_; }

 private:
  std::string failure(const std::string& reason) const;

  std::FILE* file_ = nullptr;
  PendingFile pending_;
  int error_ = 0;  // of the first write that failed
  bool committed_ = false;
  std::string path_;
  std::uint64_t lines_ = 0;
  std::string current_line_;  // the start of the line being written
  std::string last_error_;
};

}  // namespace shardcast::cli
