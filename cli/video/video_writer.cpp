// Writing a video output: the temporary file, its streams and header, each
// frame converted from RGBA and encoded in order, and at the end the
// encoder flushed, the other streams copied to the end of the last frame,
// and the file renamed into place.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>

#include "cli/video/ffmpeg_log.h"
#include "cli/video/ffmpeg_values.h"
#include "cli/video/writer_state.h"

namespace shardcast::cli {

VideoWriter::VideoWriter() : state_(std::make_unique<State>()) {}
VideoWriter::~VideoWriter() = default;

namespace {

using ffmpeg::reason;
using ffmpeg::seconds_of;
using ffmpeg::time_between;

// The output's video stream, described by the encoder; from a clip, with
// the clip's metadata, the video stream's own and its display matrix.
std::string add_video_stream(VideoWriter::State& state) {
  AVFormatContext& output = *state.output;
  state.video = avformat_new_stream(&output, nullptr);
  if (state.video == nullptr) {
    return "out of memory";
  }
  if (const int result = avcodec_parameters_from_context(state.video->codecpar, state.encoding.get()); result < 0) {
    return "cannot describe the video stream (" + reason(result) + ")";
  }
  state.video->time_base = state.encoding->time_base;
  state.video->avg_frame_rate = state.encoding->framerate;
  state.video->sample_aspect_ratio = state.encoding->sample_aspect_ratio;
  if (state.source == nullptr) {
    return {};
  }
  const AVFormatContext& input = *state.source->format;
  av_dict_copy(&output.metadata, input.metadata, 0);
  const AVStream& source_video = *input.streams[state.source->video];
  av_dict_copy(&state.video->metadata, source_video.metadata, 0);
  state.video->disposition = source_video.disposition;
  std::size_t rotation_size = 0;
  if (const std::uint8_t* rotation = av_stream_get_side_data(&source_video, AV_PKT_DATA_DISPLAYMATRIX, &rotation_size);
      rotation != nullptr) {
    if (std::uint8_t* copy = av_stream_new_side_data(state.video, AV_PKT_DATA_DISPLAYMATRIX, rotation_size);
        copy != nullptr) {
      std::memcpy(copy, rotation, rotation_size);
    }
  }
  return {};
}

std::string write_encoded(VideoWriter::State& state, const std::function<void()>& written = {}) {
  for (;;) {
    const int received = avcodec_receive_packet(state.encoding.get(), state.packet.get());
    if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) {
      return {};
    }
    if (received < 0) {
      return "encoding failed (" + reason(received) + ")";
    }
    state.packet->stream_index = state.video->index;
    av_packet_rescale_ts(state.packet.get(), state.encoding->time_base, state.video->time_base);
    if (const int result = av_interleaved_write_frame(state.output.get(), state.packet.get()); result < 0) {
      return "writing failed (" + reason(result) + ")";
    }
    if (written) {
      written();
    }
  }
}

std::string fraction_text(std::int64_t numerator, std::int64_t denominator) {
  return denominator == 1 ? std::to_string(numerator) : std::to_string(numerator) + "/" + std::to_string(denominator);
}

// The container's clock, as its muxer chose it, against the frames'
// spacing: a clock too coarse would give several frames one time.
std::string check_clock(const VideoWriter::State& state) {
  const AVRational tick = state.video->time_base;
  const FrameRate& rate = state.source != nullptr ? state.source->info.rate : state.options.rate;
  if (std::int64_t{tick.num} * rate.numerator <= std::int64_t{tick.den} * rate.denominator) {
    return {};
  }
  return "a " + lower_extension(state.target) + " file counts time in steps of " + fraction_text(tick.num, tick.den) +
         " s, too coarse for frames " + fraction_text(rate.denominator, rate.numerator) +
         " s apart: choose .mov or .mp4";
}

// Frames come in presentation order: each frame later than the one before
// must stay later on the container's clock, however the clip spaces them.
std::string check_tick(VideoWriter::State& state, const AVFrame& frame, std::int64_t number) {
  const std::int64_t tick = av_rescale_q(frame.pts, state.encoding->time_base, state.video->time_base);
  const bool later = state.last_pts == AV_NOPTS_VALUE || frame.pts > state.last_pts;
  state.last_pts = frame.pts;
  if (later && state.last_tick != AV_NOPTS_VALUE && tick <= state.last_tick) {
    return "frame " + std::to_string(number) + " falls on the same tick of the " + lower_extension(state.target) +
           " file's clock (" + fraction_text(state.video->time_base.num, state.video->time_base.den) +
           " s) as the frame before it: choose .mov or .mp4";
  }
  state.last_tick = tick;
  return {};
}

}  // namespace

std::string VideoWriter::open() {
  State& state = *state_;
  if (std::string refusal = check_output_path(state.target); !refusal.empty()) {
    return refusal;
  }
  if (std::string failure = open_encoder(state); !failure.empty()) {
    return failure;
  }
  state.temporary = temporary_path_beside(state.target);
  AVFormatContext* created = nullptr;
  if (const int result =
          avformat_alloc_output_context2(&created, state.container, nullptr, state.temporary.string().c_str());
      result < 0) {
    return "cannot set up the " + std::string(state.container->name) + " container (" + reason(result) + ")";
  }
  state.output.reset(created);
  if (std::string failure = add_video_stream(state); !failure.empty()) {
    return failure;
  }
  if (std::string failure = add_copied_streams(state); !failure.empty()) {
    return failure;
  }
  if (const int result = avio_open(&state.output->pb, state.temporary.string().c_str(), AVIO_FLAG_WRITE); result < 0) {
    return reason(result);
  }
  state.file_started = true;
  if (const int result = avformat_write_header(state.output.get(), nullptr); result < 0) {
    return "the " + std::string(state.container->name) + " container refused the streams (" + reason(result) + ")";
  }
  // Some muxers settle their clock only in the header.
  return check_clock(state);
}

std::string VideoWriter::write(const Image& image, const VideoFrame* timing) {
  State& state = *state_;
  if (image.width != state.width || image.height != state.height) {
    return "a frame of " + std::to_string(image.width) + "x" + std::to_string(image.height) +
           " pixels does not fit a video of " + std::to_string(state.width) + "x" + std::to_string(state.height);
  }
  if (const int result = av_frame_make_writable(state.frame.get()); result < 0) {
    return "out of memory (" + reason(result) + ")";
  }
  convert_frame(state, image);

  AVFrame& frame = *state.frame;
  if (timing != nullptr && state.source != nullptr) {
    if (!state.started) {
      state.start_timestamp = timing->timestamp;
      state.start_seconds = timing->seconds;
      state.from_clip_start = timing->number == 0;
    }
    if (!time_between(timing->timestamp, state.start_timestamp, frame.pts)) {
      return "the timestamp of frame " + std::to_string(timing->number) + " lies out of reach of the first frame's";
    }
    frame.pkt_duration = timing->duration;
    const double length = timing->duration > 0 ? seconds_of(timing->duration, state.source->time_base)
                                               : 1.0 / state.source->info.rate.per_second();
    state.end_seconds = timing->seconds + length;
  } else {
    frame.pts = state.next_index++;
    frame.pkt_duration = 1;
  }
  if (std::string refusal = check_tick(state, frame, timing != nullptr ? timing->number : state.next_index - 1);
      !refusal.empty()) {
    return refusal;
  }
  state.started = true;
  if (const int result = avcodec_send_frame(state.encoding.get(), &frame); result < 0) {
    return "encoding failed (" + reason(result) + ")";
  }
  if (std::string failure = write_encoded(state); !failure.empty()) {
    return failure;
  }
  return copy_other_packets(state, state.end_seconds);
}

std::string VideoWriter::finish(const std::function<void()>& waiting) {
  State& state = *state_;
  if (const int result = avcodec_send_frame(state.encoding.get(), nullptr); result < 0) {
    return "encoding failed (" + reason(result) + ")";
  }
  if (std::string failure = write_encoded(state, waiting); !failure.empty()) {
    return failure;
  }
  if (state.source != nullptr && state.started) {
    // A render to the clip's last frame copies the other streams to their
    // end; one that stops before copies them to the end of its last frame.
    VideoReader::State& source = *state.source;
    if (!source.video_ended) {
      if (std::string failure = read_other_packets(source, state.end_seconds); !failure.empty()) {
        return failure;
      }
    }
    const double until = source.video_ended ? std::numeric_limits<double>::infinity() : state.end_seconds;
    if (std::string failure = copy_other_packets(state, until); !failure.empty()) {
      return failure;
    }
    if (std::string failure = finish_audio(state); !failure.empty()) {
      return failure;
    }
  }
  if (const int result = av_write_trailer(state.output.get()); result < 0) {
    return "finishing the file failed (" + reason(result) + ")";
  }
  if (const int result = avio_closep(&state.output->pb); result < 0) {
    return reason(result);
  }
  std::error_code error;
  std::filesystem::rename(state.temporary, std::filesystem::path(state.target), error);
  if (error) {
    return error.message();
  }
  state.finished = true;
  return {};
}

}  // namespace shardcast::cli
