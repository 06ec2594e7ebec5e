// What the shardcast executable refuses and what it says, run as a user
// runs it: hostile picture headers inside a memory cap, the picture size
// limit, unreadable inputs and unwritable outputs, values out of range,
// its error lines, the decoder lines it passes on or discards, its params
// table and help, and where a copied program looks for the effect module.
// Each test starts the built program in a fresh folder and checks its exit
// code, its standard output and error, and the files it leaves.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "cli/pictures/image.h"
#include "support/jpeg_stream_builder.h"
#include "support/tool_fixture.h"

namespace shardcast::cli {
namespace {

namespace fs = std::filesystem;

using Outcome = testing::ProgramRun;
using testing::ShardcastTool;
using testing::slurp;
using testing::test_picture;

void append_big_endian(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  bytes.insert(bytes.end(), {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
                             static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
}

// A PNG file of a signature, an IHDR chunk (8 bits per sample), one IDAT
// chunk with the given bytes compressed, and IEND.
std::vector<std::uint8_t> png_file(std::uint32_t width, std::uint32_t height, std::uint8_t colour_type,
                                   const std::vector<std::uint8_t>& data = {}) {
  std::vector<std::uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&](const char* type, const std::vector<std::uint8_t>& payload) {
    append_big_endian(file, static_cast<std::uint32_t>(payload.size()));
    const std::size_t typed = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), payload.begin(), payload.end());
    append_big_endian(file, static_cast<std::uint32_t>(
                                ::crc32(0, file.data() + typed, static_cast<uInt>(file.size() - typed))));
  };
  std::vector<std::uint8_t> header;
  append_big_endian(header, width);
  append_big_endian(header, height);
  header.insert(header.end(), {8, colour_type, 0, 0, 0});
  chunk("IHDR", header);
  std::vector<std::uint8_t> compressed(::compressBound(static_cast<uLong>(data.size())));
  uLongf size = static_cast<uLongf>(compressed.size());
  EXPECT_EQ(::compress(compressed.data(), &size, data.data(), static_cast<uLong>(data.size())), Z_OK);
  compressed.resize(size);
  chunk("IDAT", compressed);
  chunk("IEND", {});
  return file;
}

// A three-component 4:2:0 baseline frame whose tables give every block the
// shortest code there is (one bit for a zero DC difference, one for the end
// of block), then `scan` bytes of such codes, and an end-of-image marker if
// asked for.
std::vector<std::uint8_t> jpeg_file(std::uint16_t width, std::uint16_t height, std::size_t scan, bool ends) {
  shardcast::testing::JpegStreamBuilder builder;
  builder.soi()
      .dqt_all(0, 1)
      .sof(0xC0, height, width, {{1, 0x22, 0}, {2, 0x11, 0}, {3, 0x11, 0}})
      .dht(0, 0, {1}, {0})
      .dht(1, 0, {1}, {0})
      .sos({{1, 0x00}, {2, 0x00}, {3, 0x00}})
      .raw(std::vector<std::uint8_t>(scan, 0));
  if (ends) {
    builder.eoi();
  }
  return builder.build();
}

// Headers that claim far more than their file holds: each is refused from
// its header alone, inside a memory cap that the buffers they claim would
// break, with one line naming the reason and no file left behind.
TEST_F(ShardcastTool, HostileHeadersAreRefusedWithinAMemoryCap) {
  const std::string no_limit = "1099511627776";  // the highest --max-pixels
  const struct {
    std::string name;
    std::vector<std::uint8_t> bytes;
    std::vector<std::string> options;
    std::string message;
  } cases[] = {
      {"wide.png",
       png_file(0x7FFFFFFF, 1, 2),
       {},
       "picture of 2147483647x1 pixels is too large (the limit is 67108864"},
      {"wide.png",
       png_file(0x7FFFFFFF, 1, 2),
       {"--max-pixels", no_limit},
       "too few for a picture of 2147483647x1 pixels"},
      {"tall.png", png_file(1, 0x7FFFFFFF, 6), {}, "picture of 1x2147483647 pixels is too large"},
      {"tall.png",
       png_file(1, 0x7FFFFFFF, 6),
       {"--max-pixels", no_limit},
       "too few for a picture of 1x2147483647 pixels"},
      {"hollow.png", png_file(16384, 16384, 6), {}, "picture of 16384x16384 pixels is too large"},
      {"hollow.png",
       png_file(16384, 16384, 6),
       {"--max-pixels", "268435456"},
       "too few for a picture of 16384x16384 pixels"},
      {"huge.jpg", jpeg_file(65535, 65535, 64, true), {}, "picture of 65535x65535 pixels is too large"},
      {"huge.jpg",
       jpeg_file(65535, 65535, 64, true),
       {"--max-pixels", no_limit},
       "too few for a picture of 65535x65535 pixels"},
      {"cut.jpg", jpeg_file(8192, 8192, 100, false), {}, "too few for a picture of 8192x8192 pixels"},
      {"hollow.jpg", jpeg_file(8192, 8192, 100, true), {}, "too few for a picture of 8192x8192 pixels"},
  };
  // AddressSanitizer reserves terabytes of address space, so under it the
  // cap is on single allocations instead: the buffers these headers claim
  // are each far above it.
#if defined(__SANITIZE_ADDRESS__)
  const char* sanitizer_options = std::getenv("ASAN_OPTIONS");
  const testing::ProgramEnvironment capped{{},
                                           {std::string("ASAN_OPTIONS=") +
                                            (sanitizer_options != nullptr ? sanitizer_options : "") +
                                            ":max_allocation_size_mb=256"},
                                           {}};
  auto run_capped = [&](std::vector<std::string> arguments) { return run(arguments, capped); };
#else
  auto run_capped = [&](std::vector<std::string> arguments) {
    std::vector<std::string> words = {"/bin/sh", "-c", "ulimit -v 1048576 && exec \"$0\" \"$@\"", SHARDCAST_CLI_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return testing::run_program(folder_, words);
  };
#endif
  for (const auto& c : cases) {
    write_bytes(c.name, c.bytes);
    std::vector<std::string> arguments = {"render", c.name, "-o", "out.png"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const Outcome result = run_capped(arguments);
    EXPECT_EQ(result.exit_code, 2) << c.name << ": " << result.err;
    EXPECT_EQ(result.err.rfind("shardcast: cannot read " + c.name + ": ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(files(), std::vector<std::string>{c.name}) << c.name;
    fs::remove(file(c.name));
  }

  // decode judges the frame header the same way. Above the limit its
  // buffer would not fit in the cap, which the tool reports rather than dies.
  write_bytes("huge.jpg", jpeg_file(65535, 65535, 64, true));
  const Outcome refused = run_capped({"decode", "huge.jpg", "-o", "out.png"});
  EXPECT_EQ(refused.exit_code, 2);
  EXPECT_EQ(refused.err,
            "shardcast: cannot read huge.jpg: its frame of 65535x65535 pixels is too large (the limit "
            "is 67108864 pixels; --max-pixels raises it)\n");
#if !defined(__SANITIZE_ADDRESS__)
  const Outcome exhausted = run_capped({"decode", "huge.jpg", "-o", "out.png", "--max-pixels", no_limit});
  EXPECT_EQ(exhausted.exit_code, 2);
  EXPECT_EQ(exhausted.err, "shardcast: out of memory: the picture is too large for the memory available\n");
#endif
  EXPECT_EQ(files(), std::vector<std::string>{"huge.jpg"});

  // The cap leaves room for ordinary work.
  write_png("small.png", test_picture(64, 48));
  EXPECT_EQ(run_capped({"render", "small.png", "-o", "out.png", "--broken-bytes", "9"}).exit_code, 0);
}

TEST_F(ShardcastTool, TheLimitCoversTheSampleFrameAndIsAWholeNumber) {
  const Outcome too_large = run({"render", "-o", "out.png", "--sample-size", "100x100", "--max-pixels", "9999"});
  EXPECT_EQ(too_large.exit_code, 2);
  EXPECT_NE(too_large.err.find("the sample frame of 100x100 pixels is too large (the limit is 9999 pixels"),
            std::string::npos)
      << too_large.err;
  EXPECT_EQ(run({"render", "-o", "out.png", "--sample-size", "100x100", "--max-pixels", "10000"}).exit_code, 0);
  for (const char* value : {"0", "-1", "1.5", "lots", "1099511627777"}) {
    const Outcome result = run({"decode", "any.jpg", "-o", "x.png", "--max-pixels", value});
    EXPECT_EQ(result.exit_code, 2) << value;
    EXPECT_NE(result.err.find("--max-pixels " + std::string(value) + ": expected a whole number"), std::string::npos)
        << result.err;
  }
  EXPECT_NE(run({"render", "--help"}).out.find("--max-pixels"), std::string::npos);
  EXPECT_NE(run({"decode", "--help"}).out.find("--max-pixels"), std::string::npos);
}

TEST_F(ShardcastTool, BadInputExitsWith2NamingTheFileAndLeavesNothingBehind) {
  write_bytes("notes.png", {'j', 'u', 's', 't', ' ', 't', 'e', 'x', 't'});
  std::vector<std::uint8_t> truncated;
  ASSERT_TRUE(read_file_bytes(
                  [&] {
                    write_png("whole.png", test_picture(20, 20));
                    return file("whole.png").string();
                  }(),
                  truncated)
                  .ok());
  truncated.resize(truncated.size() / 2);
  write_bytes("half.png", truncated);
  fs::create_directory(file("folder.png"));

  const struct {
    std::vector<std::string> arguments;
    std::string message;
  } cases[] = {
      {{"render", "missing.png", "-o", "out.png"}, "cannot read missing.png: No such file or directory"},
      {{"render", "notes.png", "-o", "out.png"}, "cannot read notes.png: not a PNG or JPEG file"},
      {{"render", "half.png", "-o", "out.png"}, "cannot read half.png: corrupt PNG file"},
      {{"render", "folder.png", "-o", "out.png"}, "cannot read folder.png: it is a folder"},
      {{"render", "-o", "nowhere/out.png"}, "cannot write nowhere/out.png: folder nowhere does not exist"},
      {{"render", "-o", "whole.png/out.png"}, "cannot write whole.png/out.png: whole.png is not a folder"},
      {{"render", "-o", "folder.png"}, "cannot write folder.png: it is a folder"},
      {{"render", "-o", "out.bmp"}, "cannot write out.bmp: unknown picture or video format"},
      {{"decode", "missing.jpg", "-o", "out.png"}, "cannot read missing.jpg: No such file or directory"},
      {{"render", "-o", "out.png", "--messages", "nowhere/lines.txt"}, "cannot write nowhere/lines.txt"},
  };
  for (const auto& c : cases) {
    const Outcome result = run(c.arguments);
    EXPECT_EQ(result.exit_code, 2) << c.message;
    EXPECT_NE(result.err.find("shardcast: " + c.message), std::string::npos) << result.err;
    EXPECT_EQ(files(), (std::vector<std::string>{"folder.png", "half.png", "notes.png", "whole.png"})) << c.message;
  }
}

TEST_F(ShardcastTool, OutOfRangeValuesAreRefusedWithTheParameterAndItsRange) {
  const struct {
    std::string option;
    std::string value;
    std::string message;
  } refused[] = {
      {"--broken-bytes", "10001", "--broken-bytes (\"Broken bytes\" in \"Broken bytes\") must lie between 0 and 10000"},
      {"--glitch-start", "99.91",
       "--glitch-start (\"start of glitch\" in \"Broken bytes\") must lie between 0 and 99.9"},
      {"--glitch-end", "0.09", "--glitch-end (\"end of glitch\" in \"Broken bytes\") must lie between 0.1 and 100"},
      {"--seed", "0", "--seed (\"seed\" in \"Broken bytes\") must lie between 1 and 100000000"},
      {"--qtl-seed", "100000001", "\"Quantization tables for Luma\") must lie between 1 and 100000000"},
      {"--compression-ratio", "nan", "--compression-ratio (\"Compression ratio\") must lie between 1 and 100"},
      {"--filter2-value", "-10.5", "must lie between -10 and 10"},
      {"--qtc", "maybe", "--qtc: expected on or off, or keys such as off@0,on@24, not \"maybe\""},
      {"--seed", "12abc", "--seed: expected a number, or keys such as 0@0,400@48, not \"12abc\""},
      {"--broken-bytes", "0@0,10001@5", "must lie between 0 and 10000 (the key at frame 5 is 10001)"},
      {"--broken-bytes", "0@9,5@3", "key frames must ascend, but frame 3 follows frame 9"},
  };
  write_png("existing.png", test_picture(16, 16));
  const std::string before = slurp(file("existing.png"));
  for (const auto& r : refused) {
    const Outcome result = run({"render", "-o", "existing.png", r.option, r.value});
    EXPECT_EQ(result.exit_code, 2) << r.option << " " << r.value;
    EXPECT_NE(result.err.find(r.message), std::string::npos) << result.err;
  }
  EXPECT_EQ(slurp(file("existing.png")), before);
  EXPECT_EQ(files(), std::vector<std::string>{"existing.png"});

  // The bounds themselves pass as they are shown, single precision or not.
  for (const auto& [option, value] : std::vector<std::pair<std::string, std::string>>{
           {"--glitch-end", "0.1"}, {"--glitch-start", "99.9"}, {"--seed", "100000000"}, {"--qtc", "TRUE"}}) {
    EXPECT_EQ(run({"render", "-o", "ok.png", "--sample-size", "16x8", option, value}).exit_code, 0) << option;
  }
}

TEST_F(ShardcastTool, DecoderLinesAreDiscardedUnlessAskedFor) {
  const std::vector<std::string> render = {"render", "-o", "out.png", "--broken-bytes", "500", "--seed", "3"};
  const Outcome quiet = run(render);
  ASSERT_EQ(quiet.exit_code, 0) << quiet.err;
  EXPECT_EQ(quiet.out, "");

  std::vector<std::string> to_stdout = render;
  to_stdout.insert(to_stdout.end(), {"--messages", "-"});
  const Outcome shown = run(to_stdout);
  ASSERT_EQ(shown.exit_code, 0) << shown.err;
  EXPECT_EQ(shown.out.rfind("Reading ", 0), 0u) << shown.out.substr(0, 200);
  EXPECT_NE(shown.out.find("Error - "), std::string::npos);

  std::vector<std::string> to_file = render;
  to_file.insert(to_file.end(), {"--messages", "lines.txt"});
  const Outcome filed = run(to_file);
  ASSERT_EQ(filed.exit_code, 0) << filed.err;
  EXPECT_EQ(filed.out, "");
  EXPECT_EQ(slurp(file("lines.txt")), shown.out);
  const auto count = std::count(shown.out.begin(), shown.out.end(), '\n');
  EXPECT_NE(filed.err.find(std::to_string(count) + " decoder lines written to lines.txt"), std::string::npos)
      << filed.err;
  EXPECT_NE(quiet.err.find(std::to_string(count) + " decoder lines discarded"), std::string::npos) << quiet.err;
}

TEST_F(ShardcastTool, ParamsListsWhatTheModuleRegistersInAlignedColumns) {
  const Outcome result = run({"params"});
  ASSERT_EQ(result.exit_code, 0) << result.err;
  std::istringstream lines(result.out);
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);) {
    rows.push_back(line);
  }
  ASSERT_EQ(rows.size(), 25u);  // a heading and 24 parameters
  // Every column starts where its heading does, in every row.
  const std::vector<std::string> headings = {"OPTION", "NAME", "GROUP", "RANGE", "DEFAULT", "WHAT IT DOES"};
  std::vector<std::size_t> starts;
  for (const std::string& heading : headings) {
    starts.push_back(rows[0].find(heading));
    ASSERT_NE(starts.back(), std::string::npos) << heading;
  }
  std::map<std::string, std::vector<std::string>> table;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    std::vector<std::string> cells;
    for (std::size_t c = 0; c < starts.size(); ++c) {
      ASSERT_GT(rows[r].size(), starts[c]) << rows[r];
      EXPECT_NE(rows[r][starts[c]], ' ') << rows[r];
      EXPECT_TRUE(starts[c] == 0 || rows[r][starts[c] - 1] == ' ') << rows[r];
      const std::size_t end = c + 1 < starts.size() ? starts[c + 1] : rows[r].size();
      std::string cell = rows[r].substr(starts[c], end - starts[c]);
      cell.erase(cell.find_last_not_of(' ') + 1);
      cells.push_back(cell);
    }
    table[cells[0]] = cells;
  }
  using Row = std::vector<std::string>;
  EXPECT_EQ(table["--glitch-end"], (Row{"--glitch-end", "\"end of glitch\"", "Broken bytes", "0.1 .. 100", "100",
                                        "where in the scan data the damage ends, in percent"}));
  EXPECT_EQ(table["--qtl-max-random"][2], "Quantization tables for Luma");
  EXPECT_EQ(table["--filter2-value"][3], "-10 .. 10");
  EXPECT_EQ(table["--filter2-value"][4], "-0.1");
  EXPECT_EQ(table["--inverse-dct"][4], "on");
  EXPECT_EQ(table["--compression-ratio"][2], "-");
  for (const auto& [option, row] : table) {
    EXPECT_FALSE(row[5].empty()) << option;
  }
}

TEST_F(ShardcastTool, HelpShowsEachParametersRangeAndDefaultAsRegistered) {
  EXPECT_EQ(run({"--version"}).out, "shardcast " SHARDCAST_VERSION "\n");
  for (const char* command : {"render", "decode", "params"}) {
    const Outcome help = run({command, "--help"});
    EXPECT_EQ(help.exit_code, 0) << command;
    EXPECT_NE(help.out.find("--module"), std::string::npos) << command;
  }
  const Outcome help = run({"render", "--help"});
  for (const char* shown : {"[0 .. 10000, default 0]", "[0.1 .. 100, default 100]", "[-10 .. 10, default -0.1]",
                            "[on/off, default on]", "VALUE@FRAME"}) {
    EXPECT_NE(help.out.find(shown), std::string::npos) << shown << "\n" << help.out;
  }
}

TEST_F(ShardcastTool, ErrorLinesAreSentencesThatBeginWithTheToolsName) {
  fs::create_directory(file("folder"));
  const struct {
    std::vector<std::string> arguments;
    int exit_code;
    std::string line;
  } cases[] = {
      {{}, 2, "give a command: render, decode, params or studio"},
      {{"paint"}, 2, "there is no command \"paint\"; the commands are render, decode, params and studio"},
      {{"rendr", "-o", "x.png"}, 2, "there is no command \"rendr\""},
      {{"render"}, 2, "an output is needed: -o FILE"},
      {{"decode", "-o", "x.png"}, 2, "decode needs a JPEG file to read"},
      {{"render", "-o", "a.png", "-o", "b.png"}, 2, "--output was given more than once; give it once"},
      {{"render", "-o", "x.png", "--seed-step", "abc"},
       2,
       "--seed-step takes a whole number from -100000000 to 100000000, not \"abc\""},
      {{"render", "-o", "x.png", "--jobs", "0"}, 2, "--jobs takes a whole number from 1 to 256, not \"0\""},
      {{"render", "-o", "x.png", "--no-such-option", "1"},
       2,
       "there is no option --no-such-option (see shardcast render --help)"},
      {{"render", "in.png", "extra.png", "-o", "x.png"}, 2, "unexpected extra.png (see shardcast render --help)"},
      {{"render", "-o", "x.png", "--seed"}, 2, "--seed needs a value"},
      {{"render", "-o", "folder"}, 2, "cannot write folder: it is a folder; name a file in it"},
      {{"render", "-o", "x.png", "--quality", "80"}, 2, "--quality applies to JPEG outputs"},
      {{"render", "-o", "x.jpg", "--format", "png"}, 2, "--format applies to pictures on standard output"},
      {{"render", "-o", "-", "--messages", "-"}, 2, "--messages - and -o - would both write to standard output"},
      {{"render", "-o", "x.png", "--module", "nowhere.so"},
       1,
       "cannot load the effect module nowhere.so: cannot open shared object file: No such file or directory"},
      {{"params", "--module", "nowhere.so"}, 1, "cannot load the effect module nowhere.so"},
  };
  for (const auto& c : cases) {
    const Outcome result = run(c.arguments);
    EXPECT_EQ(result.exit_code, c.exit_code) << c.line << "\n" << result.err;
    EXPECT_NE(result.err.find("shardcast: " + c.line), std::string::npos) << result.err;
    std::istringstream lines(result.err);
    for (std::string line; std::getline(lines, line);) {
      EXPECT_EQ(line.rfind("shardcast: ", 0), 0u) << line;
    }
    EXPECT_EQ(files(), std::vector<std::string>{"folder"}) << c.line;
  }
  // The module's path is named once.
  const std::string err = run({"render", "-o", "x.png", "--module", "nowhere.so"}).err;
  EXPECT_EQ(err.find("nowhere.so"), err.rfind("nowhere.so")) << err;
}

// A copy of the program outside its build finds the module only where an
// installation puts it (or beside itself), and otherwise says in one line
// where it looked, with exit code 1 like any module that cannot be loaded.
TEST_F(ShardcastTool, ACopiedProgramLooksBesideItselfThenWhereAnInstallationPutsTheModule) {
  const fs::path bin = file("copied/bin");
  const fs::path beside = bin / "Shardcast.so";
  const fs::path installed = (bin / SHARDCAST_INSTALLED_MODULE_DIR / "Shardcast.so").lexically_normal();
  fs::create_directories(bin);
  fs::copy_file(SHARDCAST_CLI_PATH, bin / "shardcast");
  auto params = [&] {
    return testing::run_program(folder_, {(bin / "shardcast").string(), "params"}, {{"SHARDCAST_MODULE"}, {}, {}});
  };

  const Outcome none = params();
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_EQ(none.err, "shardcast: no effect module found at " + beside.string() + " or " + installed.string() +
                          " (give its path with --module or SHARDCAST_MODULE)\n");

  fs::create_directories(installed.parent_path());
  fs::copy_file(SHARDCAST_MODULE_PATH, installed);
  const Outcome found = params();
  EXPECT_EQ(found.exit_code, 0) << found.err;

  std::ofstream(beside) << "no module";
  const Outcome broken = params();
  EXPECT_EQ(broken.exit_code, 1);
  EXPECT_NE(broken.err.find("cannot load the effect module " + beside.string()), std::string::npos) << broken.err;
}

}  // namespace
}  // namespace shardcast::cli
