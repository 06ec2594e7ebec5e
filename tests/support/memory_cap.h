// Runs a program under a memory cap, as a user's `ulimit -v 1048576`
// does: 1 GiB of address space. AddressSanitizer reserves terabytes of
// address space, so under it the cap is on single allocations instead
// (256 MiB), and an allocation beyond it fails as it would under the cap.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/program_run.h"

namespace shardcast::testing {

inline ProgramRun run_capped(const std::filesystem::path& folder, std::vector<std::string> words,
                             ProgramEnvironment environment = {}) {
#if defined(__SANITIZE_ADDRESS__)
  const char* sanitizer_options = std::getenv("ASAN_OPTIONS");
  environment.set.push_back(std::string("ASAN_OPTIONS=") + (sanitizer_options != nullptr ? sanitizer_options : "") +
                            ":max_allocation_size_mb=256:allocator_may_return_null=1");
#else
  words.insert(words.begin(), {"/bin/sh", "-c", "ulimit -v 1048576 && exec \"$0\" \"$@\""});
#endif
  return run_program(folder, std::move(words), environment);
}

}  // namespace shardcast::testing
