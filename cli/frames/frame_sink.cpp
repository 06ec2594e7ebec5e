// Output names and writing frames to them.
//
// "-" is standard output; a name holding a frame number is a sequence and
// must name pictures; .png, .jpg and .jpeg are pictures; any container
// FFmpeg knows by its extension is a video. A name that is a folder is
// refused as such before anything else is said about it.
#include "cli/frames/frame_sink.h"

#include <cstdio>
#include <filesystem>

#include "cli/messages/output_capture.h"
#include "cli/output/pending_file.h"
#include "cli/pictures/picture_stream.h"
#include "cli/system/platform.h"

namespace shardcast::cli {

std::string plan_sink(const RenderRequest& request, FrameSink& sink) {
  sink.name = request.output;
  sink.quality = request.quality.value_or(default_jpeg_quality);
  std::error_code error;
  if (request.output == "-") {
    sink.kind = SinkKind::Stream;
    sink.format = request.format.value_or(ImageFormat::Png);
    use_binary_standard_streams();
  } else if (std::filesystem::is_directory(request.output, error)) {
    return "cannot write " + request.output + ": it is a folder; name a file in it";
  } else if (FramePattern::parse(request.output, sink.pattern).empty() && sink.pattern.has_frame_number) {
    sink.kind = SinkKind::Sequence;
    if (!output_format_for(sink.pattern.name_for(0), sink.format)) {
      return "cannot write " + request.output + ": a frame pattern names pictures (.png, .jpg or .jpeg)";
    }
  } else if (output_format_for(request.output, sink.format)) {
    sink.kind = SinkKind::Picture;
  } else if (is_video_output(request.output)) {
    if (is_special_file(request.output)) {
      return "cannot write " + request.output + ": a video is written to a regular file, not to a device or pipe";
    }
    sink.kind = SinkKind::Video;
    sink.video = std::make_unique<VideoWriter>();
    sink.video_options = request.video;
  } else {
    return "cannot write " + request.output +
           ": unknown picture or video format (use .png or .jpg for pictures, .mp4, .mkv, .mov or .webm for video)";
  }
  if (request.format.has_value() && sink.kind != SinkKind::Stream) {
    return "--format applies to pictures on standard output (-o -); the name " + request.output + " chooses the format";
  }
  if (request.quality.has_value() && !sink.is_jpeg()) {
    return "--quality applies to JPEG outputs (for video, see --crf)";
  }
  if (!request.video_given.empty() && sink.kind != SinkKind::Video) {
    return request.video_given.front() + " applies to video outputs";
  }
  return {};
}

FrameSink::~FrameSink() {
  if (video != nullptr) {
    with_library_output_relayed([this] {
      video.reset();
      return std::string();
    });
  }
}

std::string FrameSink::open_video() {
  return with_library_output_relayed([this] { return video->open(); });
}

std::string FrameSink::write(std::int64_t frame, const Image& image, const VideoFrame* timing) {
  ++written;
  switch (kind) {
    case SinkKind::Picture:
      held = image;
      held_frame = frame;
      return {};
    case SinkKind::Sequence: {
      const std::string file = pattern.name_for(frame);
      if (ImageResult result = write_image(file, image, quality); !result.ok()) {
        --written;
        return "cannot write " + file + ": " + result.error;
      }
      return {};
    }
    case SinkKind::Stream:
      if (std::string failure = write_picture(stdout, image, format, quality); !failure.empty()) {
        --written;
        return "cannot write standard output: " + failure;
      }
      return {};
    case SinkKind::Video:
      if (std::string failure = with_library_output_relayed([&] { return video->write(image, timing); });
          !failure.empty()) {
        --written;
        return "cannot write " + name + ": " + failure;
      }
      return {};
  }
  return {};
}

std::string FrameSink::finish(const std::function<void()>& waiting) {
  if (kind == SinkKind::Picture && held.has_value()) {
    if (ImageResult result = write_image(name, *held, quality); !result.ok()) {
      return "cannot write " + name + ": " + result.error;
    }
  }
  if (kind == SinkKind::Video && written > 0) {
    // The encoder is closed here too, so that what its library says on
    // closing comes before the render's closing line.
    const std::string failure = with_library_output_relayed([this, &waiting] {
      std::string failed = video->finish(waiting);
      if (failed.empty()) {
        video_description = video->describe();
        video.reset();
      }
      return failed;
    });
    if (!failure.empty()) {
      return "cannot write " + name + ": " + failure;
    }
  }
  return {};
}

void FrameSink::remove_finished() {
  std::error_code error;
  if ((kind == SinkKind::Picture || kind == SinkKind::Video) && std::filesystem::is_regular_file(name, error)) {
    std::filesystem::remove(output_target(name), error);
  }
}

std::string FrameSink::describe(std::int64_t first, std::int64_t last) const {
  switch (kind) {
    case SinkKind::Picture:
      return name;
    case SinkKind::Sequence:
      return first == last ? pattern.name_for(first) : pattern.name_for(first) + " to " + pattern.name_for(last);
    case SinkKind::Stream:
      return "standard output";
    case SinkKind::Video:
      return name + " (" + (video != nullptr ? video->describe() : video_description) + ")";
  }
  return name;
}

}  // namespace shardcast::cli
