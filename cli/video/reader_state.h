// What a VideoReader holds. The writer reads it too: it copies the clip's
// other streams, whose packets the reader keeps for it, and takes the
// clip's clock, colour tags and aspect ratio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <vector>

#include "cli/video/ffmpeg_owners.h"
#include "cli/video/video.h"

namespace shardcast::cli {

// Where a clip's bytes come from: a file, or memory read through our own
// AVIOContext (which FFmpeg does not free).
struct ClipBytes {
  std::string path;
  std::span<const std::uint8_t> memory;
  std::size_t position = 0;
};

// A seek in a clip (clip_seeking.cpp). The frames of a clip are numbered
// in presentation order from its start; a pass over the video packets up
// to the part wanted finds the presentation times of the frames before it,
// in order, so that the frames decoded after the seek keep their numbers.
struct SeekState {
  std::vector<std::int64_t> times;       // frame k's presentation time is times[k]
  std::int64_t target = AV_NOPTS_VALUE;  // the time of the first frame wanted
  std::int64_t step_back = 0;            // how far before the target the last seek went
  std::int64_t first_position = -1;      // the file position of the first frame's packet, where known
  bool checking = false;                 // video packets are dropped until a key frame no later than the target
  bool numbering = false;                // the next decoded frame takes its number from `times`
  bool from_start = false;               // the last seek went to the clip's first frame
};

struct VideoReader::State {
  ClipBytes bytes;
  ffmpeg::IoContext io;  // memory only; outlives `format`, declared before it
  ffmpeg::InputContext format;
  int video = -1;
  AVRational time_base{1, 25};
  std::int64_t max_pixels = 0;  // as FFmpeg's decoders take it
  ffmpeg::CodecContext decoder;
  ffmpeg::ScalerPointer scaler;
  ffmpeg::PacketPointer packet{av_packet_alloc()};
  ffmpeg::FramePointer frame{av_frame_alloc()};
  std::deque<ffmpeg::PacketPointer> others;  // packets of the other streams, in file order
  std::int64_t next_number = 0;
  std::int64_t first_timestamp = AV_NOPTS_VALUE;
  bool keep_others = false;  // a writer copies them
  bool file_ended = false;
  bool video_ended = false;
  SeekState seek;
  ClipInfo info;
};

// Opens the demuxer on a file or on memory, with probing bounded and
// nothing but the header read (clip_opening.cpp).
int open_demuxer(ClipBytes& bytes, ffmpeg::IoContext& io, ffmpeg::InputContext& format);

// A video packet read after a seek: true to decode from it (a key frame no
// later than the part), false to drop it, having moved again where the key
// frame comes after the part (clip_seeking.cpp).
bool accept_after_seek(VideoReader::State& state, const AVPacket& packet);
// The key frame wanted came after the part, or never came: seeks again,
// twice as far back, or to the clip's start. False when the reader is not
// looking for one.
bool seek_further_back(VideoReader::State& state);
// Numbers the first frame decoded after a seek by its time: true when it
// has its number, false when its time is not a frame's and the reader has
// gone back to the clip's first frame instead.
bool number_after_seek(VideoReader::State& state, std::int64_t timestamp);

}  // namespace shardcast::cli
