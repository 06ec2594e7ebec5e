// Video files in and out, through FFmpeg's libraries (libavformat,
// libavcodec, libswscale).
//
// Reading: the clip's first video stream that is not a cover picture, every
// frame in presentation order, converted to 8-bit RGBA the way players show
// it (the stream's colour matrix and range, or BT.709 for HD and BT.601
// below it when the stream does not say; alpha kept where the codec has
// it). The packets of every other stream (audio, subtitles, data) are kept
// as read, for the writer to copy.
//
// Writing: container by the output's extension, codec by --codec or by the
// container (H.264 through libx264 in .mp4, .m4v and .mkv, ProRes 4444 with
// alpha in .mov, VP9 in .webm, otherwise the container's own default), with
// the encoder's own options as given. The clip's frame timestamps, frame
// rate, pixel aspect ratio, rotation, colour description, depth and chroma
// layout are kept where the container and codec can hold them (a notice
// says what is not). The other streams are copied packet for packet,
// untouched; audio is copied, dropped or re-encoded as asked, and
// re-encoded with the container's usual codec when it cannot hold the
// clip's.
// The file is written under a temporary name beside the output and renamed
// into place by finish(); anything else (a failure, an interruption, the
// object going away) removes it.
//
// Refuses, before any frame: files FFmpeg cannot read or that hold no
// video, frames larger than the tool's limit (judged on the header where it
// declares a size, and held by every decoder FFmpeg opens while probing),
// clips of more than 100 streams, decoders and encoders this FFmpeg lacks,
// a codec the container cannot hold, a stream the container cannot take as
// it is, options the encoder has no use for, and a container whose clock
// is too coarse for the frames' spacing.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "cli/frames/frame_timing.h"
#include "cli/pictures/image.h"
#include "cli/pictures/picture_limits.h"

namespace shardcast::cli {

// False in a build without FFmpeg's libraries (the Windows build): every
// operation below then refuses.
bool video_supported();

// Whether an output name asks for a video: a container FFmpeg knows by the
// extension (picture extensions excepted).
bool is_video_output(const std::string& path);

struct ClipInfo {
  std::int32_t width = 0;
  std::int32_t height = 0;
  FrameRate rate;                  // average frames per second
  std::int64_t frame_count = 0;    // as the file declares or its duration suggests; 0 when unknown
  bool frame_count_known = false;  // declared by the container, or counted: the frames present
  std::string description;         // "h264 1280x720, 25 fps, with 1 audio stream"
};

struct VideoFrame {
  std::int64_t number = 0;  // counting from 0 in presentation order
  double seconds = 0;       // from the clip's first frame
  std::int64_t timestamp = 0;
  std::int64_t duration = 0;  // both in the stream's time base; 0 duration when unknown
  Image image;
};

class VideoReader {
 public:
  VideoReader();
  VideoReader(const VideoReader&) = delete;
  VideoReader& operator=(const VideoReader&) = delete;
  ~VideoReader();

  // Opens and probes the file; the decoder itself starts with the first
  // frame. Empty on success, otherwise the reason, worded to follow
  // "cannot read FILE: ".
  std::string open(const std::string& path, const PictureLimits& limits);
  // The same for a clip held in memory, which must outlive the reader.
  std::string open_memory(std::span<const std::uint8_t> bytes, const PictureLimits& limits);
  const ClipInfo& info() const;
  // Counts the video's frames in a pass of its own over the file, reading
  // packets without decoding them, so that a render can check its last
  // frame before the first: info().frame_count becomes the frames present.
  // Empty on success, otherwise the reason.
  std::string count_frames();
  // Before the first frame is read: moves to the nearest key frame before
  // frame `number`, or before the frame `seconds` after the first one, so
  // that next() decodes from there rather than from the start. The frames
  // keep the numbers and times a read from the start gives them. A clip
  // that cannot seek is read from its start.
  void seek_frame(std::int64_t number);
  void seek_time(double seconds);
  // The next frame; `end` is set instead when the clip has no more. Empty on
  // success, otherwise the reason.
  std::string next(VideoFrame& frame, bool& end);

  struct State;

 private:
  friend class VideoWriter;  // copies the other streams' packets
  std::unique_ptr<State> state_;
};

struct VideoOutputOptions {
  std::string codec;       // an FFmpeg encoder name; empty to follow the extension
  std::optional<int> crf;  // constant quality, for encoders that take it
  std::string preset;      // the encoder's speed preset
  std::string pixel_format;
  std::string bitrate;                                               // as FFmpeg writes it: 5M, 800k
  std::vector<std::pair<std::string, std::string>> encoder_options;  // the encoder's own, KEY=VALUE
  std::string audio = "copy";                                        // copy, none, or an audio encoder
  FrameRate rate;                                                    // frames from pictures: their rate
};

// What a writer has to say before the first frame: a warning (colour,
// rotation or size it cannot keep) or a note.
struct VideoNotice {
  bool warning = false;
  std::string text;
};

class VideoWriter {
 public:
  VideoWriter();
  VideoWriter(const VideoWriter&) = delete;
  VideoWriter& operator=(const VideoWriter&) = delete;
  ~VideoWriter();

  // Chooses the container, codec and pixel format for frames of the given
  // size and checks what can be checked without writing: every stream of
  // `source` (may be null) besides its video must fit the container. Empty
  // on success, otherwise the reason, worded to follow "cannot write FILE: ".
  std::string prepare(const std::string& path, const VideoOutputOptions& options, VideoReader* source,
                      std::int32_t width, std::int32_t height);
  // What the writer could not keep, and what it does instead, once
  // prepared.
  const std::vector<VideoNotice>& notices() const;
  // "libx264 in mp4, yuv420p, crf 18" and the like.
  std::string describe() const;
  // Starts the temporary file and the encoder.
  std::string open();
  // One frame, in order. From a clip, `timing` carries its timestamps; the
  // first frame written sets the start of the output, and the other
  // streams' packets from there on are copied from the reader.
  std::string write(const Image& frame, const VideoFrame* timing);
  // A frame of the clip left out before the first one written: the other
  // streams' packets that end by its time are dropped.
  void skip_to(double seconds);
  // Flushes the encoder, copies the other streams up to the end of the last
  // frame, closes the file and renames it into place. `waiting` is called
  // as each of the encoder's last packets is written.
  std::string finish(const std::function<void()>& waiting = {});

  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace shardcast::cli
