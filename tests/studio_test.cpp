// The studio's parts apart from HTTP and the browser: the render queue
// where the newest change wins, what the page's values may be, the words
// of the render command a page stands for, the decoder's lines summed up,
// frames of the input by number, and whole renders in a child process
// with their progress read off its terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <future>
#include <latch>
#include <mutex>
#include <new>
#include <thread>

#include "cli/pictures/image.h"
#include "cli/studio/clip_render.h"
#include "cli/studio/render_queue.h"
#include "cli/studio/studio_input.h"
#include "cli/studio/studio_values.h"
#include "support/scratch_folder.h"

namespace shardcast::cli {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

// Jobs are queued while the first one holds the render thread.
TEST(RenderQueue, ANewerPreviewReplacesOneWaitingAndOtherJobsAllRun) {
  RenderQueue queue;
  std::mutex mutex;
  std::vector<std::string> ran;
  const auto job = [&](int lane, std::string name) {
    return QueuedJob{lane, [&mutex, &ran, name] {
                       std::lock_guard lock(mutex);
                       ran.push_back(name);
                     }};
  };
  std::latch holding(1);
  std::latch release(1);
  QueuedJob first{0, [&] {
                    holding.count_down();
                    release.wait();
                  }};
  auto first_done = std::async(std::launch::async, [&] { return queue.run(first); });
  holding.wait();
  QueuedJob exported = job(0, "export");
  QueuedJob older = job(1, "older preview");
  QueuedJob original = job(2, "original");
  QueuedJob newer = job(1, "newer preview");
  const auto waiting_for = [&queue](std::size_t count) {
    while (queue.waiting() < count) {
      std::this_thread::sleep_for(1ms);
    }
  };
  auto exported_done = std::async(std::launch::async, [&] { return queue.run(exported); });
  waiting_for(1);
  auto older_done = std::async(std::launch::async, [&] { return queue.run(older); });
  waiting_for(2);
  auto original_done = std::async(std::launch::async, [&] { return queue.run(original); });
  waiting_for(3);
  auto newer_done = std::async(std::launch::async, [&] { return queue.run(newer); });
  EXPECT_EQ(older_done.get(), JobOutcome::Replaced);
  release.count_down();
  EXPECT_EQ(first_done.get(), JobOutcome::Done);
  EXPECT_EQ(exported_done.get(), JobOutcome::Done);
  EXPECT_EQ(original_done.get(), JobOutcome::Done);
  EXPECT_EQ(newer_done.get(), JobOutcome::Done);
  EXPECT_EQ(ran, (std::vector<std::string>{"export", "original", "newer preview"}));
}

TEST(RenderQueue, AJobOutOfMemoryIsAnsweredAndTheThreadGoesOn) {
  RenderQueue queue;
  QueuedJob hungry{0, [] { throw std::bad_alloc(); }};
  EXPECT_EQ(queue.run(hungry), JobOutcome::OutOfMemory);
  bool ran = false;
  QueuedJob next{1, [&ran] { ran = true; }};
  EXPECT_EQ(queue.run(next), JobOutcome::Done);
  EXPECT_TRUE(ran);
  queue.stop();
  QueuedJob late{0, [] {}};
  EXPECT_EQ(queue.run(late), JobOutcome::Stopped);
}

// The parameters as the module registers them, from the parameter table.
std::vector<ParameterInfo> registered() {
  std::vector<ParameterInfo> infos;
  for (const ParamRow* row : value_params) {
    ParameterInfo info;
    info.index = row->index;
    info.kind = row->kind == ParamKind::Checkbox ? ParameterKind::Checkbox : ParameterKind::Slider;
    info.shown_name = row->name;
    info.group = std::string(group_of(*row));
    info.minimum = row->minimum;
    info.maximum = row->maximum;
    info.default_value = row->dephault;
    infos.push_back(info);
  }
  return infos;
}

TEST(StudioValues, ThePagesValuesAreCheckedAsTheCommandLineIs) {
  ParameterValues given;
  AnimatedValues resolved;
  ASSERT_EQ(values_from_json(json{{"broken-bytes", "0@0,10@10"}, {"qtl", "on"}, {"seed", 5}, {"filter1", true}},
                             registered(), given, resolved),
            "");
  EXPECT_EQ(resolved.at(PARAM_BROKEN_BYTES, 5), 5.0);
  EXPECT_EQ(resolved.at(PARAM_QTL, 0), 1.0);
  EXPECT_EQ(resolved.at(PARAM_SEED, 0), 5.0);
  EXPECT_EQ(resolved.at(PARAM_COMPRESSION_RATIO, 0), 100.0);  // not given: its default
  const struct {
    json values;
    const char* refusal;
  } refused[] = {
      {json::array(), "values: expected an object"},
      {json{{"../../etc/passwd", "1"}}, "there is no parameter \"../../etc/passwd\""},
      {json{{"seed", json::array()}}, "--seed: expected a number"},
      {json{{"seed", true}}, "--seed: expected a number"},
      {json{{"qtl", 1}}, "--qtl: expected on or off"},
      {json{{"seed", "1@5,2@3"}}, "--seed: key frames must ascend"},
      {json{{"broken-bytes", 10001}}, "--broken-bytes (\"Broken bytes\" in \"Broken bytes\") must lie between"},
      {json{{"broken-bytes", "0@0,1e9@4"}}, "(the key at frame 4 is 1e+09)"},
      {json{{"glitch-start", "nan"}}, "--glitch-start (\"start of glitch\" in \"Broken bytes\") must lie between"},
  };
  for (const auto& r : refused) {
    const std::string refusal = values_from_json(r.values, registered(), given, resolved);
    EXPECT_NE(refusal.find(r.refusal), std::string::npos) << r.values.dump() << ": " << refusal;
  }
}

TEST(StudioValues, RenderArgumentsAreTheCommandLineOfTheFrameShown) {
  ParameterValues values;
  AnimatedValues resolved;
  ASSERT_EQ(values_from_json(json{{"qtl", "on"}, {"broken-bytes", "0@0,40@10"}, {"seed", "1"}}, registered(), values,
                             resolved),
            "");
  values = without_defaults(values, registered());
  RenderRequest sample;
  sample.sample_width = 320;
  sample.sample_height = 180;
  InputInfo info;
  EXPECT_EQ(shell_command(render_arguments(sample, info, "sample-glitched.png", 0, "", values)),
            "render -o sample-glitched.png --sample-size 320x180 --broken-bytes 0@0,40@10 --qtl on");
  RenderRequest clip;
  clip.input = "my clips/it's.mp4";
  clip.sample_width = 640;
  clip.sample_height = 360;
  info.kind = SourceKind::Clip;
  info.name = clip.input;
  EXPECT_EQ(export_name(info, 12), "it's-12-glitched.png");
  EXPECT_EQ(
      shell_command(render_arguments(clip, info, export_name(info, 12), 12, "/opt/m o/Shardcast.so", {})),
      "render 'my clips/it'\\''s.mp4' -o 'it'\\''s-12-glitched.png' --frames 12 --module '/opt/m o/Shardcast.so'");
  EXPECT_EQ(shell_command(render_arguments(clip, info, "out.mp4", std::nullopt, "", {})),
            "render 'my clips/it'\\''s.mp4' -o out.mp4");
  info.kind = SourceKind::Sequence;
  for (const char* pattern : {"shots/in_%04d.png", "in-####.png", "in.%d.png"}) {
    info.name = pattern;
    EXPECT_EQ(input_stem(info), "in") << pattern;
  }
}

TEST(StudioValues, TheDecoderLinesAreCountedByKindInTheOrderTheyCame) {
  std::string lines = "Reading SOF Marker\nError - Invalid marker: 0x12\nError - Invalid DC value\n";
  for (int i = 0; i < 20; ++i) {
    lines += "Error - Invalid marker: 0x" + std::to_string(i) + "\n";
  }
  lines += std::string(500, 'x');  // the last line, without its newline and far too long
  const json summary = decoder_summary(lines);
  EXPECT_EQ(summary["lines"], 24);
  EXPECT_EQ(summary["kinds"], json::parse(R"([{"kind":"Reading SOF Marker","count":1},
      {"kind":"Error - Invalid marker","count":21},{"kind":"Error - Invalid DC value","count":1},
      {"kind":")" + std::string(160, 'x') +
                                          R"(","count":1}])"));
  EXPECT_EQ(summary["first"].size(), 12u);
  EXPECT_EQ(summary["first"][1], "Error - Invalid marker: 0x12");
  EXPECT_EQ(decoder_summary("")["lines"], 0);
}

TEST(StudioValues, AFramedPictureIsTheHeadsLengthTheHeadAndThePixels) {
  const Image image = Image::filled(2, 1, 1, 2, 3, 4);
  const std::string body = framed_picture(json{{"width", 2}, {"name", "caf\xC3"}}, image);
  const std::uint32_t length = static_cast<unsigned char>(body[0]) | static_cast<unsigned char>(body[1]) << 8;
  ASSERT_EQ(body.size(), 4 + length + 8);
  // A byte that is no UTF-8 (a file name's) does not stop the answer.
  EXPECT_EQ(json::parse(body.substr(4, length))["name"], "caf\xEF\xBF\xBD");
  EXPECT_EQ(body.substr(4 + length), std::string("\1\2\3\4\1\2\3\4"));
}

class StudioFiles : public testing::ScratchFolder {
 protected:
  StudioFiles() : ScratchFolder("shardcast-studio") {}
};

TEST_F(StudioFiles, ASequencesFramesAreReadByNumberInAnyOrder) {
  for (int frame = 3; frame <= 9; ++frame) {
    ASSERT_TRUE(write_image(file("in_" + std::to_string(frame) + ".png").string(),
                            Image::filled(4, 2, static_cast<std::uint8_t>(frame), 0, 0, 255))
                    .ok());
  }
  StudioRequest request;
  request.input = file("in_%d.png").string();
  StudioInput input;
  ASSERT_EQ(input.open(request), "");
  EXPECT_EQ(input.info().first, 3);
  EXPECT_EQ(input.info().last, 9);
  for (const std::int64_t frame : {5, 3, 4, 5}) {
    std::shared_ptr<const Image> image;
    std::string warning;
    ASSERT_EQ(input.frame(frame, image, warning), "");
    EXPECT_EQ(image->rgba[0], frame);
  }
  std::shared_ptr<const Image> image;
  std::string warning;
  EXPECT_EQ(input.frame(10, image, warning), "there is no frame 10: the frames are 3 to 9");
  std::filesystem::remove(file("in_9.png"));
  EXPECT_NE(input.frame(9, image, warning).find("in_9.png"), std::string::npos);

  request.input = "-";
  EXPECT_NE(StudioInput().open(request).find("not standard input"), std::string::npos);
}

TEST_F(StudioFiles, AWholeRendersOutputNeverNamesWhatExists) {
  std::filesystem::path output;
  std::filesystem::path shown;
  ASSERT_EQ(clip_output(folder_, "my clip/..", "mp4", output, shown), "");
  EXPECT_EQ(output, folder_ / "my-clip-..-glitched.mp4");
  std::ofstream(output) << "taken";
  ASSERT_EQ(clip_output(folder_, "my clip/..", "mp4", output, shown), "");
  EXPECT_EQ(output, folder_ / "my-clip-..-glitched-2.mp4");
  ASSERT_EQ(clip_output(folder_, "in", "png", output, shown), "");
  EXPECT_EQ(shown, folder_ / "in-glitched");
  EXPECT_EQ(output, folder_ / "in-glitched" / "in_%04d.png");
  ASSERT_EQ(clip_output(folder_, "in", "png", output, shown), "");
  EXPECT_EQ(shown, folder_ / "in-glitched-2");
  EXPECT_TRUE(std::filesystem::is_directory(shown));
}

// A child that draws the render's progress bar on its terminal, as the
// render command does.
ClipProgress follow(ClipRender& render, const std::string& script, bool cancel = false) {
  EXPECT_EQ(render.start("/bin/sh", {"-c", script}, "out.mp4", 10), "");
  if (cancel) {
    std::this_thread::sleep_for(100ms);
    render.cancel();
  }
  for (int wait = 0; wait < 500 && render.progress().state == ClipProgress::State::Running; ++wait) {
    std::this_thread::sleep_for(10ms);
  }
  return render.progress();
}

TEST(ClipRender, FollowsTheRendersBarAndEndsWithItsLines) {
  ClipRender render;
  ClipProgress progress = follow(render,
                                 "printf '\\r[###...] 3/12 frames  2.0 frames/s  4 s left  ' >&2; sleep 0.3; "
                                 "printf '\\r\\033[K' >&2; echo 'shardcast: render: 12 frames' >&2");
  EXPECT_EQ(progress.state, ClipProgress::State::Done);
  EXPECT_EQ(progress.done, 12);
  EXPECT_EQ(progress.total, 12);
  EXPECT_EQ(progress.message, "shardcast: render: 12 frames");

  progress = follow(render, "echo 'shardcast: cannot read in.mp4' >&2; echo 'shardcast: render: stopped' >&2; exit 2");
  EXPECT_EQ(progress.state, ClipProgress::State::Failed);
  EXPECT_EQ(progress.message, "shardcast: cannot read in.mp4\nshardcast: render: stopped");

  progress = follow(render, "sleep 20", true);
  EXPECT_EQ(progress.state, ClipProgress::State::Cancelled);
}

}  // namespace
}  // namespace shardcast::cli
