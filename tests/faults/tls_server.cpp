// SPDX-License-Identifier: MIT
#include "tls_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace docseek::test {

TlsServer::TlsServer() {
  const std::string key = (dir_.path() / "key.pem").string();
  const std::string cert = (dir_.path() / "cert.pem").string();
  const std::string command =
      "openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
      "-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout '" +
      key + "' -out '" + cert + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("openssl req failed");

  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  ctx_ = ctx;
  if (ctx == nullptr || SSL_CTX_use_certificate_file(ctx, cert.c_str(), SSL_FILETYPE_PEM) != 1 ||
      SSL_CTX_use_PrivateKey_file(ctx, key.c_str(), SSL_FILETYPE_PEM) != 1) {
    throw std::runtime_error("cannot load the test certificate");
  }

  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 16) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
      ::pipe2(stop_pipe_, O_CLOEXEC) != 0) {
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

TlsServer::~TlsServer() {
  if (thread_.joinable()) {
    (void)!::write(stop_pipe_[1], "x", 1);
    thread_.join();
  }
  for (int fd : {listen_fd_, stop_pipe_[0], stop_pipe_[1]}) {
    if (fd >= 0) ::close(fd);
  }
  SSL_CTX_free(static_cast<SSL_CTX*>(ctx_));
}

void TlsServer::Serve() {
  while (true) {
    pollfd fds[2] = {{stop_pipe_[0], POLLIN, 0}, {listen_fd_, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) continue;
    if (fds[0].revents != 0) return;
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    // A client that stalls mid-handshake cannot hold the thread.
    const timeval limit{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    SSL* ssl = SSL_new(static_cast<SSL_CTX*>(ctx_));
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) == 1) {
      ++handshakes_;
      const char answer[] =
          "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 48\r\n"
          "Connection: close\r\n\r\n<html><body><a id=\"uigs0\">tls</a></body></html>";
      SSL_write(ssl, answer, sizeof answer - 1);
      SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    ::close(fd);
  }
}

}  // namespace docseek::test
