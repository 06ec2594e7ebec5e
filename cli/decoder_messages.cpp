// The decoder's lines on their way out of the tool.
//
// The decoder library takes a sink, so `decode` hands it one directly. The
// effect module writes to the process's standard output, which the tool
// redirects into a temporary file for the length of each render and then
// copies to the chosen destination (the file is removed afterwards);
// standard output is flushed on both sides of the switch so that no line
// crosses it. Nothing else the tool writes
// goes to standard output while lines may go there.
#include "cli/decoder_messages.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#include "cli/platform.h"

namespace shardcast::cli {
namespace {

void write_to_destination(void* context, const char* text, std::size_t length) {
  static_cast<MessageDestination*>(context)->write(text, length);
}

}  // namespace

MessageDestination::~MessageDestination() { close(); }

std::string MessageDestination::open(const std::string& where) {
  path_ = where;
  if (where.empty()) {
    return {};
  }
  if (where == "-") {
    file_ = stdout;
    return {};
  }
  file_ = std::fopen(where.c_str(), "wb");
  if (file_ == nullptr) {
    return std::strerror(errno);
  }
  owns_file_ = true;
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
  if (file_ != nullptr && std::fwrite(text, 1, length, file_) != length) {
    failed_ = true;
  }
}

std::string MessageDestination::close() {
  if (file_ == nullptr) {
    return {};
  }
  const bool flushed = owns_file_ ? std::fclose(file_) == 0 : std::fflush(file_) == 0;
  file_ = nullptr;
  if (!flushed || failed_) {
    return "writing the decoder lines failed";
  }
  return {};
}

MessageSink MessageDestination::sink() { return {&write_to_destination, this}; }

std::string MessageDestination::describe() const {
  if (path_.empty()) {
    return "discarded";
  }
  if (path_ == "-") {
    return "written to standard output";
  }
  return "written to " + path_;
}

StandardOutputCapture::~StandardOutputCapture() {
  restore();
  discard_capture();
}

std::string StandardOutputCapture::start() {
  std::fflush(stdout);
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  std::random_device entropy;
  char name[48];
  std::snprintf(name, sizeof name, "shardcast-lines-%08x-%08x.txt", static_cast<unsigned>(entropy()),
                static_cast<unsigned>(entropy()));
  capture_path_ = (folder / name).string();
  capture_ = std::fopen(capture_path_.c_str(), "w+b");
  if (capture_ == nullptr) {
    return "cannot create " + capture_path_ + " for the decoder lines: " + std::strerror(errno);
  }
  saved_output_ = duplicate_standard_output();
  if (saved_output_ < 0 || !redirect_standard_output(descriptor_of(capture_))) {
    const int error_number = errno;
    restore();
    return std::string("cannot redirect standard output: ") + std::strerror(error_number);
  }
  return {};
}

void StandardOutputCapture::restore() {
  if (saved_output_ < 0) {
    return;
  }
  std::fflush(stdout);
  redirect_standard_output(saved_output_);
  close_descriptor(saved_output_);
  saved_output_ = -1;
}

void StandardOutputCapture::discard_capture() {
  if (capture_ != nullptr) {
    std::fclose(capture_);
    capture_ = nullptr;
    std::remove(capture_path_.c_str());
  }
}

std::string StandardOutputCapture::release(std::string& written) {
  restore();
  written.clear();
  if (capture_ == nullptr) {
    return {};
  }
  std::rewind(capture_);
  char chunk[65536];
  for (;;) {
    const std::size_t count = std::fread(chunk, 1, sizeof chunk, capture_);
    if (count > 0) {
      written.append(chunk, count);
    }
    if (count < sizeof chunk) {
      break;
    }
  }
  const bool failed = std::ferror(capture_) != 0;
  discard_capture();
  return failed ? "reading back the decoder lines failed" : std::string();
}

}  // namespace shardcast::cli
