// The Windows build run under Wine against this Linux build: the test driver
// (tests/windows_driver.cpp) drives Shardcast.aex through the simulated host
// as a Windows program and Shardcast.so as a Linux one, and everything they
// write must be byte-identical; so must shardcast.exe's render and decode.
//
// One Wine prefix serves the whole run: it is created afresh in the build
// folder when the suite starts (the slow part) and its server is stopped
// when the suite ends. Skipped when there is no Windows build.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

fs::path windows_build_dir() {
  const char* chosen = std::getenv("SHARDCAST_WINDOWS_BUILD_DIR");
  return chosen != nullptr && *chosen != '\0' ? fs::path(chosen) : fs::path(SHARDCAST_WINDOWS_BUILD_DIR);
}

fs::path windows_bin() { return windows_build_dir() / "bin"; }
fs::path work_dir() { return fs::path(SHARDCAST_WINE_WORK_DIR); }
fs::path prefix_dir() { return work_dir() / "prefix"; }

std::string quoted(const std::string& text) { return "'" + text + "'"; }
std::string quoted(const fs::path& path) { return quoted(path.string()); }

// How a Windows program under Wine names a file of this machine.
std::string windows_name(const fs::path& path) { return "Z:" + fs::absolute(path).string(); }

std::string file_bytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Runs a shell command with its output in `log`; the exit status.
int run(const std::string& command, const fs::path& log) {
  const int status = std::system((command + " >" + quoted(log) + " 2>&1").c_str());
  return status == -1 ? -1 : WEXITSTATUS(status);
}

// A command line that runs a Windows program in the suite's prefix,
// headless and without Wine's own chatter.
std::string under_wine(const std::string& arguments) {
  return "env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX=" + quoted(prefix_dir()) +
         " WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' " + quoted(std::string(SHARDCAST_WINE)) + " " + arguments;
}

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::set<std::string> file_names(const fs::path& folder) {
  std::set<std::string> names;
  if (fs::is_directory(folder)) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      names.insert(entry.path().filename().string());
    }
  }
  return names;
}

// Both runs of the driver and of the command-line renderer, made once.
struct Runs {
  bool available = false;
  bool prefix_ready = false;
  int linux_driver = -1;
  int wine_driver = -1;
};
Runs runs;

class WineRun : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!fs::exists(windows_bin() / "Shardcast.aex") || !fs::exists(windows_bin() / "shardcast_wine_driver.exe")) {
      return;
    }
    runs.available = true;
    fs::remove_all(work_dir());
    fs::create_directories(work_dir());

    auto start = std::chrono::steady_clock::now();
    runs.prefix_ready = run(under_wine("wineboot --init"), work_dir() / "wineboot.log") == 0;
    std::printf("Wine prefix created in %.1f s\n", seconds_since(start));

    runs.linux_driver = run(quoted(fs::path(SHARDCAST_LINUX_DRIVER)) + " " + quoted(fs::path(SHARDCAST_LINUX_MODULE)) +
                                " " + quoted(work_dir() / "linux"),
                            work_dir() / "linux-driver.log");
    start = std::chrono::steady_clock::now();
    runs.wine_driver = run(under_wine(quoted(windows_name(windows_bin() / "shardcast_wine_driver.exe")) + " " +
                                      quoted(windows_name(windows_bin() / "Shardcast.aex")) + " " +
                                      quoted(windows_name(work_dir() / "windows"))),
                           work_dir() / "wine-driver.log");
    std::printf("Driver ran under Wine in %.1f s\n", seconds_since(start));
  }

  static void TearDownTestSuite() {
    if (runs.prefix_ready) {
      run("WINEPREFIX=" + quoted(prefix_dir()) + " " + quoted(std::string(SHARDCAST_WINESERVER)) + " -k",
          work_dir() / "wineserver.log");
    }
  }

  void SetUp() override {
    if (!runs.available) {
      GTEST_SKIP() << "no Windows build with the test driver in " << windows_build_dir();
    }
    ASSERT_TRUE(runs.prefix_ready) << file_bytes(work_dir() / "wineboot.log");
  }
};

TEST_F(WineRun, DriverCompletesOnBothSystems) {
  EXPECT_EQ(runs.linux_driver, 0) << file_bytes(work_dir() / "linux-driver.log");
  EXPECT_EQ(runs.wine_driver, 0) << file_bytes(work_dir() / "wine-driver.log");
}

TEST_F(WineRun, RegistrationSetupAboutAndSupervisionMatch) {
  const std::string linux_report = file_bytes(work_dir() / "linux" / "report.txt");
  const std::string windows_report = file_bytes(work_dir() / "windows" / "report.txt");
  ASSERT_FALSE(linux_report.empty());
  std::istringstream expected(linux_report);
  std::istringstream actual(windows_report);
  std::string expected_line;
  std::string actual_line;
  for (int number = 1; std::getline(expected, expected_line); ++number) {
    ASSERT_TRUE(std::getline(actual, actual_line)) << "Windows report ends before line " << number;
    ASSERT_EQ(actual_line, expected_line) << "report line " << number;
  }
  EXPECT_FALSE(std::getline(actual, actual_line)) << "Windows report has more lines: " << actual_line;
}

TEST_F(WineRun, EveryRenderAndItsDecoderMessagesMatchByteForByte) {
  const std::set<std::string> names = file_names(work_dir() / "linux");
  ASSERT_GT(names.size(), 20u);
  EXPECT_EQ(file_names(work_dir() / "windows"), names);
  for (const std::string& name : names) {
    if (name == "report.txt") {
      continue;
    }
    const std::string expected = file_bytes(work_dir() / "linux" / name);
    EXPECT_TRUE(expected == file_bytes(work_dir() / "windows" / name)) << name << " differs";
    if (name.ends_with(".argb")) {
      EXPECT_FALSE(expected.empty()) << name;
    }
  }
}

TEST_F(WineRun, EveryInstructionSetGivesTheReferenceFramesOnBothSystems) {
  // fast_<case>_<set>.argb and .messages: the driver's decodes with each
  // instruction set forced, beside the reference decoder's.
  std::size_t compared = 0;
  for (const char* system : {"linux", "windows"}) {
    for (const std::string& name : file_names(work_dir() / system)) {
      const std::size_t reference_at = name.find("_reference.");
      if (!name.starts_with("fast_") || reference_at == std::string::npos) {
        continue;
      }
      const std::string prefix = name.substr(0, reference_at + 1);
      const std::string suffix = name.substr(reference_at + std::string("_reference").size());
      const std::string expected = file_bytes(work_dir() / system / name);
      for (const char* set : {"scalar", "sse2", "avx2"}) {
        const fs::path candidate = work_dir() / system / (prefix + set + suffix);
        if (fs::exists(candidate)) {
          EXPECT_TRUE(file_bytes(candidate) == expected) << system << ": " << candidate.filename() << " differs";
          ++compared;
        }
      }
    }
  }
  EXPECT_GE(compared, 2u * 6u * 2u * 2u) << "two systems, six cases, two files, at least scalar and SSE2";
}

TEST_F(WineRun, DamagedRendersWriteDecoderMessages) {
  // Guards the comparison above against two empty message files.
  EXPECT_NE(file_bytes(work_dir() / "linux" / "heavy_damage.messages").find("Error - "), std::string::npos);
}

TEST_F(WineRun, TurboJpegEnvironmentVariablesDoNotChangeWindowsFrames) {
  // Each of these would change the compressed stream if the library read it.
  const fs::path folder = work_dir() / "windows-environment";
  ASSERT_EQ(run("TJ_RESTART=1 TJ_OPTIMIZE=1 TJ_PROGRESSIVE=1 JSIMD_FORCENONE=1 " +
                    under_wine(quoted(windows_name(windows_bin() / "shardcast_wine_driver.exe")) + " " +
                               quoted(windows_name(windows_bin() / "Shardcast.aex")) + " " +
                               quoted(windows_name(folder))),
                work_dir() / "wine-environment.log"),
            0)
      << file_bytes(work_dir() / "wine-environment.log");
  for (const std::string& name : file_names(work_dir() / "windows")) {
    EXPECT_TRUE(file_bytes(folder / name) == file_bytes(work_dir() / "windows" / name)) << name << " differs";
  }
}

TEST_F(WineRun, CommandLineRendererRendersAndDecodesAsOnLinux) {
  const fs::path linux_dir = work_dir() / "cli-linux";
  const fs::path windows_dir = work_dir() / "cli-windows";
  fs::create_directories(linux_dir);
  fs::create_directories(windows_dir);
  const std::string render_options = " --sample-size 50x30 --broken-bytes 80 --seed 5 --compression-ratio 70 --module ";
  const std::string linux_cli = quoted(fs::path(SHARDCAST_LINUX_CLI));
  const std::string windows_cli = quoted(windows_name(windows_bin() / "shardcast.exe"));
  ASSERT_TRUE(fs::exists(windows_bin() / "shardcast.exe"));

  ASSERT_EQ(run(linux_cli + " render -o " + quoted(linux_dir / "render.png") + " --messages " +
                    quoted(linux_dir / "render.messages") + render_options + quoted(fs::path(SHARDCAST_LINUX_MODULE)),
                linux_dir / "render.log"),
            0)
      << file_bytes(linux_dir / "render.log");
  ASSERT_EQ(run(under_wine(windows_cli + " render -o " + quoted(windows_name(windows_dir / "render.png")) +
                           " --messages " + quoted(windows_name(windows_dir / "render.messages")) + render_options +
                           quoted(windows_name(windows_bin() / "Shardcast.aex"))),
                windows_dir / "render.log"),
            0)
      << file_bytes(windows_dir / "render.log");
  EXPECT_TRUE(file_bytes(linux_dir / "render.png") == file_bytes(windows_dir / "render.png"));
  EXPECT_EQ(file_bytes(windows_dir / "render.messages"), file_bytes(linux_dir / "render.messages"));

  // The decoder alone, on a stream damaged the same way for both: the Linux
  // renderer's JPEG output with bytes of its scan data overwritten.
  const fs::path stream = work_dir() / "damaged.jpg";
  ASSERT_EQ(run(linux_cli + " render -o " + quoted(stream) + render_options + quoted(fs::path(SHARDCAST_LINUX_MODULE)),
                linux_dir / "jpeg.log"),
            0)
      << file_bytes(linux_dir / "jpeg.log");
  std::string jpeg = file_bytes(stream);
  const std::size_t scan = jpeg.find("\xFF\xDA");
  ASSERT_NE(scan, std::string::npos);
  ASSERT_GT(jpeg.size(), scan + 200);
  for (std::size_t at = scan + 40; at + 2 < jpeg.size(); at += 37) {
    jpeg[at] = static_cast<char>((at * 73) & 0xFF);
  }
  std::ofstream(stream, std::ios::binary | std::ios::trunc) << jpeg;
  ASSERT_EQ(run(linux_cli + " decode " + quoted(stream) + " -o " + quoted(linux_dir / "decode.png") + " --messages " +
                    quoted(linux_dir / "decode.messages"),
                linux_dir / "decode.log"),
            0)
      << file_bytes(linux_dir / "decode.log");
  ASSERT_EQ(run(under_wine(windows_cli + " decode " + quoted(windows_name(stream)) + " -o " +
                           quoted(windows_name(windows_dir / "decode.png")) + " --messages " +
                           quoted(windows_name(windows_dir / "decode.messages"))),
                windows_dir / "decode.log"),
            0)
      << file_bytes(windows_dir / "decode.log");
  EXPECT_TRUE(file_bytes(linux_dir / "decode.png") == file_bytes(windows_dir / "decode.png"));
  EXPECT_EQ(file_bytes(windows_dir / "decode.messages"), file_bytes(linux_dir / "decode.messages"));
  EXPECT_NE(file_bytes(linux_dir / "decode.messages"), "");

  // There too an input is never an output, told by the file's identity:
  // the same file under another spelling of its name is refused and kept.
  const std::string picture = file_bytes(windows_dir / "render.png");
  EXPECT_EQ(run(under_wine(windows_cli + " render " + quoted(windows_name(windows_dir / "render.png")) + " -o " +
                           quoted(windows_name(windows_dir / "." / "render.png"))),
                windows_dir / "same.log"),
            2);
  EXPECT_NE(file_bytes(windows_dir / "same.log").find("it is the same file as the input"), std::string::npos)
      << file_bytes(windows_dir / "same.log");
  EXPECT_TRUE(file_bytes(windows_dir / "render.png") == picture);
}

}  // namespace
