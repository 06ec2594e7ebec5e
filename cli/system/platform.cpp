// Operating-system services: terminal test, own path, descriptor
// redirection, interrupts, file identity. POSIX calls on Linux, their C
// runtime and Win32 twins on Windows.
//
// The interrupt flag is the one piece of process-wide state the tool keeps
// for signals: a signal handler can reach nothing else.
#include "cli/system/platform.h"

#include <csignal>
#include <cstdio>
#include <random>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace shardcast::cli {
namespace {

volatile std::sig_atomic_t interrupt_seen = 0;

void note_interrupt(int) { interrupt_seen = 1; }

}  // namespace

bool interrupted() { return interrupt_seen != 0; }

#ifdef _WIN32

namespace {

std::optional<FileIdentity> handle_identity(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION information;
  if (handle == INVALID_HANDLE_VALUE || GetFileType(handle) != FILE_TYPE_DISK ||
      !GetFileInformationByHandle(handle, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return std::nullopt;
  }
  return FileIdentity{information.dwVolumeSerialNumber,
                      (std::uint64_t{information.nFileIndexHigh} << 32) | information.nFileIndexLow};
}

}  // namespace

void catch_interrupts() {
  std::signal(SIGINT, &note_interrupt);
  std::signal(SIGTERM, &note_interrupt);
}

bool standard_error_is_terminal() { return _isatty(_fileno(stderr)) != 0; }

std::filesystem::path executable_path() {
  wchar_t buffer[32768];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, sizeof buffer / sizeof buffer[0]);
  if (length == 0 || length >= sizeof buffer / sizeof buffer[0]) {
    return {};
  }
  return std::filesystem::path(std::wstring(buffer, length));
}

int duplicate_descriptor(int descriptor) { return _dup(descriptor); }
bool redirect_descriptor(int from, int to) { return _dup2(from, to) == 0; }
void close_descriptor(int descriptor) { _close(descriptor); }
int descriptor_of(std::FILE* file) { return _fileno(file); }

// The C runtime's tmpfile() makes its file in the root of the drive, where
// a user may not write: a named file in the temporary folder instead.
std::FILE* open_anonymous_file(std::filesystem::path& to_remove) {
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(error);
  std::random_device entropy;
  char name[48];
  std::snprintf(name, sizeof name, "shardcast-%08x-%08x.tmp", static_cast<unsigned>(entropy()),
                static_cast<unsigned>(entropy()));
  to_remove = folder / name;
  std::FILE* file = _wfopen(to_remove.c_str(), L"w+b");
  if (file == nullptr) {
    to_remove.clear();
  }
  return file;
}

void use_binary_standard_streams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
}
int core_count() {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  return system.dwNumberOfProcessors > 0 ? static_cast<int>(system.dwNumberOfProcessors) : 1;
}

std::optional<FileIdentity> file_identity(const std::string& path) {
  // No access asked for: only the file's information is read. Links are
  // followed, as CreateFileW does unless told otherwise.
  const std::filesystem::path name(path);
  HANDLE handle = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    return std::nullopt;
  }
  const std::optional<FileIdentity> identity = handle_identity(handle);
  CloseHandle(handle);
  return identity;
}

std::optional<FileIdentity> stream_identity(std::FILE* stream) {
  return handle_identity(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream))));
}

#else

namespace {

std::optional<FileIdentity> stat_identity(const struct stat& status) {
  if (!S_ISREG(status.st_mode)) {
    return std::nullopt;
  }
  return FileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

}  // namespace

void catch_interrupts() {
  // Without SA_RESTART, so that a read waiting on standard input or on a
  // worker returns with EINTR and the render can stop.
  struct sigaction action {};
  action.sa_handler = &note_interrupt;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    ::sigaction(signal, &action, nullptr);
  }
  std::signal(SIGPIPE, SIG_IGN);
}

bool standard_error_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

std::filesystem::path executable_path() {
  std::error_code error;
  return std::filesystem::read_symlink("/proc/self/exe", error);
}

int duplicate_descriptor(int descriptor) { return ::dup(descriptor); }
bool redirect_descriptor(int from, int to) { return ::dup2(from, to) >= 0; }
void close_descriptor(int descriptor) { ::close(descriptor); }
int descriptor_of(std::FILE* file) { return ::fileno(file); }
std::FILE* open_anonymous_file(std::filesystem::path& to_remove) {
  to_remove.clear();
  return std::tmpfile();
}
void use_binary_standard_streams() {}
int core_count() {
  const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
  return cores > 0 ? static_cast<int>(cores) : 1;
}

std::optional<FileIdentity> file_identity(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) {
    return std::nullopt;
  }
  return stat_identity(status);
}

std::optional<FileIdentity> stream_identity(std::FILE* stream) {
  struct stat status {};
  if (::fstat(::fileno(stream), &status) != 0) {
    return std::nullopt;
  }
  return stat_identity(status);
}

#endif

}  // namespace shardcast::cli
