// Operating-system services: terminal test, own path, descriptor
// redirection, interrupts. POSIX calls on Linux, their C runtime twins on
// Windows.
//
// The interrupt flag is the one piece of process-wide state the tool keeps:
// a signal handler can reach nothing else.
#include "cli/platform.h"

#include <csignal>
#include <cstdio>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace shardcast::cli {
namespace {

volatile std::sig_atomic_t interrupt_seen = 0;

void note_interrupt(int) { interrupt_seen = 1; }

}  // namespace

void catch_interrupts() {
  std::signal(SIGINT, &note_interrupt);
  std::signal(SIGTERM, &note_interrupt);
#ifndef _WIN32
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

bool interrupted() { return interrupt_seen != 0; }

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
void use_binary_standard_streams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}
int core_count() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  return system.dwNumberOfProcessors > 0 ? static_cast<int>(system.dwNumberOfProcessors) : 1;
}

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
void use_binary_standard_streams() {}
int core_count() {
  const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
  return cores > 0 ? static_cast<int>(cores) : 1;
}

#endif

}  // namespace shardcast::cli
