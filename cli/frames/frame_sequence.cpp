// Frame-sequence names.
//
// Patterns accept exactly the printf integer forms people use for numbered
// frames and the # runs of compositing tools, and refuse every other
// conversion; a frame number is formatted here, never by handing the user's
// text to printf. Finding a sequence lists the pattern's folder once and
// keeps the names the pattern itself would write, so in_0007.png belongs to
// in_%04d.png and in_07.png or in_7.png do not.
#include "cli/frames/frame_sequence.h"

#include <algorithm>
#include <filesystem>

namespace shardcast::cli {

std::string FramePattern::parse(const std::string& text, FramePattern& pattern) {
  pattern = FramePattern{};
  std::string* target = &pattern.prefix;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '#') {
      std::size_t end = i;
      while (end < text.size() && text[end] == '#') {
        ++end;
      }
      if (pattern.has_frame_number) {
        return "more than one frame number";
      }
      if (end - i > 99) {
        return "a run of # is at most 99 digits long";
      }
      pattern.has_frame_number = true;
      pattern.zero_padded = true;
      pattern.field_width = static_cast<int>(end - i);
      target = &pattern.suffix;
      i = end - 1;
      continue;
    }
    if (text[i] != '%') {
      *target += text[i];
      continue;
    }
    std::size_t j = i + 1;
    if (j < text.size() && text[j] == '%') {
      *target += '%';
      i = j;
      continue;
    }
    const bool zero = j < text.size() && text[j] == '0';
    if (zero) {
      ++j;
    }
    int width = 0;
    int digits = 0;
    while (j < text.size() && text[j] >= '0' && text[j] <= '9' && digits < 3) {
      width = width * 10 + (text[j] - '0');
      ++digits;
      ++j;
    }
    if (digits > 2 || j >= text.size() || text[j] != 'd') {
      return "only %d, %Nd, %0Nd and %% may follow a percent sign";
    }
    if (pattern.has_frame_number) {
      return "more than one frame number";
    }
    pattern.has_frame_number = true;
    pattern.zero_padded = zero;
    pattern.field_width = width;
    target = &pattern.suffix;
    i = j;
  }
  return {};
}

std::string FramePattern::name_for(std::int64_t frame) const {
  if (!has_frame_number) {
    return prefix;
  }
  std::string number = std::to_string(frame);
  const bool negative = frame < 0;
  if (static_cast<int>(number.size()) < field_width) {
    const std::size_t fill = static_cast<std::size_t>(field_width) - number.size();
    if (zero_padded) {
      number.insert(negative ? 1 : 0, fill, '0');
    } else {
      number.insert(0, fill, ' ');
    }
  }
  return prefix + number + suffix;
}

bool FramePattern::frame_of(const std::string& name, std::int64_t& frame) const {
  if (!has_frame_number || name.size() <= prefix.size() + suffix.size() || !name.starts_with(prefix) ||
      !name.ends_with(suffix)) {
    return false;
  }
  const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
  const std::size_t digits = middle.find_first_not_of(' ');
  if (digits == std::string::npos || middle.find_first_not_of("0123456789", digits) != std::string::npos) {
    return false;
  }
  const std::size_t significant = std::min(middle.find_first_not_of('0', digits), middle.size() - 1);
  if (middle.size() - significant > 9) {
    return false;
  }
  frame = std::stoll(middle.substr(significant));
  return name_for(frame) == name;
}

std::string list_frames(const FramePattern& pattern, std::vector<std::int64_t>& frames) {
  namespace fs = std::filesystem;
  frames.clear();
  const fs::path prefix(pattern.prefix);
  if (pattern.suffix.find('/') != std::string::npos || pattern.prefix.ends_with('/')) {
    return "the frame number must stand in the file name, not in a folder name";
  }
  const fs::path folder = prefix.parent_path();
  FramePattern in_folder = pattern;
  in_folder.prefix = prefix.filename().string();
  std::error_code error;
  fs::directory_iterator entries(folder.empty() ? fs::path(".") : folder, error);
  if (error) {
    return "cannot list the folder " + (folder.empty() ? std::string(".") : folder.string()) + ": " + error.message();
  }
  for (const fs::directory_entry& entry : entries) {
    std::int64_t frame = 0;
    if (in_folder.frame_of(entry.path().filename().string(), frame) && !entry.is_directory(error)) {
      frames.push_back(frame);
    }
  }
  std::sort(frames.begin(), frames.end());
  return {};
}

namespace {

// The first frame of [first, last] missing from the sorted list, or -1.
std::int64_t first_missing(const std::vector<std::int64_t>& frames, std::int64_t first, std::int64_t last) {
  std::int64_t expected = first;
  for (auto it = std::lower_bound(frames.begin(), frames.end(), first); it != frames.end() && *it <= last; ++it) {
    if (*it != expected) {
      return expected;
    }
    ++expected;
  }
  return expected <= last ? expected : -1;
}

std::string missing_frame(const FramePattern& pattern, std::int64_t frame, std::int64_t first, std::int64_t last) {
  return "frame " + std::to_string(frame) + " (" + pattern.name_for(frame) + ") is missing from the sequence " +
         std::to_string(first) + "-" + std::to_string(last);
}

}  // namespace

std::string find_sequence(const FramePattern& pattern, FrameRange& range) {
  std::vector<std::int64_t> frames;
  if (std::string failure = list_frames(pattern, frames); !failure.empty()) {
    return failure;
  }
  if (frames.empty()) {
    return "no file matches the pattern";
  }
  range.first = frames.front();
  range.last = frames.back();
  if (const std::int64_t missing = first_missing(frames, range.first, range.last); missing >= 0) {
    return missing_frame(pattern, missing, range.first, range.last);
  }
  return {};
}

std::string check_sequence(const FramePattern& pattern, const FrameRange& range) {
  std::vector<std::int64_t> frames;
  if (std::string failure = list_frames(pattern, frames); !failure.empty()) {
    return failure;
  }
  if (const std::int64_t missing = first_missing(frames, range.first, range.last); missing >= 0) {
    return missing_frame(pattern, missing, range.first, range.last);
  }
  return {};
}

namespace {

bool parse_frame_number(const std::string& text, std::int64_t& value) {
  if (text.empty() || text.size() > 9) {
    return false;
  }
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') {
      return false;
    }
    value = value * 10 + (c - '0');
  }
  return true;
}

}  // namespace

std::string FrameRange::parse(const std::string& text, FrameRange& range) {
  const std::size_t dash = text.find('-');
  const std::string first = text.substr(0, dash);
  const std::string last = dash == std::string::npos ? first : text.substr(dash + 1);
  range.open_end = dash != std::string::npos && last.empty();
  if (range.open_end) {
    range.last = max_frame_number;
  }
  if (!parse_frame_number(first, range.first) || (!range.open_end && !parse_frame_number(last, range.last))) {
    return "expected A-B or A- with whole frame numbers from 0 to 999999999";
  }
  if (range.first > range.last) {
    return "the first frame comes after the last";
  }
  return {};
}

}  // namespace shardcast::cli
