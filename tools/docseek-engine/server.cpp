// SPDX-License-Identifier: MIT
#include "server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace docseek::engine {

struct Server::Connection {
  enum class State {
    kReading,   // waiting for (the rest of) a request head
    kDelayed,   // a response is ready but held back until `deadline`
    kWriting,   // sending `out`
    kDraining,  // answered for the last time; reading and dropping input until EOF
    kClosed,
  };
  Connection(int socket, std::uint64_t number) : fd(socket), id(number) {}
  int fd;
  std::uint64_t id;  // 1 for the first connection accepted
  State state = State::kReading;
  std::string in;
  std::string out;
  std::size_t out_pos = 0;
  bool close_after = false;
  bool reset_after_send = false;      // reset instead of closing once `out` is sent
  std::chrono::milliseconds drip{0};  // send one byte per interval
  Clock::time_point deadline;
};

Server::Server(const Router& router, RequestLog& log, ServerLimits limits)
    : router_(router), log_(log), limits_(limits) {}

Server::~Server() {
  for (const auto& c : connections_) ::close(c->fd);
  if (listen_fd_ >= 0) ::close(listen_fd_);
}

bool Server::Listen(std::uint16_t port, std::string* error) {
  const auto fail = [&](const char* what) {
    if (error) *error = std::string(what) + ": " + std::strerror(errno);
    return false;
  };
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) return fail("socket");
  const int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // never reachable from another machine
  addr.sin_port = htons(port);
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    return fail("bind 127.0.0.1");
  }
  if (::listen(listen_fd_, SOMAXCONN) != 0) return fail("listen");
  socklen_t len = sizeof addr;
  if (::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return fail("getsockname");
  }
  port_ = ntohs(addr.sin_port);
  return true;
}

bool Server::Run(int stop_fd) {
  std::vector<pollfd> fds;
  while (true) {
    const Clock::time_point now = Clock::now();
    const bool accepting =
        connections_.size() < limits_.max_connections && now >= accept_paused_until_;
    fds.clear();
    fds.push_back({stop_fd, POLLIN, 0});
    fds.push_back({accepting ? listen_fd_ : -1, POLLIN, 0});  // poll() skips negative fds
    Clock::time_point next = now + limits_.idle_timeout;
    if (!accepting && accept_paused_until_ > now) next = accept_paused_until_;
    for (const auto& c : connections_) {
      short events = 0;
      if (c->state == Connection::State::kReading || c->state == Connection::State::kDraining) {
        events = POLLIN;
      } else if (c->state == Connection::State::kWriting) {
        events = POLLOUT;
      }
      fds.push_back({c->fd, events, 0});
      next = std::min(next, c->deadline);
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(std::max<long>(wait, 0)));
    if (ready < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (fds[0].revents != 0) return true;

    const std::size_t polled = fds.size() - 2;  // AcceptClients() appends after these
    for (std::size_t i = 0; i < polled; ++i) {
      Connection& c = *connections_[i];
      const short revents = fds[i + 2].revents;
      if (revents & (POLLERR | POLLNVAL)) {
        c.state = Connection::State::kClosed;
      } else if (revents & (POLLIN | POLLHUP)) {
        if (c.state == Connection::State::kWriting) {
          OnWritable(c);  // a hang-up while writing: send() reports it
        } else {
          OnReadable(c);
        }
      } else if (revents & POLLOUT) {
        OnWritable(c);
      }
      if (c.state != Connection::State::kClosed && Clock::now() >= c.deadline) OnDeadline(c);
    }
    if (fds[1].revents & POLLIN) AcceptClients();

    std::erase_if(connections_, [](const std::unique_ptr<Connection>& c) {
      if (c->state != Connection::State::kClosed) return false;
      ::close(c->fd);
      return true;
    });
  }
}

void Server::AcceptClients() {
  while (connections_.size() < limits_.max_connections) {
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        accept_paused_until_ = Clock::now() + std::chrono::milliseconds(100);
      }
      return;
    }
    auto c = std::make_unique<Connection>(fd, ++accepted_);
    c->deadline = Clock::now() + limits_.idle_timeout;
    connections_.push_back(std::move(c));
  }
}

void Server::OnReadable(Connection& c) {
  char buf[16 * 1024];
  const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
  if (n < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
      c.state = Connection::State::kClosed;
    return;
  }
  if (n == 0) {  // the client is gone; a half-sent request is dropped
    c.state = Connection::State::kClosed;
    return;
  }
  if (c.state != Connection::State::kReading) return;  // draining: input is dropped
  c.in.append(buf, static_cast<std::size_t>(n));
  ProcessInput(c);
}

void Server::ProcessInput(Connection& c) {
  const auto end = FindHeadEnd(c.in);
  if (!end) {
    if (c.in.size() > kMaxHeadBytes) {
      ++answered_;
      log_.Write(Request{}, 431, c.id);
      QueueResponse(c, ErrorResponse(431), false, false);
    }
    return;
  }
  const std::string head = c.in.substr(0, *end);
  c.in.erase(0, *end);
  const ParsedHead parsed = ParseRequestHead(head);
  const Request& req = parsed.request;
  Response response = parsed.error != 0 ? ErrorResponse(parsed.error) : router_.Handle(req);
  response.delay += limits_.latency;
  const bool keep_alive = parsed.error == 0 && req.keep_alive && !req.has_body && !response.close;
  ++answered_;
  log_.Write(req, response.status, c.id);
  QueueResponse(c, response, req.method == "HEAD", keep_alive);
}

void Server::QueueResponse(Connection& c, const Response& response, bool head_only,
                           bool keep_alive) {
  c.out = SerializeResponse(response, head_only, keep_alive);
  c.out_pos = 0;
  c.close_after = !keep_alive;
  c.drip = response.drip;
  c.reset_after_send = response.reset_after.has_value();
  if (response.reset_after && !head_only) {
    const std::size_t head = c.out.size() - response.body.size();
    c.out.resize(head + std::min(*response.reset_after, response.body.size()));
  }
  if (response.delay.count() > 0) {
    c.state = Connection::State::kDelayed;
    c.deadline = Clock::now() + response.delay;
  } else {
    c.state = Connection::State::kWriting;
    c.deadline = Clock::now() + limits_.idle_timeout;
  }
}

void Server::OnWritable(Connection& c) {
  const std::size_t left = c.out.size() - c.out_pos;
  const ssize_t n =
      ::send(c.fd, c.out.data() + c.out_pos,
             c.drip.count() > 0 ? std::min<std::size_t>(left, 1) : left, MSG_NOSIGNAL);
  if (n < 0) {
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
      c.state = Connection::State::kClosed;
    return;
  }
  c.out_pos += static_cast<std::size_t>(n);
  c.deadline = Clock::now() + limits_.idle_timeout;
  if (c.out_pos == c.out.size()) {
    FinishResponse(c);
  } else if (c.drip.count() > 0) {
    c.state = Connection::State::kDelayed;
    c.deadline = Clock::now() + c.drip;
  }
}

void Server::FinishResponse(Connection& c) {
  c.out.clear();
  c.out_pos = 0;
  if (c.reset_after_send) {
    // A zero linger time makes close() send RST rather than FIN.
    const linger reset{1, 0};
    ::setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    c.state = Connection::State::kClosed;
    return;
  }
  if (c.close_after) {
    ::shutdown(c.fd, SHUT_WR);
    c.in.clear();
    c.state = Connection::State::kDraining;
    c.deadline = Clock::now() + limits_.linger;
    return;
  }
  c.state = Connection::State::kReading;
  c.deadline = Clock::now() + limits_.idle_timeout;
  ProcessInput(c);  // a pipelined request may already be waiting
}

void Server::OnDeadline(Connection& c) {
  if (c.state == Connection::State::kDelayed) {
    c.state = Connection::State::kWriting;
    c.deadline = Clock::now() + limits_.idle_timeout;
  } else {
    c.state = Connection::State::kClosed;
  }
}

}  // namespace docseek::engine
