// Pictures in the API's layout (A, R, G, B bytes, rows back to back) and
// their conversion from and to the R, G, B, A order of image files.
#include <stdexcept>

#include "hostsim/simulated_host.h"
#include "hostsim/world_pixels.h"

namespace shardcast::hostsim {
namespace {

std::size_t byte_count(A_long width, A_long height) {
  if (width < 0 || height < 0) {
    throw std::invalid_argument("picture size must not be negative");
  }
  return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4;
}

std::size_t offset_of(const Picture& picture, A_long x, A_long y) {
  if (x < 0 || y < 0 || x >= picture.width || y >= picture.height) {
    throw std::out_of_range("pixel outside the picture");
  }
  return (static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width) +
          static_cast<std::size_t>(x)) *
         4;
}

}  // namespace

Picture Picture::filled(A_long width, A_long height, PF_Pixel colour) {
  Picture picture{width, height, std::vector<std::uint8_t>(byte_count(width, height))};
  for (std::size_t i = 0; i < picture.argb.size(); i += 4) {
    picture.argb[i] = colour.alpha;
    picture.argb[i + 1] = colour.red;
    picture.argb[i + 2] = colour.green;
    picture.argb[i + 3] = colour.blue;
  }
  return picture;
}

Picture Picture::from_rgba(A_long width, A_long height, const std::uint8_t* rgba) {
  Picture picture{width, height, std::vector<std::uint8_t>(byte_count(width, height))};
  reorder_pixels(rgba, rgba_order, picture.argb.data(), argb_order, picture.argb.size() / 4);
  return picture;
}

std::vector<std::uint8_t> Picture::to_rgba() const {
  std::vector<std::uint8_t> rgba(argb.size() / 4 * 4);
  reorder_pixels(argb.data(), argb_order, rgba.data(), rgba_order, rgba.size() / 4);
  return rgba;
}

PF_Pixel Picture::at(A_long x, A_long y) const {
  const std::size_t i = offset_of(*this, x, y);
  return {argb.at(i), argb.at(i + 1), argb.at(i + 2), argb.at(i + 3)};
}

void Picture::set(A_long x, A_long y, PF_Pixel pixel) {
  const std::size_t i = offset_of(*this, x, y);
  argb.at(i) = pixel.alpha;
  argb.at(i + 1) = pixel.red;
  argb.at(i + 2) = pixel.green;
  argb.at(i + 3) = pixel.blue;
}

}  // namespace shardcast::hostsim
