// The size checks every picture reader shares (see picture_limits.h).
#include "cli/pictures/picture_limits.h"

namespace shardcast::cli {
namespace {

std::string size_text(std::uint64_t width, std::uint64_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

}  // namespace

std::string PictureLimits::check_size(const std::string& what, std::uint64_t width, std::uint64_t height) const {
  if (width == 0 || height == 0) {
    return what + " of " + size_text(width, height) + " pixels is empty";
  }
  // The sides are checked first, so the product cannot wrap.
  if (width > max_picture_side || height > max_picture_side || width * height > max_pixels) {
    return what + " of " + size_text(width, height) + " pixels is too large (the limit is " +
           std::to_string(max_pixels) + " pixels; --max-pixels raises it)";
  }
  return {};
}

std::string check_data_fills(std::uint64_t width, std::uint64_t height, std::uint64_t least, std::uint64_t available) {
  if (available >= least) {
    return {};
  }
  return "file holds " + std::to_string(available) + " bytes of picture data, too few for a picture of " +
         size_text(width, height) + " pixels (at least " + std::to_string(least) + " needed)";
}

}  // namespace shardcast::cli
