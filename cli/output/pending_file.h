// A file that appears whole or not at all: written under a temporary name
// beside its target and renamed over it by commit(); dropped otherwise,
// however the render ends.
//
// An output named through a symbolic link writes the file the link points
// to (the temporary file goes beside that file, in its folder) and the link
// stays a link, as a shell's redirection treats it. One that is no regular
// file (/dev/null, a terminal, a named pipe) is written in place: there is
// nothing to replace, and a device is never renamed over. The folder must
// exist; a name that is a folder is refused.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace shardcast::cli {

// The file a name writes: the name itself, or where its chain of symbolic
// links ends (whether or not that file exists yet).
std::filesystem::path output_target(const std::string& path);
// The name leads to something that is neither a regular file nor a folder
// (a device, a named pipe, a socket), written in place if at all.
bool is_special_file(const std::string& path);

class PendingFile {
 public:
  PendingFile() = default;
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;
  ~PendingFile() { drop(); }

  // Creates the temporary file for `path`. Empty on success, otherwise the
  // reason, worded to follow "cannot write FILE: ".
  std::string open(const std::string& path);
  std::FILE* file() const { return file_; }
  // Every byte written so far reached the file. Empty on success, otherwise
  // the reason. The file stays pending.
  std::string finish();
  // finish(), then the rename into place.
  std::string commit();
  // Removes the temporary file, if any.
  void drop();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;  // empty when written in place
  std::FILE* file_ = nullptr;
  int error_ = 0;  // the first failure while finishing
};

// The bytes as the whole new content of `path`, through a PendingFile.
// Empty on success, otherwise the reason.
std::string write_whole_file(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace shardcast::cli
