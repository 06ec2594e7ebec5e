// `studio` (studio.h): set up, serve until a stop signal, stop.
//
// Ctrl-C, a request to terminate and a hang-up are blocked before the
// first thread starts, so every thread inherits that, and the main thread
// alone waits for them (sigwait): no signal handler runs and no system
// call of the server's threads is cut short. A write to a connection the
// browser closed is an error, not the end of the process. On a stop
// signal a whole-clip render still running is stopped (it removes what it
// began), waiting calls are answered, the servers close and the studio
// says so in one line; exit code 0.
//
// The address holds the token. The desktop's browser is given a page of
// our own in a private folder that forwards to it, so the token never
// shows in the list of processes; the address is printed on standard
// output either way.
#include "cli/studio/studio.h"

#include <fcntl.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/random.h>
#include <sys/wait.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "cli/commands/commands.h"
#include "cli/studio/studio_api.h"
#include "cli/studio/studio_server.h"

extern char** environ;

namespace shardcast::cli {
namespace {

sigset_t stop_signals() {
  sigset_t signals;
  sigemptyset(&signals);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    sigaddset(&signals, signal);
  }
  return signals;
}

// 24 random bytes from the system, as 48 hexadecimal digits.
std::string make_token() {
  std::array<unsigned char, 24> bytes{};
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (got <= 0) {
      return {};
    }
    filled += static_cast<std::size_t>(got);
  }
  std::string token;
  for (const unsigned char byte : bytes) {
    token += "0123456789abcdef"[byte >> 4];
    token += "0123456789abcdef"[byte & 15];
  }
  return token;
}

// The private folder of the page that forwards the browser to the
// address; removed with the studio.
struct BrowserPage {
  std::filesystem::path folder;
  pid_t opener = -1;
  ~BrowserPage() {
    int status = 0;
    if (opener > 0) {
      ::waitpid(opener, &status, WNOHANG);
    }
    std::error_code error;
    if (!folder.empty()) {
      std::filesystem::remove_all(folder, error);
    }
  }
};

// Empty when the browser was asked to open the address; otherwise why not.
std::string open_browser(const std::string& address, BrowserPage& page) {
  if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) {
    return "no desktop to open a browser on";
  }
  std::error_code error;
  std::string pattern = (std::filesystem::temp_directory_path(error) / "shardcast-studio-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) {
    return "cannot make a private folder for the browser's page";
  }
  page.folder = pattern;
  const std::filesystem::path file = page.folder / "open.html";
  std::ofstream(file) << "<!DOCTYPE html><meta charset=\"utf-8\"><meta http-equiv=\"refresh\" content=\"0;url="
                      << address << "\"><title>Shardcast studio</title><a href=\"" << address
                      << "\">Shardcast studio</a>\n";
  const std::string url = "file://" + file.string();
  const char* argv[] = {"xdg-open", url.c_str(), nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
  const int spawned =
      ::posix_spawnp(&page.opener, "xdg-open", &actions, &attributes, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return spawned == 0 ? std::string() : "xdg-open is not available";
}

}  // namespace

int run_studio(const StudioRequest& request) {
  const sigset_t stops = stop_signals();
  ::pthread_sigmask(SIG_BLOCK, &stops, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  const std::string token = make_token();
  if (token.empty()) {
    report("studio: the system gave no random bytes for the access token");
    return exit_internal_failure;
  }
  auto state = std::make_unique<StudioState>();
  state->request = request;
  int exit_code = exit_success;
  if (std::string refusal = open_studio(*state, token, exit_code); !refusal.empty()) {
    report(refusal);
    return exit_code;
  }
  StudioServer server(*state, token);
  std::string note;
  if (std::string refusal = server.bind(request.port, note); !refusal.empty()) {
    report("studio: " + refusal);
    return exit_bad_input;
  }
  server.start();
  const std::string port = std::to_string(server.port());
  const std::string address = "http://127.0.0.1:" + port + "/?token=" + token;
  std::printf("%s\n", address.c_str());
  std::fflush(stdout);
  report_note("studio: " + state->input.info().description + ", on 127.0.0.1" +
              (note.empty() ? " and ::1" : std::string()) + " port " + port +
              ": open the address above in a browser; Ctrl-C stops the studio");
  if (!note.empty()) {
    report_note("studio: " + note);
  }
  BrowserPage page;
  if (request.open_browser) {
    if (std::string why = open_browser(address, page); !why.empty()) {
      report_note("studio: " + why + "; open the address yourself");
    }
  }
  int signal = 0;
  ::sigwait(&stops, &signal);
  state->clip.cancel();
  state->queue.stop();
  server.stop();
  report_note("studio: stopped");
  return exit_success;
}

}  // namespace shardcast::cli
