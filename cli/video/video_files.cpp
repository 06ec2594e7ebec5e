// Video reading and writing with FFmpeg's libraries.
//
// Every FFmpeg object lives in an owner that frees it, so each path out of
// a function releases what it made. FFmpeg writes its own log to standard
// error; here its errors are kept instead and the last one goes into the
// tool's one-line refusal, while its warnings and notes become the tool's
// own lines at their level (tool_log.h), so nothing but "shardcast: " lines
// reaches the user. The log is process-wide in FFmpeg, hence the one lock
// below.
//
// Colour: a clip's frames become RGBA with the matrix and range the stream
// declares (BT.709 for 720 lines and more, BT.601 below, when it declares
// none, as players guess); frames going out are converted back with the
// same choice and tagged with it. The conversions are the bit-exact ones of
// libswscale, so the same file gives the same pixels on every machine.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <limits>
#include <mutex>
#include <numeric>
#include <span>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include "cli/messages/tool_log.h"
#include "cli/video/video.h"

namespace shardcast::cli {
namespace {

// ---- FFmpeg's log ----

struct HeldLine {
  LibraryLevel level;
  std::string library;
  std::string text;
};

struct LibraryLog {
  std::mutex lock;
  std::string last_error;
  bool holding = false;  // lines are kept in `held` instead of shown
  std::vector<HeldLine> held;
};

LibraryLog& library_log() {
  static LibraryLog log;
  return log;
}

// The name of what logged: "libx264", "mov,mp4,m4a,3gp,3g2,mj2".
std::string logger_name(void* context) {
  const AVClass* const* named = static_cast<const AVClass* const*>(context);
  if (named == nullptr || *named == nullptr || (*named)->item_name == nullptr) {
    return {};
  }
  const char* name = (*named)->item_name(context);
  return name != nullptr ? name : "";
}

void keep_log_line(void* context, int level, const char* format, va_list arguments) {
  if (level > AV_LOG_INFO) {
    return;
  }
  char line[512];
  std::vsnprintf(line, sizeof line, format, arguments);
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) {
    return;
  }
  // An error is shown as it comes only when verbose; the last one goes
  // into the refusal.
  HeldLine kept{level > AV_LOG_ERROR && level <= AV_LOG_WARNING ? LibraryLevel::Warning : LibraryLevel::Info,
                logger_name(context), text};
  LibraryLog& log = library_log();
  {
    const std::lock_guard<std::mutex> guard(log.lock);
    if (level <= AV_LOG_ERROR) {
      log.last_error = text;
    }
    if (log.holding) {
      log.held.push_back(std::move(kept));
      return;
    }
  }
  report_library_line(kept.level, kept.library, kept.text);
}

// While a clip is opened, FFmpeg's lines about it are held: a refusal says
// in its one line what went wrong (probing warns, for one, of a frame size
// it could not find, after the pixel limit kept the decoder from it), and
// a clip that opens has them shown after all.
void hold_library_lines() {
  LibraryLog& log = library_log();
  const std::lock_guard<std::mutex> guard(log.lock);
  log.holding = true;
}

void end_holding(bool show) {
  std::vector<HeldLine> held;
  {
    LibraryLog& log = library_log();
    const std::lock_guard<std::mutex> guard(log.lock);
    log.holding = false;
    held.swap(log.held);
  }
  if (!show) {
    return;
  }
  for (const HeldLine& line : held) {
    report_library_line(line.level, line.library, line.text);
  }
}

void quiet_library_log() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(&keep_log_line); });
  LibraryLog& log = library_log();
  const std::lock_guard<std::mutex> guard(log.lock);
  log.last_error.clear();
}

// FFmpeg's reason for a result code, with the last line it logged.
std::string reason(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  std::string result = text;
  LibraryLog& log = library_log();
  const std::lock_guard<std::mutex> guard(log.lock);
  if (!log.last_error.empty() && log.last_error != result) {
    result += ": " + log.last_error;
    log.last_error.clear();
  }
  return result;
}

// FFmpeg's last error line, taken, in parentheses; empty when it logged none.
std::string logged_error() {
  LibraryLog& log = library_log();
  const std::lock_guard<std::mutex> guard(log.lock);
  std::string line = log.last_error.empty() ? std::string() : " (" + log.last_error + ")";
  log.last_error.clear();
  return line;
}

// ---- owners ----

struct InputDeleter {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecDeleter {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerDeleter {
  void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct OutputDeleter {
  void operator()(AVFormatContext* context) const {
    if (context->pb != nullptr && (context->oformat->flags & AVFMT_NOFILE) == 0) {
      avio_closep(&context->pb);
    }
    avformat_free_context(context);
  }
};
using InputContext = std::unique_ptr<AVFormatContext, InputDeleter>;
using OutputContext = std::unique_ptr<AVFormatContext, OutputDeleter>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecDeleter>;
using FramePointer = std::unique_ptr<AVFrame, FrameDeleter>;
using PacketPointer = std::unique_ptr<AVPacket, PacketDeleter>;
using ScalerPointer = std::unique_ptr<SwsContext, ScalerDeleter>;

constexpr int scaler_flags = SWS_BICUBIC | SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND | SWS_BITEXACT;

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

int matrix_for(int space, std::int32_t height) {
  switch (space) {
    case AVCOL_SPC_BT709:
      return SWS_CS_ITU709;
    case AVCOL_SPC_FCC:
      return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M:
      return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
      return SWS_CS_BT2020;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
      return SWS_CS_ITU601;
    default:
      return height >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
  }
}

AVColorSpace tag_for(int matrix) {
  switch (matrix) {
    case SWS_CS_ITU709:
      return AVCOL_SPC_BT709;
    case SWS_CS_FCC:
      return AVCOL_SPC_FCC;
    case SWS_CS_SMPTE240M:
      return AVCOL_SPC_SMPTE240M;
    case SWS_CS_BT2020:
      return AVCOL_SPC_BT2020_NCL;
    default:
      return AVCOL_SPC_SMPTE170M;
  }
}

bool full_range(AVPixelFormat format, int range) {
  return range == AVCOL_RANGE_JPEG || format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P ||
         format == AV_PIX_FMT_YUVJ444P || format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

bool is_rgb(AVPixelFormat format) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  return descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_RGB) != 0;
}

std::string media_name(AVMediaType type) {
  const char* name = av_get_media_type_string(type);
  return name != nullptr ? name : "unknown";
}

std::string codec_name(AVCodecID id) {
  const char* name = avcodec_get_name(id);
  return name != nullptr ? name : "unknown";
}

double seconds_of(std::int64_t timestamp, AVRational base) { return static_cast<double>(timestamp) * av_q2d(base); }

// Frames in so many seconds at a rate, for a clip that does not say; 0
// when that is no count at all.
std::int64_t guess_count(double seconds, const FrameRate& rate) {
  const double frames = seconds * rate.per_second();
  return frames >= 0 && frames < 1e15 ? std::llround(frames) : 0;
}

// later - earlier in one time base; false when timestamps a damaged file
// gives lie too far apart for 64 bits.
bool time_between(std::int64_t later, std::int64_t earlier, std::int64_t& difference) {
  return !__builtin_sub_overflow(later, earlier, &difference);
}

// Presentation time, else decoding time; AV_NOPTS_VALUE when it has neither.
std::int64_t packet_time(const AVPacket& packet) { return packet.pts != AV_NOPTS_VALUE ? packet.pts : packet.dts; }

}  // namespace

bool video_supported() { return true; }

bool is_video_output(const std::string& path) {
  const AVOutputFormat* container = av_guess_format(nullptr, path.c_str(), nullptr);
  return container != nullptr && (container->flags & AVFMT_NOFILE) == 0 && container->video_codec != AV_CODEC_ID_NONE;
}

// ---- reading ----

// Where a clip's bytes come from: a file, or memory read through our own
// AVIOContext (which FFmpeg does not free).
struct ClipBytes {
  std::string path;
  std::span<const std::uint8_t> memory;
  std::size_t position = 0;
};

struct IoDeleter {
  void operator()(AVIOContext* context) const {
    av_freep(&context->buffer);
    avio_context_free(&context);
  }
};
using IoContext = std::unique_ptr<AVIOContext, IoDeleter>;

struct VideoReader::State {
  ClipBytes bytes;
  IoContext io;  // memory only; outlives `format`, declared before it
  InputContext format;
  int video = -1;
  AVRational time_base{1, 25};
  std::int64_t max_pixels = 0;  // as FFmpeg's decoders take it
  CodecContext decoder;
  ScalerPointer scaler;
  PacketPointer packet{av_packet_alloc()};
  FramePointer frame{av_frame_alloc()};
  std::deque<PacketPointer> others;  // packets of the other streams, in file order
  std::int64_t next_number = 0;
  std::int64_t first_timestamp = AV_NOPTS_VALUE;
  bool keep_others = false;  // a writer copies them
  bool file_ended = false;
  bool video_ended = false;
  ClipInfo info;
};

VideoReader::VideoReader() : state_(std::make_unique<State>()) {}
VideoReader::~VideoReader() = default;

const ClipInfo& VideoReader::info() const { return state_->info; }

namespace {

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

// Opens the demuxer on a file or on memory, with probing bounded and
// nothing but the header read.
int open_demuxer(ClipBytes& bytes, IoContext& io, InputContext& format) {
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
  IoContext io;
  InputContext format;
  if (const int result = open_demuxer(bytes, io, format); result < 0) {
    return "cannot read it again to count its frames (" + reason(result) + ")";
  }
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    if (static_cast<int>(i) != state.video) {
      format->streams[i]->discard = AVDISCARD_ALL;
    }
  }
  const PacketPointer packet{av_packet_alloc()};
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

namespace {

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
      break;
    }
    if (received == AVERROR_EOF) {
      state.video_ended = true;
      end = true;
      return {};
    }
    if (received != AVERROR(EAGAIN)) {
      return "decoding frame " + std::to_string(state.next_number) + " failed (" + reason(received) + ")";
    }
    const int read = av_read_frame(state.format.get(), state.packet.get());
    if (read == AVERROR_EOF) {
      state.file_ended = true;
      avcodec_send_packet(state.decoder.get(), nullptr);
      continue;
    }
    if (read < 0) {
      return "reading the file failed after frame " + std::to_string(state.next_number) + " (" + reason(read) + ")";
    }
    if (state.packet->stream_index != state.video && !state.keep_others) {
      av_packet_unref(state.packet.get());
      continue;
    }
    if (state.packet->stream_index != state.video) {
      state.others.emplace_back(av_packet_alloc());
      if (state.others.back() == nullptr) {
        return "out of memory";
      }
      av_packet_move_ref(state.others.back().get(), state.packet.get());
      continue;
    }
    // A damaged packet is skipped, as players do; the decoder resynchronises.
    avcodec_send_packet(state.decoder.get(), state.packet.get());
    av_packet_unref(state.packet.get());
  }

  std::string failure = frame_times(state, *state.frame, frame);
  if (failure.empty()) {
    failure = to_rgba(state, *state.frame, frame.image);
  }
  av_frame_unref(state.frame.get());
  ++state.next_number;
  return failure;
}

namespace {

// Where the clip's first frame lies in seconds of its stream's clock.
double first_frame_seconds(const VideoReader::State& state) {
  return state.first_timestamp == AV_NOPTS_VALUE ? 0.0 : seconds_of(state.first_timestamp, state.time_base);
}

// Past the last frame a render wants, reads on until every other stream
// has passed `seconds` (or the file ends), so that their packets up to
// there can be copied.
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

}  // namespace

// ---- writing ----

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

  OutputContext output;
  CodecContext encoding;
  AVStream* video = nullptr;
  ScalerPointer scaler;
  FramePointer frame{av_frame_alloc()};
  PacketPointer packet{av_packet_alloc()};
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

VideoWriter::VideoWriter() : state_(std::make_unique<State>()) {}
VideoWriter::~VideoWriter() = default;

namespace {

struct DefaultEncoder {
  const char* extension;
  const char* encoder;
};
constexpr DefaultEncoder default_encoders[] = {
    {".mp4", "libx264"}, {".m4v", "libx264"}, {".mkv", "libx264"}, {".mov", "prores_ks"}, {".webm", "libvpx-vp9"},
};

bool supports(const AVCodec& encoder, AVPixelFormat format) {
  if (encoder.pix_fmts == nullptr) {
    return format == AV_PIX_FMT_RGBA;
  }
  for (const AVPixelFormat* f = encoder.pix_fmts; *f != AV_PIX_FMT_NONE; ++f) {
    if (*f == format) {
      return true;
    }
  }
  return false;
}

// RGBA itself where the codec takes it; otherwise the nearest format that
// keeps the alpha channel, if the codec has one; otherwise 4:2:0, which
// every player shows, unless the size is odd.
AVPixelFormat choose_pixel_format(const AVCodec& encoder, std::int32_t width, std::int32_t height) {
  if (supports(encoder, AV_PIX_FMT_RGBA) || encoder.pix_fmts == nullptr) {
    return AV_PIX_FMT_RGBA;
  }
  int loss = 0;
  const AVPixelFormat best = avcodec_find_best_pix_fmt_of_list(encoder.pix_fmts, AV_PIX_FMT_RGBA, 1, &loss);
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(best);
  const bool keeps_alpha = descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
  const bool even = width % 2 == 0 && height % 2 == 0;
  if (keeps_alpha && (descriptor->log2_chroma_w == 0 || even)) {
    return best;
  }
  if (even && supports(encoder, AV_PIX_FMT_YUV420P)) {
    return AV_PIX_FMT_YUV420P;
  }
  return best;
}

}  // namespace

std::string VideoWriter::prepare(const std::string& path, const VideoOutputOptions& options, VideoReader* source,
                                 std::int32_t width, std::int32_t height) {
  quiet_library_log();
  State& state = *state_;
  state.target = path;
  state.options = options;
  state.source = source != nullptr ? source->state_.get() : nullptr;
  state.width = width;
  state.height = height;
  const std::string extension = lower_extension(path);
  state.container = av_guess_format(nullptr, path.c_str(), nullptr);
  if (!is_video_output(path)) {
    return "unknown picture or video format (use .png or .jpg for pictures, .mp4, .mkv, .mov or .webm for video)";
  }
  if (!options.codec.empty()) {
    state.encoder = avcodec_find_encoder_by_name(options.codec.c_str());
    if (state.encoder == nullptr) {
      return "this FFmpeg has no encoder called " + options.codec + " (ffmpeg -encoders lists them)";
    }
    if (state.encoder->type != AVMEDIA_TYPE_VIDEO) {
      return options.codec + " is no video encoder";
    }
  } else {
    for (const DefaultEncoder& entry : default_encoders) {
      if (extension == entry.extension) {
        state.encoder = avcodec_find_encoder_by_name(entry.encoder);
      }
    }
    if (state.encoder == nullptr) {
      state.encoder = avcodec_find_encoder(state.container->video_codec);
    }
    if (state.encoder == nullptr) {
      return "this FFmpeg has no encoder for " + codec_name(state.container->video_codec) + ", the " + extension +
             " container's video codec (choose one with --codec)";
    }
  }
  if (avformat_query_codec(state.container, state.encoder->id, FF_COMPLIANCE_EXPERIMENTAL) == 0) {
    return "a " + extension + " file cannot hold " + codec_name(state.encoder->id) + " video";
  }
  if (options.crf.has_value()) {
    const AVClass* options_class = state.encoder->priv_class;
    const AVOption* crf =
        options_class != nullptr ? av_opt_find(&options_class, "crf", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ) : nullptr;
    if (crf == nullptr) {
      return "--crf applies to encoders with a constant-quality setting, and " + std::string(state.encoder->name) +
             " has none";
    }
    if (*options.crf < crf->min || *options.crf > crf->max) {
      char range[64];
      std::snprintf(range, sizeof range, "%g and %g", crf->min, crf->max);
      return "--crf " + std::to_string(*options.crf) + " is out of " + state.encoder->name +
             "'s range: it must lie between " + range;
    }
  }
  state.pixel_format = choose_pixel_format(*state.encoder, width, height);
  state.matrix = matrix_for(AVCOL_SPC_UNSPECIFIED, height);
  if (state.source != nullptr) {
    const AVFormatContext& input = *state.source->format;
    const AVCodecParameters& video = *input.streams[state.source->video]->codecpar;
    state.matrix = matrix_for(stored_value(video.color_space), height);
    state.stream_map.assign(input.nb_streams, -1);
    for (unsigned i = 0; i < input.nb_streams; ++i) {
      if (static_cast<int>(i) == state.source->video) {
        continue;
      }
      const AVCodecParameters& copied = *input.streams[i]->codecpar;
      if (avformat_query_codec(state.container, copied.codec_id, FF_COMPLIANCE_EXPERIMENTAL) == 0) {
        return "a " + extension + " file cannot hold stream " + std::to_string(i) + " (" +
               media_name(copied.codec_type) + ", " + codec_name(copied.codec_id) +
               ") as it is, and other streams are copied untouched (.mkv takes nearly every kind)";
      }
      state.stream_map[i] = 0;
    }
    state.source->keep_others = true;
  }
  return {};
}

std::string VideoWriter::describe() const {
  const State& state = *state_;
  if (state.encoder == nullptr) {
    return {};
  }
  return std::string(state.encoder->name) + " in " + state.container->name + ", " +
         av_get_pix_fmt_name(state.pixel_format);
}

namespace {

std::string open_encoder(VideoWriter::State& state) {
  const AVCodec& encoder = *state.encoder;
  state.encoding.reset(avcodec_alloc_context3(&encoder));
  if (state.encoding == nullptr || state.frame == nullptr || state.packet == nullptr) {
    return "out of memory";
  }
  AVCodecContext& context = *state.encoding;
  context.width = state.width;
  context.height = state.height;
  context.pix_fmt = state.pixel_format;
  const FrameRate& rate = state.options.rate;
  context.time_base = AVRational{static_cast<int>(rate.denominator), static_cast<int>(rate.numerator)};
  context.framerate = AVRational{static_cast<int>(rate.numerator), static_cast<int>(rate.denominator)};
  context.sample_aspect_ratio = AVRational{1, 1};
  if (state.source != nullptr) {
    AVFormatContext* input = state.source->format.get();
    AVStream* stream = input->streams[state.source->video];
    const FrameRate& clip_rate = state.source->info.rate;
    context.time_base = stream->time_base;
    context.framerate = AVRational{static_cast<int>(clip_rate.numerator), static_cast<int>(clip_rate.denominator)};
    const AVRational aspect = av_guess_sample_aspect_ratio(input, stream, nullptr);
    if (aspect.num > 0 && aspect.den > 0) {
      context.sample_aspect_ratio = aspect;
    }
    if (const int primaries = stored_value(stream->codecpar->color_primaries);
        primaries >= 0 && primaries < AVCOL_PRI_NB) {
      context.color_primaries = static_cast<AVColorPrimaries>(primaries);
    }
    if (const int transfer = stored_value(stream->codecpar->color_trc); transfer >= 0 && transfer < AVCOL_TRC_NB) {
      context.color_trc = static_cast<AVColorTransferCharacteristic>(transfer);
    }
  }
  if (!is_rgb(state.pixel_format)) {
    context.colorspace = tag_for(state.matrix);
    context.color_range = AVCOL_RANGE_MPEG;
  }
  if ((state.container->flags & AVFMT_GLOBALHEADER) != 0) {
    context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  context.thread_count = 0;

  AVDictionary* settings = nullptr;
  const std::string name = encoder.name;
  // Constant quality by default where the encoder has it: high, so that the
  // file shows the effect's damage rather than the encoder's.
  if (state.options.crf.has_value()) {
    av_dict_set_int(&settings, "crf", *state.options.crf, 0);
  } else if (name == "libx264" || name == "libx265") {
    av_dict_set(&settings, "crf", "18", 0);
  } else if (name == "libvpx-vp9" || name == "libaom-av1") {
    av_dict_set(&settings, "crf", "24", 0);
  }
  if (name == "libvpx-vp9" || name == "libaom-av1") {
    context.bit_rate = 0;
  }
  if (name == "prores_ks" && av_pix_fmt_desc_get(state.pixel_format)->log2_chroma_w == 0) {
    av_dict_set(&settings, "profile", "4444", 0);
  }
  const int opened = avcodec_open2(&context, &encoder, &settings);
  av_dict_free(&settings);
  if (opened < 0) {
    return "the " + name + " encoder refused the frames (" + reason(opened) + ")";
  }

  state.frame->format = state.pixel_format;
  state.frame->width = state.width;
  state.frame->height = state.height;
  if (const int result = av_frame_get_buffer(state.frame.get(), 0); result < 0) {
    return "out of memory (" + reason(result) + ")";
  }
  state.scaler.reset(sws_getContext(state.width, state.height, AV_PIX_FMT_RGBA, state.width, state.height,
                                    state.pixel_format, scaler_flags, nullptr, nullptr, nullptr));
  if (state.scaler == nullptr) {
    return "cannot convert RGBA frames to " + std::string(av_get_pix_fmt_name(state.pixel_format));
  }
  if (!is_rgb(state.pixel_format)) {
    const int* matrix = sws_getCoefficients(state.matrix);
    sws_setColorspaceDetails(state.scaler.get(), matrix, 1, matrix, 0, 0, 1 << 16, 1 << 16);
  }
  return {};
}

std::string add_streams(VideoWriter::State& state) {
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
  for (unsigned i = 0; i < input.nb_streams; ++i) {
    if (state.stream_map[i] < 0) {
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

// Out of a packet's time, seconds from the clip's first frame.
double packet_seconds(const VideoWriter::State& state, const AVPacket& packet, std::int64_t at) {
  const AVFormatContext& input = *state.source->format;
  return seconds_of(at, input.streams[packet.stream_index]->time_base) - first_frame_seconds(*state.source);
}

// Copies the queued packets of the other streams that start before
// `until`, dropping those that start before the output's start; the rest
// stay queued. The output's clock starts at the first written frame.
std::string copy_other_packets(VideoWriter::State& state, double until) {
  if (state.source == nullptr || !state.started) {
    return {};
  }
  std::deque<PacketPointer>& queue = state.source->others;
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
    if (to >= 0 && (state.from_clip_start || seconds >= state.start_seconds - 1e-9)) {
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

std::string write_encoded(VideoWriter::State& state) {
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
  if (std::string failure = add_streams(state); !failure.empty()) {
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
  const std::uint8_t* planes[4] = {image.rgba.data(), nullptr, nullptr, nullptr};
  const int strides[4] = {image.width * 4, 0, 0, 0};
  sws_scale(state.scaler.get(), planes, strides, 0, image.height, state.frame->data, state.frame->linesize);

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

void VideoWriter::skip_to(double seconds) {
  State& state = *state_;
  if (state.source == nullptr || state.started) {
    return;
  }
  std::deque<PacketPointer>& queue = state.source->others;
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

std::string VideoWriter::finish() {
  State& state = *state_;
  if (const int result = avcodec_send_frame(state.encoding.get(), nullptr); result < 0) {
    return "encoding failed (" + reason(result) + ")";
  }
  if (std::string failure = write_encoded(state); !failure.empty()) {
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
