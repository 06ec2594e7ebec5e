// What a VideoReader holds. The writer reads it too: it copies the clip's
// other streams, whose packets the reader keeps for it, and takes the
// clip's clock, colour tags and aspect ratio.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <string>

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
  ClipInfo info;
};

}  // namespace shardcast::cli
