// JPEG files through TurboJPEG.
//
// A JPEG input gets an opaque alpha; one cut short or damaged inside is
// decoded as far as it goes, with a warning. Its marker segments are read
// first, so that a size beyond the limits, or data far too short for the
// frame declared, is refused before TurboJPEG makes a buffer for it.
// Writing is baseline with 4:4:4 sampling.
#include <turbojpeg.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/pictures/file_signatures.h"
#include "cli/pictures/image.h"

namespace shardcast::cli {
namespace {

struct TurboJpegHandle {
  tjhandle handle;
  explicit TurboJpegHandle(tjhandle h) : handle(h) {}
  TurboJpegHandle(const TurboJpegHandle&) = delete;
  TurboJpegHandle& operator=(const TurboJpegHandle&) = delete;
  ~TurboJpegHandle() {
    if (handle != nullptr) {
      tjDestroy(handle);
    }
  }
};

struct TurboJpegBuffer {
  unsigned char* data = nullptr;
  unsigned long size = 0;
  TurboJpegBuffer() = default;
  TurboJpegBuffer(const TurboJpegBuffer&) = delete;
  TurboJpegBuffer& operator=(const TurboJpegBuffer&) = delete;
  ~TurboJpegBuffer() { tjFree(data); }
};

// What a JPEG file's marker segments say about its coded data. Markers are
// found as libjpeg finds them: stray and fill bytes between segments are
// skipped.
struct JpegLayout {
  std::uint32_t width = 0;  // as the frame header declares; 0 x 0 without one
  std::uint32_t height = 0;
  std::size_t scan_start = 0;  // the first byte after the first scan header
  bool ends = false;           // an end-of-image marker follows it
  std::uint64_t least = 0;     // the fewest bytes of coded data the frame needs
};

// A Huffman-coded frame (baseline, extended or progressive) codes at least
// one component, and the first scan of a component codes a DC difference
// for each of its blocks in at least one bit (a progressive AC scan may code
// a run of empty blocks in one code, but only after that DC scan): at least
// one bit per block of the smallest component. Arithmetic coding has no such
// floor (nor do the processes TurboJPEG cannot decode anyway), so those
// frames need no bytes here.
std::uint64_t least_huffman_bytes(const std::uint8_t* frame, std::size_t length) {
  if (length < 6 || frame[5] == 0 || length < 6 + std::size_t{frame[5]} * 3) {
    return 0;
  }
  const std::uint64_t height = big_endian_16(frame + 1);
  const std::uint64_t width = big_endian_16(frame + 3);
  const std::uint8_t* components = frame + 6;
  std::uint64_t h_max = 1;
  std::uint64_t v_max = 1;
  for (std::size_t c = 0; c < frame[5]; ++c) {
    h_max = std::max<std::uint64_t>(h_max, components[c * 3 + 1] >> 4);
    v_max = std::max<std::uint64_t>(v_max, components[c * 3 + 1] & 0x0F);
  }
  // Blocks along one side of a component: its samples, rounded up, in 8s.
  auto blocks = [](std::uint64_t size, std::uint64_t factor, std::uint64_t max) {
    return ((size * factor + max - 1) / max + 7) / 8;
  };
  std::uint64_t fewest = UINT64_MAX;
  for (std::size_t c = 0; c < frame[5]; ++c) {
    const std::uint64_t h = components[c * 3 + 1] >> 4;
    const std::uint64_t v = components[c * 3 + 1] & 0x0F;
    fewest = std::min(fewest, blocks(width, h, h_max) * blocks(height, v, v_max));
  }
  return fewest / 8;
}

JpegLayout jpeg_layout(const std::vector<std::uint8_t>& bytes) {
  JpegLayout layout;
  std::size_t at = 2;  // after the start-of-image marker
  while (at + 1 < bytes.size()) {
    const std::uint8_t marker = bytes[at + 1];
    if (bytes[at] != 0xFF || marker == 0xFF || marker == 0x00) {
      ++at;
      continue;
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // markers without a segment
      at += 2;
      continue;
    }
    if (marker == 0xD9 || at + 3 >= bytes.size()) {
      break;
    }
    const std::size_t length = big_endian_16(bytes.data() + at + 2);
    if (length < 2 || length > bytes.size() - at - 2) {
      break;
    }
    if (is_start_of_frame(marker) && length >= 7) {
      layout.height = big_endian_16(bytes.data() + at + 5);
      layout.width = big_endian_16(bytes.data() + at + 7);
    }
    if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
      layout.least = least_huffman_bytes(bytes.data() + at + 4, length - 2);
    }
    if (marker == 0xDA) {
      layout.scan_start = at + 2 + length;
      // Inside coded data 0xFF is always followed by 0x00 or a marker, so the
      // first 0xFF 0xD9 after the scan header is the end-of-image marker.
      for (std::size_t i = layout.scan_start; i + 1 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xD9) {
          layout.ends = true;
          break;
        }
      }
      break;
    }
    at += 2 + length;
  }
  return layout;
}

}  // namespace

ImageResult encode_jpeg(const Image& image, int quality, std::vector<std::uint8_t>& bytes) {
  TurboJpegHandle compressor(tjInitCompress());
  if (compressor.handle == nullptr) {
    return {std::string("JPEG encoder unavailable (") + tjGetErrorStr2(nullptr) + ")"};
  }
  TurboJpegBuffer stream;
  if (tjCompress2(compressor.handle, image.rgba.data(), image.width, 0, image.height, TJPF_RGBA, &stream.data,
                  &stream.size, TJSAMP_444, quality, 0) != 0) {
    return {std::string("JPEG encoding failed (") + tjGetErrorStr2(compressor.handle) + ")"};
  }
  bytes.assign(stream.data, stream.data + stream.size);
  return {};
}

ImageResult decode_jpeg(const std::vector<std::uint8_t>& bytes, Image& image, const PictureLimits& limits) {
  // The file is judged on its own marker segments first, so that a size
  // beyond the limits or a file far too short for its frame is refused in
  // the same words as in any other format, whatever TurboJPEG would say.
  const JpegLayout layout = jpeg_layout(bytes);
  if (layout.width > 0 || layout.height > 0) {
    if (std::string refusal = limits.check_size("picture", layout.width, layout.height); !refusal.empty()) {
      return {refusal};
    }
  }
  if (std::string refusal =
          check_data_fills(layout.width, layout.height, layout.least, bytes.size() - layout.scan_start);
      !refusal.empty()) {
    return {refusal};
  }
  TurboJpegHandle decompressor(tjInitDecompress());
  if (decompressor.handle == nullptr) {
    return {std::string("JPEG decoder unavailable (") + tjGetErrorStr2(nullptr) + ")"};
  }
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colourspace = 0;
  if (tjDecompressHeader3(decompressor.handle, bytes.data(), bytes.size(), &width, &height, &subsampling,
                          &colourspace) != 0) {
    return {std::string("corrupt JPEG file (") + tjGetErrorStr2(decompressor.handle) + ")"};
  }
  if (std::string refusal =
          limits.check_size("picture", static_cast<std::uint64_t>(width), static_cast<std::uint64_t>(height));
      !refusal.empty()) {
    return {refusal};
  }
  image.width = width;
  image.height = height;
  image.rgba.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 0);
  if (tjDecompress2(decompressor.handle, bytes.data(), bytes.size(), image.rgba.data(), width, 0, height, TJPF_RGBA,
                    0) != 0) {
    if (tjGetErrorCode(decompressor.handle) == TJERR_FATAL) {
      return {std::string("cannot decode this JPEG file (") + tjGetErrorStr2(decompressor.handle) + ")"};
    }
    // libjpeg fills what it could not decode with grey and goes on.
    return ImageResult::damaged(tjGetErrorStr2(decompressor.handle));
  }
  if (!layout.ends) {
    return ImageResult::damaged("it is cut short: no end-of-image marker after its picture data");
  }
  return {};
}

}  // namespace shardcast::cli
