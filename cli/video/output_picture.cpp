// How a video output stores its pictures: pixel format, depth and chroma
// layout, the coded size, the colour tags, the rotation, and the
// conversion of the effect's RGBA frames into that form.
//
// The effect works on 8-bit RGBA. The output keeps what the clip has where
// the codec takes it: a clip of 10 or 12 bits goes out at that depth, and
// a YUV clip's chroma layout is kept (a 4:2:2 clip is not squeezed to
// 4:2:0), so that a graded clip is not banded twice; otherwise the format
// the codec takes that loses least of RGBA, and 4:2:0 where it has no alpha
// channel. --pix-fmt chooses for itself. Chroma sampled on a grid of two
// needs an even size: this FFmpeg's containers cannot crop a picture back
// by one row or column, so an odd-sized clip goes out in 4:4:4 with a
// warning, unless --pix-fmt asks for the subsampled format, in which case
// the frame is padded with copies of its last column and row.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
}

#include "cli/video/colour.h"
#include "cli/video/ffmpeg_log.h"
#include "cli/video/writer_state.h"

namespace shardcast::cli {
namespace {

using ffmpeg::ColourDescription;
using ffmpeg::is_rgb;
using ffmpeg::matrix_for;

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

int depth_of(AVPixelFormat format) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  return descriptor != nullptr ? descriptor->comp[0].depth : 8;
}

bool subsampled(AVPixelFormat format) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  return descriptor != nullptr && (descriptor->log2_chroma_w > 0 || descriptor->log2_chroma_h > 0);
}

bool has_alpha(AVPixelFormat format) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  return descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
}

// The encoder's formats, those with subsampled chroma left out when the
// size is odd.
std::vector<AVPixelFormat> usable_formats(const AVCodec& encoder, bool even) {
  std::vector<AVPixelFormat> formats;
  for (const AVPixelFormat* f = encoder.pix_fmts; f != nullptr && *f != AV_PIX_FMT_NONE; ++f) {
    if (even || !subsampled(*f)) {
      formats.push_back(*f);
    }
  }
  formats.push_back(AV_PIX_FMT_NONE);
  return formats;
}

// For RGBA frames alone: RGBA itself where the codec takes it; otherwise
// the nearest format that keeps the alpha channel, if the codec has one;
// otherwise 4:2:0, which every player shows, unless the size is odd.
AVPixelFormat for_rgba(const AVCodec& encoder, bool even) {
  if (supports(encoder, AV_PIX_FMT_RGBA) || encoder.pix_fmts == nullptr) {
    return AV_PIX_FMT_RGBA;
  }
  int loss = 0;
  const AVPixelFormat best = avcodec_find_best_pix_fmt_of_list(encoder.pix_fmts, AV_PIX_FMT_RGBA, 1, &loss);
  if (has_alpha(best) && (!subsampled(best) || even)) {
    return best;
  }
  if (even && supports(encoder, AV_PIX_FMT_YUV420P)) {
    return AV_PIX_FMT_YUV420P;
  }
  return avcodec_find_best_pix_fmt_of_list(usable_formats(encoder, even).data(), AV_PIX_FMT_RGBA, 1, &loss);
}

// Whether `chosen` holds the clip's samples: its depth, and for a YUV clip
// its chroma resolution.
bool holds(AVPixelFormat chosen, AVPixelFormat clip) {
  const AVPixFmtDescriptor* out = av_pix_fmt_desc_get(chosen);
  const AVPixFmtDescriptor* in = av_pix_fmt_desc_get(clip);
  if (out == nullptr || in == nullptr) {
    return true;
  }
  if (out->comp[0].depth < in->comp[0].depth) {
    return false;
  }
  const bool yuv = (in->flags & AV_PIX_FMT_FLAG_RGB) == 0 && in->nb_components >= 3;
  return !yuv || (out->log2_chroma_w <= in->log2_chroma_w && out->log2_chroma_h <= in->log2_chroma_h);
}

std::string size_text(std::int32_t width, std::int32_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

// --pix-fmt: a format the encoder takes; a subsampled one pads an odd size.
std::string take_named_format(VideoWriter::State& state) {
  const std::string& name = state.options.pixel_format;
  const AVPixelFormat format = av_get_pix_fmt(name.c_str());
  if (format == AV_PIX_FMT_NONE) {
    return "--pix-fmt " + name + ": FFmpeg knows no pixel format of that name (ffmpeg -pix_fmts lists them)";
  }
  if (!supports(*state.encoder, format)) {
    std::string taken;
    for (const AVPixelFormat* f = state.encoder->pix_fmts; f != nullptr && *f != AV_PIX_FMT_NONE; ++f) {
      taken += (taken.empty() ? "" : ", ") + std::string(av_get_pix_fmt_name(*f));
    }
    return "--pix-fmt " + name + ": " + state.encoder->name + " takes " + (taken.empty() ? "rgba" : taken);
  }
  state.pixel_format = format;
  const AVPixFmtDescriptor& descriptor = *av_pix_fmt_desc_get(format);
  const std::int32_t across = (1 << descriptor.log2_chroma_w) - 1;
  const std::int32_t down = (1 << descriptor.log2_chroma_h) - 1;
  state.coded_width = (state.width + across) & ~across;
  state.coded_height = (state.height + down) & ~down;
  if (state.coded_width != state.width || state.coded_height != state.height) {
    state.notices.push_back({true, size_text(state.width, state.height) + " frames are written " +
                                       size_text(state.coded_width, state.coded_height) + " in " + name +
                                       ", padded with copies of their last column and row"});
  }
  return {};
}

// The clip's pixel format where the writer copies a clip, else none.
AVPixelFormat clip_format(const VideoWriter::State& state) {
  if (state.source == nullptr) {
    return AV_PIX_FMT_NONE;
  }
  const int format = state.source->format->streams[state.source->video]->codecpar->format;
  return av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format)) != nullptr ? static_cast<AVPixelFormat>(format)
                                                                            : AV_PIX_FMT_NONE;
}

// A clip deeper than the effect's 8 bits: one line on what its frames go
// through.
void note_depth(VideoWriter::State& state, AVPixelFormat clip) {
  const int depth = depth_of(clip);
  if (clip == AV_PIX_FMT_NONE || depth <= 8) {
    return;
  }
  state.notices.push_back({false, "the effect works at 8 bits per channel: the clip's " + std::to_string(depth) +
                                      "-bit frames pass through it at 8 bits and are written at " +
                                      std::to_string(depth_of(state.pixel_format)) + " bits (" +
                                      av_get_pix_fmt_name(state.pixel_format) + ")"});
}

}  // namespace

std::string choose_pixel_format(VideoWriter::State& state) {
  state.coded_width = state.width;
  state.coded_height = state.height;
  if (!state.options.pixel_format.empty()) {
    if (std::string refusal = take_named_format(state); !refusal.empty()) {
      return refusal;
    }
    note_depth(state, clip_format(state));
    return {};
  }
  const AVCodec& encoder = *state.encoder;
  const bool even = state.width % 2 == 0 && state.height % 2 == 0;
  state.pixel_format = for_rgba(encoder, even);
  const AVPixelFormat clip = clip_format(state);
  if (clip != AV_PIX_FMT_NONE && !holds(state.pixel_format, clip)) {
    int loss = 0;
    state.pixel_format =
        avcodec_find_best_pix_fmt_of_list(usable_formats(encoder, even).data(), clip, has_alpha(clip), &loss);
  }
  if (!even && !subsampled(state.pixel_format) && supports(encoder, AV_PIX_FMT_YUV420P)) {
    state.notices.push_back({true, size_text(state.width, state.height) +
                                       " frames have an odd size, which 4:2:0 chroma cannot hold and this FFmpeg's "
                                       "containers cannot crop back to, so they are written " +
                                       av_get_pix_fmt_name(state.pixel_format) +
                                       ", which many players cannot show; --pix-fmt yuv420p pads them by a row or "
                                       "column instead"});
  }
  note_depth(state, clip);
  return {};
}

void choose_colour(VideoWriter::State& state) {
  ColourDescription clip;
  if (state.source != nullptr) {
    clip = ColourDescription::of(*state.source->format->streams[state.source->video]->codecpar);
  }
  // An RGB clip's matrix and range say nothing of the YUV going out.
  if (const AVPixelFormat format = clip_format(state); format != AV_PIX_FMT_NONE && is_rgb(format)) {
    clip.space = AVCOL_SPC_UNSPECIFIED;
    clip.range = AVCOL_RANGE_UNSPECIFIED;
  }
  const AVCodecID codec = state.encoder->id;
  const bool kept = ffmpeg::keeps_colour(*state.container, codec);
  state.matrix = matrix_for(kept ? clip.space : AVCOL_SPC_UNSPECIFIED, state.height);
  ColourDescription& out = state.colour;
  out = ColourDescription{};
  if (kept) {
    out.primaries = clip.primaries;
    out.transfer = clip.transfer;
  } else if (clip.described()) {
    state.notices.push_back({true, "a " + lower_extension(state.target) + " file of " + state.encoder->name +
                                       " video cannot record the clip's colour (" + clip.text() +
                                       "): players will guess it; .mp4, .mov or .mkv keep it"});
  }
  if (!is_rgb(state.pixel_format)) {
    out.space = ffmpeg::tag_for(state.matrix);
    const bool full = clip.range == AVCOL_RANGE_JPEG && ffmpeg::keeps_full_range(*state.container, codec);
    out.range = full ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
  }
}

void check_rotation(VideoWriter::State& state) {
  if (state.source == nullptr || ffmpeg::keeps_rotation(*state.container)) {
    return;
  }
  const AVStream& video = *state.source->format->streams[state.source->video];
  std::size_t size = 0;
  const std::uint8_t* data = av_stream_get_side_data(&video, AV_PKT_DATA_DISPLAYMATRIX, &size);
  std::int32_t matrix[9] = {};
  if (data == nullptr || size < sizeof matrix) {
    return;
  }
  std::memcpy(matrix, data, sizeof matrix);
  const double degrees = av_display_rotation_get(matrix);
  const long turned = std::isnan(degrees) ? 0 : (std::lround(degrees) % 360 + 360) % 360;
  if (turned == 0) {
    return;
  }
  state.notices.push_back({true, "a " + lower_extension(state.target) + " file cannot record the clip's rotation (" +
                                     std::to_string(turned) + " degrees): it plays unrotated; .mp4 or .mov keep it"});
}

std::string start_conversion(VideoWriter::State& state) {
  state.frame->format = state.pixel_format;
  state.frame->width = state.coded_width;
  state.frame->height = state.coded_height;
  if (const int result = av_frame_get_buffer(state.frame.get(), 0); result < 0) {
    return "out of memory (" + ffmpeg::reason(result) + ")";
  }
  state.scaler.reset(sws_getContext(state.coded_width, state.coded_height, AV_PIX_FMT_RGBA, state.coded_width,
                                    state.coded_height, state.pixel_format, ffmpeg::scaler_flags, nullptr, nullptr,
                                    nullptr));
  if (state.scaler == nullptr) {
    return "cannot convert RGBA frames to " + std::string(av_get_pix_fmt_name(state.pixel_format));
  }
  if (!is_rgb(state.pixel_format)) {
    const int* matrix = sws_getCoefficients(state.matrix);
    sws_setColorspaceDetails(state.scaler.get(), matrix, 1, matrix, state.colour.range == AVCOL_RANGE_JPEG ? 1 : 0, 0,
                             1 << 16, 1 << 16);
  }
  return {};
}

void convert_frame(VideoWriter::State& state, const Image& image) {
  const std::uint8_t* rows = image.rgba.data();
  if (state.coded_width != image.width || state.coded_height != image.height) {
    // Each row gets copies of its last pixel, and copies of the last row follow.
    const auto in_row = static_cast<std::size_t>(image.width) * 4;
    const auto out_row = static_cast<std::size_t>(state.coded_width) * 4;
    state.padded.resize(out_row * static_cast<std::size_t>(state.coded_height));
    for (std::int32_t y = 0; y < state.coded_height; ++y) {
      const std::uint8_t* from = rows + static_cast<std::size_t>(std::min(y, image.height - 1)) * in_row;
      std::uint8_t* to = state.padded.data() + static_cast<std::size_t>(y) * out_row;
      std::memcpy(to, from, in_row);
      for (std::size_t x = in_row; x < out_row; x += 4) {
        std::memcpy(to + x, from + in_row - 4, 4);
      }
    }
    rows = state.padded.data();
  }
  const std::uint8_t* planes[4] = {rows, nullptr, nullptr, nullptr};
  const int strides[4] = {state.coded_width * 4, 0, 0, 0};
  sws_scale(state.scaler.get(), planes, strides, 0, state.coded_height, state.frame->data, state.frame->linesize);
  ffmpeg::tag_frame(*state.frame, state.colour);
}

}  // namespace shardcast::cli
