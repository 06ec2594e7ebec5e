// The studio's HTTP side (studio_server.h): two cpp-httplib servers, one
// per loopback address, sharing the checks every request passes first and
// the calls behind them.
//
// The port is found before either server binds: a port free on 127.0.0.1
// and on ::1 alike. Every answer carries headers that keep the page to
// itself: no caching, no framing by another page, nothing loaded from
// anywhere but this server, no referrer.
#include "cli/studio/studio_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "cli/messages/tool_log.h"
#include "cli/studio/studio_calls.h"

namespace shardcast::cli {
namespace {

constexpr std::size_t path_length_logged = 120;

const httplib::Headers page_headers = {
    {"Cache-Control", "no-store"},
    {"X-Content-Type-Options", "nosniff"},
    {"X-Frame-Options", "DENY"},
    {"Referrer-Policy", "no-referrer"},
    {"Cross-Origin-Resource-Policy", "same-origin"},
    {"Content-Security-Policy",
     "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self' data: blob:; connect-src 'self'; "
     "form-action 'none'; frame-ancestors 'none'; base-uri 'none'"},
};

// Whether a socket of this family binds to the loopback address at
// `port` (0: any port); the port it got, or 0.
int try_loopback_port(int family, int port) {
  const int socket = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (socket < 0) {
    return 0;
  }
  sockaddr_storage address{};
  socklen_t length = 0;
  if (family == AF_INET) {
    auto& v4 = reinterpret_cast<sockaddr_in&>(address);
    v4.sin_family = AF_INET;
    v4.sin_port = htons(static_cast<std::uint16_t>(port));
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    length = sizeof v4;
  } else {
    auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(static_cast<std::uint16_t>(port));
    v6.sin6_addr = in6addr_loopback;
    length = sizeof v6;
  }
  int got = 0;
  if (::bind(socket, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
      ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    got = ntohs(family == AF_INET ? reinterpret_cast<sockaddr_in&>(address).sin_port
                                  : reinterpret_cast<sockaddr_in6&>(address).sin6_port);
  }
  ::close(socket);
  return got;
}

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// Equal texts, compared in a time that does not tell how much of the
// start matched.
bool same_secret(const std::string& given, const std::string& token) {
  unsigned difference = given.size() == token.size() ? 0u : 1u;
  for (std::size_t i = 0; i < token.size(); ++i) {
    difference |= static_cast<unsigned>(static_cast<unsigned char>(i < given.size() ? given[i] : 0) ^
                                        static_cast<unsigned char>(token[i]));
  }
  return difference == 0;
}

// A file name for Content-Disposition: nothing that could end the quote
// or the header.
std::string header_file_name(const std::string& name) {
  std::string safe = name;
  for (char& c : safe) {
    const bool kept =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    c = kept ? c : '_';
  }
  return safe;
}

void log_refusal(const httplib::Request& request, int status, const std::string& why) {
  std::string path = request.path.substr(0, path_length_logged);
  if (request.path.size() > path_length_logged) {
    path += "...";
  }
  const std::string method = request.method.empty() ? "(unreadable request)" : request.method;
  report("studio: " + std::to_string(status) + " " + method + " " + path + ": " + why);
}

void respond(const httplib::Request& request, httplib::Response& response, ApiReply reply) {
  response.status = reply.status;
  if (!reply.file_name.empty()) {
    response.set_header("Content-Disposition", "attachment; filename=\"" + header_file_name(reply.file_name) + "\"");
  }
  if (!reply.type.empty()) {
    response.set_content(reply.body, reply.type);
  }
  if (reply.status >= 400) {
    log_refusal(request, reply.status, reply.refusal);
  }
}

// What the HTTP library refuses by itself, before any check of ours.
std::string library_refusal(int status) {
  switch (status) {
    case 413:
      return "the request's body is larger than " + std::to_string(max_body_bytes) + " bytes";
    case 414:
      return "the request's address is too long";
    default:
      return "the request cannot be read as HTTP";
  }
}

}  // namespace

struct StudioServer::Listeners {
  Listeners(StudioState& served, std::string access_token) : state(served), token(std::move(access_token)) {}

  StudioState& state;
  std::string token;
  int port = 0;
  bool with_v6 = false;
  httplib::Server v4;
  httplib::Server v6;
  std::thread v4_thread;
  std::thread v6_thread;

  // Empty when the request may reach a call; otherwise the refusal and
  // its status.
  std::string admission(const httplib::Request& request, httplib::Response& response, int& status) const;
  httplib::Server::HandlerResponse gate(const httplib::Request& request, httplib::Response& response) const;
  void configure(httplib::Server& server);
};

std::string StudioServer::Listeners::admission(const httplib::Request& request, httplib::Response& response,
                                               int& status) const {
  status = 403;
  const std::string& from = request.remote_addr;
  if (from != "127.0.0.1" && from != "::1" && from != "::ffff:127.0.0.1") {
    return "only this machine may ask";
  }
  const std::string port_text = ":" + std::to_string(port);
  const std::string hosts[] = {"127.0.0.1" + port_text, "[::1]" + port_text, "localhost" + port_text};
  const std::string host = lower(request.get_header_value("Host"));
  if (request.get_header_value_count("Host") != 1 ||
      std::find(std::begin(hosts), std::end(hosts), host) == std::end(hosts)) {
    return "the Host header must name this server (127.0.0.1" + port_text + ")";
  }
  if (request.has_header("Origin")) {
    const std::string origin = lower(request.get_header_value("Origin"));
    if (!origin.starts_with("http://") ||
        std::find(std::begin(hosts), std::end(hosts), origin.substr(7)) == std::end(hosts)) {
      return "requests from other pages are refused";
    }
  }
  const std::string given = request.has_header("X-Shardcast-Token") ? request.get_header_value("X-Shardcast-Token")
                                                                    : request.get_param_value("token");
  if (!same_secret(given, token)) {
    return "the token is missing or wrong: open the address the studio printed";
  }
  const std::string methods = allowed_methods(request.path);
  if (methods.empty()) {
    status = 404;
    return "there is no such page or call";
  }
  if (methods.find(request.method) == std::string::npos) {
    status = 405;
    response.set_header("Allow", methods);
    return request.method + " is not taken here; " + methods + " is";
  }
  // The library caps a body by its declared length only: a chunked body,
  // or one that runs to the end of the connection, would have no cap.
  if (request.has_header("Transfer-Encoding") ||
      (request.method == "POST" && request.get_header_value_count("Content-Length") != 1)) {
    status = 411;
    return "send the body with its length (Content-Length), not in chunks";
  }
  if (request.method == "POST") {
    const std::string type = lower(request.get_header_value("Content-Type"));
    const std::string expected = expected_body_type(request.path);
    if (type.substr(0, type.find(';')) != expected) {
      status = 415;
      return "the body must be " + expected;
    }
  }
  return {};
}

httplib::Server::HandlerResponse StudioServer::Listeners::gate(const httplib::Request& request,
                                                               httplib::Response& response) const {
  int status = 0;
  const std::string why = admission(request, response, status);
  if (why.empty()) {
    return httplib::Server::HandlerResponse::Unhandled;
  }
  respond(request, response, refused(status, why));
  return httplib::Server::HandlerResponse::Handled;
}

void StudioServer::Listeners::configure(httplib::Server& server) {
  server.set_payload_max_length(max_body_bytes);
  server.set_read_timeout(5);
  server.set_write_timeout(5);
  // Idle connections are let go within two seconds, so that stopping the
  // studio never waits longer.
  server.set_keep_alive_timeout(2);
  server.set_keep_alive_max_count(1000);
  server.set_tcp_nodelay(true);
  // Only SO_REUSEADDR: SO_REUSEPORT would let another program of this
  // user take connections on the same port.
  server.set_socket_options([](int socket) {
    const int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server.set_default_headers(page_headers);
  server.set_pre_routing_handler(
      [this](const httplib::Request& request, httplib::Response& response) { return gate(request, response); });
  server.set_error_handler(
      httplib::Server::HandlerWithResponse([](const httplib::Request& request, httplib::Response& response) {
        if (!response.body.empty()) {
          return httplib::Server::HandlerResponse::Unhandled;  // ours, logged already
        }
        respond(request, response, refused(response.status, library_refusal(response.status)));
        return httplib::Server::HandlerResponse::Handled;
      }));
  const auto serve = [this](const httplib::Request& request, httplib::Response& response) {
    const ApiCall call{request.method, request.path, {request.params.begin(), request.params.end()}, request.body};
    respond(request, response, handle_call(state, call));
  };
  for (const char* path :
       {"/", "/controls.js", "/studio.js", "/studio.css", "/api/session", "/api/original", "/api/render", "/api/export",
        "/api/command", "/api/settings/save", "/api/settings/load", "/api/look", "/api/clip", "/api/clip/cancel"}) {
    std::string pattern = path;
    for (std::size_t dot = pattern.find('.'); dot != std::string::npos; dot = pattern.find('.', dot + 2)) {
      pattern.insert(dot, "\\");
    }
    const std::string methods = allowed_methods(path);
    if (methods.find("GET") != std::string::npos) {
      server.Get(pattern, serve);
    }
    if (methods.find("POST") != std::string::npos) {
      server.Post(pattern, serve);
    }
  }
}

StudioServer::StudioServer(StudioState& state, std::string token)
    : listeners_(std::make_unique<Listeners>(state, std::move(token))) {
  listeners_->configure(listeners_->v4);
  listeners_->configure(listeners_->v6);
}

StudioServer::~StudioServer() { stop(); }

std::string StudioServer::bind(int port, std::string& note) {
  Listeners& l = *listeners_;
  const bool v6_works = try_loopback_port(AF_INET6, 0) != 0;
  int chosen = port;
  for (int attempt = 0; port == 0 && attempt < 20; ++attempt) {
    chosen = try_loopback_port(AF_INET, 0);
    if (chosen == 0 || !v6_works || try_loopback_port(AF_INET6, chosen) != 0) {
      break;
    }
  }
  if (chosen == 0 || !l.v4.bind_to_port("127.0.0.1", chosen)) {
    return "cannot listen on 127.0.0.1" + (port != 0 ? ":" + std::to_string(port) + " (is it in use?)" : "");
  }
  l.port = chosen;
  l.with_v6 = v6_works && l.v6.bind_to_port("::1", chosen);
  if (!l.with_v6) {
    note = v6_works ? "::1 port " + std::to_string(chosen) + " is taken: serving on 127.0.0.1 only"
                    : "this machine has no IPv6 loopback: serving on 127.0.0.1 only";
  }
  return {};
}

int StudioServer::port() const { return listeners_->port; }

void StudioServer::start() {
  Listeners& l = *listeners_;
  l.v4_thread = std::thread([&l] { l.v4.listen_after_bind(); });
  if (l.with_v6) {
    l.v6_thread = std::thread([&l] { l.v6.listen_after_bind(); });
  }
  // Until both run, stop() would have nothing to stop.
  for (int wait = 0; wait < 1000 && (!l.v4.is_running() || (l.with_v6 && !l.v6.is_running())); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void StudioServer::stop() {
  Listeners& l = *listeners_;
  for (auto [server, thread] : {std::pair{&l.v4, &l.v4_thread}, std::pair{&l.v6, &l.v6_thread}}) {
    if (thread->joinable()) {
      server->stop();
      thread->join();
    }
  }
}

}  // namespace shardcast::cli
