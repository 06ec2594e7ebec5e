// Where the decoder's lines go, and the buffer they pass through.
//
// A MessageSink is a destination: standard output by default, or any
// callback (tests capture the lines, tools discard them). Programs whose
// standard output may carry data (the frei0r filter inside ffmpeg) let an
// environment variable choose instead, and discard by default. A MessageWriter
// belongs to one decode: it collects lines in a fixed buffer on the stack and
// hands them to the sink in large pieces, so that the thousands of lines of a
// badly damaged frame cost a handful of writes. It never allocates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "decoder/messages.h"

namespace shardcast {

struct MessageSink {
  using WriteFunction = void (*)(void* context, const char* text, std::size_t length);
  WriteFunction write = nullptr;  // null discards everything
  void* context = nullptr;

  static MessageSink standard_output();
  static MessageSink standard_error();
  static MessageSink discard() { return {}; }
  // Appends every line to `text`, which must outlive the sink's use.
  static MessageSink appending_to(std::string& text);
  // The destination named by the environment variable `variable`, read now:
  // "stderr" or "stdout"; unset, empty or anything else discards.
  static MessageSink from_environment(const char* variable);
};

class MessageWriter {
 public:
  explicit MessageWriter(MessageSink sink) : sink_(sink) {}
  ~MessageWriter() { flush(); }
  MessageWriter(const MessageWriter&) = delete;
  MessageWriter& operator=(const MessageWriter&) = delete;

  // A text that carries its own newline.
  void line(Message message);
  // The text, the number and a newline. The number is lowercase hexadecimal
  // without leading zeros when the text ends in "0x", decimal otherwise.
  void line(Message message, std::uint32_t number);
  // "Error - <count> color components given (1 or 3 required)\n".
  void component_count_line(std::uint32_t count);

  void flush();

 private:
  void append(std::string_view text);
  void append_number(std::uint32_t number, bool hexadecimal);

  MessageSink sink_;
  std::size_t used_ = 0;
  char buffer_[8192];
};

}  // namespace shardcast
