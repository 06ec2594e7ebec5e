// Where a render's frames go: one picture, a numbered sequence of
// pictures, pictures on standard output, or a video file.
//
// One picture is written when the render ends (so that an input with more
// frames than asked for is refused before anything is written); sequence
// pictures and pictures on standard output as each frame is done; a video
// into a temporary file that becomes the output only when every frame is
// in. Each written file appears whole or not at all; a name that is a
// symbolic link writes the file it points to and stays a link. The video
// encoder's libraries run with their own prints on standard error turned
// into the tool's lines.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "cli/commands/commands.h"
#include "cli/frames/frame_sequence.h"
#include "cli/pictures/image.h"
#include "cli/video/video.h"

namespace shardcast::cli {

enum class SinkKind { Picture, Sequence, Stream, Video };

struct FrameSink {
  FrameSink() = default;
  FrameSink(const FrameSink&) = delete;
  FrameSink& operator=(const FrameSink&) = delete;
  // A video not finished is dropped here, its temporary file removed.
  ~FrameSink();

  SinkKind kind = SinkKind::Picture;
  std::string name;  // as given
  FramePattern pattern;
  ImageFormat format = ImageFormat::Png;
  int quality = default_jpeg_quality;
  VideoOutputOptions video_options;
  std::unique_ptr<VideoWriter> video;
  std::optional<Image> held;  // the one picture, until the end
  std::int64_t held_frame = 0;
  std::int64_t written = 0;
  std::string video_description;  // kept once the writer is closed

  bool is_jpeg() const { return kind != SinkKind::Video && format == ImageFormat::Jpeg; }
  // Starts a video's file and encoder. Empty on success, otherwise the
  // reason.
  std::string open_video();
  // Writes one frame, in frame order. Empty on success, otherwise the
  // reason, naming the file.
  std::string write(std::int64_t frame, const Image& image, const VideoFrame* timing);
  // Completes the output and puts it in place; `waiting` is called while a
  // video's encoder writes its last frames. Empty on success, otherwise the
  // reason.
  std::string finish(const std::function<void()>& waiting = {});
  // Removes the picture or video that finish() put in place, when what
  // belongs with it could not be written.
  void remove_finished();
  // What was written, for the closing line ("out.mp4 (libx264 in mp4,
  // yuv420p)", "out_0001.png to out_0010.png").
  std::string describe(std::int64_t first, std::int64_t last) const;
};

// Classifies the output by its name and the options given; writes nothing.
// Empty on success, otherwise the refusal.
std::string plan_sink(const RenderRequest& request, FrameSink& sink);

}  // namespace shardcast::cli
