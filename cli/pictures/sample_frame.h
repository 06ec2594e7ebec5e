// The built-in sample frame rendered when no input is given.
#pragma once

#include <cstdint>

#include "cli/pictures/image.h"

namespace shardcast::cli {

inline constexpr std::int32_t sample_frame_width = 640;
inline constexpr std::int32_t sample_frame_height = 360;

// An opaque test picture of the given size (both at least 1).
Image sample_frame(std::int32_t width = sample_frame_width, std::int32_t height = sample_frame_height);

}  // namespace shardcast::cli
