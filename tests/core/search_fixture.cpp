#include "search_fixture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdio.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

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
    const std::string number = std::to_string(n);
    page += "<div class=\"vrwrap\"><h3 class=\"vrTitle\"><a id=\"uigs" + number + "\" href=\"" +
            hit.link + "\" target=\"_blank\">" + hit.title_html + "</a></h3>";
    if (hit.with_info) {
      page += "<div class=\"fb\"><cite id=\"cacheresult_info_" + number + "\">" + hit.info_html +
              "</cite></div>";
    }
    page += "<p class=\"str_info\" id=\"cacheresult_summary_" + number + "\">" +
            hit.summary_html + "</p></div>\n";
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
  engine::Hit hit = engine::synthetic_hit(keyword, type, n);
  auto strip = [](std::string text, std::string_view characters) {
    std::string out;
    for (char c : text) {
      if (characters.find(c) == std::string_view::npos) out += c;
    }
    return out;
  };
  std::string suffix = hit.link.substr(hit.link.rfind('.') + 1);
  return {strip(hit.title, "\\/:*?\"<>|."), suffix, strip(hit.size, "kK"), hit.date,
          hit.summary, hit.link};
}

std::vector<std::string> LoggedQueries(const EngineProcess& engine) {
  std::vector<std::string> queries;
  for (const JsonValue& line : engine.log_lines()) {
    if (line["path"].as_string() == "/web") queries.push_back(line["query"].as_string());
  }
  return queries;
}

int ClosedPort() {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    throw std::runtime_error("no loopback port");
  }
  close(fd);
  return ntohs(address.sin_port);
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

}  // namespace docseek::test
