// Opening a clip, from a file or from memory, held to the tool's limits
// before FFmpeg allocates anything in proportion to what the file claims:
// probing is bounded in bytes, time and streams, the frame size a header
// declares is judged before probing decodes anything, and every decoder
// that probing opens gets the pixel limit. Counting a clip's frames is a
// second pass over its packets, with nothing decoded.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/video/ffmpeg_log.h"
#include "cli/video/ffmpeg_owners.h"
#include "cli/video/ffmpeg_values.h"
#include "cli/video/reader_state.h"

namespace shardcast::cli {
namespace {

using ffmpeg::codec_name;
using ffmpeg::end_holding;
using ffmpeg::hold_library_lines;
using ffmpeg::logged_error;
using ffmpeg::quiet_library_log;
using ffmpeg::reason;
using ffmpeg::seconds_of;

// What reading a clip may cost before its first frame. Probing reads at
// most 5 MB or 5 seconds of it (FFmpeg's defaults, fixed here so that no
// build or environment widens them); a real clip shows every stream's kind
// and codec well within that. A clip of more streams than this is refused
// rather than probed stream by stream.
constexpr const char* probe_bytes = "5000000";
constexpr const char* probe_microseconds = "5000000";
constexpr const char* most_streams = "100";
// Each decoder opened while probing gets the pixel limit, and an audio
// decoder a bound on the samples of one frame (a real one holds a few
// thousand; 4 Mi samples over all channels is seconds of sound).
constexpr std::int64_t most_audio_samples = std::int64_t{1} << 22;

// Frames in so many seconds at a rate, for a clip that does not say; 0
// when that is no count at all.
std::int64_t guess_count(double seconds, const FrameRate& rate) {
  const double frames = seconds * rate.per_second();
  return frames >= 0 && frames < 1e15 ? std::llround(frames) : 0;
}

int read_memory(void* opaque, std::uint8_t* buffer, int size) {
  ClipBytes& bytes = *static_cast<ClipBytes*>(opaque);
  const std::size_t left = bytes.memory.size() - bytes.position;
  const std::size_t count = std::min(left, static_cast<std::size_t>(std::max(size, 0)));
  if (count == 0) {
    return AVERROR_EOF;
  }
  std::memcpy(buffer, bytes.memory.data() + bytes.position, count);
  bytes.position += count;
  return static_cast<int>(count);
}

std::int64_t seek_memory(void* opaque, std::int64_t offset, int whence) {
  ClipBytes& bytes = *static_cast<ClipBytes*>(opaque);
  const auto size = static_cast<std::int64_t>(bytes.memory.size());
  std::int64_t base = 0;
  switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
      return size;
    case SEEK_SET:
      break;
    case SEEK_CUR:
      base = static_cast<std::int64_t>(bytes.position);
      break;
    case SEEK_END:
      base = size;
      break;
    default:
      return AVERROR(EINVAL);
  }
  if (offset < -base || offset > size - base) {
    return AVERROR(EINVAL);
  }
  bytes.position = static_cast<std::size_t>(base + offset);
  return base + offset;
}

}  // namespace

int open_demuxer(ClipBytes& bytes, ffmpeg::IoContext& io, ffmpeg::InputContext& format) {
  AVFormatContext* opened = avformat_alloc_context();
  if (opened == nullptr) {
    return AVERROR(ENOMEM);
  }
  if (bytes.path.empty()) {
    constexpr int buffer_size = 1 << 15;
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(buffer_size));
    io.reset(buffer != nullptr ? avio_alloc_context(buffer, buffer_size, 0, &bytes, &read_memory, nullptr, &seek_memory)
                               : nullptr);
    if (io == nullptr) {
      av_free(buffer);
      avformat_free_context(opened);
      return AVERROR(ENOMEM);
    }
    opened->pb = io.get();
    opened->flags |= AVFMT_FLAG_CUSTOM_IO;
  }
  AVDictionary* options = nullptr;
  av_dict_set(&options, "probesize", probe_bytes, 0);
  av_dict_set(&options, "analyzeduration", probe_microseconds, 0);
  av_dict_set(&options, "max_streams", most_streams, 0);
  const int result = avformat_open_input(&opened, bytes.path.empty() ? "" : bytes.path.c_str(), nullptr, &options);
  av_dict_free(&options);
  format.reset(opened);  // avformat_open_input frees the context when it fails
  return result;
}

namespace {

// The clip's first video stream that is not a cover picture; -1 when none.
int find_video(const AVFormatContext& format) {
  for (unsigned i = 0; i < format.nb_streams; ++i) {
    const AVStream& stream = *format.streams[i];
    if (stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO && (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) == 0) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

// Reads far enough to know every stream, each decoder that probing opens
// held to the limits.
int probe_streams(AVFormatContext& format, std::int64_t max_pixels) {
  std::vector<AVDictionary*> options(format.nb_streams, nullptr);
  for (AVDictionary*& stream_options : options) {
    av_dict_set_int(&stream_options, "max_pixels", max_pixels, 0);
    av_dict_set_int(&stream_options, "max_samples", most_audio_samples, 0);
  }
  const int result = avformat_find_stream_info(&format, options.empty() ? nullptr : options.data());
  for (AVDictionary*& stream_options : options) {
    av_dict_free(&stream_options);
  }
  return result;
}

// The frame size a stream declares, checked against the limit.
std::string check_frame_size(const AVStream& stream, const PictureLimits& limits) {
  return limits.check_size("each frame", static_cast<std::uint64_t>(std::max(stream.codecpar->width, 0)),
                           static_cast<std::uint64_t>(std::max(stream.codecpar->height, 0)));
}

// Rate, frame count and description, from the probed header.
void describe_clip(VideoReader::State& state, int others) {
  AVFormatContext& format = *state.format;
  AVStream& stream = *format.streams[state.video];
  ClipInfo& info = state.info;
  const AVRational guessed = av_guess_frame_rate(&format, &stream, nullptr);
  if (!FrameRate::from_fraction(guessed.num, guessed.den, info.rate)) {
    info.rate = FrameRate{25, 1};
  }
  if (stream.nb_frames > 0) {
    info.frame_count = stream.nb_frames;
    info.frame_count_known = true;
  } else if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0) {
    info.frame_count = guess_count(seconds_of(stream.duration, stream.time_base), info.rate);
  } else if (format.duration != AV_NOPTS_VALUE && format.duration > 0) {
    info.frame_count = guess_count(static_cast<double>(format.duration) / AV_TIME_BASE, info.rate);
  }
  char rate[32];
  std::snprintf(rate, sizeof rate, "%.6g", info.rate.per_second());
  info.description = codec_name(stream.codecpar->codec_id) + " " + std::to_string(info.width) + "x" +
                     std::to_string(info.height) + ", " + rate + " fps";
  if (others > 0) {
    info.description += ", with " + std::to_string(others) + (others == 1 ? " other stream" : " other streams");
  }
}

std::string open_clip(VideoReader::State& state, const PictureLimits& limits) {
  if (state.packet == nullptr || state.frame == nullptr) {
    return "out of memory";
  }
  state.max_pixels = static_cast<std::int64_t>(std::min<std::uint64_t>(limits.max_pixels, INT_MAX));
  if (const int result = open_demuxer(state.bytes, state.io, state.format); result < 0) {
    return "not a picture or a video FFmpeg reads (" + reason(result) + ")";
  }
  // A size the header declares is judged before probing decodes anything.
  if (const int declared = find_video(*state.format); declared >= 0) {
    const AVCodecParameters& parameters = *state.format->streams[declared]->codecpar;
    if (parameters.width > 0 && parameters.height > 0) {
      if (std::string refusal = check_frame_size(*state.format->streams[declared], limits); !refusal.empty()) {
        return refusal;
      }
    }
  }
  if (const int result = probe_streams(*state.format, state.max_pixels); result < 0) {
    return "cannot find its streams (" + reason(result) + ")";
  }
  AVFormatContext& format = *state.format;
  state.video = find_video(format);
  if (state.video < 0) {
    return "it holds no video stream";
  }
  const AVStream& stream = *format.streams[state.video];
  state.time_base = stream.time_base;
  state.info.width = stream.codecpar->width;
  state.info.height = stream.codecpar->height;
  if (state.info.width <= 0 || state.info.height <= 0) {
    // A decoder that met a size beyond the limit while probing leaves none.
    return "the frame size of its video is unknown or beyond the limit of " + std::to_string(limits.max_pixels) +
           " pixels; --max-pixels raises it" + logged_error();
  }
  if (std::string refusal = check_frame_size(stream, limits); !refusal.empty()) {
    return refusal;
  }
  if (avcodec_find_decoder(stream.codecpar->codec_id) == nullptr) {
    return "this FFmpeg has no decoder for its " + codec_name(stream.codecpar->codec_id) + " video";
  }
  describe_clip(state, static_cast<int>(format.nb_streams) - 1);
  return {};
}

std::string open_holding_lines(VideoReader::State& state, const PictureLimits& limits) {
  quiet_library_log();
  hold_library_lines();
  std::string refusal = open_clip(state, limits);
  end_holding(refusal.empty());
  return refusal;
}

}  // namespace

std::string VideoReader::open(const std::string& path, const PictureLimits& limits) {
  state_->bytes = ClipBytes{path, {}, 0};
  return open_holding_lines(*state_, limits);
}

std::string VideoReader::open_memory(std::span<const std::uint8_t> bytes, const PictureLimits& limits) {
  state_->bytes = ClipBytes{{}, bytes, 0};
  return open_holding_lines(*state_, limits);
}

namespace {

std::string count_packets(VideoReader::State& state) {
  // A second demuxer over the same bytes; the first keeps its place. The
  // video keeps its stream number: streams are numbered in the order the
  // file brings them, whether its header lists them or packets do.
  ClipBytes bytes{state.bytes.path, state.bytes.memory, 0};
  ffmpeg::IoContext io;
  ffmpeg::InputContext format;
  if (const int result = open_demuxer(bytes, io, format); result < 0) {
    return "cannot read it again to count its frames (" + reason(result) + ")";
  }
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    if (static_cast<int>(i) != state.video) {
      format->streams[i]->discard = AVDISCARD_ALL;
    }
  }
  const ffmpeg::PacketPointer packet{av_packet_alloc()};
  if (packet == nullptr) {
    return "out of memory";
  }
  std::int64_t count = 0;
  for (;;) {
    const int read = av_read_frame(format.get(), packet.get());
    if (read == AVERROR_EOF) {
      break;
    }
    if (read < 0) {
      return "counting its frames failed after " + std::to_string(count) + " (" + reason(read) + ")";
    }
    // Empty packets (a dropped frame, in AVI) and those marked for
    // discarding give no frame.
    if (packet->stream_index == state.video && packet->size > 0 && (packet->flags & AV_PKT_FLAG_DISCARD) == 0) {
      ++count;
    }
    av_packet_unref(packet.get());
  }
  state.info.frame_count = count;
  state.info.frame_count_known = true;
  return {};
}

}  // namespace

// FFmpeg's lines from the second pass repeat those of the first.
std::string VideoReader::count_frames() {
  hold_library_lines();
  std::string failure = count_packets(*state_);
  end_holding(false);
  return failure;
}

}  // namespace shardcast::cli
