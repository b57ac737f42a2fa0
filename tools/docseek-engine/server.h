// SPDX-License-Identifier: MIT
// The engine's HTTP/1.1 server: one thread, non-blocking sockets and poll(), so that a slow or
// silent client, or a response held back on purpose, never stalls the others.
#ifndef DOCSEEK_ENGINE_SERVER_H
#define DOCSEEK_ENGINE_SERVER_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "request_log.h"
#include "routes.h"

namespace docseek::engine {

struct ServerLimits {
  std::size_t max_connections = 256;  // beyond this, new clients wait in the listen queue
  // A request head must arrive in full within this time from when the connection is ready
  // for it, and a response must make progress at least this often; otherwise the connection
  // is closed.
  std::chrono::milliseconds idle_timeout{30'000};
  // After the last response on a connection, unread input is drained for at most this long
  // before closing, so that the client reads the response instead of a reset.
  std::chrono::milliseconds linger{2'000};
  // Added to every response's own delay: a stand-in for the network and the engine's work, so
  // that round trips can be counted in wall time.
  std::chrono::milliseconds latency{0};
};

class Server {
 public:
  Server(const Router& router, RequestLog& log, ServerLimits limits = {});
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Listens on 127.0.0.1:port (0: any free port). False, with the reason in *error, on failure.
  bool Listen(std::uint16_t port, std::string* error);
  std::uint16_t Port() const { return port_; }

  // Serves until `stop_fd` becomes readable. Returns false on an unexpected poll() failure.
  bool Run(int stop_fd);

  // Connections accepted and requests answered so far.
  std::uint64_t Connections() const { return accepted_; }
  std::uint64_t Requests() const { return answered_; }

 private:
  struct Connection;
  using Clock = std::chrono::steady_clock;

  void AcceptClients();
  void OnReadable(Connection& c);
  void OnWritable(Connection& c);
  void OnDeadline(Connection& c);
  void ProcessInput(Connection& c);
  void QueueResponse(Connection& c, const Response& response, bool head_only, bool keep_alive);
  void FinishResponse(Connection& c);

  const Router& router_;
  RequestLog& log_;
  ServerLimits limits_;
  int listen_fd_ = -1;
  std::uint16_t port_ = 0;
  // Out of descriptors: the listener stays readable, so stop watching it for a moment rather
  // than spin.
  Clock::time_point accept_paused_until_{};
  std::vector<std::unique_ptr<Connection>> connections_;
  std::uint64_t accepted_ = 0;
  std::uint64_t answered_ = 0;
};

}  // namespace docseek::engine

#endif  // DOCSEEK_ENGINE_SERVER_H
