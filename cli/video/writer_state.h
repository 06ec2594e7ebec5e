// What a VideoWriter holds, and the steps of writing that live in files
// of their own: setting up the encoder (encoder_setup.cpp) and the clip's
// other streams (other_streams.cpp).
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "cli/video/colour.h"
#include "cli/video/ffmpeg_owners.h"
#include "cli/video/reader_state.h"
#include "cli/video/video.h"

namespace shardcast::cli {

// One of the encoder's options, and how the summary names it.
struct EncoderSetting {
  std::string key;
  std::string value;
  std::string given;  // the option that set it: --crf, --preset, --bitrate, --encoder-option; empty for a default
};

// A stream of the clip whose audio is decoded and encoded again
// (audio_encoding.cpp).
struct AudioEncoding;
struct AudioEncodingDeleter {
  void operator()(AudioEncoding* encoding) const;
};

struct VideoWriter::State {
  std::string target;
  std::filesystem::path temporary;
  const AVOutputFormat* container = nullptr;
  const AVCodec* encoder = nullptr;
  AVPixelFormat pixel_format = AV_PIX_FMT_NONE;
  int matrix = SWS_CS_ITU601;
  ffmpeg::ColourDescription colour;  // the output's tags
  VideoOutputOptions options;
  std::vector<EncoderSetting> settings;  // the encoder's options, defaults first
  VideoReader::State* source = nullptr;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t coded_width = 0;  // padded to the chroma grid
  std::int32_t coded_height = 0;
  std::vector<std::uint8_t> padded;  // a padded frame
  std::vector<VideoNotice> notices;
  std::vector<int> stream_map;  // source stream index -> output stream index, -1 for the video and dropped streams
  std::vector<std::unique_ptr<AudioEncoding, AudioEncodingDeleter>> audio;  // the re-encoded audio streams

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

// The output's pictures (output_picture.cpp): the pixel format and coded
// size, refusing a --pix-fmt the encoder does not take; the colour tags and
// the matrix; the rotation. Each adds its notices.
std::string choose_pixel_format(VideoWriter::State& state);
void choose_colour(VideoWriter::State& state);
void check_rotation(VideoWriter::State& state);
// The frame the encoder takes, and the conversion from RGBA into it.
std::string start_conversion(VideoWriter::State& state);
void convert_frame(VideoWriter::State& state, const Image& image);

// The encoder's options (encoder_options.cpp): checked against the
// encoder before anything is written, then handed to it.
std::string choose_encoder_settings(VideoWriter::State& state);
AVDictionary* encoder_dictionary(const VideoWriter::State& state, AVCodecContext& context);
std::string settings_text(const VideoWriter::State& state);

// Audio the container cannot hold, or that --audio asks to re-encode
// (audio_encoding.cpp): the encoder chosen before anything is written,
// opened with its output stream, fed the packets the writer would have
// copied, and flushed at the end.
std::string plan_audio(VideoWriter::State& state, unsigned stream, const AVCodec& encoder);
std::string open_audio(VideoWriter::State& state, AudioEncoding& encoding);
std::string encode_audio(VideoWriter::State& state, AudioEncoding& encoding, const AVPacket& packet, double seconds);
std::string finish_audio(VideoWriter::State& state);
AudioEncoding* audio_for(const VideoWriter::State& state, int stream);
// ", stream 1 encoded as aac" for each, for the summary.
std::string audio_text(const VideoWriter::State& state);

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
