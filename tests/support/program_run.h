// Runs a program as a user would, for the tests that check whole programs
// (the command-line tool, ffmpeg, melt): in a given folder, with standard
// input empty or read from a file, standard output and error captured, and
// chosen changes to the environment.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace shardcast::testing {

struct ProgramRun {
  int exit_code = -1;         // -1 when the program did not exit normally
  long peak_resident_kb = 0;  // the program's own peak resident memory
  std::string out;
  std::string err;
};

// A program's output as its lines, without their line ends.
inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find('\n', start);
    lines.push_back(text.substr(start, end - start));
    start = end == std::string::npos ? text.size() : end + 1;
  }
  return lines;
}

// The argument vector execv takes, pointing into `words`.
inline std::vector<char*> argv_of(std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (std::string& word : words) {
    argv.push_back(word.data());
  }
  argv.push_back(nullptr);
  return argv;
}

inline std::string slurp(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

struct ProgramEnvironment {
  std::vector<std::string> unset;  // variable names removed first
  std::vector<std::string> set;    // NAME=VALUE entries added after
  std::filesystem::path input;     // standard input's file; empty for none
  int time_limit_seconds = 0;      // killed after this long; 0 for no limit
};

// Waits for the child, with what it used; one still running after the
// limit (when there is one) is killed and reported as not exited.
inline bool wait_within(pid_t child, int limit_seconds, int& status, rusage& usage) {
  if (limit_seconds <= 0) {
    return ::wait4(child, &status, 0, &usage) == child;
  }
  for (int waited_ms = 0; waited_ms < limit_seconds * 1000; waited_ms += 10) {
    const pid_t ended = ::wait4(child, &status, WNOHANG, &usage);
    if (ended != 0) {
      return ended == child;
    }
    ::usleep(10000);
  }
  ::kill(child, SIGKILL);
  ::wait4(child, &status, 0, &usage);
  return false;
}

// words[0] is the program: a path, or a name looked up on PATH. The
// captured output goes through two files in the folder, removed afterwards.
inline ProgramRun run_program(const std::filesystem::path& folder, std::vector<std::string> words,
                              const ProgramEnvironment& environment = {}) {
  const std::filesystem::path out_path = folder / ".stdout";
  const std::filesystem::path err_path = folder / ".stderr";
  std::vector<char*> argv = argv_of(words);
  std::vector<std::string> settings = environment.set;
  const pid_t child = ::fork();
  if (child == 0) {
    const int in = ::open(environment.input.empty() ? "/dev/null" : environment.input.c_str(), O_RDONLY);
    const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0 || err < 0 || ::chdir(folder.c_str()) != 0) {
      ::_exit(127);
    }
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    for (const std::string& name : environment.unset) {
      ::unsetenv(name.c_str());
    }
    for (std::string& setting : settings) {
      ::putenv(setting.data());
    }
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ProgramRun result;
  int status = 0;
  rusage usage{};
  if (child > 0 && wait_within(child, environment.time_limit_seconds, status, usage)) {
    result.peak_resident_kb = usage.ru_maxrss;
    if (WIFEXITED(status)) {
      result.exit_code = WEXITSTATUS(status);
    }
  }
  result.out = slurp(out_path);
  result.err = slurp(err_path);
  std::filesystem::remove(out_path);
  std::filesystem::remove(err_path);
  return result;
}

// What a program shows on a terminal: its standard error on a
// pseudo-terminal, read until it ends, in `err`; its output is discarded.
inline ProgramRun run_on_a_terminal(const std::filesystem::path& folder, std::vector<std::string> words) {
  ProgramRun result;
  int terminal = -1;
  int terminal_side = -1;
  if (::openpty(&terminal, &terminal_side, nullptr, nullptr, nullptr) != 0) {
    return result;
  }
  std::vector<char*> argv = argv_of(words);
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(terminal_side, STDERR_FILENO);
    if (::chdir(folder.c_str()) == 0) {
      ::execvp(argv[0], argv.data());
    }
    ::_exit(127);
  }
  ::close(terminal_side);
  char chunk[512];
  for (ssize_t count; (count = ::read(terminal, chunk, sizeof chunk)) > 0;) {
    result.err.append(chunk, static_cast<std::size_t>(count));
  }
  ::close(terminal);
  int status = 0;
  if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    result.exit_code = WEXITSTATUS(status);
  }
  return result;
}

}  // namespace shardcast::testing
