// Descriptor-level capture of standard output or error (see
// output_capture.h). The stream is flushed on both sides of the switch so
// that nothing buffered before it lands in the capture, or after it in the
// stream.
#include "cli/messages/output_capture.h"

#include <cerrno>
#include <cstring>

#include "cli/messages/tool_log.h"
#include "cli/system/platform.h"

namespace shardcast::cli {

OutputCapture::~OutputCapture() {
  restore();
  discard_capture();
}

std::string OutputCapture::start() {
  std::fflush(stream_);
  capture_ = open_anonymous_file(capture_path_);
  if (capture_ == nullptr) {
    return std::string("cannot create a temporary file: ") + std::strerror(errno);
  }
  const int descriptor = descriptor_of(stream_);
  saved_ = duplicate_descriptor(descriptor);
  if (saved_ < 0 || !redirect_descriptor(descriptor_of(capture_), descriptor)) {
    const int error_number = errno;
    restore();
    discard_capture();
    return std::string("cannot redirect an output stream: ") + std::strerror(error_number);
  }
  return {};
}

void OutputCapture::restore() {
  if (saved_ < 0) {
    return;
  }
  std::fflush(stream_);
  redirect_descriptor(saved_, descriptor_of(stream_));
  close_descriptor(saved_);
  saved_ = -1;
}

void OutputCapture::discard_capture() {
  if (capture_ != nullptr) {
    std::fclose(capture_);
    capture_ = nullptr;
    if (!capture_path_.empty()) {
      std::error_code error;
      std::filesystem::remove(capture_path_, error);
    }
  }
}

std::string OutputCapture::release(std::string& written) {
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
  return failed ? "reading back a captured output failed" : std::string();
}

std::string with_library_output_relayed(const std::function<std::string()>& call) {
  OutputCapture capture(stderr);
  // Without a capture the call still runs; only its libraries' own lines
  // then reach standard error unchanged.
  const bool capturing = capture.start().empty();
  std::string result = call();
  if (capturing) {
    std::string written;
    capture.release(written);
    relay_library_output(written);
  }
  return result;
}

}  // namespace shardcast::cli
