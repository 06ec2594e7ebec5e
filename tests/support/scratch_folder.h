// A fresh folder for one test, removed with everything in it afterwards:
// the base of fixtures whose programs write files.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

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

  std::filesystem::path folder_;

 private:
  std::string name_;
};

}  // namespace shardcast::testing
