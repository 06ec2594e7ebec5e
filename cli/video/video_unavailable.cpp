// Video in a build without FFmpeg's libraries (the Windows build): names of
// video files are still recognised, so that they are refused for what they
// are, and every operation refuses.
#include "cli/video/video.h"

namespace shardcast::cli {

namespace {
const char* const unavailable = "this build of shardcast reads and writes no video (it has no FFmpeg libraries)";
}

bool video_supported() { return false; }

bool is_video_output(const std::string& path) {
  const std::string extension = lower_extension(path);
  for (const char* video : {".mp4", ".m4v", ".mkv", ".mov", ".webm", ".avi"}) {
    if (extension == video) {
      return true;
    }
  }
  return false;
}

struct VideoReader::State {
  ClipInfo info;
};

VideoReader::VideoReader() : state_(std::make_unique<State>()) {}
VideoReader::~VideoReader() = default;
std::string VideoReader::open(const std::string&, const PictureLimits&) { return unavailable; }
std::string VideoReader::open_memory(std::span<const std::uint8_t>, const PictureLimits&) { return unavailable; }
std::string VideoReader::count_frames() { return unavailable; }
void VideoReader::seek_frame(std::int64_t) {}
void VideoReader::seek_time(double) {}
const ClipInfo& VideoReader::info() const { return state_->info; }
std::string VideoReader::next(VideoFrame&, bool& end) {
  end = true;
  return unavailable;
}

struct VideoWriter::State {};

VideoWriter::VideoWriter() : state_(std::make_unique<State>()) {}
VideoWriter::~VideoWriter() = default;
std::string VideoWriter::prepare(const std::string&, const VideoOutputOptions&, VideoReader*, std::int32_t,
                                 std::int32_t) {
  return unavailable;
}
const std::vector<VideoNotice>& VideoWriter::notices() const {
  static const std::vector<VideoNotice> none;
  return none;
}
std::string VideoWriter::describe() const { return {}; }
std::string VideoWriter::open() { return unavailable; }
std::string VideoWriter::write(const Image&, const VideoFrame*) { return unavailable; }
void VideoWriter::skip_to(double) {}
std::string VideoWriter::finish(const std::function<void()>&) { return unavailable; }

}  // namespace shardcast::cli
