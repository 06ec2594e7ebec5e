// Choosing and opening a video output's encoder: the container by the
// output's extension, the codec by --codec or by the container, the pixel
// format the codec takes that loses least of RGBA, and the settings that
// keep the effect's damage visible. Everything that can be refused without
// writing is refused in prepare().
#include <cstdio>
#include <optional>
#include <string>

extern "C" {
#include <libavutil/opt.h>
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
using ffmpeg::is_rgb;
using ffmpeg::matrix_for;
using ffmpeg::media_name;
using ffmpeg::quiet_library_log;
using ffmpeg::reason;
using ffmpeg::scaler_flags;
using ffmpeg::stored_value;
using ffmpeg::tag_for;

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

// --crf, when given, must be a setting of the encoder and lie in its range.
std::string check_crf(const AVCodec& encoder, const std::optional<int>& value) {
  if (!value.has_value()) {
    return {};
  }
  const AVClass* options_class = encoder.priv_class;
  const AVOption* crf =
      options_class != nullptr ? av_opt_find(&options_class, "crf", nullptr, 0, AV_OPT_SEARCH_FAKE_OBJ) : nullptr;
  if (crf == nullptr) {
    return "--crf applies to encoders with a constant-quality setting, and " + std::string(encoder.name) + " has none";
  }
  if (*value < crf->min || *value > crf->max) {
    char range[64];
    std::snprintf(range, sizeof range, "%g and %g", crf->min, crf->max);
    return "--crf " + std::to_string(*value) + " is out of " + encoder.name + "'s range: it must lie between " + range;
  }
  return {};
}

// Every stream of the clip besides its video must fit the container as it
// is; the reader then keeps their packets for copying.
std::string map_copied_streams(VideoWriter::State& state, const std::string& extension) {
  const AVFormatContext& input = *state.source->format;
  state.stream_map.assign(input.nb_streams, -1);
  for (unsigned i = 0; i < input.nb_streams; ++i) {
    if (static_cast<int>(i) == state.source->video) {
      continue;
    }
    const AVCodecParameters& copied = *input.streams[i]->codecpar;
    if (avformat_query_codec(state.container, copied.codec_id, FF_COMPLIANCE_EXPERIMENTAL) == 0) {
      return "a " + extension + " file cannot hold stream " + std::to_string(i) + " (" + media_name(copied.codec_type) +
             ", " + codec_name(copied.codec_id) +
             ") as it is, and other streams are copied untouched (.mkv takes nearly every kind)";
    }
    state.stream_map[i] = 0;
  }
  state.source->keep_others = true;
  return {};
}

// The encoder's frames: size, pixel format, clock and rate, and from a clip
// its aspect ratio and colour tags.
void describe_frames(const VideoWriter::State& state, AVCodecContext& context) {
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
}

// Constant quality by default where the encoder has it: high, so that the
// file shows the effect's damage rather than the encoder's. The caller
// frees the settings.
AVDictionary* encoder_settings(const VideoWriter::State& state, AVCodecContext& context) {
  AVDictionary* settings = nullptr;
  const std::string name = state.encoder->name;
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
  return settings;
}

// The frame the encoder takes and the conversion from RGBA into it.
std::string start_conversion(VideoWriter::State& state) {
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
  if (std::string refusal = check_crf(*state.encoder, options.crf); !refusal.empty()) {
    return refusal;
  }
  state.pixel_format = choose_pixel_format(*state.encoder, width, height);
  state.matrix = matrix_for(AVCOL_SPC_UNSPECIFIED, height);
  if (state.source == nullptr) {
    return {};
  }
  const AVCodecParameters& video = *state.source->format->streams[state.source->video]->codecpar;
  state.matrix = matrix_for(stored_value(video.color_space), height);
  return map_copied_streams(state, extension);
}

std::string VideoWriter::describe() const {
  const State& state = *state_;
  if (state.encoder == nullptr) {
    return {};
  }
  return std::string(state.encoder->name) + " in " + state.container->name + ", " +
         av_get_pix_fmt_name(state.pixel_format);
}

std::string open_encoder(VideoWriter::State& state) {
  const AVCodec& encoder = *state.encoder;
  state.encoding.reset(avcodec_alloc_context3(&encoder));
  if (state.encoding == nullptr || state.frame == nullptr || state.packet == nullptr) {
    return "out of memory";
  }
  AVCodecContext& context = *state.encoding;
  describe_frames(state, context);
  AVDictionary* settings = encoder_settings(state, context);
  const int opened = avcodec_open2(&context, &encoder, &settings);
  av_dict_free(&settings);
  if (opened < 0) {
    return "the " + std::string(encoder.name) + " encoder refused the frames (" + reason(opened) + ")";
  }
  return start_conversion(state);
}

}  // namespace shardcast::cli
