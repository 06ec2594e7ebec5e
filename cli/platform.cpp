// Operating-system services: terminal test, own path, descriptor
// redirection. POSIX calls on Linux, their C runtime twins on Windows.
#include "cli/platform.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace shardcast::cli {

#ifdef _WIN32

bool standard_error_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

std::filesystem::path executable_path() {
  wchar_t buffer[32768];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, sizeof buffer / sizeof buffer[0]);
  if (length == 0 || length >= sizeof buffer / sizeof buffer[0]) {
    return {};
  }
  return std::filesystem::path(std::wstring(buffer, length));
}

int duplicate_standard_output() { return _dup(1); }
bool redirect_standard_output(int descriptor) { return _dup2(descriptor, 1) == 0; }
void close_descriptor(int descriptor) { _close(descriptor); }
int descriptor_of(std::FILE* file) { return _fileno(file); }

#else

bool standard_error_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

std::filesystem::path executable_path() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error);
}

int duplicate_standard_output() { return ::dup(STDOUT_FILENO); }
bool redirect_standard_output(int descriptor) { return ::dup2(descriptor, STDOUT_FILENO) >= 0; }
void close_descriptor(int descriptor) { ::close(descriptor); }
int descriptor_of(std::FILE* file) { return ::fileno(file); }

#endif

}  // namespace shardcast::cli
