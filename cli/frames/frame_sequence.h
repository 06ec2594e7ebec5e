// Frame sequences: numbered file-name patterns, the frames they find on
// disk, and the --frames range.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace shardcast::cli {

// A file name with at most one frame number: the printf forms %d, %Nd or
// %0Nd (N up to 2 digits), or a run of #, one digit each, zero-padded (the
// form compositing tools use: in_####.png is in_%04d.png). %% stands for a
// single percent sign. Any other use of % is refused, so a name never
// reaches a printf-like formatter.
struct FramePattern {
  std::string prefix;
  std::string suffix;
  int field_width = 0;
  bool zero_padded = false;
  bool has_frame_number = false;

  // Empty on success, otherwise the reason the text is no pattern.
  static std::string parse(const std::string& text, FramePattern& pattern);
  std::string name_for(std::int64_t frame) const;
  // The frame number a name stands for under this pattern, if it is one of
  // the names name_for gives.
  bool frame_of(const std::string& name, std::int64_t& frame) const;
};

inline constexpr std::int64_t max_frame_number = 999999999;

struct FrameRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
  bool open_end = false;  // "A-": to the end of the input; `last` is then max_frame_number

  std::int64_t count() const { return last - first + 1; }
  // "A-B", "A" or "A-", whole numbers from 0 to 999999999, A not above B.
  static std::string parse(const std::string& text, FrameRange& range);
};

// The numbered files on disk that match the pattern, sorted. Empty on
// success, otherwise the reason (the folder cannot be listed, or the frame
// number is not in the file name).
std::string list_frames(const FramePattern& pattern, std::vector<std::int64_t>& frames);
// The first and last frame of the files on disk, refusing a sequence with
// none and one with a gap (naming the first missing file). Empty on success.
std::string find_sequence(const FramePattern& pattern, FrameRange& range);
// Refuses the first frame of the range whose file does not exist, naming it.
std::string check_sequence(const FramePattern& pattern, const FrameRange& range);

}  // namespace shardcast::cli
