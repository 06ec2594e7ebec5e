// The few operating-system services the tool needs beyond the C++ library,
// in one place so the rest builds unchanged on Linux and Windows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace shardcast::cli {

bool standard_error_is_terminal();
// The running program's own file; empty if it cannot be told.
std::filesystem::path executable_path();
// Descriptor-level redirection: duplicate_descriptor keeps a copy of one,
// redirect_descriptor makes `to` refer to what `from` refers to.
int duplicate_descriptor(int descriptor);
bool redirect_descriptor(int from, int to);
void close_descriptor(int descriptor);
int descriptor_of(std::FILE* file);
// A temporary file for reading and writing. Where the system can, it has
// no name at all and disappears with the process however that ends; else
// `to_remove` names it, for the caller to remove.
std::FILE* open_anonymous_file(std::filesystem::path& to_remove);
// From now on Ctrl-C, a request to terminate and a hang-up only set a flag,
// so that a render can stop between frames and remove what it had begun; a
// blocking read or write they arrive in returns early instead of waiting
// on. A write to a closed pipe becomes an error instead of ending the
// process.
void catch_interrupts();
bool interrupted();
// Standard input and output carry pictures byte for byte.
void use_binary_standard_streams();
// The number of processor cores, at least 1.
int core_count();

// Which file a name or stream is, after following links: the device and
// inode (on Windows the volume serial number and file index), equal for
// hard links and symbolic links to one file. Only regular files have one
// here; anything else (a missing file, a folder, a terminal, a pipe) has
// none.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  bool operator==(const FileIdentity&) const = default;
};
std::optional<FileIdentity> file_identity(const std::string& path);
std::optional<FileIdentity> stream_identity(std::FILE* stream);

}  // namespace shardcast::cli
