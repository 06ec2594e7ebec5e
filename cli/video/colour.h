// Colour: a clip's frames become RGBA with the matrix and range the stream
// declares (BT.709 for 720 lines and more, BT.601 below, when it declares
// none, as players guess); frames going out are converted back with the
// same choice and tagged with it. The conversions are the bit-exact ones of
// libswscale, so the same file gives the same pixels on every machine.
#pragma once

#include <cstdint>

extern "C" {
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

}  // namespace shardcast::cli::ffmpeg
