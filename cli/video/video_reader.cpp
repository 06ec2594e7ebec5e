// Decoding a clip's frames one by one, in presentation order, each turned
// into RGBA with its number and times. The packets of the clip's other
// streams are kept, as read, when a writer is to copy them.
#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "cli/video/colour.h"
#include "cli/video/ffmpeg_log.h"
#include "cli/video/ffmpeg_values.h"
#include "cli/video/reader_state.h"

namespace shardcast::cli {

bool video_supported() { return true; }

VideoReader::VideoReader() : state_(std::make_unique<State>()) {}
VideoReader::~VideoReader() = default;

const ClipInfo& VideoReader::info() const { return state_->info; }

namespace {

using ffmpeg::full_range;
using ffmpeg::is_rgb;
using ffmpeg::matrix_for;
using ffmpeg::reason;
using ffmpeg::scaler_flags;
using ffmpeg::seconds_of;
using ffmpeg::stored_value;
using ffmpeg::time_between;

std::string start_decoder(VideoReader::State& state) {
  const AVStream* stream = state.format->streams[state.video];
  const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
  state.decoder.reset(avcodec_alloc_context3(codec));
  if (state.decoder == nullptr) {
    return "out of memory";
  }
  if (const int result = avcodec_parameters_to_context(state.decoder.get(), stream->codecpar); result < 0) {
    return "cannot set up its decoder (" + reason(result) + ")";
  }
  state.decoder->pkt_timebase = stream->time_base;
  state.decoder->thread_count = 0;
  // A stream that grows past the limit is refused by the decoder before it
  // allocates the larger frame.
  state.decoder->max_pixels = state.max_pixels;
  if (const int result = avcodec_open2(state.decoder.get(), codec, nullptr); result < 0) {
    return "cannot start its " + std::string(codec->name) + " decoder (" + reason(result) + ")";
  }
  return {};
}

std::string to_rgba(VideoReader::State& state, const AVFrame& decoded, Image& image) {
  const ClipInfo& info = state.info;
  if (decoded.width != info.width || decoded.height != info.height) {
    return "the clip changes its frame size from " + std::to_string(info.width) + "x" + std::to_string(info.height) +
           " to " + std::to_string(decoded.width) + "x" + std::to_string(decoded.height) + " at frame " +
           std::to_string(state.next_number);
  }
  const auto format = static_cast<AVPixelFormat>(decoded.format);
  state.scaler.reset(sws_getCachedContext(state.scaler.release(), decoded.width, decoded.height, format, info.width,
                                          info.height, AV_PIX_FMT_RGBA, scaler_flags, nullptr, nullptr, nullptr));
  if (state.scaler == nullptr) {
    return "cannot convert its " + std::string(av_get_pix_fmt_name(format)) + " frames to RGBA";
  }
  if (!is_rgb(format)) {
    const int* matrix = sws_getCoefficients(matrix_for(stored_value(decoded.colorspace), info.height));
    sws_setColorspaceDetails(state.scaler.get(), matrix, full_range(format, stored_value(decoded.color_range)) ? 1 : 0,
                             matrix, 1, 0, 1 << 16, 1 << 16);
  }
  image.width = info.width;
  image.height = info.height;
  image.rgba.assign(static_cast<std::size_t>(info.width) * static_cast<std::size_t>(info.height) * 4, 0);
  std::uint8_t* planes[4] = {image.rgba.data(), nullptr, nullptr, nullptr};
  const int strides[4] = {info.width * 4, 0, 0, 0};
  sws_scale(state.scaler.get(), decoded.data, decoded.linesize, 0, decoded.height, planes, strides);
  return {};
}

// A decoded frame's number and times: its own timestamp where the stream
// gives one, else its place at the clip's rate.
std::string frame_times(VideoReader::State& state, const AVFrame& decoded, VideoFrame& frame) {
  std::int64_t timestamp = decoded.best_effort_timestamp;
  if (timestamp == AV_NOPTS_VALUE) {
    timestamp = av_rescale_q(state.next_number,
                             AVRational{static_cast<int>(state.info.rate.denominator),
                                        static_cast<int>(state.info.rate.numerator)},
                             state.time_base);
  }
  if (state.first_timestamp == AV_NOPTS_VALUE) {
    state.first_timestamp = timestamp;
  }
  frame.number = state.next_number;
  frame.timestamp = timestamp;
  frame.duration = decoded.pkt_duration > 0 ? decoded.pkt_duration : 0;
  std::int64_t since_first = 0;
  if (!time_between(timestamp, state.first_timestamp, since_first)) {
    return "the timestamp of frame " + std::to_string(state.next_number) + " lies out of reach of the first frame's";
  }
  frame.seconds = seconds_of(since_first, state.time_base);
  return {};
}

}  // namespace

namespace {

// One packet from the file: a video packet goes to the decoder, the other
// streams' are kept for the writer or dropped. Empty on success, otherwise
// the reason.
std::string read_packet(VideoReader::State& state) {
  const int read = av_read_frame(state.format.get(), state.packet.get());
  if (read == AVERROR_EOF && seek_further_back(state)) {
    return {};
  }
  if (read == AVERROR_EOF) {
    state.file_ended = true;
    avcodec_send_packet(state.decoder.get(), nullptr);
    return {};
  }
  if (read < 0) {
    return "reading the file failed after frame " + std::to_string(state.next_number) + " (" + reason(read) + ")";
  }
  if (state.packet->stream_index != state.video) {
    if (!state.keep_others) {
      av_packet_unref(state.packet.get());
      return {};
    }
    state.others.emplace_back(av_packet_alloc());
    if (state.others.back() == nullptr) {
      return "out of memory";
    }
    av_packet_move_ref(state.others.back().get(), state.packet.get());
    return {};
  }
  // A damaged packet is skipped, as players do; the decoder resynchronises.
  if (!state.seek.checking || accept_after_seek(state, *state.packet)) {
    avcodec_send_packet(state.decoder.get(), state.packet.get());
  }
  av_packet_unref(state.packet.get());
  return {};
}

}  // namespace

std::string VideoReader::next(VideoFrame& frame, bool& end) {
  State& state = *state_;
  end = false;
  if (state.decoder == nullptr) {
    if (std::string failure = start_decoder(state); !failure.empty()) {
      return failure;
    }
  }
  for (;;) {
    const int received = avcodec_receive_frame(state.decoder.get(), state.frame.get());
    if (received == 0) {
      if (!state.seek.numbering || number_after_seek(state, state.frame->best_effort_timestamp)) {
        break;
      }
      av_frame_unref(state.frame.get());  // the reader went back to the start
      continue;
    }
    if (received == AVERROR_EOF) {
      state.video_ended = true;
      end = true;
      return {};
    }
    if (received != AVERROR(EAGAIN)) {
      return "decoding frame " + std::to_string(state.next_number) + " failed (" + reason(received) + ")";
    }
    if (std::string failure = read_packet(state); !failure.empty()) {
      return failure;
    }
  }

  std::string failure = frame_times(state, *state.frame, frame);
  if (failure.empty()) {
    failure = to_rgba(state, *state.frame, frame.image);
  }
  av_frame_unref(state.frame.get());
  ++state.next_number;
  return failure;
}

}  // namespace shardcast::cli
