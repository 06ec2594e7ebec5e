// A fresh folder for one test, removed with everything in it afterwards:
// the base of fixtures whose programs write files.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace shardcast::testing {

class ScratchFolder : public ::testing::Test {
 protected:
  explicit ScratchFolder(std::string name) : name_(std::move(name)) {}

  void SetUp() override {
    std::string pattern = (std::filesystem::path(::testing::TempDir()) / (name_ + "-XXXXXX")).string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path file(const std::string& name) const { return folder_ / name; }

  // The names of what the folder holds, sorted: what a test left behind.
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::filesystem::path folder_;

 private:
  std::string name_;
};

}  // namespace shardcast::testing
