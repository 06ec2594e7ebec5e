// Files written whole or not at all (see pending_file.h).
#include "cli/output/pending_file.h"

#include <cerrno>
#include <cstring>

#include "cli/pictures/image.h"

namespace shardcast::cli {

namespace fs = std::filesystem;

fs::path output_target(const std::string& path) {
  fs::path target(path);
  // As many links as the system itself follows before it gives up.
  for (int hop = 0; hop < 40; ++hop) {
    std::error_code error;
    if (!fs::is_symlink(target, error)) {
      break;
    }
    const fs::path next = fs::read_symlink(target, error);
    if (error) {
      break;
    }
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  return target;
}

bool is_special_file(const std::string& path) {
  // Through the system's own following of links, which also knows the
  // links of /proc/self/fd that name pipes and terminals.
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  return fs::exists(status) && !fs::is_regular_file(status) && !fs::is_directory(status);
}

std::string PendingFile::open(const std::string& path) {
  drop();
  const bool in_place = is_special_file(path);
  target_ = in_place ? fs::path(path) : output_target(path);
  if (std::string refusal = check_output_path(target_.string()); !refusal.empty()) {
    return refusal;
  }
  if (!in_place) {
    temporary_ = temporary_path_beside(target_.string());
  }
  file_ = std::fopen((in_place ? target_ : temporary_).string().c_str(), "wb");
  if (file_ == nullptr) {
    const int error_number = errno;
    temporary_.clear();
    return std::strerror(error_number);
  }
  error_ = 0;
  return {};
}

std::string PendingFile::finish() {
  if (file_ != nullptr) {
    // A failed write already set the stream's error flag; its own reason
    // is the writer's to give, so this one is only the fallback.
    int error_number = std::ferror(file_) != 0 ? EIO : 0;
    if (std::fflush(file_) != 0 && error_number == 0) {
      error_number = errno;
    }
    if (std::fclose(file_) != 0 && error_number == 0) {
      error_number = errno;
    }
    file_ = nullptr;
    error_ = error_number;
  }
  return error_ != 0 ? std::strerror(error_) : std::string();
}

std::string PendingFile::commit() {
  if (std::string failure = finish(); !failure.empty()) {
    return failure;
  }
  if (temporary_.empty()) {
    return {};
  }
  std::error_code error;
  fs::rename(temporary_, target_, error);
  if (error) {
    return error.message();
  }
  temporary_.clear();
  return {};
}

void PendingFile::drop() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temporary_.empty()) {
    std::error_code error;
    fs::remove(temporary_, error);
    temporary_.clear();
  }
}

std::string write_whole_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  PendingFile pending;
  if (std::string failure = pending.open(path); !failure.empty()) {
    return failure;
  }
  if (std::fwrite(bytes.data(), 1, bytes.size(), pending.file()) != bytes.size()) {
    return std::strerror(errno);
  }
  return pending.commit();
}

}  // namespace shardcast::cli
