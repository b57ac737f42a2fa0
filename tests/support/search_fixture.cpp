// SPDX-License-Identifier: MIT
#include "support/search_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdio.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <stdexcept>

#include "common/text.h"
#include "extraction/split_pieces.h"
#include "support/hit_markup.h"
#include "synthetic.h"

namespace docseek::test {

namespace {
const char* const kProxyVariables[] = {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY",
                                       "all_proxy",  "ALL_PROXY",  "no_proxy",    "NO_PROXY"};
}

ProxyTo::ProxyTo(const std::string& proxy) {
  for (const char* name : kProxyVariables) {
    if (const char* value = std::getenv(name)) saved_.emplace_back(name, value);
    unsetenv(name);
  }
  setenv("http_proxy", proxy.c_str(), 1);
}

ProxyTo::~ProxyTo() {
  for (const char* name : kProxyVariables) unsetenv(name);
  for (const auto& [name, value] : saved_) setenv(name.c_str(), value.c_str(), 1);
}

std::string ResultPage(const std::vector<PageHit>& hits) {
  std::string page =
      "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>results</title>"
      "<script>var uigs0 = 1;</script></head><body><div id=\"main\">\n";
  for (std::size_t n = 0; n < hits.size(); ++n) {
    const PageHit& hit = hits[n];
    page += testing::HitMarkup(static_cast<int>(n), {.link = hit.link,
                                                     .title_html = hit.title_html,
                                                     .info_html = hit.info_html,
                                                     .summary_html = hit.summary_html,
                                                     .with_info = hit.with_info});
    page += "\n";
  }
  return page + "</div></body></html>\n";
}

std::vector<PageHit> NumberedHits(int count) {
  std::vector<PageHit> hits(static_cast<std::size_t>(count));
  for (int n = 0; n < count; ++n) {
    hits[static_cast<std::size_t>(n)].title_html = "Title " + std::to_string(n);
    hits[static_cast<std::size_t>(n)].link =
        "http://files.example.com/a/report-" + std::to_string(n) + ".pdf";
  }
  return hits;
}

std::vector<std::string> SyntheticRecord(std::string_view keyword, std::string_view type, int n) {
  engine::Hit hit = engine::SyntheticHit(keyword, type, n);
  // The plug-in's own character sets (ASCII only), matched in either case.
  auto strip = [](std::string text, std::u32string_view characters) {
    std::string out;
    for (char c : text) {
      const auto upper = static_cast<char32_t>(static_cast<unsigned char>(common::AsciiUpper(c)));
      if (characters.find(upper) == std::u32string_view::npos) out += c;
    }
    return out;
  };
  std::string suffix = hit.link.substr(hit.link.rfind('.') + 1);
  return {strip(hit.title, extraction::kTitleCharacters),
          suffix,
          strip(hit.size, extraction::kSizeCharacters),
          hit.date,
          hit.summary,
          hit.link};
}

std::vector<std::string> LoggedQueries(const EngineProcess& engine) {
  std::vector<std::string> queries;
  for (const JsonValue& line : engine.log_lines()) {
    if (line["path"].as_string() == "/web") queries.push_back(line["query"].as_string());
  }
  return queries;
}

namespace {

// A TCP socket bound to a free loopback port, listening when `backlog` > 0.
int BindLoopback(int backlog, int* port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      (backlog > 0 && listen(fd, backlog) != 0) ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (fd >= 0) close(fd);
    throw std::runtime_error("no loopback port");
  }
  *port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

int ClosedPort() {
  int port = 0;
  close(BindLoopback(0, &port));
  return port;
}

CaptureStderr::CaptureStderr() {
  fflush(stderr);
  FILE* file = tmpfile();
  if (file == nullptr) throw std::runtime_error("no temporary file");
  file_ = dup(fileno(file));
  fclose(file);
  saved_ = dup(2);
  dup2(file_, 2);
}

CaptureStderr::~CaptureStderr() {
  fflush(stderr);
  dup2(saved_, 2);
  close(saved_);
  close(file_);
}

std::string CaptureStderr::text() const {
  fflush(stderr);
  std::string out;
  char buffer[4096];
  off_t offset = 0;
  ssize_t n;
  while ((n = pread(file_, buffer, sizeof buffer, offset)) > 0) {
    out.append(buffer, static_cast<std::size_t>(n));
    offset += n;
  }
  return out;
}

ScriptedServer::ScriptedServer(std::vector<std::string> responses) {
  int listener = BindLoopback(8, &port_);
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe");
  pid_ = fork();
  if (pid_ == 0) {
    close(fds[0]);
    std::string report;
    for (const std::string& response : responses) {
      pollfd p{listener, POLLIN, 0};
      if (poll(&p, 1, 10000) <= 0) break;
      int connection = accept(listener, nullptr, nullptr);
      if (connection < 0) break;
      std::string head;
      char buffer[4096];
      while (head.find("\r\n\r\n") == std::string::npos) {
        ssize_t n = read(connection, buffer, sizeof buffer);
        if (n <= 0) break;
        head.append(buffer, static_cast<std::size_t>(n));
      }
      report += head.substr(0, head.find("\r\n\r\n")) + '\0';
      for (std::size_t sent = 0; sent < response.size();) {
        ssize_t n = write(connection, response.data() + sent, response.size() - sent);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
      }
      shutdown(connection, SHUT_WR);
      close(connection);
    }
    for (std::size_t sent = 0; sent < report.size();) {
      ssize_t n = write(fds[1], report.data() + sent, report.size() - sent);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    _exit(0);
  }
  close(listener);
  close(fds[1]);
  pipe_ = fds[0];
}

ScriptedServer::~ScriptedServer() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (pipe_ >= 0) close(pipe_);
}

std::string ScriptedServer::url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<std::string> ScriptedServer::Requests() {
  if (pid_ > 0) {
    std::string report;
    char buffer[4096];
    ssize_t n;
    while ((n = read(pipe_, buffer, sizeof buffer)) > 0)
      report.append(buffer, static_cast<std::size_t>(n));
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
    for (std::size_t start = 0, end; (end = report.find('\0', start)) != std::string::npos;
         start = end + 1) {
      requests_.push_back(report.substr(start, end - start));
    }
  }
  return requests_;
}

}  // namespace docseek::test
