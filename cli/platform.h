// The few operating-system services the tool needs beyond the C++ library,
// in one place so the rest builds unchanged on Linux and Windows.
#pragma once

#include <cstdio>
#include <filesystem>

namespace shardcast::cli {

bool standard_error_is_terminal();
// The running program's own file; empty if it cannot be told.
std::filesystem::path executable_path();
// Descriptor-level redirection of standard output (descriptor 1).
int duplicate_standard_output();
bool redirect_standard_output(int descriptor);
void close_descriptor(int descriptor);
int descriptor_of(std::FILE* file);

}  // namespace shardcast::cli
