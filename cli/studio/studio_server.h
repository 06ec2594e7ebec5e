// The studio's HTTP server (cpp-httplib), on the loopback interface only:
// 127.0.0.1, and ::1 on the same port where the machine has IPv6.
//
// Before a request reaches a call (studio_api.h) it must
//   - come from a loopback address;
//   - name this server in its Host header (127.0.0.1:PORT, [::1]:PORT or
//     localhost:PORT), so that a web page whose own name was pointed at
//     127.0.0.1 (DNS rebinding) gets nothing;
//   - if it says where it comes from (Origin), come from this server's page;
//   - carry the token, in the X-Shardcast-Token header or as ?token=;
//   - ask for one of the calls with the method it takes (else 404 or 405),
//     declaring the body type the call reads;
//   - keep its body within max_body_bytes (else 413).
// Each refusal, and each request the HTTP library itself cannot read, is
// answered with a 4xx and {"error": ...} and written as one line on
// standard error; the server goes on serving.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "cli/studio/studio_api.h"

namespace shardcast::cli {

inline constexpr std::size_t max_body_bytes = std::size_t{256} << 10;

class StudioServer {
 public:
  StudioServer(StudioState& state, std::string token);
  StudioServer(const StudioServer&) = delete;
  StudioServer& operator=(const StudioServer&) = delete;
  ~StudioServer();

  // Binds 127.0.0.1 and ::1 to `port`, or to a port free on both when it
  // is 0. Empty on success, otherwise the refusal; `note` says when ::1
  // was left out.
  std::string bind(int port, std::string& note);
  int port() const;
  // Serves on threads of the server's own until stop().
  void start();
  void stop();

 private:
  struct Listeners;
  std::unique_ptr<Listeners> listeners_;
};

}  // namespace shardcast::cli
