// The tool's lines on standard error (see tool_log.h).
//
// The level is the one piece of process-wide state here besides the
// interrupt flag: FFmpeg's log callback, called from any of its threads,
// can reach nothing else. It is written once, before any thread starts.
// Each line goes out in one call, so lines from several threads never mix.
#include "cli/messages/tool_log.h"

#include <atomic>
#include <cstdio>

namespace shardcast::cli {
namespace {

std::atomic<Verbosity> current_verbosity{Verbosity::Normal};

void write_line(const std::string& text) {
  const std::string line = "shardcast: " + escaped(text) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void append_hex(std::string& out, const char* prefix, unsigned value, int digits) {
  static constexpr char hex[] = "0123456789ABCDEF";
  out += prefix;
  for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) {
    out += hex[(value >> shift) & 0xF];
  }
}

// "NAME [LEVEL]: text", as x264 and x265 print; false for anything else.
bool split_library_line(std::string_view line, std::string& library, LibraryLevel& level, std::string& text) {
  const std::size_t open = line.find(" [");
  const std::size_t close = line.find("]: ");
  if (open == std::string_view::npos || open == 0 || close == std::string_view::npos || close < open ||
      line.substr(0, open).find(' ') != std::string_view::npos) {
    return false;
  }
  const std::string_view word = line.substr(open + 2, close - open - 2);
  level = word == "error" ? LibraryLevel::Error : word == "warning" ? LibraryLevel::Warning : LibraryLevel::Info;
  library = std::string(line.substr(0, open));
  text = std::string(line.substr(close + 3));
  return true;
}

}  // namespace

void set_verbosity(Verbosity verbosity) { current_verbosity.store(verbosity); }
Verbosity verbosity() { return current_verbosity.load(); }

std::string escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
    if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      append_hex(out, "\\u00", next, 2);
      ++i;
    } else if (byte == '\n') {
      out += "\\n";
    } else if (byte == '\t') {
      out += "\\t";
    } else if (byte == '\r') {
      out += "\\r";
    } else if (byte < 0x20 || byte == 0x7F) {
      append_hex(out, "\\x", byte, 2);
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

void report(const std::string& text) { write_line(text); }

void report_warning(const std::string& text) {
  if (verbosity() != Verbosity::Quiet) {
    write_line("warning: " + text);
  }
}

void report_note(const std::string& text) {
  if (verbosity() != Verbosity::Quiet) {
    write_line(text);
  }
}

void report_info(const std::string& text) {
  if (verbosity() == Verbosity::Verbose) {
    write_line(text);
  }
}

void report_library_line(LibraryLevel level, const std::string& library, const std::string& text) {
  const std::string line = library.empty() ? text : library + ": " + text;
  switch (level) {
    case LibraryLevel::Error:
      report(line);
      break;
    case LibraryLevel::Warning:
      report_warning(line);
      break;
    case LibraryLevel::Info:
      report_info(line);
      break;
  }
}

void relay_library_output(std::string_view text) {
  constexpr std::string_view ours = "shardcast: ";
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
      line.remove_suffix(1);
    }
    if (line.empty()) {
      continue;
    }
    if (line.starts_with(ours)) {
      std::fwrite(line.data(), 1, line.size(), stderr);
      std::fputc('\n', stderr);
      continue;
    }
    std::string library;
    std::string said;
    LibraryLevel level = LibraryLevel::Info;
    if (split_library_line(line, library, level, said)) {
      report_library_line(level, library, said);
    } else {
      report_info(std::string(line));
    }
  }
  std::fflush(stderr);
}

}  // namespace shardcast::cli
