// What a VideoWriter holds, and the steps of writing that live in files
// of their own: setting up the encoder (encoder_setup.cpp) and the clip's
// other streams (other_streams.cpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "cli/video/colour.h"
#include "cli/video/ffmpeg_owners.h"
#include "cli/video/reader_state.h"
#include "cli/video/video.h"

namespace shardcast::cli {

struct VideoWriter::State {
  std::string target;
  std::filesystem::path temporary;
  const AVOutputFormat* container = nullptr;
  const AVCodec* encoder = nullptr;
  AVPixelFormat pixel_format = AV_PIX_FMT_NONE;
  int matrix = SWS_CS_ITU601;
  VideoOutputOptions options;
  VideoReader::State* source = nullptr;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::vector<int> stream_map;  // source stream index -> output stream index, -1 for the video

  ffmpeg::OutputContext output;
  ffmpeg::CodecContext encoding;
  AVStream* video = nullptr;
  ffmpeg::ScalerPointer scaler;
  ffmpeg::FramePointer frame{av_frame_alloc()};
  ffmpeg::PacketPointer packet{av_packet_alloc()};
  bool file_started = false;
  bool finished = false;

  bool started = false;                     // a frame has been written
  std::int64_t start_timestamp = 0;         // the first written frame's, in the source's video time base
  double start_seconds = 0;                 // the same, from the clip's first frame
  bool from_clip_start = false;             // it is the clip's first frame: nothing before it is cut
  double end_seconds = 0;                   // the end of the last frame written
  std::int64_t next_index = 0;              // frames from pictures
  std::int64_t last_pts = AV_NOPTS_VALUE;   // the last frame's time, in the encoder's time base
  std::int64_t last_tick = AV_NOPTS_VALUE;  // the same on the container's clock

  ~State() {
    if (file_started && !finished) {
      output.reset();
      std::error_code error;
      std::filesystem::remove(temporary, error);
    }
  }
};

// Opens the encoder the writer prepared, with the frame it fills and the
// conversion from RGBA.
std::string open_encoder(VideoWriter::State& state);

// The output's copies of the clip's other streams.
std::string add_copied_streams(VideoWriter::State& state);
// Copies the queued packets of the other streams that start before
// `until`, dropping those that start before the output's start; the rest
// stay queued. The output's clock starts at the first written frame.
std::string copy_other_packets(VideoWriter::State& state, double until);
// Past the last frame a render wants, reads on until every other stream
// has passed `seconds` (or the file ends), so that their packets up to
// there can be copied.
std::string read_other_packets(VideoReader::State& state, double seconds);

}  // namespace shardcast::cli
