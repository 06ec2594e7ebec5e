// Frame-name patterns in both forms, the numbers a name stands for, and
// sequences found on disk with their gaps.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cli/frames/frame_sequence.h"
#include "support/scratch_folder.h"

namespace shardcast::cli {
namespace {

namespace fs = std::filesystem;

TEST(FramePattern, BothFormsNameTheSameFiles) {
  const struct {
    const char* pattern;
    std::int64_t frame;
    const char* name;
  } cases[] = {
      {"in_%04d.png", 7, "in_0007.png"},      {"in_####.png", 7, "in_0007.png"},
      {"in_%d.png", 7, "in_7.png"},           {"in_#.png", 12, "in_12.png"},
      {"in_%04d.png", 12345, "in_12345.png"}, {"in_%3d.png", 5, "in_  5.png"},
      {"a%%b_##.png", 3, "a%b_03.png"},       {"shot.#####.exr.png", 0, "shot.00000.exr.png"},
  };
  for (const auto& c : cases) {
    FramePattern pattern;
    ASSERT_EQ(FramePattern::parse(c.pattern, pattern), "") << c.pattern;
    EXPECT_TRUE(pattern.has_frame_number);
    EXPECT_EQ(pattern.name_for(c.frame), c.name) << c.pattern;
    std::int64_t back = -1;
    EXPECT_TRUE(pattern.frame_of(c.name, back)) << c.pattern;
    EXPECT_EQ(back, c.frame) << c.pattern;
  }
}

TEST(FramePattern, RefusesWhatIsNoSingleFrameNumber) {
  for (const char* text : {"in_%s.png", "in_%04d_%d.png", "in_##_#.png", "in_%d_#.png", "in_%.png", "in_%123d.png"}) {
    FramePattern pattern;
    EXPECT_NE(FramePattern::parse(text, pattern), "") << text;
  }
  FramePattern plain;
  ASSERT_EQ(FramePattern::parse("in.png", plain), "");
  EXPECT_FALSE(plain.has_frame_number);
}

TEST(FramePattern, ANameBelongsOnlyIfThePatternWouldWriteIt) {
  FramePattern padded;
  ASSERT_EQ(FramePattern::parse("in_####.png", padded), "");
  FramePattern plain;
  ASSERT_EQ(FramePattern::parse("in_%d.png", plain), "");
  std::int64_t frame = 0;
  for (const char* name :
       {"in_7.png", "in_07.png", "in_00007.png", "in_.png", "in_00a7.png", "in_0007.jpg", "xin_0007.png"}) {
    EXPECT_FALSE(padded.frame_of(name, frame)) << name;
  }
  EXPECT_TRUE(padded.frame_of("in_10000.png", frame));
  EXPECT_EQ(frame, 10000);
  EXPECT_TRUE(plain.frame_of("in_0.png", frame));
  EXPECT_FALSE(plain.frame_of("in_007.png", frame));
  EXPECT_FALSE(plain.frame_of("in_1234567890.png", frame));  // past the largest frame number
}

class SequenceOnDisk : public testing::ScratchFolder {
 protected:
  SequenceOnDisk() : ScratchFolder("shardcast-sequence") {}
  void touch(const std::string& name) const { std::ofstream(folder_ / name) << "x"; }
  FramePattern pattern(const std::string& text) const {
    FramePattern parsed;
    EXPECT_EQ(FramePattern::parse((folder_ / text).string(), parsed), "");
    return parsed;
  }
};

TEST_F(SequenceOnDisk, FindsTheFirstAndLastFrameAndRefusesAGap) {
  for (const char* name : {"a_0028.png", "a_0029.png", "a_0030.png", "a_28.png", "b_0001.png"}) {
    touch(name);
  }
  fs::create_directory(folder_ / "a_0031.png");  // a folder is no frame
  FrameRange range;
  ASSERT_EQ(find_sequence(pattern("a_####.png"), range), "");
  EXPECT_EQ(range.first, 28);
  EXPECT_EQ(range.last, 30);

  touch("a_0033.png");
  const std::string refusal = find_sequence(pattern("a_%04d.png"), range);
  EXPECT_NE(refusal.find("frame 31 ("), std::string::npos) << refusal;
  EXPECT_NE(refusal.find("a_0031.png) is missing from the sequence 28-33"), std::string::npos) << refusal;

  EXPECT_EQ(check_sequence(pattern("a_%04d.png"), FrameRange{28, 30}), "");
  EXPECT_NE(check_sequence(pattern("a_%04d.png"), FrameRange{28, 33}).find("frame 31"), std::string::npos);
  EXPECT_NE(check_sequence(pattern("a_%04d.png"), FrameRange{25, 29}).find("frame 25"), std::string::npos);
  EXPECT_NE(check_sequence(pattern("a_%04d.png"), FrameRange{33, 34}).find("frame 34"), std::string::npos);
  EXPECT_EQ(find_sequence(pattern("c_####.png"), range), "no file matches the pattern");
  EXPECT_NE(find_sequence(pattern("missing/c_####.png"), range).find("cannot list the folder"), std::string::npos);
}

TEST(FrameRange, ParsesOneFrameARangeOrAnOpenRange) {
  FrameRange range;
  EXPECT_EQ(FrameRange::parse("4-9", range), "");
  EXPECT_EQ(range.count(), 6);
  EXPECT_FALSE(range.open_end);
  EXPECT_EQ(FrameRange::parse("12", range), "");
  EXPECT_EQ(range.first, 12);
  EXPECT_EQ(range.last, 12);
  EXPECT_EQ(FrameRange::parse("245-", range), "");
  EXPECT_EQ(range.first, 245);
  EXPECT_TRUE(range.open_end);
  EXPECT_EQ(range.last, max_frame_number);
  for (const char* text : {"9-4", "-3", "-", "a-b", "1000000000", "1000000000-", "", "1-2-3", "1--"}) {
    EXPECT_NE(FrameRange::parse(text, range), "") << text;
  }
}

}  // namespace
}  // namespace shardcast::cli
