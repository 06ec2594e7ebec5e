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
// From now on Ctrl-C (and a request to terminate) only sets a flag, so that
// a render can stop between frames and remove what it had begun; a write to
// a closed pipe becomes an error instead of ending the process.
void catch_interrupts();
bool interrupted();
// Standard input and output carry pictures byte for byte.
void use_binary_standard_streams();
// The number of processor cores, at least 1.
int core_count();

}  // namespace shardcast::cli
