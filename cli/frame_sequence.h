// Frame sequences: printf-style name patterns and the --frames range.
#pragma once

#include <cstdint>
#include <string>

namespace shardcast::cli {

// A file name with at most one frame-number conversion: %d, %Nd or %0Nd
// (N up to 2 digits); %% stands for a single percent sign. Any other use
// of % is refused, so a name never reaches a printf-like formatter.
struct FramePattern {
  std::string prefix;
  std::string suffix;
  int field_width = 0;
  bool zero_padded = false;
  bool has_frame_number = false;

  // Empty on success, otherwise the reason the text is no pattern.
  static std::string parse(const std::string& text, FramePattern& pattern);
  std::string name_for(std::int64_t frame) const;
};

struct FrameRange {
  std::int64_t first = 0;
  std::int64_t last = 0;

  std::int64_t count() const { return last - first + 1; }
  // "A-B" or "A", both whole numbers from 0 to 999999999, A not above B.
  static std::string parse(const std::string& text, FrameRange& range);
};

}  // namespace shardcast::cli
