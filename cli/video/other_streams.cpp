// The clip's other streams (audio, subtitles, data) in a video output:
// copied packet for packet, untouched, or for audio encoded again
// (audio_encoding.cpp). The reader keeps their packets as it reads; the
// writer copies those that start within the frames written, on a clock
// that starts at the first written frame, and at the end reads on for
// those that still belong before the end of the last frame.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "cli/video/ffmpeg_log.h"
#include "cli/video/ffmpeg_values.h"
#include "cli/video/writer_state.h"

namespace shardcast::cli {
namespace {

using ffmpeg::packet_time;
using ffmpeg::reason;
using ffmpeg::seconds_of;
using ffmpeg::time_between;

// Where the clip's first frame lies in seconds of its stream's clock.
double first_frame_seconds(const VideoReader::State& state) {
  return state.first_timestamp == AV_NOPTS_VALUE ? 0.0 : seconds_of(state.first_timestamp, state.time_base);
}

// Out of a packet's time, seconds from the clip's first frame.
double packet_seconds(const VideoWriter::State& state, const AVPacket& packet, std::int64_t at) {
  const AVFormatContext& input = *state.source->format;
  return seconds_of(at, input.streams[packet.stream_index]->time_base) - first_frame_seconds(*state.source);
}

}  // namespace

std::string read_other_packets(VideoReader::State& state, double seconds) {
  const AVFormatContext& format = *state.format;
  if (!state.keep_others) {
    return {};
  }
  std::vector<bool> passed(format.nb_streams, false);
  passed[static_cast<std::size_t>(state.video)] = true;
  const double first = first_frame_seconds(state);
  while (!state.file_ended && !std::all_of(passed.begin(), passed.end(), [](bool p) { return p; })) {
    const int read = av_read_frame(state.format.get(), state.packet.get());
    if (read == AVERROR_EOF) {
      state.file_ended = true;
      break;
    }
    if (read < 0) {
      return "reading the file failed (" + reason(read) + ")";
    }
    const auto index = static_cast<std::size_t>(state.packet->stream_index);
    if (state.packet->stream_index == state.video) {
      av_packet_unref(state.packet.get());
      continue;
    }
    const std::int64_t at = packet_time(*state.packet);
    if (at != AV_NOPTS_VALUE && seconds_of(at, format.streams[index]->time_base) - first >= seconds) {
      passed[index] = true;
    }
    state.others.emplace_back(av_packet_alloc());
    if (state.others.back() == nullptr) {
      return "out of memory";
    }
    av_packet_move_ref(state.others.back().get(), state.packet.get());
  }
  return {};
}

std::string add_copied_streams(VideoWriter::State& state) {
  if (state.source == nullptr) {
    return {};
  }
  AVFormatContext& output = *state.output;
  const AVFormatContext& input = *state.source->format;
  for (unsigned i = 0; i < input.nb_streams; ++i) {
    if (state.stream_map[i] < 0) {
      continue;
    }
    if (AudioEncoding* encoding = audio_for(state, static_cast<int>(i)); encoding != nullptr) {
      if (std::string failure = open_audio(state, *encoding); !failure.empty()) {
        return failure;
      }
      state.stream_map[i] = static_cast<int>(output.nb_streams) - 1;
      continue;
    }
    const AVStream& from = *input.streams[i];
    AVStream* to = avformat_new_stream(&output, nullptr);
    if (to == nullptr) {
      return "out of memory";
    }
    if (const int result = avcodec_parameters_copy(to->codecpar, from.codecpar); result < 0) {
      return "cannot copy stream " + std::to_string(i) + " (" + reason(result) + ")";
    }
    to->codecpar->codec_tag = 0;
    to->time_base = from.time_base;
    to->disposition = from.disposition;
    av_dict_copy(&to->metadata, from.metadata, 0);
    state.stream_map[i] = to->index;
  }
  return {};
}

std::string copy_other_packets(VideoWriter::State& state, double until) {
  if (state.source == nullptr || !state.started) {
    return {};
  }
  std::deque<ffmpeg::PacketPointer>& queue = state.source->others;
  const AVFormatContext& input = *state.source->format;
  const std::int64_t video_start = state.start_timestamp;
  while (!queue.empty()) {
    AVPacket& packet = *queue.front();
    const std::int64_t at = packet_time(packet);
    const double seconds = at != AV_NOPTS_VALUE ? packet_seconds(state, packet, at) : state.start_seconds;
    if (seconds >= until) {
      break;
    }
    const AVRational base = input.streams[packet.stream_index]->time_base;
    const int to = state.stream_map[static_cast<std::size_t>(packet.stream_index)];
    // Packets are copied whole, so a part of a clip takes those that start
    // within it: none reaches before its first frame.
    const bool within = state.from_clip_start || seconds >= state.start_seconds - 1e-9;
    if (AudioEncoding* encoding = audio_for(state, packet.stream_index); to >= 0 && within && encoding != nullptr) {
      std::string failure = encode_audio(state, *encoding, packet, seconds);
      queue.pop_front();
      if (!failure.empty()) {
        return failure;
      }
      continue;
    }
    if (to >= 0 && within) {
      const std::int64_t shift = av_rescale_q(video_start, state.source->time_base, base);
      if ((packet.pts != AV_NOPTS_VALUE && !time_between(packet.pts, shift, packet.pts)) ||
          (packet.dts != AV_NOPTS_VALUE && !time_between(packet.dts, shift, packet.dts))) {
        const int stream = packet.stream_index;
        queue.pop_front();
        return "a packet of stream " + std::to_string(stream) + " has a time out of reach of the video's";
      }
      packet.stream_index = to;
      packet.pos = -1;
      av_packet_rescale_ts(&packet, base, state.output->streams[to]->time_base);
      if (const int result = av_interleaved_write_frame(state.output.get(), &packet); result < 0) {
        queue.pop_front();
        return "writing a copied packet failed (" + reason(result) + ")";
      }
    }
    queue.pop_front();
  }
  return {};
}

void VideoWriter::skip_to(double seconds) {
  State& state = *state_;
  if (state.source == nullptr || state.started) {
    return;
  }
  std::deque<ffmpeg::PacketPointer>& queue = state.source->others;
  while (!queue.empty()) {
    const AVPacket& packet = *queue.front();
    const std::int64_t at = packet_time(packet);
    if (at == AV_NOPTS_VALUE) {
      break;
    }
    if (packet_seconds(state, packet, at) > seconds) {
      break;
    }
    queue.pop_front();
  }
}

}  // namespace shardcast::cli
