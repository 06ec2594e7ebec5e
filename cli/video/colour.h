// Colour: a clip's frames become RGBA with the matrix and range the stream
// declares (BT.709 for 720 lines and more, BT.601 below, when it declares
// none, as players guess); frames going out are converted back with the
// same choice and tagged with it, and with the clip's primaries, transfer
// and range, wherever the container or the codec records them. Where
// neither does, the frames go out with the matrix players guess from the
// size, in limited range, and a warning says what was lost. The
// conversions are the bit-exact ones of libswscale, so the same file gives
// the same pixels on every machine.
#pragma once

#include <cstdint>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

namespace shardcast::cli::ffmpeg {

inline constexpr int scaler_flags = SWS_BICUBIC | SWS_FULL_CHR_H_INT | SWS_ACCURATE_RND | SWS_BITEXACT;

// The libswscale matrix for a stream's colour space (an AVColorSpace, or a
// number outside it), guessed from the height when it names none.
int matrix_for(int space, std::int32_t height);
// The colour space an output is tagged with for a libswscale matrix.
AVColorSpace tag_for(int matrix);
// Full-range samples: by the range field, or by a JPEG pixel format.
bool full_range(AVPixelFormat format, int range);
bool is_rgb(AVPixelFormat format);

// A stream's colour description; a field a damaged clip fills with a
// number outside its enumeration counts as unspecified.
struct ColourDescription {
  AVColorSpace space = AVCOL_SPC_UNSPECIFIED;
  AVColorPrimaries primaries = AVCOL_PRI_UNSPECIFIED;
  AVColorTransferCharacteristic transfer = AVCOL_TRC_UNSPECIFIED;
  AVColorRange range = AVCOL_RANGE_UNSPECIFIED;

  static ColourDescription of(const AVCodecParameters& stream);
  bool described() const;
  // "bt709 matrix, bt709 primaries, arib-std-b67 transfer, limited range",
  // the fields given.
  std::string text() const;
};

// Whether an output records a colour description: in its container (MP4,
// QuickTime, Matroska, WebM) or in its codec's own bitstream.
bool keeps_colour(const AVOutputFormat& container, AVCodecID codec);
// Whether it records full-range samples as such.
bool keeps_full_range(const AVOutputFormat& container, AVCodecID codec);
// Whether the container records a rotation (the MP4 and QuickTime family).
bool keeps_rotation(const AVOutputFormat& container);

// The output's tags on the encoder and on every frame it takes (some
// encoders, ProRes for one, read them from the frame).
void tag_context(AVCodecContext& context, const ColourDescription& colour);
void tag_frame(AVFrame& frame, const ColourDescription& colour);

}  // namespace shardcast::cli::ffmpeg
