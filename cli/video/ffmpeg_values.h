// FFmpeg's values read with care: enumerations a damaged clip may fill
// with other numbers, names that may be missing, timestamps that may not
// fit in one difference.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace shardcast::cli::ffmpeg {

// FFmpeg copies some colour fields from the bitstream as they are, so a
// damaged clip can hold a value outside the field's enumeration, which must
// not be loaded as one: the stored number is read instead.
template <typename Enum>
int stored_value(const Enum& field) {
  static_assert(sizeof(Enum) == sizeof(int));
  int value = 0;
  std::memcpy(&value, &field, sizeof value);
  return value;
}

inline std::string media_name(AVMediaType type) {
  const char* name = av_get_media_type_string(type);
  return name != nullptr ? name : "unknown";
}

inline std::string codec_name(AVCodecID id) {
  const char* name = avcodec_get_name(id);
  return name != nullptr ? name : "unknown";
}

inline double seconds_of(std::int64_t timestamp, AVRational base) {
  return static_cast<double>(timestamp) * av_q2d(base);
}

// later - earlier in one time base; false when timestamps a damaged file
// gives lie too far apart for 64 bits.
inline bool time_between(std::int64_t later, std::int64_t earlier, std::int64_t& difference) {
  return !__builtin_sub_overflow(later, earlier, &difference);
}

// Presentation time, else decoding time; AV_NOPTS_VALUE when it has neither.
inline std::int64_t packet_time(const AVPacket& packet) {
  return packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts;
}

}  // namespace shardcast::cli::ffmpeg
