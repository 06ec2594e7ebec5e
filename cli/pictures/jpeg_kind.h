// What kind of JPEG a file is, read from its frame header, and whether the
// effect's decoder reads that kind: baseline (SOF0) with 8-bit samples, one
// or three components, luma sampled 1 or 2 each way and chroma 1x1. That
// is what libjpeg-turbo writes for the effect and what `render` writes for
// .jpg outputs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace shardcast::cli {

struct JpegKind {
  std::uint8_t frame_marker = 0;  // the SOFn code; 0 when no frame header was found
  int precision = 0;
  int components = 0;
  int luma_h = 0;
  int luma_v = 0;
  bool chroma_full = true;  // every component after the first sampled 1x1
  std::string sampling;     // "2x1, 1x1, 1x1"

  bool decoder_reads() const;
  // "a progressive JPEG", "a baseline JPEG with sampling factors 4x1, 1x1, 1x1".
  std::string describe() const;
};

// Walks the segments up to the first frame header; never reads past the
// end of the bytes.
JpegKind read_jpeg_kind(const std::vector<std::uint8_t>& bytes);

// The one line `decode` says about a JPEG its decoder does not read.
std::string unread_kind_line(const std::string& name, const JpegKind& kind);

}  // namespace shardcast::cli
