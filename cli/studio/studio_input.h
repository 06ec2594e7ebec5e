// The studio's input, frame by frame in any order: the one named on the
// command line (a picture, a frame pattern or a clip) or the built-in
// sample frame. Each frame is read exactly as `shardcast render INPUT
// --frames N` reads it, with the same readers and limits, so a frame
// exported from the page is the one the render command would render.
//
// A clip is read forward from where the last frame was taken, and from its
// start again when an earlier frame is asked for; the last few frames are
// kept, so that switching between the original and the glitched picture,
// or turning a knob, reads nothing again. Standard input is refused: the
// page may ask for any frame at any time.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <utility>

#include "cli/commands/commands.h"
#include "cli/frames/frame_source.h"
#include "cli/studio/studio.h"

namespace shardcast::cli {

struct InputInfo {
  SourceKind kind = SourceKind::Sample;
  std::string name;  // as given; empty for the sample frame
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int64_t first = 0;  // frame numbers: a sequence's files, a clip's frames from 0
  std::int64_t last = 0;
  FrameRate rate;
  std::string description;  // for the page: "clip.mp4: h264 1280x720, 25 fps"
};

class StudioInput {
 public:
  // Opens the input and checks what the render command checks before its
  // first frame. Empty on success, otherwise the refusal.
  std::string open(const StudioRequest& request);
  const InputInfo& info() const { return info_; }
  // The request a render of this input starts from: input, limits and
  // sample size.
  const RenderRequest& request() const { return request_; }
  // Frame `number`, from info().first to info().last. Empty on success,
  // otherwise the reason; `warning` says what was damaged but read.
  std::string frame(std::int64_t number, std::shared_ptr<const Image>& image, std::string& warning);

 private:
  std::string read_sequence_frame(std::int64_t number, SourceFrame& frame);
  std::string read_clip_frame(std::int64_t number, SourceFrame& frame);

  RenderRequest request_;
  InputInfo info_;
  FrameSource clip_;  // read forward; reopened to go back
  std::shared_ptr<const Image> picture_;
  std::string picture_warning_;
  std::deque<std::pair<std::int64_t, std::shared_ptr<const Image>>> kept_;
};

}  // namespace shardcast::cli
