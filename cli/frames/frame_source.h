// Where a render's frames come from: the built-in sample frame, one
// picture, a numbered sequence of pictures, pictures on standard input, or
// a clip. Each frame comes with its frame number (the file's number in a
// sequence, the count from 0 in a clip or on standard input) and, from a
// clip, its timestamps.
//
// What can be known before the first frame is checked when the source is
// opened: a sequence's files are found (without --frames, from its first
// to its last file) and a gap is refused naming the missing file; a clip is
// probed and its frame size checked against the tool's limit; the last
// frame must have a time on the host's clock. A clip whose last frame a
// check needs (--seed-step, or a count near the clock's end) and that does
// not declare its frames has them counted first.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/commands/commands.h"
#include "cli/frames/frame_sequence.h"
#include "cli/frames/frame_timing.h"
#include "cli/pictures/image.h"
#include "cli/pictures/picture_stream.h"
#include "cli/video/video.h"

namespace shardcast::cli {

enum class SourceKind { Sample, Picture, Sequence, Stream, Clip };

struct SourceFrame {
  std::int64_t number = 0;
  Image image;
  std::optional<VideoFrame> timing;  // from a clip: its timestamps (the picture is in `image`)
  std::string warning;               // the input was damaged, but read
};

struct FrameSource {
  SourceKind kind = SourceKind::Sample;
  std::string name;  // as given, for messages
  Image picture;     // the sample frame or the one picture
  std::string picture_warning;
  FramePattern pattern;
  std::unique_ptr<PictureStreamReader> stream;
  std::unique_ptr<VideoReader> clip;
  FrameRange range;     // the frames to give
  bool bounded = true;  // false: a clip or standard input to its end
  std::optional<TimeRange> time;
  FrameRate rate;
  PictureLimits limits;
  std::int64_t next_number = 0;
  std::int64_t given = 0;
  std::int64_t first_decoded = -1;  // of a clip: the first frame decoded, where a part was sought

  // Exactly one frame will come.
  bool single() const;
  // How many frames will come; 0 when that is not known.
  std::int64_t expected_count() const;
  // The numbers of the first and last frame that will come, as far as they
  // are known before the first: `last` is -1 when it is not (a clip that
  // does not declare its frames and was not counted, a part of a clip by
  // time, pictures on standard input to their end).
  FrameRange expected_frames() const;
  // The next frame; `end` instead when there are no more. A clip's frames
  // that are left out are passed to `skipped` (their time in seconds).
  // Empty on success, otherwise the reason, naming what failed.
  std::string next(SourceFrame& frame, bool& end, const std::function<void(double)>& skipped);
};

// Classifies the input and opens it. Empty on success, otherwise the
// refusal.
std::string open_source(const RenderRequest& request, FrameSource& source);

}  // namespace shardcast::cli
