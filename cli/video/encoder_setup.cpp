// Choosing and opening a video output's encoder: the container by the
// output's extension, the codec by --codec or by the container, what
// becomes of the clip's other streams, and the steps of output_picture.cpp
// and encoder_options.cpp. Everything that can be refused without writing
// is refused in prepare().
#include <string>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "cli/video/colour.h"
#include "cli/video/ffmpeg_log.h"
#include "cli/video/ffmpeg_values.h"
#include "cli/video/writer_state.h"

namespace shardcast::cli {

bool is_video_output(const std::string& path) {
  const AVOutputFormat* container = av_guess_format(nullptr, path.c_str(), nullptr);
  return container != nullptr && (container->flags & AVFMT_NOFILE) == 0 && container->video_codec != AV_CODEC_ID_NONE;
}

namespace {

using ffmpeg::codec_name;
using ffmpeg::media_name;
using ffmpeg::quiet_library_log;
using ffmpeg::reason;

struct DefaultEncoder {
  const char* extension;
  const char* encoder;
};
constexpr DefaultEncoder default_encoders[] = {
    {".mp4", "libx264"}, {".m4v", "libx264"}, {".mkv", "libx264"}, {".mov", "prores_ks"}, {".webm", "libvpx-vp9"},
};

// The encoder --codec names, else the extension's default encoder, else
// the container's own.
std::string choose_encoder(VideoWriter::State& state, const std::string& codec, const std::string& extension) {
  if (!codec.empty()) {
    state.encoder = avcodec_find_encoder_by_name(codec.c_str());
    if (state.encoder == nullptr) {
      return "this FFmpeg has no encoder called " + codec + " (ffmpeg -encoders lists them)";
    }
    if (state.encoder->type != AVMEDIA_TYPE_VIDEO) {
      return codec + " is no video encoder";
    }
    return {};
  }
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
  return {};
}

// The encoder --audio names, or none for copy and none. Empty on success,
// otherwise the refusal.
std::string find_audio_encoder(const std::string& audio, const AVCodec*& encoder) {
  encoder = nullptr;
  if (audio == "copy" || audio == "none") {
    return {};
  }
  encoder = avcodec_find_encoder_by_name(audio.c_str());
  if (encoder == nullptr || encoder->type != AVMEDIA_TYPE_AUDIO) {
    return "--audio takes copy, none or an FFmpeg audio encoder (ffmpeg -encoders lists them), not " + audio;
  }
  return {};
}

// The audio encoder a container is usually given: Opus in WebM, AAC in
// MP4 and QuickTime, otherwise the container's own default.
const AVCodec* usual_audio_encoder(const AVOutputFormat& container) {
  const std::string name = container.name;
  if (name == "webm") {
    return avcodec_find_encoder(AV_CODEC_ID_OPUS);
  }
  if (name == "mp4" || name == "mov" || name == "ipod") {
    return avcodec_find_encoder(AV_CODEC_ID_AAC);
  }
  return container.audio_codec != AV_CODEC_ID_NONE ? avcodec_find_encoder(container.audio_codec) : nullptr;
}

bool holds(const AVOutputFormat& container, AVCodecID codec) {
  return avformat_query_codec(&container, codec, FF_COMPLIANCE_EXPERIMENTAL) != 0;
}

// An audio stream the container cannot hold as it is: encoded again with
// the container's usual codec, with a line that says so.
std::string encode_instead(VideoWriter::State& state, unsigned stream, const std::string& extension) {
  const AVCodecParameters& clip = *state.source->format->streams[stream]->codecpar;
  const AVCodec* usual = usual_audio_encoder(*state.container);
  if (usual == nullptr || !holds(*state.container, usual->id)) {
    return "a " + extension + " file cannot hold stream " + std::to_string(stream) + " (audio, " +
           codec_name(clip.codec_id) + "), and this FFmpeg has no audio encoder for it (--audio none drops it)";
  }
  state.notices.push_back({false, "a " + extension + " file cannot hold stream " + std::to_string(stream) + " (" +
                                      codec_name(clip.codec_id) + " audio) as it is: it is encoded again as " +
                                      codec_name(usual->id) + " (--audio chooses)"});
  return plan_audio(state, stream, *usual);
}

// What becomes of each stream of the clip besides its video: copied as it
// is, or, for audio, dropped or encoded again as --audio says, and encoded
// again where the container cannot hold it. Any other stream the container
// cannot hold is refused. The reader then keeps their packets.
std::string plan_other_streams(VideoWriter::State& state, const AVCodec* audio_encoder, const std::string& extension) {
  const AVFormatContext& input = *state.source->format;
  state.stream_map.assign(input.nb_streams, -1);
  for (unsigned i = 0; i < input.nb_streams; ++i) {
    const AVCodecParameters& copied = *input.streams[i]->codecpar;
    const bool audio = copied.codec_type == AVMEDIA_TYPE_AUDIO;
    if (static_cast<int>(i) == state.source->video || (audio && state.options.audio == "none")) {
      continue;
    }
    std::string refusal;
    if (audio && audio_encoder != nullptr) {
      refusal = plan_audio(state, i, *audio_encoder);
    } else if (audio && !holds(*state.container, copied.codec_id)) {
      refusal = encode_instead(state, i, extension);
    } else if (!holds(*state.container, copied.codec_id)) {
      refusal = "a " + extension + " file cannot hold stream " + std::to_string(i) + " (" +
                media_name(copied.codec_type) + ", " + codec_name(copied.codec_id) +
                ") as it is, and other streams are copied untouched (.mkv takes nearly every kind)";
    }
    if (!refusal.empty()) {
      return refusal;
    }
    state.stream_map[i] = 0;
  }
  state.source->keep_others = true;
  return {};
}

// The encoder's frames: size, pixel format, colour tags, clock and rate,
// and from a clip its aspect ratio.
void describe_frames(const VideoWriter::State& state, AVCodecContext& context) {
  context.width = state.coded_width;
  context.height = state.coded_height;
  context.pix_fmt = state.pixel_format;
  ffmpeg::tag_context(context, state.colour);
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
  }
  if ((state.container->flags & AVFMT_GLOBALHEADER) != 0) {
    context.flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  context.thread_count = 0;
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
  if (std::string refusal = choose_encoder(state, options.codec, extension); !refusal.empty()) {
    return refusal;
  }
  if (avformat_query_codec(state.container, state.encoder->id, FF_COMPLIANCE_EXPERIMENTAL) == 0) {
    return "a " + extension + " file cannot hold " + codec_name(state.encoder->id) + " video";
  }
  const AVCodec* audio_encoder = nullptr;
  if (std::string refusal = find_audio_encoder(options.audio, audio_encoder); !refusal.empty()) {
    return refusal;
  }
  if (audio_encoder != nullptr && !holds(*state.container, audio_encoder->id)) {
    return "a " + extension + " file cannot hold " + codec_name(audio_encoder->id) + " audio";
  }
  for (const auto& step : {&choose_pixel_format, &choose_encoder_settings}) {
    if (std::string refusal = step(state); !refusal.empty()) {
      return refusal;
    }
  }
  choose_colour(state);
  check_rotation(state);
  return state.source == nullptr ? std::string() : plan_other_streams(state, audio_encoder, extension);
}

const std::vector<VideoNotice>& VideoWriter::notices() const { return state_->notices; }

std::string VideoWriter::describe() const {
  const State& state = *state_;
  if (state.encoder == nullptr) {
    return {};
  }
  std::string text = std::string(state.encoder->name) + " in " + state.container->name + ", " +
                     av_get_pix_fmt_name(state.pixel_format) + settings_text(state);
  return text + audio_text(state);
}

std::string open_encoder(VideoWriter::State& state) {
  const AVCodec& encoder = *state.encoder;
  state.encoding.reset(avcodec_alloc_context3(&encoder));
  if (state.encoding == nullptr || state.frame == nullptr || state.packet == nullptr) {
    return "out of memory";
  }
  AVCodecContext& context = *state.encoding;
  describe_frames(state, context);
  AVDictionary* settings = encoder_dictionary(state, context);
  const int opened = avcodec_open2(&context, &encoder, &settings);
  av_dict_free(&settings);
  if (opened < 0) {
    return "the " + std::string(encoder.name) + " encoder refused the frames (" + reason(opened) + ")";
  }
  return start_conversion(state);
}

}  // namespace shardcast::cli
