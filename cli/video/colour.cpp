// The colour choices of colour.h.
#include "cli/video/colour.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

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

}  // namespace shardcast::cli::ffmpeg
