// The colour choices of colour.h.
#include "cli/video/colour.h"

#include <cstring>
#include <string_view>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "cli/video/ffmpeg_values.h"

namespace shardcast::cli::ffmpeg {

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

namespace {

template <typename Enum>
Enum checked(const Enum& field, int end, Enum unspecified) {
  const int value = stored_value(field);
  return value >= 0 && value < end ? static_cast<Enum>(value) : unspecified;
}

// Containers whose headers hold a colour description (MP4 and QuickTime in
// their colour box, Matroska and WebM in their Colour element), and codecs
// whose bitstream holds one.
constexpr std::string_view colour_containers[] = {"mov", "mp4", "ipod",     "ismv", "3gp",
                                                  "3g2", "psp", "matroska", "webm"};
constexpr AVCodecID colour_codecs[] = {AV_CODEC_ID_H264, AV_CODEC_ID_HEVC, AV_CODEC_ID_AV1, AV_CODEC_ID_MPEG2VIDEO,
                                       AV_CODEC_ID_PRORES};
// QuickTime's colour box has no range: there only the codec can say.
constexpr std::string_view range_containers[] = {"mp4", "ipod", "ismv", "3gp", "3g2", "psp", "matroska", "webm"};
constexpr AVCodecID range_codecs[] = {AV_CODEC_ID_H264, AV_CODEC_ID_HEVC, AV_CODEC_ID_AV1, AV_CODEC_ID_VP9,
                                      AV_CODEC_ID_MPEG2VIDEO};
constexpr std::string_view rotation_containers[] = {"mov", "mp4", "ipod", "ismv", "3gp", "3g2", "psp"};

template <typename List, typename Value>
bool listed(const List& list, const Value& value) {
  for (const auto& entry : list) {
    if (entry == value) {
      return true;
    }
  }
  return false;
}

void add_field(std::string& text, const char* name, const char* what) {
  if (name != nullptr) {
    text += (text.empty() ? "" : ", ") + std::string(name) + " " + what;
  }
}

}  // namespace

ColourDescription ColourDescription::of(const AVCodecParameters& stream) {
  ColourDescription colour;
  colour.space = checked(stream.color_space, AVCOL_SPC_NB, AVCOL_SPC_UNSPECIFIED);
  colour.primaries = checked(stream.color_primaries, AVCOL_PRI_NB, AVCOL_PRI_UNSPECIFIED);
  colour.transfer = checked(stream.color_trc, AVCOL_TRC_NB, AVCOL_TRC_UNSPECIFIED);
  colour.range = checked(stream.color_range, AVCOL_RANGE_NB, AVCOL_RANGE_UNSPECIFIED);
  return colour;
}

bool ColourDescription::described() const {
  return space != AVCOL_SPC_UNSPECIFIED || primaries != AVCOL_PRI_UNSPECIFIED || transfer != AVCOL_TRC_UNSPECIFIED ||
         range == AVCOL_RANGE_JPEG;
}

std::string ColourDescription::text() const {
  std::string text;
  if (space != AVCOL_SPC_UNSPECIFIED) {
    add_field(text, av_color_space_name(space), "matrix");
  }
  if (primaries != AVCOL_PRI_UNSPECIFIED) {
    add_field(text, av_color_primaries_name(primaries), "primaries");
  }
  if (transfer != AVCOL_TRC_UNSPECIFIED) {
    add_field(text, av_color_transfer_name(transfer), "transfer");
  }
  if (range == AVCOL_RANGE_JPEG) {
    add_field(text, "full", "range");
  }
  return text;
}

bool keeps_colour(const AVOutputFormat& container, AVCodecID codec) {
  return listed(colour_containers, std::string_view(container.name)) || listed(colour_codecs, codec);
}

bool keeps_full_range(const AVOutputFormat& container, AVCodecID codec) {
  return listed(range_containers, std::string_view(container.name)) || listed(range_codecs, codec);
}

bool keeps_rotation(const AVOutputFormat& container) {
  return listed(rotation_containers, std::string_view(container.name));
}

void tag_context(AVCodecContext& context, const ColourDescription& colour) {
  context.colorspace = colour.space;
  context.color_primaries = colour.primaries;
  context.color_trc = colour.transfer;
  context.color_range = colour.range;
}

void tag_frame(AVFrame& frame, const ColourDescription& colour) {
  frame.colorspace = colour.space;
  frame.color_primaries = colour.primaries;
  frame.color_trc = colour.transfer;
  frame.color_range = colour.range;
}

}  // namespace shardcast::cli::ffmpeg
