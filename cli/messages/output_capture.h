// Holding back what gets written to the process's standard output or
// standard error, at the descriptor, for code that writes there by itself:
// the effect module writes its decoder lines to standard output, and some
// encoder libraries (x264, x265) print to standard error without asking.
// While a capture is alive everything written to the descriptor lands in a
// temporary file without a name (see open_anonymous_file), so nothing is
// left behind however the process ends; release() restores the stream and
// hands back what was written.
#pragma once

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

namespace shardcast::cli {

class OutputCapture {
 public:
  // stdout or stderr.
  explicit OutputCapture(std::FILE* stream) : stream_(stream) {}
  OutputCapture(const OutputCapture&) = delete;
  OutputCapture& operator=(const OutputCapture&) = delete;
  ~OutputCapture();

  // Empty on success, otherwise the reason.
  std::string start();
  std::string release(std::string& written);

 private:
  void restore();
  void discard_capture();
  std::FILE* stream_;
  int saved_ = -1;
  std::FILE* capture_ = nullptr;
  std::filesystem::path capture_path_;
};

// Runs `call` with standard error held back, then passes what an encoder
// library printed meanwhile on as the tool's lines (relay_library_output).
// Returns what `call` returns.
std::string with_library_output_relayed(const std::function<std::string()>& call);

}  // namespace shardcast::cli
