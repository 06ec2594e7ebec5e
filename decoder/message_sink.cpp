// The decoder's line output: a buffered writer in front of a replaceable sink.
#include "decoder/message_sink.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace shardcast {
namespace {

void write_to_standard_output(void*, const char* text, std::size_t length) { std::fwrite(text, 1, length, stdout); }

void write_to_standard_error(void*, const char* text, std::size_t length) { std::fwrite(text, 1, length, stderr); }

void append_to_string(void* context, const char* text, std::size_t length) {
  static_cast<std::string*>(context)->append(text, length);
}

}  // namespace

MessageSink MessageSink::standard_output() { return {&write_to_standard_output, nullptr}; }

MessageSink MessageSink::appending_to(std::string& text) { return {&append_to_string, &text}; }

MessageSink MessageSink::standard_error() { return {&write_to_standard_error, nullptr}; }

MessageSink MessageSink::from_environment(const char* variable) {
  const char* value = variable != nullptr ? std::getenv(variable) : nullptr;
  if (value == nullptr) {
    return discard();
  }
  if (std::strcmp(value, "stderr") == 0) {
    return standard_error();
  }
  if (std::strcmp(value, "stdout") == 0) {
    return standard_output();
  }
  return discard();
}

void MessageWriter::line(Message message) { append(message_text(message)); }

void MessageWriter::line(Message message, std::uint32_t number) {
  const std::string_view text = message_text(message);
  append(text);
  append_number(number, text.ends_with("0x"));
  append("\n");
}

void MessageWriter::component_count_line(std::uint32_t count) {
  append(message_text(Message::ComponentCountPrefix));
  append_number(count, false);
  append(message_text(Message::ComponentCountSuffix));
}

void MessageWriter::flush() {
  if (used_ > 0 && sink_.write != nullptr) {
    sink_.write(sink_.context, buffer_, used_);
  }
  used_ = 0;
}

void MessageWriter::append(std::string_view text) {
  if (sink_.write == nullptr) {
    return;
  }
  while (!text.empty()) {
    if (used_ == sizeof buffer_) {
      flush();
    }
    const std::size_t take = std::min(text.size(), sizeof buffer_ - used_);
    std::memcpy(buffer_ + used_, text.data(), take);
    used_ += take;
    text.remove_prefix(take);
  }
}

void MessageWriter::append_number(std::uint32_t number, bool hexadecimal) {
  char digits[16];
  int count = 0;
  const std::uint32_t base = hexadecimal ? 16 : 10;
  do {
    digits[count++] = "0123456789abcdef"[number % base];
    number /= base;
  } while (number != 0);
  char text[16];
  for (int i = 0; i < count; ++i) {
    text[i] = digits[count - 1 - i];
  }
  append(std::string_view(text, static_cast<std::size_t>(count)));
}

}  // namespace shardcast
