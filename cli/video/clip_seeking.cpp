// Seeking to a part of a clip: the reader moves to the nearest key frame
// before the part's first frame and decodes forward from there, so a part
// costs what its own frames cost, not what every frame before it costs.
//
// The frames keep the numbers and times a read from the start gives them:
// a pass over the video packets from the start, reading and not decoding,
// finds the presentation times of the frames up to the part. Packets come
// in decoding order, whose times only grow, and a frame is never shown
// before it is decoded, so once the decoding time has passed a presentation
// time, no frame still to come is shown before it: the times behind the
// decoding time are final, and come out in presentation order.
//
// Where a seek lands is checked: packets are dropped up to the first key
// frame, which must come no later than the part's first frame. Containers
// with an index of key frames land on one; others (MPEG-TS) land anywhere,
// or after the part; the reader then seeks again further back, twice as
// far each time, until it lands before the part or at the clip's start. A
// clip whose video packets do not all carry their presentation time (AVI)
// or whose times contradict the order above is read from its start, as a
// clip that cannot seek at all is.
#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <queue>
#include <vector>

#include "cli/video/ffmpeg_values.h"
#include "cli/video/reader_state.h"

namespace shardcast::cli {
namespace {

using ffmpeg::packet_time;

// Presentation times made final as the decoding time passes them.
struct TimeOrder {
  std::priority_queue<std::int64_t, std::vector<std::int64_t>, std::greater<>> pending;
  std::vector<std::int64_t>& times;
  std::int64_t passed = AV_NOPTS_VALUE;  // the latest decoding time

  // False when the packet has no presentation time, or contradicts the
  // order (a frame shown before the decoding time already passed).
  bool add(const AVPacket& packet) {
    if (packet.pts == AV_NOPTS_VALUE || (passed != AV_NOPTS_VALUE && packet.pts < passed)) {
      return false;
    }
    pending.push(packet.pts);
    if (packet.dts != AV_NOPTS_VALUE && (passed == AV_NOPTS_VALUE || packet.dts > passed)) {
      passed = packet.dts;
      release(passed);
    }
    return true;
  }
  void release(std::int64_t before) {
    while (!pending.empty() && pending.top() < before) {
      times.push_back(pending.top());
      pending.pop();
    }
  }
  void release_all() {
    while (!pending.empty()) {
      times.push_back(pending.top());
      pending.pop();
    }
  }
};

// Reads the video packets from the start in a demuxer of its own until
// `enough` says the times found are enough. False when the clip gives
// nothing to seek by.
bool find_times(VideoReader::State& state, const std::function<bool(const TimeOrder&)>& enough) {
  ClipBytes bytes{state.bytes.path, state.bytes.memory, 0};
  ffmpeg::IoContext io;
  ffmpeg::InputContext format;
  const ffmpeg::PacketPointer packet{av_packet_alloc()};
  if (packet == nullptr || open_demuxer(bytes, io, format) < 0 ||
      format->nb_streams <= static_cast<unsigned>(state.video)) {
    return false;
  }
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    format->streams[i]->discard = static_cast<int>(i) == state.video ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  }
  SeekState& seek = state.seek;
  seek.times.clear();
  seek.first_position = -1;
  TimeOrder order{{}, seek.times};
  for (;;) {
    const int read = av_read_frame(format.get(), packet.get());
    if (read == AVERROR_EOF) {
      order.release_all();
      return !seek.times.empty();
    }
    if (read < 0) {
      return false;
    }
    // As the frame count: empty and discarded packets give no frame.
    const bool frame =
        packet->stream_index == state.video && packet->size > 0 && (packet->flags & AV_PKT_FLAG_DISCARD) == 0;
    const bool usable = !frame || order.add(*packet);
    if (frame && seek.first_position < 0) {
      seek.first_position = packet->pos;
    }
    av_packet_unref(packet.get());
    if (!usable) {
      return false;
    }
    if (enough(order)) {
      return true;
    }
  }
}

// Moves the reader to the key frame at or before `timestamp` (for some
// containers, near it), or to a position in the file; what it read and
// decoded before is dropped.
bool move_to(VideoReader::State& state, std::int64_t timestamp, int flags = AVSEEK_FLAG_BACKWARD) {
  if (av_seek_frame(state.format.get(), flags == AVSEEK_FLAG_BYTE ? -1 : state.video, timestamp, flags) < 0) {
    return false;
  }
  if (state.decoder != nullptr) {
    avcodec_flush_buffers(state.decoder.get());
  }
  state.others.clear();
  state.file_ended = false;
  state.video_ended = false;
  return true;
}

// To the clip's first frame, where the first key frame is taken whatever
// its time: by its place in the file where the container can go there
// (a search by time, in a container without an index, may land after it).
void move_to_start(VideoReader::State& state) {
  SeekState& seek = state.seek;
  seek.from_start = true;
  seek.checking = true;
  seek.numbering = true;
  const bool by_place = seek.first_position >= 0 && (state.format->iformat->flags & AVFMT_NO_BYTE_SEEK) == 0;
  if (!by_place || !move_to(state, seek.first_position, AVSEEK_FLAG_BYTE)) {
    move_to(state, seek.times.front());
  }
}

// Where the move fails, the reader stays at the start.
void seek_to(VideoReader::State& state, std::int64_t target) {
  SeekState& seek = state.seek;
  if (!move_to(state, target)) {
    return;
  }
  seek.target = target;
  seek.step_back = 0;
  seek.checking = true;
  seek.numbering = true;
  seek.from_start = false;
  state.first_timestamp = seek.times.front();
}

// One frame's length on the stream's clock, at least one tick.
std::int64_t frame_ticks(const VideoReader::State& state) {
  const FrameRate& rate = state.info.rate;
  const AVRational frame{static_cast<int>(rate.denominator), static_cast<int>(rate.numerator)};
  return std::max<std::int64_t>(av_rescale_q(1, frame, state.time_base), 1);
}

}  // namespace

bool accept_after_seek(VideoReader::State& state, const AVPacket& packet) {
  SeekState& seek = state.seek;
  if ((packet.flags & AV_PKT_FLAG_KEY) == 0) {
    return false;
  }
  const std::int64_t at = packet_time(packet);
  if (seek.from_start || (at != AV_NOPTS_VALUE && at <= seek.target)) {
    seek.checking = false;
    return true;
  }
  seek_further_back(state);
  return false;
}

bool seek_further_back(VideoReader::State& state) {
  SeekState& seek = state.seek;
  if (!seek.checking || seek.from_start) {
    return false;
  }
  seek.step_back = seek.step_back == 0 ? frame_ticks(state) : seek.step_back * 2;
  std::int64_t earlier = 0;
  if (__builtin_sub_overflow(seek.target, seek.step_back, &earlier) || earlier <= seek.times.front() ||
      !move_to(state, earlier)) {
    move_to_start(state);
  }
  return true;
}

bool number_after_seek(VideoReader::State& state, std::int64_t timestamp) {
  SeekState& seek = state.seek;
  seek.numbering = false;
  const auto found = std::lower_bound(seek.times.begin(), seek.times.end(), timestamp);
  if (timestamp != AV_NOPTS_VALUE && found != seek.times.end() && *found == timestamp) {
    state.next_number = found - seek.times.begin();
    return true;
  }
  if (seek.from_start) {
    state.next_number = 0;  // as a read from the start counts
    return true;
  }
  move_to_start(state);
  return false;
}

void VideoReader::seek_frame(std::int64_t number) {
  State& state = *state_;
  const auto wanted = static_cast<std::size_t>(number);
  if (number <= 0 || state.next_number != 0 ||
      !find_times(state, [wanted](const TimeOrder& order) { return order.times.size() > wanted; })) {
    return;
  }
  // A clip with fewer frames is read from its last key frame to its end.
  const std::vector<std::int64_t>& times = state.seek.times;
  seek_to(state, times[std::min(wanted, times.size() - 1)]);
}

void VideoReader::seek_time(double seconds) {
  State& state = *state_;
  // Ticks of the stream's clock from the first frame, rounded down: the
  // key frame found lies at or before every frame the part holds.
  const double ticks = std::floor(seconds * state.time_base.den / state.time_base.num);
  if (!(ticks >= 1) || ticks > 0x1p60 || state.next_number != 0) {
    return;
  }
  const auto offset = static_cast<std::int64_t>(ticks);
  std::int64_t target = 0;
  const auto past_target = [&](const TimeOrder& order) {
    return !order.times.empty() && !__builtin_add_overflow(order.times.front(), offset, &target) &&
           order.passed > target;
  };
  if (!find_times(state, past_target) || state.seek.times.empty() ||
      __builtin_add_overflow(state.seek.times.front(), offset, &target)) {
    return;
  }
  seek_to(state, target);
}

}  // namespace shardcast::cli
