// What the tests of the shardcast executable share: a fresh folder to run
// the built program in, small pictures and JPEG streams to feed it, and the
// effect module's own render of a picture, driven in-process through the
// simulated host, to compare its output with.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "cli/pictures/image.h"
#include "hostsim/simulated_host.h"
#include "support/effect_setup.h"
#include "support/program_run.h"
#include "support/scratch_folder.h"

namespace shardcast::testing {

class ShardcastTool : public ScratchFolder {
 protected:
  ShardcastTool() : ScratchFolder("shardcast-cli") {}

  // Runs the tool with the folder as working directory; standard input is
  // empty, standard output and error are captured.
  ProgramRun run(const std::vector<std::string>& arguments, const ProgramEnvironment& environment = {}) const {
    std::vector<std::string> words = {SHARDCAST_CLI_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    return run_program(folder_, words, environment);
  }

  // Standard input read from one of the folder's files.
  ProgramEnvironment reading(const std::string& name) const {
    ProgramEnvironment environment;
    environment.input = file(name);
    return environment;
  }

  void write_bytes(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream(file(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }

  void write_png(const std::string& name, const cli::Image& image) const {
    ASSERT_TRUE(cli::write_image(file(name).string(), image).ok());
  }

  cli::Image read_png(const std::string& name) const {
    cli::Image image;
    const cli::ImageResult result = cli::read_image(file(name).string(), image);
    EXPECT_TRUE(result.ok()) << name << ": " << result.error;
    return image;
  }
};

// A small picture with every kind of content, not a multiple of 16 wide.
inline cli::Image test_picture(std::int32_t width = 50, std::int32_t height = 30) {
  cli::Image image = cli::Image::filled(width, height, 0, 0, 0, 255);
  for (std::int32_t y = 0; y < height; ++y) {
    for (std::int32_t x = 0; x < width; ++x) {
      std::uint8_t* pixel = image.pixel(x, y);
      pixel[0] = static_cast<std::uint8_t>(x * 5);
      pixel[1] = static_cast<std::uint8_t>(y * 8);
      pixel[2] = static_cast<std::uint8_t>(((x / 3 + y / 3) % 2) * 200);
      pixel[3] = static_cast<std::uint8_t>(x < 10 ? 128 : 255);
    }
  }
  return image;
}

inline std::vector<std::uint8_t> compress_jpeg(const cli::Image& image, int subsampling = TJSAMP_422, int flags = 0) {
  tjhandle compressor = tjInitCompress();
  unsigned char* stream = nullptr;
  unsigned long size = 0;
  EXPECT_EQ(tjCompress2(compressor, image.rgba.data(), image.width, 0, image.height, TJPF_RGBA, &stream, &size,
                        subsampling, 90, flags),
            0);
  std::vector<std::uint8_t> bytes(stream, stream + size);
  tjFree(stream);
  tjDestroy(compressor);
  return bytes;
}

// Index of the first scan data byte: two bytes after the SOS segment.
inline std::size_t scan_start(const std::vector<std::uint8_t>& stream) {
  for (std::size_t i = 2; i + 3 < stream.size();) {
    const std::size_t length = (stream[i + 2] << 8) | stream[i + 3];
    if (stream[i + 1] == 0xDA) {
      return i + 2 + length;
    }
    i += 2 + length;
  }
  return stream.size();
}

// What the module renders for the picture through the simulated host, with
// the given values (by parameter index) and every other at its default.
inline cli::Image render_in_process(const cli::Image& input, const std::map<A_long, double>& values) {
  hostsim::SimulatedHost host(std::filesystem::path(SHARDCAST_MODULE_PATH));
  EXPECT_TRUE(set_up_effect(host));
  for (const auto& [index, value] : values) {
    if (host.parameter(index).param_type == PF_Param_CHECKBOX) {
      host.set_checkbox(index, value != 0.0);
    } else {
      host.set_slider(index, value);
    }
  }
  // The module's decoder lines would flood the test log.
  std::fflush(stdout);
  const int saved_output = ::dup(STDOUT_FILENO);
  const int null_output = ::open("/dev/null", O_WRONLY);
  ::dup2(null_output, STDOUT_FILENO);
  const hostsim::CommandOutcome outcome =
      host.render(hostsim::Picture::from_rgba(input.width, input.height, input.rgba.data()));
  std::fflush(stdout);
  ::dup2(saved_output, STDOUT_FILENO);
  ::close(saved_output);
  ::close(null_output);
  EXPECT_EQ(outcome.result, 0);
  cli::Image output;
  output.width = outcome.output.width;
  output.height = outcome.output.height;
  output.rgba = outcome.output.to_rgba();
  return output;
}

}  // namespace shardcast::testing
