// JPEG kinds from the frame header.
#include "cli/pictures/jpeg_kind.h"

#include "cli/pictures/file_signatures.h"

namespace shardcast::cli {

JpegKind read_jpeg_kind(const std::vector<std::uint8_t>& bytes) {
  JpegKind kind;
  std::size_t at = 2;
  while (at + 4 <= bytes.size()) {
    if (bytes[at] != 0xFF) {
      return kind;
    }
    const std::uint8_t marker = bytes[at + 1];
    if (marker == 0xFF) {
      ++at;
      continue;
    }
    const std::size_t length = big_endian_16(bytes.data() + at + 2);
    const bool frame = is_start_of_frame(marker);
    if (frame) {
      kind.frame_marker = marker;
      if (at + 10 > bytes.size()) {
        return kind;
      }
      kind.precision = bytes[at + 4];
      kind.components = bytes[at + 9];
      for (int i = 0; i < kind.components && at + 12 + 3 * static_cast<std::size_t>(i) <= bytes.size(); ++i) {
        const std::uint8_t sampling = bytes[at + 11 + 3 * static_cast<std::size_t>(i)];
        kind.sampling += (i > 0 ? ", " : "") + std::to_string(sampling >> 4) + "x" + std::to_string(sampling & 0x0F);
        if (i == 0) {
          kind.luma_h = sampling >> 4;
          kind.luma_v = sampling & 0x0F;
        } else if (sampling != 0x11) {
          kind.chroma_full = false;
        }
      }
      return kind;
    }
    if (marker == 0xDA || marker == 0xD9 || length < 2) {
      return kind;
    }
    at += 2 + length;
  }
  return kind;
}

bool JpegKind::decoder_reads() const {
  const auto takes = [](int factor) { return factor == 1 || factor == 2; };
  return frame_marker == 0xC0 && precision == 8 && (components == 1 || components == 3) && takes(luma_h) &&
         takes(luma_v) && chroma_full;
}

std::string JpegKind::describe() const {
  if (frame_marker == 0) {
    return "a JPEG without a frame header";
  }
  const bool arithmetic = frame_marker >= 0xC9;
  const int process = frame_marker & 0x03;  // 0 baseline, 1 extended, 2 progressive, 3 lossless
  std::string text;
  if (frame_marker == 0xC0) {
    text = "a baseline JPEG";
  } else if (process == 2) {
    text = arithmetic ? "a progressive arithmetic-coded JPEG" : "a progressive JPEG";
  } else if (process == 3) {
    text = "a lossless JPEG";
  } else {
    text = arithmetic ? "an arithmetic-coded JPEG" : "an extended sequential JPEG";
  }
  if (frame_marker >= 0xC5 && frame_marker <= 0xC7) {
    text = "a hierarchical JPEG";
  }
  if (precision != 8) {
    text += " with " + std::to_string(precision) + "-bit samples";
  } else if (components == 4) {
    text += " with four components (CMYK)";
  } else if (components != 1 && components != 3) {
    text += " with " + std::to_string(components) + " components";
  } else if (!chroma_full || luma_h > 2 || luma_v > 2 || luma_h == 0 || luma_v == 0) {
    text += " with sampling factors " + sampling;
  }
  return text;
}

std::string unread_kind_line(const std::string& name, const JpegKind& kind) {
  return name + " is " + kind.describe() +
         ", but the decoder reads baseline JPEGs of 8-bit samples with 1 or 3 components, luma sampled 1 or 2 "
         "each way and chroma 1x1 (`shardcast render in.png -o clean.jpg` writes one)";
}

}  // namespace shardcast::cli
