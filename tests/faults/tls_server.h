// SPDX-License-Identifier: MIT
// A TLS endpoint on 127.0.0.1 with a self-signed certificate made when it starts (openssl
// CLI), for checking that the browser refuses such a server. It runs on a thread of its own
// in the test process, completes handshakes if a client allows it, and counts what it sees.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

#include "support/engine_process.h"

namespace docseek::test {

class TlsServer {
 public:
  // Throws std::runtime_error when the certificate or the socket cannot be made.
  TlsServer();
  ~TlsServer();
  TlsServer(const TlsServer&) = delete;
  TlsServer& operator=(const TlsServer&) = delete;

  std::uint16_t port() const { return port_; }
  // Connections accepted, and handshakes that a client let complete.
  int connections() const { return connections_.load(); }
  int handshakes() const { return handshakes_.load(); }

 private:
  void Serve();

  TempDir dir_;
  int listen_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};
  std::uint16_t port_ = 0;
  void* ctx_ = nullptr;  // SSL_CTX
  std::atomic<int> connections_{0};
  std::atomic<int> handshakes_{0};
  std::thread thread_;
};

}  // namespace docseek::test
