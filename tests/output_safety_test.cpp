// What the shardcast tool promises about the files it writes: an input is
// never overwritten (by name, hard link or symbolic link), -n refuses
// existing outputs up front, a symbolic link stays a link, a picture on
// standard input costs the memory of the bytes that arrived, a failure at
// the end leaves nothing new and claims no success, and an empty option
// value is a bad value. Each case runs the built tool in a fresh folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cli/pictures/image.h"
#include "cli/video/video.h"
#include "support/memory_cap.h"
#include "support/program_run.h"
#include "support/scratch_folder.h"

namespace shardcast::cli {
namespace {

namespace fs = std::filesystem;
using testing::ProgramRun;
using testing::slurp;

class OutputSafety : public testing::ScratchFolder {
 protected:
  OutputSafety() : ScratchFolder("shardcast-outputs") {}

  // Standard output is captured, or goes to a device that is always full.
  ProgramRun tool(const std::vector<std::string>& arguments, const testing::ProgramEnvironment& environment = {},
                  bool onto_full_device = false) const {
    std::vector<std::string> words = {SHARDCAST_CLI_PATH};
    if (onto_full_device) {
      words.insert(words.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" > /dev/full"});
    }
    words.insert(words.end(), arguments.begin(), arguments.end());
    return testing::run_program(folder_, words, environment);
  }

  void write_picture(const std::string& name, int shade) const {
    Image image = Image::filled(24, 16, static_cast<std::uint8_t>(shade), 90, 200, 255);
    ASSERT_TRUE(write_image(file(name).string(), image).ok());
  }

  void write_bytes(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream(file(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  // Every file in the folder with its bytes; a symbolic link as "-> target".
  std::map<std::string, std::string> contents() const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder_)) {
      const std::string name = entry.path().filename().string();
      files[name] = entry.is_symlink()     ? "-> " + fs::read_symlink(entry.path()).string()
                    : entry.is_directory() ? "(folder)"
                                           : slurp(entry.path());
    }
    return files;
  }
};

std::size_t line_count(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(OutputSafety, AnInputIsNeverAnOutputByNameHardLinkOrSymbolicLink) {
  write_picture("in.png", 10);
  for (int frame = 1; frame <= 3; ++frame) {
    write_picture("f_" + std::to_string(frame) + ".png", 40 * frame);
  }
  fs::create_hard_link(file("in.png"), file("hard.png"));
  fs::create_symlink("in.png", file("link.png"));
  fs::create_hard_link(file("f_2.png"), file("g_2.png"));
  std::vector<std::uint8_t> jpeg;
  ASSERT_TRUE(encode_image(Image::filled(16, 16, 1, 2, 3, 255), ImageFormat::Jpeg, 90, jpeg).ok());
  write_bytes("in.jpg", jpeg);
  testing::ProgramEnvironment piped;
  piped.input = file("in.png");
  const std::string never = "; an input is never overwritten";
  struct Case {
    std::vector<std::string> arguments;
    std::string line;
    testing::ProgramEnvironment environment = {};
  };
  std::vector<Case> cases = {
      {{"render", "in.png", "-o", "in.png"}, "cannot write in.png: it is the same file as the input in.png" + never},
      {{"render", "in.png", "-o", "hard.png"},
       "cannot write hard.png: it is the same file as the input in.png" + never},
      {{"render", "in.png", "-o", "link.png"},
       "cannot write link.png: it is the same file as the input in.png" + never},
      {{"render", "link.png", "-o", "./in.png"},
       "cannot write ./in.png: it is the same file as the input link.png" + never},
      {{"render", "f_%d.png", "-o", "f_%d.png"},
       "cannot write f_1.png: it is the same file as the input f_1.png" + never},
      {{"render", "f_%d.png", "-o", "g_%d.png"},
       "cannot write g_2.png: it is the same file as the input f_2.png" + never},
      {{"render", "in.png", "-o", "out.png", "--messages", "hard.png"},
       "cannot write hard.png: it is the same file as the input in.png" + never},
      {{"render", "-o", "out.png", "--messages", "out.png"},
       "cannot write out.png: --messages and -o name the same file"},
      {{"render", "-", "-o", "in.png"},
       "cannot write in.png: it is the same file as the input standard input" + never,
       piped},
      {{"decode", "in.jpg", "-o", "in.jpg"}, "cannot write in.jpg: it is the same file as the input in.jpg" + never},
      {{"decode", "in.jpg", "-o", "out.png", "--messages", "in.jpg"},
       "cannot write in.jpg: it is the same file as the input in.jpg" + never},
  };
  if (video_supported()) {
    ASSERT_EQ(tool({"render", "-o", "clip.mkv", "--sample-size", "32x32", "--frames", "0-2"}).exit_code, 0);
    cases.push_back({{"render", "clip.mkv", "-o", "clip.mkv"},
                     "cannot write clip.mkv: it is the same file as the input clip.mkv" + never});
  }
  const auto before = contents();
  for (const Case& c : cases) {
    const ProgramRun result = tool(c.arguments, c.environment);
    EXPECT_EQ(result.exit_code, 2) << c.line;
    EXPECT_EQ(result.err, "shardcast: " + c.line + "\n");
    EXPECT_EQ(contents(), before) << c.line;
  }
}

TEST_F(OutputSafety, NoOverwriteRefusesExistingOutputsBeforeAnyFrame) {
  write_picture("in.png", 10);
  write_picture("out.png", 200);
  write_picture("o_2.png", 200);
  std::ofstream(file("lines.txt")) << "kept\n";
  fs::create_symlink("nowhere.png", file("dangling.png"));
  const std::string keeps = ": it exists, and -n (--no-overwrite) keeps existing files";
  const struct {
    std::vector<std::string> arguments;
    std::string line;
  } refused[] = {
      {{"render", "in.png", "-o", "out.png", "-n"}, "cannot write out.png" + keeps},
      {{"render", "in.png", "-o", "o_%d.png", "--frames", "1-3", "--no-overwrite"}, "cannot write o_2.png" + keeps},
      {{"render", "in.png", "-o", "new.png", "--messages", "lines.txt", "-n"}, "cannot write lines.txt" + keeps},
      {{"render", "in.png", "-o", "dangling.png", "-n"}, "cannot write dangling.png" + keeps},
      {{"decode", "any.jpg", "-o", "out.png", "-n"}, "cannot write out.png" + keeps},
      {{"render", "in.png", "-o", "new.png", "-n", "-y"}, "give -n (--no-overwrite) or -y (--overwrite), not both"},
  };
  const auto before = contents();
  for (const auto& r : refused) {
    const ProgramRun result = tool(r.arguments);
    EXPECT_EQ(result.exit_code, 2) << r.line;
    EXPECT_EQ(result.err, "shardcast: " + r.line + "\n");
    EXPECT_EQ(contents(), before) << r.line;
  }
  // Without -n, and with its explicit opposite, an output that is no input
  // is replaced; frames that do not exist yet are no refusal under -n.
  for (const char* option : {"-y", "--overwrite"}) {
    fs::remove(file("out.png"));
    write_picture("out.png", 200);
    EXPECT_EQ(tool({"render", "in.png", "-o", "out.png", option}).exit_code, 0) << option;
    EXPECT_NE(slurp(file("out.png")), before.at("out.png")) << option;
  }
  EXPECT_EQ(tool({"render", "in.png", "-o", "o_%d.png", "--frames", "3-4", "-n"}).exit_code, 0);
  EXPECT_TRUE(fs::exists(file("o_4.png")));
}

TEST_F(OutputSafety, AnOutputThatIsASymbolicLinkWritesTheFileItPointsTo) {
  write_picture("in.png", 10);
  fs::create_directory(file("real"));
  write_picture("real/out.png", 200);
  std::ofstream(file("real/lines.txt")) << "old\n";
  fs::create_symlink("real/out.png", file("link.png"));
  fs::create_symlink("link.png", file("chain.png"));
  fs::create_symlink("real/lines.txt", file("lines.txt"));
  fs::create_symlink("real/new.png", file("dangling.png"));

  ASSERT_EQ(tool({"render", "in.png", "-o", "direct.png", "--broken-bytes", "3"}).exit_code, 0);
  const std::string rendered = slurp(file("direct.png"));
  for (const char* output : {"link.png", "chain.png", "dangling.png"}) {
    fs::remove(file("real/out.png"));
    write_picture("real/out.png", 200);
    const ProgramRun result =
        tool({"render", "in.png", "-o", output, "--broken-bytes", "3", "--messages", "lines.txt"});
    ASSERT_EQ(result.exit_code, 0) << output << ": " << result.err;
    EXPECT_TRUE(fs::is_symlink(file(output))) << output;
    EXPECT_EQ(slurp(file(output)), rendered) << output;
    EXPECT_TRUE(fs::is_symlink(file("lines.txt")));
    EXPECT_NE(slurp(file("real/lines.txt")).find("Reading DQT Marker"), std::string::npos);
  }
  // Nothing else appeared on either side of the links.
  EXPECT_EQ(contents().size(), 7u);
  EXPECT_EQ(std::distance(fs::directory_iterator(file("real")), fs::directory_iterator()), 3);

  if (video_supported()) {
    ASSERT_EQ(tool({"render", "-o", "real/clip.mkv", "--sample-size", "32x32", "--frames", "0-1"}).exit_code, 0);
    fs::create_symlink("real/clip.mkv", file("clip.mkv"));
    const std::string first = slurp(file("real/clip.mkv"));
    const ProgramRun video = tool({"render", "-o", "clip.mkv", "--sample-size", "32x32", "--frames", "0-2"});
    ASSERT_EQ(video.exit_code, 0) << video.err;
    EXPECT_TRUE(fs::is_symlink(file("clip.mkv")));
    EXPECT_NE(slurp(file("real/clip.mkv")), first);
  }
}

// A length field on standard input sets aside no memory by itself, and the
// size a header declares is judged as soon as it has passed: each of these
// streams would break the cap if believed.
TEST_F(OutputSafety, PicturesOnStandardInputCostOnlyTheBytesThatArrived) {
  // The signature, an IHDR chunk (its CRC is not checked on the way in) and
  // the start of an IDAT chunk with 16 of the bytes its length promises.
  auto png_start = [](std::uint32_t width, std::uint32_t height, std::uint32_t data_length) {
    std::vector<std::uint8_t> bytes = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    auto number = [&](std::uint32_t value) {
      for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<std::uint8_t>(value >> shift));
      }
    };
    auto text = [&](const char* letters) { bytes.insert(bytes.end(), letters, letters + 4); };
    number(13);
    text("IHDR");
    number(width);
    number(height);
    bytes.insert(bytes.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});
    number(data_length);
    text("IDAT");
    bytes.resize(bytes.size() + 16, 0);
    return bytes;
  };
  const std::vector<std::uint8_t> jpeg_frame = {0xFF, 0xD8, 0xFF, 0xC0, 0, 17,   8, 0xFF, 0xFF, 0xFF, 0xFF,
                                                3,    1,    0x11, 0,    2, 0x11, 1, 3,    0x11, 1};
  const struct {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::string line;
  } cases[] = {
      {"57 bytes", png_start(16, 16, (1u << 30) - 64), "picture 1: the stream ends inside a PNG picture"},
      {"huge header", png_start(100000, 100000, (1u << 30) - 64),
       "picture 1: picture of 100000x100000 pixels is too large (the limit is 67108864 pixels; --max-pixels raises "
       "it)"},
      {"huge frame", jpeg_frame,
       "picture 1: picture of 65535x65535 pixels is too large (the limit is 67108864 pixels; --max-pixels raises it)"},
  };
  ASSERT_EQ(cases[0].bytes.size(), 57u);
  for (const auto& c : cases) {
    write_bytes("piped", c.bytes);
    testing::ProgramEnvironment environment;
    environment.input = file("piped");
    const ProgramRun result =
        testing::run_capped(folder_, {SHARDCAST_CLI_PATH, "render", "-", "-o", "out.png"}, environment);
    EXPECT_EQ(result.exit_code, 2) << c.name;
    EXPECT_EQ(result.err, "shardcast: cannot read standard input: " + c.line + "\n") << c.name;
    EXPECT_FALSE(fs::exists(file("out.png"))) << c.name;
  }
}

// Writing the decoder lines, putting the output in place, putting the
// lines' file in place: whichever fails, nothing new stays and no line
// claims success.
TEST_F(OutputSafety, AFailureAtTheEndLeavesNothingNewAndClaimsNoSuccess) {
  write_picture("in.png", 10);
  std::vector<std::uint8_t> jpeg;
  ASSERT_TRUE(encode_image(Image::filled(16, 16, 1, 2, 3, 255), ImageFormat::Jpeg, 90, jpeg).ok());
  write_bytes("in.jpg", jpeg);
  std::vector<std::uint8_t> two;
  for (int i = 0; i < 2; ++i) {
    std::vector<std::uint8_t> bytes;
    ASSERT_TRUE(encode_image(Image::filled(8, 8, 9, 9, 9, 255), ImageFormat::Png, 95, bytes).ok());
    two.insert(two.end(), bytes.begin(), bytes.end());
  }
  write_bytes("two", two);
  std::ofstream(file("lines.txt")) << "old\n";
  const bool full = true;
  testing::ProgramEnvironment piped;
  piped.input = file("two");
  const struct {
    std::vector<std::string> arguments;
    bool onto_full_device;
    std::string line;
  } cases[] = {
      {{"render", "in.png", "-o", "out.png", "--messages", "-"},
       full,
       "cannot write the decoder lines to standard output: No space left on device"},
      {{"render", "in.png", "-o", "out.png", "--messages", "/dev/full"},
       false,
       "cannot write /dev/full: No space left on device"},
      {{"decode", "in.jpg", "-o", "out.png", "--messages", "-"},
       full,
       "cannot write the decoder lines to standard output: No space left on device"},
      {{"render", "-", "-o", "out.png", "--messages", "lines.txt"},
       false,
       "standard input holds more than one picture"},
      {{"render", "in.png", "-o", "out.mkv", "--frames", "0-2", "--messages", "-"},
       full,
       "cannot write the decoder lines to standard output: No space left on device"},
  };
  const auto before = contents();
  for (const auto& c : cases) {
    if (c.arguments[3] == "out.mkv" && !video_supported()) {
      continue;
    }
    const ProgramRun result = tool(c.arguments, piped, c.onto_full_device);
    EXPECT_EQ(result.exit_code, 2) << c.line;
    EXPECT_NE(result.err.find("shardcast: " + c.line), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(": 1 frame"), std::string::npos) << result.err;
    EXPECT_EQ(result.err.find(" frames in "), std::string::npos) << result.err;
    EXPECT_EQ(contents(), before) << c.line;
  }
}

TEST_F(OutputSafety, ListsThatCannotBeWrittenAreFailures) {
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {"params"}, {"--help"}, {"--version"}, {"render", "--help"}, {"decode", "--help"}}) {
    const ProgramRun result = tool(arguments, {}, true);
    EXPECT_EQ(result.exit_code, 2) << arguments[0];
    EXPECT_EQ(result.err, "shardcast: cannot write standard output: No space left on device\n") << arguments[0];
  }
}

TEST_F(OutputSafety, AnEmptyValueIsRefusedLikeAnyBadValue) {
  write_picture("in.png", 10);
  std::vector<std::pair<std::vector<std::string>, std::string>> commands;
  for (const char* option :
       {"--frames", "--time", "--fps", "--seed-step", "--jobs", "--quality", "--format", "--codec", "--crf",
        "--sample-size", "--messages", "--module", "--max-pixels", "--broken-bytes", "--qtl"}) {
    commands.push_back({{"render", "in.png", "-o", "out.png", option, ""}, option});
  }
  for (const char* option : {"--quality", "--messages", "--module", "--max-pixels", "--seed"}) {
    commands.push_back({{"decode", "in.jpg", "-o", "out.png", option, ""}, option});
  }
  commands.push_back({{"render", "in.png", "-o", ""}, "--output"});
  commands.push_back({{"render", "", "-o", "out.png"}, "the input name is empty"});
  commands.push_back({{"decode", "", "-o", "out.png"}, "the stream name is empty"});
  commands.push_back({{"params", "--module", ""}, "--module"});
  const auto before = contents();
  for (const auto& [command, named] : commands) {
    const ProgramRun result = tool(command);
    EXPECT_EQ(result.exit_code, 2) << named;
    EXPECT_EQ(result.err.rfind("shardcast: " + named, 0), 0u) << result.err;
    EXPECT_EQ(line_count(result.err), 1u) << result.err;
    EXPECT_EQ(contents(), before) << named;
  }
}

}  // namespace
}  // namespace shardcast::cli
