// Frames of the studio's input through the render command's own source
// (frame_source.h): a sequence's frame opens a source of that one frame, a
// clip's frames come from one source read forward.
#include "cli/studio/studio_input.h"

namespace shardcast::cli {
namespace {

constexpr std::size_t frames_kept = 4;

const char* kind_word(SourceKind kind) {
  switch (kind) {
    case SourceKind::Sample:
      return "the built-in sample frame";
    case SourceKind::Picture:
      return "a picture";
    case SourceKind::Sequence:
      return "a frame sequence";
    case SourceKind::Stream:
      return "standard input";
    case SourceKind::Clip:
      return "a clip";
  }
  return "";
}

void no_skipped_frames(double) {}

}  // namespace

std::string StudioInput::open(const StudioRequest& request) {
  request_.input = request.input;
  request_.limits = request.limits;
  request_.sample_width = request.sample_width;
  request_.sample_height = request.sample_height;
  if (request.input == "-") {
    return "the studio reads a file: a picture, a frame pattern or a clip, not standard input";
  }
  FrameSource source;
  if (std::string refusal = open_source(request_, source); !refusal.empty()) {
    return refusal;
  }
  info_.kind = source.kind;
  info_.name = request.input;
  info_.rate = source.rate;
  info_.description = request.input.empty() ? kind_word(source.kind) : request.input + ", " + kind_word(source.kind);
  if (source.kind == SourceKind::Clip) {
    if (!source.clip->info().frame_count_known) {
      if (std::string failure = source.clip->count_frames(); !failure.empty()) {
        return "cannot read " + request.input + ": " + failure;
      }
    }
    const ClipInfo& clip = source.clip->info();
    if (clip.frame_count <= 0) {
      return "cannot read " + request.input + ": it holds no frame";
    }
    info_.width = clip.width;
    info_.height = clip.height;
    info_.last = clip.frame_count - 1;
    info_.description = request.input + ": " + clip.description;
    clip_ = std::move(source);
    return {};
  }
  info_.first = source.range.first;
  info_.last = source.range.last;
  std::shared_ptr<const Image> first;
  if (source.kind == SourceKind::Sequence) {
    std::string warning;
    if (std::string failure = frame(info_.first, first, warning); !failure.empty()) {
      return failure;
    }
  } else {
    first = picture_ = std::make_shared<const Image>(std::move(source.picture));
    picture_warning_ = source.picture_warning;
  }
  info_.width = first->width;
  info_.height = first->height;
  return {};
}

std::string StudioInput::frame(std::int64_t number, std::shared_ptr<const Image>& image, std::string& warning) {
  warning.clear();
  if (number < info_.first || number > info_.last) {
    return "there is no frame " + std::to_string(number) + ": the frames are " + std::to_string(info_.first) + " to " +
           std::to_string(info_.last);
  }
  if (picture_ != nullptr) {
    image = picture_;
    warning = picture_warning_;
    return {};
  }
  for (const auto& [kept_number, kept_image] : kept_) {
    if (kept_number == number) {
      image = kept_image;
      return {};
    }
  }
  SourceFrame frame;
  const std::string failure =
      info_.kind == SourceKind::Clip ? read_clip_frame(number, frame) : read_sequence_frame(number, frame);
  if (!failure.empty()) {
    return failure;
  }
  image = std::make_shared<const Image>(std::move(frame.image));
  warning = frame.warning;
  kept_.emplace_back(number, image);
  if (kept_.size() > frames_kept) {
    kept_.pop_front();
  }
  return {};
}

std::string StudioInput::read_sequence_frame(std::int64_t number, SourceFrame& frame) {
  RenderRequest single = request_;
  single.frames = FrameRange{number, number};
  FrameSource source;
  if (std::string refusal = open_source(single, source); !refusal.empty()) {
    return refusal;
  }
  bool end = false;
  if (std::string failure = source.next(frame, end, no_skipped_frames); !failure.empty()) {
    return failure;
  }
  return end ? "frame " + std::to_string(number) + " is missing" : std::string();
}

std::string StudioInput::read_clip_frame(std::int64_t number, SourceFrame& frame) {
  if (clip_.clip == nullptr || number < clip_.next_number) {
    clip_ = FrameSource{};
    if (std::string refusal = open_source(request_, clip_); !refusal.empty()) {
      return refusal;
    }
  }
  for (;;) {
    bool end = false;
    if (std::string failure = clip_.next(frame, end, no_skipped_frames); !failure.empty()) {
      clip_ = FrameSource{};
      return failure;
    }
    if (end) {
      clip_ = FrameSource{};
      return "cannot read " + info_.name + ": it ends before frame " + std::to_string(number);
    }
    if (frame.number == number) {
      return {};
    }
  }
}

}  // namespace shardcast::cli
