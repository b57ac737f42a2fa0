// SPDX-License-Identifier: MIT
// The docseek program with the real plug-in against docseek-engine: for each
// way a type's page can fail, the user reads on stderr which type and why,
// and the hits that were read reach the output whole.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "run_program.h"
#include "support/engine_process.h"
#include "test_paths.h"

namespace docseek::cli {
namespace {

using testing::kProgram;
using testing::Outcome;
using testing::RunInTerminal;
using testing::RunOptions;
using testing::RunProgram;
using Lines = std::vector<std::string>;

// A loopback port that nothing listens on: bound, then let go.
int ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

Lines SplitLines(const std::string& text) {
  Lines lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// A result page in the engine's markup: hits 0..n-1, the last without its
// info element when `break_last` is set.
std::string ResultPage(int hits, bool break_last) {
  std::string html = "<!DOCTYPE html><html><head><meta charset='utf-8'></head><body>";
  for (int n = 0; n < hits; ++n) {
    const std::string i = std::to_string(n);
    html +=
        "<a id='uigs" + i + "' href='http://files.example.com/r-" + i + ".pdf'>Title " + i + "</a>";
    if (!(break_last && n == hits - 1)) {
      html += "<cite id='cacheresult_info_" + i +
              "'>files.example.com&nbsp;-&nbsp;12K&nbsp;-"
              "&nbsp;2010-5-3</cite>";
    }
    html += "<p id='cacheresult_summary_" + i + "'>Summary " + i + "</p>";
  }
  return html + "</body></html>";
}

// A server that answers every connection at once with plain HTTP, so that a
// TLS handshake with it fails at its first byte.
class NotTls {
 public:
  NotTls() {
    fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(fd_, 8) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([fd = fd_] {
      while (true) {
        const int client = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) return;  // shut down
        constexpr std::string_view kAnswer =
            "HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n";
        [[maybe_unused]] const ssize_t n = write(client, kAnswer.data(), kAnswer.size());
        close(client);
      }
    });
  }
  ~NotTls() {
    shutdown(fd_, SHUT_RDWR);
    thread_.join();
    close(fd_);
  }
  int port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

class RealPlugin : public ::testing::Test {
 protected:
  // The plug-in's queries reach the engine through http_proxy; addresses on
  // 127.0.0.1 that a redirect names are reached directly.
  RunOptions Env(std::vector<std::string> more = {}) const {
    RunOptions options;
    options.env = {"http_proxy=" + engine_.proxy(), "no_proxy=127.0.0.1", "TERM=xterm"};
    options.env.insert(options.env.end(), more.begin(), more.end());
    return options;
  }
  void Redirect(const std::string& type, const std::string& to) const {
    engine_.write_page(type + ".redirect", to + "\n");
  }

  test::EngineProcess engine_;
};

// Every failure kind in one search, one type each: the line each type gets.
TEST_F(RealPlugin, SaysForEachTypeWhyItGaveNothing) {
  const int closed = ClosedPort();
  engine_.write_page("none.html", "<html><body><p>No hits here.</p></body></html>");
  engine_.write_page("broken.html", ResultPage(2, true));
  engine_.write_page("antispider/index.html", "<html><body>Please verify</body></html>");
  engine_.write_page("file.pdf", "%PDF-1.4");
  engine_.write_page("big.html", std::string((16u << 20) + 1024, 'x'));
  Redirect("limited", "/status/429");
  Redirect("forbidden", "/status/403");
  Redirect("verify", "/antispider/index.html?from=%2Fweb");
  Redirect("unavailable", "/status/503");
  Redirect("refused", "http://127.0.0.1:" + std::to_string(closed) + "/web");
  NotTls not_tls;
  Redirect("tls", "https://127.0.0.1:" + std::to_string(not_tls.port()) + "/");
  Redirect("scheme", "file:///nonexistent");
  Redirect("loop", "/web?query=k%20filetype:loop");
  Redirect("notapage", "/file.pdf");

  const struct {
    std::string type;
    std::string says;  // empty: nothing at all
  } cases[] = {
      {"pdf", ""},
      {"none", "no results (the result page lists no hits)"},
      {"limited", "the engine is limiting requests (HTTP 429)"},
      {"forbidden", "the engine is limiting requests (HTTP 403)"},
      {"verify", "the engine is limiting requests: it answered with a verification page"},
      {"unavailable", "the engine answered HTTP 503"},
      {"refused", "cannot connect to the engine or the proxy (connection refused)"},
      {"tls", "the secure connection failed (TLS)"},
      {"scheme", "the engine's redirect was refused"},
      {"loop", "the engine's redirect was refused: too many redirects"},
      {"notapage", "the engine did not answer with a web page"},
      {"big", "the result page is too large"},
      {"broken",
       "the result page could not be read after 1 hit: hit 1: no element with id "
       "\"cacheresult_info_1\" (reading innerText)"},
  };
  std::string types;
  for (const auto& c : cases) types += (types.empty() ? "" : ",") + c.type;
  const Outcome o =
      RunProgram(kProgram, {"search", "k", "-t", types, "-n", "3", "-f", "tsv"}, Env());
  EXPECT_EQ(o.exit_code, 0);

  std::map<std::string, Lines> said;
  for (const std::string& line : SplitLines(o.err)) {
    if (line == "没有找到") continue;
    ASSERT_TRUE(line.starts_with("docseek: ")) << line;
    const std::string rest = line.substr(9);
    said[rest.substr(0, rest.find(": "))].push_back(rest.substr(rest.find(": ") + 2));
  }
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    if (c.says.empty()) {
      EXPECT_EQ(said.count(c.type), 0u) << o.err;
      continue;
    }
    ASSERT_EQ(said[c.type].size(), 1u) << o.err;
    EXPECT_TRUE(said[c.type][0].starts_with(c.says)) << said[c.type][0];
  }
  // The reading error follows the message the window shows.
  EXPECT_NE(o.err.find("没有找到\ndocseek: broken: "), std::string::npos) << o.err;
  // What was read arrives: pdf's three hits and the one whole hit of broken.
  EXPECT_EQ(SplitLines(o.out).size(), 1u + 3u + 1u) << o.out;
  EXPECT_NE(o.out.find("\tbroken\t0\n"), std::string::npos) << o.out;
}

TEST_F(RealPlugin, QuietSaysNothingOnStderr) {
  Redirect("limited", "/status/429");
  engine_.write_page("none.html", "<html><body></body></html>");
  for (const std::string quiet : {"-q", "--quiet"}) {
    SCOPED_TRACE(quiet);
    const Outcome o =
        RunProgram(kProgram, {"search", "k", quiet, "-t", "pdf,limited,none", "-f", "csv"}, Env());
    EXPECT_EQ(o.exit_code, 0);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(SplitLines(o.out).size(), 1u + 10u) << o.out;
  }
  // In a terminal too, where the progress line would be drawn.
  const Outcome tty =
      RunInTerminal(kProgram, {"search", "k", "-q", "-t", "pdf,limited", "-f", "csv"}, 80, Env());
  EXPECT_EQ(tty.out.find("Sogou"), std::string::npos) << tty.out;
  EXPECT_EQ(tty.out.find("docseek:"), std::string::npos) << tty.out;
}

TEST_F(RealPlugin, AnUnreachableProxyIsNamedForEveryType) {
  RunOptions options = Env();
  options.env[0] = "http_proxy=http://127.0.0.1:" + std::to_string(ClosedPort());
  const Outcome o = RunProgram(kProgram, {"search", "k", "-t", "pdf,doc"}, options);
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(o.out, "No results.\n");
  const Lines lines = SplitLines(o.err);
  ASSERT_EQ(lines.size(), 2u) << o.err;
  EXPECT_TRUE(lines[0].starts_with("docseek: pdf: cannot connect")) << lines[0];
  EXPECT_TRUE(lines[1].starts_with("docseek: doc: cannot connect")) << lines[1];
}

// --proxy reaches the plug-in: the engine sees the queries when only --proxy
// names it, and a dead proxy in the environment is overridden.
TEST_F(RealPlugin, ProxyOptionOverridesTheEnvironment) {
  RunOptions options = Env();
  options.env[0] = "http_proxy=http://127.0.0.1:" + std::to_string(ClosedPort());
  const Outcome o = RunProgram(
      kProgram, {"search", "k", "-t", "pdf", "-f", "json", "--proxy", engine_.proxy()}, options);
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(o.err, "");
  EXPECT_NE(o.out.find("\"type\":\"pdf\",\"rank\":9}"), std::string::npos) << o.out;
}

// The links and summaries the engine gives for `keyword` and pdf, read back
// through tsv, where nothing is ever cut.
Lines Fields(const std::string& tsv, std::size_t column) {
  Lines out;
  const Lines lines = SplitLines(tsv);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::size_t start = 0;
    for (std::size_t c = 0; c < column; ++c) start = lines[i].find('\t', start) + 1;
    out.push_back(lines[i].substr(start, lines[i].find('\t', start) - start));
  }
  return out;
}

TEST_F(RealPlugin, TableInAFileHoldsWholeLinksAndSummaries) {
  const std::string keyword = "a rather long keyword for a table";
  const Outcome tsv = RunProgram(kProgram, {"search", keyword, "-t", "pdf", "-f", "tsv"}, Env());
  const Lines links = Fields(tsv.out, 5);
  const Lines summaries = Fields(tsv.out, 4);
  ASSERT_EQ(links.size(), 10u) << tsv.out << tsv.err;

  test::TempDir dir;
  const std::string file = (dir.path() / "hits.txt").string();
  RunOptions options = Env({"COLUMNS=40"});
  options.stdout_file = file;
  const Outcome o = RunProgram(kProgram, {"search", keyword, "-t", "pdf"}, options);
  EXPECT_EQ(o.exit_code, 0);
  std::ifstream in(file);
  const std::string table((std::istreambuf_iterator<char>(in)), {});
  for (const Lines* whole : {&links, &summaries}) {
    for (const std::string& text : *whole) EXPECT_NE(table.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(table.find("…"), std::string::npos) << table;
  EXPECT_TRUE(table.ends_with("\n10 results\n")) << table;
}

// Display columns of a line without escape sequences (ASCII, the middle dot
// and the ellipsis here: one column each).
std::size_t Columns(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

TEST_F(RealPlugin, AFortyColumnTerminalShowsEveryLinkWhole) {
  const Outcome tsv = RunProgram(kProgram, {"search", "k", "-t", "pdf", "-f", "tsv"}, Env());
  const Lines links = Fields(tsv.out, 5);
  ASSERT_EQ(links.size(), 10u);
  ASSERT_GT(links[0].size(), 40u);  // too long for the terminal: each needs a line of its own

  const Outcome o = RunInTerminal(kProgram, {"search", "k", "-t", "pdf"}, 40, Env());
  EXPECT_EQ(o.exit_code, 0);
  for (const std::string& link : links) EXPECT_NE(o.out.find(link), std::string::npos) << link;
  // Everything else fits the 40 columns: the table and the progress line.
  for (std::string line : SplitLines(o.out)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t last_draw = line.rfind("\r\033[K");
    if (last_draw != std::string::npos) line = line.substr(last_draw + 4);
    if (line.find("http://") != std::string::npos) continue;
    EXPECT_LE(Columns(line), 40u) << line;
  }
}

TEST_F(RealPlugin, TheProgressLineFitsTheTerminalAndHonoursTermDumb) {
  const std::string long_type(100, 't');
  engine_.write_page(long_type + ".html", "<html><body></body></html>");
  const Outcome o =
      RunInTerminal(kProgram, {"search", "k", "-t", "pdf," + long_type, "-f", "csv"}, 40, Env());
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_NE(o.out.find("Sogou · pdf"), std::string::npos) << o.out;
  std::size_t draws = 0;
  for (std::size_t at = 0; (at = o.out.find("\r\033[K", at)) != std::string::npos; at += 4) {
    const std::size_t end = o.out.find_first_of("\r\n", at + 4);
    const std::string drawn = o.out.substr(at + 4, end - at - 4);
    // The same escape clears the line before a report or the output.
    if (!drawn.starts_with("Sogou")) continue;
    EXPECT_LT(Columns(drawn), 40u) << drawn;
    ++draws;
  }
  EXPECT_GT(draws, 0u);

  const Outcome dumb =
      RunInTerminal(kProgram, {"search", "k", "-t", "pdf," + long_type}, 40, Env({"TERM=dumb"}));
  EXPECT_EQ(dumb.exit_code, 0);
  EXPECT_NE(dumb.out.find("Sogou · pdf"), std::string::npos) << dumb.out;
  EXPECT_EQ(dumb.out.find('\033'), std::string::npos) << dumb.out;
  EXPECT_NE(dumb.out.find("docseek: " + long_type + ": no results"), std::string::npos);
}

// The whole search is one call of the plug-in (its progress counts the types
// of the one search), and every record still carries the type whose page it
// was on and its number there, across pages without hits and a failing one.
TEST_F(RealPlugin, OneCallLabelsEveryRecordWithItsTypeAndRank) {
  engine_.write_page("none.html", "<html><body><p>No hits here.</p></body></html>");
  engine_.write_page("broken.html", ResultPage(2, true));
  const Outcome o = RunProgram(
      kProgram, {"search", "k", "-t", "pdf,none,broken,doc", "-n", "3", "-f", "tsv"}, Env());
  EXPECT_EQ(o.exit_code, 0);
  Lines labels;
  const Lines types = Fields(o.out, 6);
  const Lines ranks = Fields(o.out, 7);
  ASSERT_EQ(types.size(), ranks.size());
  for (std::size_t i = 0; i < types.size(); ++i) labels.push_back(types[i] + " " + ranks[i]);
  EXPECT_EQ(labels, (Lines{"pdf 0", "pdf 1", "pdf 2", "broken 0", "doc 0", "doc 1", "doc 2"}))
      << o.out;
  EXPECT_NE(o.err.find("docseek: none: no results"), std::string::npos) << o.err;

  const Outcome tty = RunInTerminal(
      kProgram, {"search", "k", "-t", "pdf,none,broken,doc", "-n", "3", "-f", "csv"}, 200, Env());
  for (const char* step : {"pdf (1/4)", "none (2/4)", "broken (3/4)", "doc (4/4)"}) {
    EXPECT_NE(tty.out.find(step), std::string::npos) << step << " in " << tty.out;
  }
}

}  // namespace
}  // namespace docseek::cli
