// SPDX-License-Identifier: MIT
#include "support/http_client.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "common/text.h"

namespace docseek::test {
namespace {

// Tests must never reach past this machine: whatever the caller passes, the host that curl
// connects to has to be the loopback address.
void require_loopback(const std::string& url) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> u(curl_url(), &curl_url_cleanup);
  char* host = nullptr;
  if (!u || curl_url_set(u.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK ||
      curl_url_get(u.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) {
    throw std::invalid_argument("not a URL: " + url);
  }
  const std::string h = host;
  curl_free(host);
  if (h != "127.0.0.1") throw std::invalid_argument("tests talk to 127.0.0.1 only: " + url);
}

size_t on_body(char* data, size_t size, size_t count, void* user) {
  static_cast<HttpResponse*>(user)->body.append(data, size * count);
  return size * count;
}

size_t on_header(char* data, size_t size, size_t count, void* user) {
  auto* response = static_cast<HttpResponse*>(user);
  std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) {
    response->headers.clear();  // a new response begins (after a 1xx, say)
  } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
      value.remove_prefix(1);
    while (!value.empty() &&
           (value.back() == '\r' || value.back() == '\n' || value.back() == ' ')) {
      value.remove_suffix(1);
    }
    response->headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
  }
  return size * count;
}

}  // namespace

std::optional<std::string> HttpResponse::header(std::string_view name) const {
  for (const auto& [key, value] : headers) {
    if (common::EqualsIgnoringAsciiCase(key, name)) return value;
  }
  return std::nullopt;
}

HttpResponse http_get(const std::string& url, const HttpOptions& options) {
  require_loopback(options.proxy.empty() ? url : options.proxy);
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), &curl_easy_cleanup);
  if (!curl) throw std::runtime_error("curl_easy_init failed");
  HttpResponse response;
  std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)> headers(nullptr,
                                                                      &curl_slist_free_all);
  for (const std::string& h : options.headers) {
    headers.reset(curl_slist_append(headers.release(), h.c_str()));
  }
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  // An empty proxy string turns off the environment's proxy variables as well.
  curl_easy_setopt(c, CURLOPT_PROXY, options.proxy.c_str());
  curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(options.timeout.count()));
  curl_easy_setopt(c, CURLOPT_NOBODY, options.head ? 1L : 0L);
  curl_easy_setopt(c, CURLOPT_PATH_AS_IS, options.path_as_is ? 1L : 0L);
  curl_easy_setopt(c, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &on_body);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &response);
  curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &on_header);
  curl_easy_setopt(c, CURLOPT_HEADERDATA, &response);
  const CURLcode rc = curl_easy_perform(c);
  if (rc != CURLE_OK) {
    throw std::runtime_error("GET " + url + ": " + curl_easy_strerror(rc));
  }
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &response.status);
  return response;
}

RawConnection::RawConnection(std::uint16_t port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    const int err = errno;
    ::close(fd_);
    throw std::runtime_error(std::string("connect 127.0.0.1: ") + std::strerror(err));
  }
}

RawConnection::~RawConnection() { ::close(fd_); }

bool RawConnection::send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

std::string RawConnection::read_until_close(std::chrono::milliseconds timeout) {
  std::string out;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  char buf[16384];
  while (true) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return out;
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return out;
    const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return out;
    out.append(buf, static_cast<std::size_t>(n));
  }
}

bool RawConnection::closed_by_peer(std::chrono::milliseconds timeout) {
  pollfd p{fd_, POLLIN, 0};
  if (::poll(&p, 1, static_cast<int>(timeout.count())) <= 0) return false;
  char byte;
  return ::recv(fd_, &byte, 1, MSG_PEEK) <= 0;
}

std::string raw_exchange(std::uint16_t port, std::string_view bytes,
                         std::chrono::milliseconds timeout) {
  RawConnection connection(port);
  connection.send(bytes);
  return connection.read_until_close(timeout);
}

}  // namespace docseek::test
