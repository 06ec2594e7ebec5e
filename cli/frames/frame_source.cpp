// Opening a render's input and giving its frames one by one.
//
// A name is a frame pattern when it holds a frame number and no file of
// that very name exists; a file is a picture when it starts like a PNG or a
// JPEG (or is named like one, so that a damaged picture is refused as a
// picture), and a clip otherwise. Frames outside --frames or --time are
// read and passed over; a clip or standard input that ends before the last
// frame asked for is an error, not a shorter render.
#include "cli/frames/frame_source.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "AE_Effect.h"
#include "cli/pictures/file_signatures.h"
#include "cli/pictures/sample_frame.h"
#include "cli/system/platform.h"

namespace shardcast::cli {
namespace {

// The host's layers are at most 30000 pixels each way; a larger picture
// is refused here, as the host would not take it.
std::string check_host_layer(const std::string& what, std::int32_t width, std::int32_t height) {
  if (width <= PF_MAX_WORLD_WIDTH && height <= PF_MAX_WORLD_HEIGHT) {
    return {};
  }
  return what + " of " + std::to_string(width) + "x" + std::to_string(height) +
         " pixels is larger than the host's largest layer (" + std::to_string(PF_MAX_WORLD_WIDTH) + "x" +
         std::to_string(PF_MAX_WORLD_HEIGHT) + ")";
}

bool named_like_a_picture(const std::string& path) {
  ImageFormat format{};
  return output_format_for(path, format);
}

// The first bytes of a file, or the reason it cannot be read.
std::string first_bytes(const std::string& path, std::uint8_t (&bytes)[4], std::size_t& count) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) {
    return "it is a folder";
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return std::strerror(errno);
  }
  count = std::fread(bytes, 1, sizeof bytes, file);
  std::fclose(file);
  return {};
}

std::string open_file(const RenderRequest& request, FrameSource& source) {
  std::uint8_t bytes[4] = {};
  std::size_t count = 0;
  if (std::string failure = first_bytes(request.input, bytes, count); !failure.empty()) {
    return "cannot read " + request.input + ": " + failure;
  }
  // Only four bytes are read: a PNG is told by the first four of its signature.
  const std::span<const std::uint8_t> start(bytes, count);
  const bool png = begins_with(start, std::span(png_signature).first<4>());
  const bool jpeg = begins_with(start, jpeg_start);
  if (png || jpeg || named_like_a_picture(request.input)) {
    source.kind = SourceKind::Picture;
    const ImageResult read = read_image(request.input, source.picture, request.limits);
    if (!read.ok()) {
      return "cannot read " + request.input + ": " + read.error;
    }
    source.picture_warning = read.warning;
    return check_host_layer(request.input, source.picture.width, source.picture.height);
  }
  source.kind = SourceKind::Clip;
  source.clip = std::make_unique<VideoReader>();
  if (std::string failure = source.clip->open(request.input, request.limits); !failure.empty()) {
    return "cannot read " + request.input + ": " + failure;
  }
  return check_host_layer("each frame of " + request.input, source.clip->info().width, source.clip->info().height);
}

// Without --frames, or with A-, the files on disk say where the sequence
// ends.
std::string find_frames(const RenderRequest& request, FrameSource& source) {
  if (!request.frames.has_value()) {
    return find_sequence(source.pattern, source.range);
  }
  if (request.frames->open_end) {
    std::vector<std::int64_t> frames;
    if (std::string failure = list_frames(source.pattern, frames); !failure.empty()) {
      return failure;
    }
    if (frames.empty() || frames.back() < source.range.first) {
      return "no file of the pattern has a frame number from " + std::to_string(source.range.first) + " on";
    }
    source.range.last = frames.back();
  }
  return check_sequence(source.pattern, source.range);
}

std::string open_sequence(const RenderRequest& request, FrameSource& source) {
  source.kind = SourceKind::Sequence;
  const std::string failure = find_frames(request, source);
  return failure.empty() ? std::string() : "cannot read " + request.input + ": " + failure;
}

// Whether the render's checks need a clip's last frame number, which the
// clip does not declare: to step the seed, or near the end of the host's
// clock (the duration only suggests a count).
bool needs_frame_count(const RenderRequest& request, const FrameSource& source) {
  if (source.kind != SourceKind::Clip || source.bounded || source.time.has_value()) {
    return false;
  }
  const ClipInfo& info = source.clip->info();
  return !info.frame_count_known &&
         (request.seed_step != 0 || info.frame_count <= 0 || info.frame_count > last_host_frame(source.rate) / 2);
}

// Every frame the render will give must have a time on the host's clock;
// checked at the last frame known before the first is read.
std::string check_host_time(const RenderRequest& request, FrameSource& source) {
  if (needs_frame_count(request, source)) {
    if (std::string failure = source.clip->count_frames(); !failure.empty()) {
      return "cannot read " + source.name + ": " + failure;
    }
  }
  const std::int64_t last = source.expected_frames().last;
  return last > last_host_frame(source.rate) ? beyond_host_time(source.rate, last) : std::string();
}

std::string damaged(const std::string& name, const std::string& warning) {
  return warning.empty() ? warning : name + " is damaged (" + warning + "); the effect gets what could be decoded";
}

// The stream or clip has no more frames: the end, unless --frames asked
// for more.
std::string ran_out(const FrameSource& source, bool& end) {
  if (!source.bounded) {
    end = true;
    return {};
  }
  return "cannot read " + source.name + ": " +
         (source.next_number == 0 ? std::string("it holds no frame")
                                  : "it ends after frame " + std::to_string(source.next_number - 1) +
                                        ", but --frames asks for frames up to " + std::to_string(source.range.last));
}

// The sample frame or the one picture, once for each frame asked for.
std::string next_picture(FrameSource& source, SourceFrame& frame, bool& end) {
  if (source.next_number > source.range.last) {
    end = true;
    return {};
  }
  frame.number = source.next_number++;
  frame.image = source.picture;
  if (source.given == 0) {
    frame.warning = damaged(source.name, source.picture_warning);
  }
  return {};
}

std::string next_in_sequence(FrameSource& source, SourceFrame& frame, bool& end) {
  if (source.next_number > source.range.last) {
    end = true;
    return {};
  }
  frame.number = source.next_number++;
  const std::string file = source.pattern.name_for(frame.number);
  const ImageResult read = read_image(file, frame.image, source.limits);
  if (!read.ok()) {
    return "frame " + std::to_string(frame.number) + ": cannot read " + file + ": " + read.error;
  }
  if (std::string refusal = check_host_layer(file, frame.image.width, frame.image.height); !refusal.empty()) {
    return "frame " + std::to_string(frame.number) + ": " + refusal;
  }
  frame.warning = damaged(file, read.warning);
  return {};
}

// Pictures before --frames are read and passed over.
std::string next_from_stream(FrameSource& source, SourceFrame& frame, bool& end) {
  for (;;) {
    if (source.next_number > source.range.last) {
      end = true;
      return {};
    }
    std::vector<std::uint8_t> bytes;
    bool stream_end = false;
    if (std::string failure = source.stream->next(bytes, stream_end); !failure.empty()) {
      return "cannot read standard input: " + failure;
    }
    if (stream_end) {
      return ran_out(source, end);
    }
    const std::int64_t number = source.next_number++;
    if (number < source.range.first) {
      continue;
    }
    const ImageResult read = decode_image(bytes, frame.image, source.limits);
    const std::string picture = "picture " + std::to_string(number + 1) + " on standard input";
    if (!read.ok()) {
      return "cannot read standard input: picture " + std::to_string(number + 1) + ": " + read.error;
    }
    if (std::string refusal = check_host_layer(picture, frame.image.width, frame.image.height); !refusal.empty()) {
      return refusal;
    }
    frame.number = number;
    frame.warning = damaged(picture, read.warning);
    return {};
  }
}

// With -v, where decoding began for a part of the clip: at the key frame
// before it, when the clip could seek there.
void tell_first_decoded(const FrameSource& source, std::int64_t first_wanted) {
  const bool part = source.range.first > 0 || (source.time.has_value() && source.time->start > 0);
  if (source.given == 0 && part) {
    report_info(source.name + ": the part starts at frame " + std::to_string(first_wanted) +
                "; decoding began at frame " + std::to_string(source.first_decoded));
  }
}

// Frames before --frames or --time are decoded and passed to `skipped`; a
// frame at or past the end of --time ends the render.
std::string next_from_clip(FrameSource& source, SourceFrame& frame, bool& end,
                           const std::function<void(double)>& skipped) {
  // A part of the clip is sought rather than decoded from the start.
  if (source.next_number == 0 && source.range.first > 0) {
    source.clip->seek_frame(source.range.first);
  } else if (source.next_number == 0 && source.time.has_value() && source.time->start > 0) {
    source.clip->seek_time(source.time->start);
  }
  for (;;) {
    if (source.next_number > source.range.last) {
      end = true;
      return {};
    }
    VideoFrame decoded;
    bool clip_end = false;
    if (std::string failure = source.clip->next(decoded, clip_end); !failure.empty()) {
      return "cannot read " + source.name + ": " + failure;
    }
    if (clip_end) {
      return ran_out(source, end);
    }
    source.next_number = decoded.number + 1;
    if (source.first_decoded < 0) {
      source.first_decoded = decoded.number;
    }
    const std::optional<TimeRange>& time = source.time;
    if (time.has_value() && decoded.seconds >= time->end) {
      end = true;
      return {};
    }
    if (decoded.number < source.range.first || (time.has_value() && decoded.seconds < time->start)) {
      skipped(decoded.seconds);
      continue;
    }
    tell_first_decoded(source, decoded.number);
    frame.number = decoded.number;
    frame.image = std::move(decoded.image);
    decoded.image = Image{};
    frame.timing = std::move(decoded);
    return {};
  }
}

}  // namespace

std::string open_source(const RenderRequest& request, FrameSource& source) {
  source.name = request.input;
  source.time = request.time;
  source.range = request.frames.value_or(FrameRange{0, 0});
  source.rate = request.rate.value_or(FrameRate{});
  source.limits = request.limits;
  std::string failure;
  if (request.input.empty()) {
    source.kind = SourceKind::Sample;
    source.picture = sample_frame(request.sample_width, request.sample_height);
  } else if (request.input == "-") {
    source.kind = SourceKind::Stream;
    source.name = "standard input";
    use_binary_standard_streams();
    source.stream = std::make_unique<PictureStreamReader>(stdin, request.limits);
  } else if (std::error_code error; FramePattern::parse(request.input, source.pattern).empty() &&
                                    source.pattern.has_frame_number && !std::filesystem::exists(request.input, error)) {
    failure = open_sequence(request, source);
  } else {
    failure = open_file(request, source);
  }
  if (!failure.empty()) {
    return failure;
  }
  if (source.kind == SourceKind::Stream || source.kind == SourceKind::Clip) {
    source.bounded = request.frames.has_value() && !request.frames->open_end;
    if (!request.frames.has_value()) {
      source.range = FrameRange{0, max_frame_number, true};
    }
  }
  if (source.kind == SourceKind::Clip) {
    source.rate = source.clip->info().rate;
  }
  source.next_number = source.kind == SourceKind::Stream || source.kind == SourceKind::Clip ? 0 : source.range.first;
  return check_host_time(request, source);
}

bool FrameSource::single() const { return bounded && range.count() == 1; }

std::int64_t FrameSource::expected_count() const {
  if (bounded) {
    return range.count();
  }
  if (kind != SourceKind::Clip) {
    return 0;
  }
  const std::int64_t whole = clip->info().frame_count;
  if (time.has_value() && !time->open_end()) {
    const std::int64_t part = std::llround((time->end - time->start) * rate.per_second());
    return whole > 0 ? std::min(part, whole) : part;
  }
  const std::int64_t first = time.has_value() ? expected_frames().first : range.first;
  return whole > first ? whole - first : 0;
}

FrameRange FrameSource::expected_frames() const {
  if (bounded) {
    return range;
  }
  // Only a count the clip declares or that was counted gives the last
  // frame: a guess from the duration may be far off either way, and so may
  // the frames a time range holds.
  if (kind == SourceKind::Clip && time.has_value()) {
    const double first = std::ceil(time->start * rate.per_second());
    return FrameRange{first < max_frame_number ? static_cast<std::int64_t>(first) : max_frame_number, -1};
  }
  const bool known = kind == SourceKind::Clip && clip->info().frame_count_known && clip->info().frame_count > 0;
  return FrameRange{range.first, known ? clip->info().frame_count - 1 : -1};
}

std::string FrameSource::next(SourceFrame& frame, bool& end, const std::function<void(double)>& skipped) {
  end = false;
  frame = SourceFrame{};
  std::string failure;
  switch (kind) {
    case SourceKind::Sample:
    case SourceKind::Picture:
      failure = next_picture(*this, frame, end);
      break;
    case SourceKind::Sequence:
      failure = next_in_sequence(*this, frame, end);
      break;
    case SourceKind::Stream:
      failure = next_from_stream(*this, frame, end);
      break;
    case SourceKind::Clip:
      failure = next_from_clip(*this, frame, end, skipped);
      break;
  }
  if (failure.empty() && !end) {
    ++given;
  }
  return failure;
}

}  // namespace shardcast::cli
