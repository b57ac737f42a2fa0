// SPDX-License-Identifier: MIT
// `docseek search ... --download DIR` run as a user runs it: the real plug-in
// searches docseek-engine, whose fixture folder holds both the result page and
// the documents its links lead to. The links name a public-looking host; the
// program reaches the engine through http_proxy, as it would a real proxy.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/engine_process.h"
#include "support/json.h"
#include "test_paths.h"

extern char** environ;

namespace docseek::cli {
namespace {

namespace fs = std::filesystem;
using test::EngineProcess;
using test::JsonValue;

constexpr std::string_view kHost = "http://files.example.com";

struct Hit {
  std::string title;
  std::string link;
};

std::string Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

// A result page in the engine's markup with these hits.
std::string ResultPage(const std::vector<Hit>& hits) {
  std::string page = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>\n";
  for (std::size_t n = 0; n < hits.size(); ++n) {
    const std::string i = std::to_string(n);
    page += "<div class=\"vrwrap\"><h3 class=\"vrTitle\"><a id=\"uigs" + i + "\" href=\"" +
            Escape(hits[n].link) + "\">" + Escape(hits[n].title) +
            "</a></h3><div class=\"fb\"><cite id=\"cacheresult_info_" + i +
            "\">files.example.com&nbsp;-&nbsp;12K&nbsp;-&nbsp;2020-1-2</cite></div>"
            "<p class=\"str_info\" id=\"cacheresult_summary_" +
            i + "\">hit " + i + "</p></div>\n";
  }
  return page + "</body></html>\n";
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Documents of each kind the content check knows.
const std::string kPdf = "%PDF-1.7\n" + std::string(3000, 'p') + "\n%%EOF\n";
const std::string kDoc = std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(900, 'd');
const std::string kXlsx = std::string("PK\x03\x04", 4) + std::string(700, 'x');
const std::string kRtf = "{\\rtf1\\ansi hello}";
const std::string kHtml = "<!DOCTYPE html><html><body>Please log in</body></html>";

struct ProgramRun {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// The program with the engine as its proxy; `extra_env` adds NAME=VALUE
// pairs. `while_running`, when given, runs once the program has started.
class Docseek {
 public:
  Docseek(const EngineProcess& engine, std::vector<std::string> args,
          std::vector<std::string> extra_env = {})
      : Docseek(engine.proxy(), engine.sandbox(), std::move(args), std::move(extra_env)) {}
  Docseek(const std::string& proxy, const fs::path& scratch, std::vector<std::string> args,
          std::vector<std::string> extra_env = {}) {
    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string_view entry(*e);
      if (!entry.starts_with("http_proxy=") && !entry.starts_with("no_proxy=") &&
          !entry.starts_with("https_proxy=") && !entry.starts_with("all_proxy=")) {
        env_text.emplace_back(entry);
      }
    }
    env_text.push_back("http_proxy=" + proxy);
    env_text.insert(env_text.end(), extra_env.begin(), extra_env.end());
    args.insert(args.begin(), testing::kProgram);
    out_ = scratch / "docseek.out";
    err_ = scratch / "docseek.err";
    pid_ = fork();
    if (pid_ == 0) {
      std::vector<char*> argv;
      for (std::string& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      std::vector<char*> env;
      for (std::string& e : env_text) env.push_back(e.data());
      env.push_back(nullptr);
      const int in = open("/dev/null", O_RDONLY);
      const int out = open(out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = open(err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      dup2(in, STDIN_FILENO);
      dup2(out, STDOUT_FILENO);
      dup2(err, STDERR_FILENO);
      execve(argv[0], argv.data(), env.data());
      _exit(127);
    }
  }
  ~Docseek() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  void Signal(int sig) const { kill(pid_, sig); }

  ProgramRun Wait() {
    ProgramRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "docseek did not finish in time";
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    pid_ = -1;
    run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.out = ReadFile(out_);
    run.err = ReadFile(err_);
    return run;
  }

 private:
  pid_t pid_ = -1;
  fs::path out_;
  fs::path err_;
};

ProgramRun Download(const EngineProcess& engine, const fs::path& dir,
                    std::vector<std::string> more = {}, std::vector<std::string> extra_env = {}) {
  std::vector<std::string> args{"search", "k",        "--types", "pdf",        "--count",
                                "50",     "--format", "json",    "--download", dir.string()};
  args.insert(args.end(), more.begin(), more.end());
  return Docseek(engine, args, std::move(extra_env)).Wait();
}

// Every regular file below `root`, as paths relative to it.
std::set<std::string> FilesBelow(const fs::path& root) {
  std::set<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_directory()) files.insert(fs::relative(entry.path(), root).string());
  }
  return files;
}

// A hit's status, path and reason as the json output states them, by title.
struct Outcome {
  std::string status;
  std::string path;  // empty for null
  std::string reason;
};
std::map<std::string, Outcome> Outcomes(const std::string& json) {
  std::map<std::string, Outcome> outcomes;
  const JsonValue records = test::parse_json(json);
  for (const JsonValue& record : records.as_array()) {
    const JsonValue& path = record["path"];
    // The first record of a title, when several share one.
    outcomes.emplace(record["title"].as_string(),
                     Outcome{record["status"].as_string(), path.is_null() ? "" : path.as_string(),
                             record["reason"].as_string()});
  }
  return outcomes;
}

TEST(Download, FetchesEachDocumentAndTellsEveryCaseApart) {
  EngineProcess engine;
  engine.write_page("docs/report.pdf", kPdf);
  engine.write_page("docs/budget.doc", kDoc);
  engine.write_page("docs/sheet.xlsx", kXlsx);
  engine.write_page("docs/letter.rtf", kRtf);
  engine.write_page("docs/login.pdf", kHtml);
  engine.write_page("docs/huge.pdf", "%PDF-1.4\n" + std::string(5000, 'h'));
  const std::string local = engine.url("/docs/report.pdf");
  const std::string named_local =
      "http://localhost:" + std::to_string(engine.port()) + "/docs/report.pdf";
  engine.write_page("pdf.html", ResultPage({
                                    {"Report", std::string(kHost) + "/docs/report.pdf"},
                                    {"Budget", std::string(kHost) + "/docs/budget.doc"},
                                    {"Sheet", std::string(kHost) + "/docs/sheet.xlsx"},
                                    {"Letter", std::string(kHost) + "/docs/letter.rtf"},
                                    {"Slow", std::string(kHost) + "/slow?ms=700&f=.pdf"},
                                    {"Moved", std::string(kHost) + "/redirect?to=/docs/report.pdf"},
                                    {"Login", std::string(kHost) + "/docs/login.pdf"},
                                    {"Gone", std::string(kHost) + "/docs/gone.pdf"},
                                    {"Broken", std::string(kHost) + "/status/500?f=.pdf"},
                                    {"Huge", std::string(kHost) + "/docs/huge.pdf"},
                                    {"Local", local},
                                    {"Named local", named_local},
                                    {"File", "file:///etc/passwd.pdf"},
                                    {"Script", "javascript:alert(1).pdf"},
                                    {"Report", "http://mirror.example.com/docs/report.pdf"},
                                }));
  const fs::path dir = engine.sandbox() / "out";
  const ProgramRun run =
      Download(engine, dir, {"--max-size", "4K"}, {"no_proxy=127.0.0.1,localhost"});
  EXPECT_EQ(run.exit_code, 1) << run.err;  // some downloads failed
  const auto outcomes = Outcomes(run.out);
  const struct {
    std::string title;
    std::string status;
    std::string name;    // the file's name in the folder, "" for none
    std::string reason;  // a part of the reason
  } cases[] = {
      {"Report", "fetched", "Report.pdf", ""},
      {"Budget", "fetched", "Budget.doc", ""},
      {"Sheet", "fetched", "Sheet.xlsx", ""},
      {"Letter", "fetched", "Letter.rtf", ""},
      {"Slow", "mismatch", "Slow.pdf", "not PDF"},
      {"Moved", "fetched", "Moved.pdf", ""},
      {"Login", "mismatch", "Login.pdf", "not PDF"},
      {"Gone", "failed", "", "HTTP 404"},
      {"Broken", "failed", "", "HTTP 500"},
      {"Huge", "skipped", "", "size cap"},
      {"Local", "skipped", "", "local address 127.0.0.1"},
      {"Named local", "skipped", "", "local address"},
      {"File", "skipped", "", "not file:"},
      {"Script", "skipped", "", "not javascript:"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    ASSERT_TRUE(outcomes.contains(c.title));
    const Outcome& o = outcomes.at(c.title);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.path, c.name.empty() ? "" : (dir / c.name).string());
    EXPECT_NE(o.reason.find(c.reason), std::string::npos) << o.reason;
    if (c.status != "fetched") {
      // The summary names each case with its reason.
      EXPECT_NE(run.err.find(c.status), std::string::npos);
      EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
    }
  }
  EXPECT_EQ(ReadFile(dir / "Report.pdf"), kPdf);
  EXPECT_EQ(ReadFile(dir / "Report (2).pdf"), kPdf);  // the second "Report", from the mirror
  EXPECT_EQ(ReadFile(dir / "Moved.pdf"), kPdf);
  EXPECT_EQ(ReadFile(dir / "Budget.doc"), kDoc);
  EXPECT_EQ(ReadFile(dir / "Sheet.xlsx"), kXlsx);
  EXPECT_EQ(ReadFile(dir / "Letter.rtf"), kRtf);
  EXPECT_EQ(ReadFile(dir / "Login.pdf"), kHtml);
  EXPECT_EQ(FilesBelow(dir),
            (std::set<std::string>{"Report.pdf", "Report (2).pdf", "Budget.doc", "Sheet.xlsx",
                                   "Letter.rtf", "Slow.pdf", "Moved.pdf", "Login.pdf"}));
  EXPECT_NE(run.err.find("6 fetched, 2 fetched but not what the suffix says, 5 skipped, 2 failed"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find('\r'), std::string::npos);  // no progress display off a terminal
  // The refused links were never asked for, not even through the proxy.
  for (const JsonValue& line : engine.log_lines()) {
    EXPECT_NE(line["path"].as_string(), "/etc/passwd.pdf");
  }

  // A second run overwrites nothing.
  const ProgramRun again =
      Download(engine, dir, {"--max-size", "4K"}, {"no_proxy=127.0.0.1,localhost"});
  const auto second = Outcomes(again.out);
  EXPECT_EQ(second.at("Report").status, "skipped");
  EXPECT_NE(second.at("Report").reason.find("already exists"), std::string::npos);
  EXPECT_EQ(second.at("Gone").status, "failed");
}

TEST(Download, NamesNeverLeaveTheFolder) {
  EngineProcess engine;
  engine.write_page("docs/a.pdf", kPdf);
  const std::string link = std::string(kHost) + "/docs/a.pdf";
  std::string long_title;
  for (int i = 0; i < 100; ++i) long_title += "报告";  // 600 bytes
  engine.write_page("pdf.html", ResultPage({
                                    {"../../x", link},
                                    {"/etc/passwd", link},
                                    {"..", link},
                                    {"", link},
                                    {std::string(300, 'L'), link},
                                    {long_title, link},
                                    {"Query", link + "?next=/../../../../tmp/evil"},
                                    {"Dots", std::string(kHost) + "/docs/a.pdf?x=..%2F..%2Fy"},
                                }));
  const fs::path dir = engine.sandbox() / "deep" / "er" / "out";
  std::set<std::string> before = FilesBelow(engine.sandbox());
  before.erase("requests.log");
  const ProgramRun run = Download(engine, dir);
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const JsonValue records = test::parse_json(run.out);
  ASSERT_EQ(records.as_array().size(), 8u) << run.out;
  const std::set<std::string> in_dir = FilesBelow(dir);
  EXPECT_EQ(in_dir.size(), 8u);
  for (const JsonValue& record : records.as_array()) {
    SCOPED_TRACE(record["title"].as_string());
    EXPECT_EQ(
        record["status"].as_string() == "fetched" || record["status"].as_string() == "mismatch",
        true)
        << record["reason"].as_string();
    const fs::path path = record["path"].as_string();
    EXPECT_EQ(path.parent_path(), dir);
    EXPECT_LE(path.filename().string().size(), 200u);
    EXPECT_TRUE(in_dir.contains(path.filename().string()));
  }
  // Nothing appeared anywhere else in the sandbox, beside the folder.
  std::set<std::string> after = FilesBelow(engine.sandbox());
  for (const std::string& name : in_dir) after.erase((fs::path("deep/er/out") / name).string());
  after.erase("docseek.out");
  after.erase("docseek.err");
  after.erase("requests.log");
  EXPECT_EQ(after, before);
}

TEST(Download, ASecondRunResumesThePartialFile) {
  EngineProcess engine;
  engine.write_page("docs/report.pdf", kPdf);
  engine.write_page("docs/whole.pdf", kPdf);
  engine.write_page("pdf.html", ResultPage({
                                    {"Report", std::string(kHost) + "/docs/report.pdf"},
                                    {"Whole", std::string(kHost) + "/docs/whole.pdf"},
                                }));
  const fs::path dir = engine.sandbox() / "out";
  // As an interrupted earlier run leaves them: part of one file, all of another.
  test::TempDir::write_file(dir / "Report.pdf.part", kPdf.substr(0, 1000));
  test::TempDir::write_file(dir / "Whole.pdf.part", kPdf);
  // Raw output too runs the downloads (it prints the plug-in's lines as they are).
  const ProgramRun run = Download(engine, dir, {"--format", "raw"});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_TRUE(run.out.starts_with("[\"Report\",\"pdf\",")) << run.out;
  EXPECT_EQ(ReadFile(dir / "Report.pdf"), kPdf);
  EXPECT_EQ(ReadFile(dir / "Whole.pdf"), kPdf);
  EXPECT_EQ(FilesBelow(dir), (std::set<std::string>{"Report.pdf", "Whole.pdf"}));
  EXPECT_NE(run.err.find("resumed after"), std::string::npos) << run.err;
  std::map<std::string, double> statuses;
  for (const JsonValue& line : engine.log_lines()) {
    statuses[line["path"].as_string()] = line["status"].as_number();
  }
  EXPECT_EQ(statuses["/docs/report.pdf"], 206);  // only the rest was sent
  EXPECT_EQ(statuses["/docs/whole.pdf"], 416);   // nothing was left to send
}

TEST(Download, AnInterruptLeavesNoHalfFileUnderAFinalName) {
  EngineProcess engine;
  engine.write_page("docs/report.pdf", kPdf);
  engine.write_page("pdf.html", ResultPage({
                                    {"Report", std::string(kHost) + "/docs/report.pdf"},
                                    {"Slow", std::string(kHost) + "/slow?ms=30000&f=.pdf"},
                                }));
  const fs::path dir = engine.sandbox() / "out";
  Docseek docseek(
      engine, {"search", "k", "--types", "pdf", "--format", "json", "--download", dir.string()});
  // Interrupt once the slow document has been asked for.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  bool asked = false;
  while (!asked && std::chrono::steady_clock::now() < deadline) {
    for (const JsonValue& line : engine.log_lines())
      asked = asked || line["path"].as_string() == "/slow";
    if (!asked) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(asked);
  docseek.Signal(SIGINT);
  const ProgramRun run = docseek.Wait();
  EXPECT_EQ(run.exit_code, 130) << run.err;
  const auto outcomes = Outcomes(run.out);
  EXPECT_EQ(outcomes.at("Slow").status, "interrupted");
  EXPECT_EQ(outcomes.at("Slow").path, "");
  EXPECT_FALSE(fs::exists(dir / "Slow.pdf"));
  EXPECT_NE(run.err.find("interrupted Slow.pdf: stopped while downloading"), std::string::npos)
      << run.err;
  // The quick one may have finished first, or not, as the machine goes.
  const std::string report = outcomes.at("Report").status;
  EXPECT_TRUE(report == "fetched" || report == "interrupted") << report;
  EXPECT_NE(run.err.find(report == "fetched" ? "1 interrupted" : "2 interrupted"),
            std::string::npos)
      << run.err;
  for (const std::string& name : FilesBelow(dir)) {
    // Whatever finished is whole; nothing else has a final name.
    if (!name.ends_with(".part")) {
      EXPECT_EQ(ReadFile(dir / name), kPdf) << name;
    }
  }
}

// A proxy of its own, for what the engine cannot show: documents in chunked
// encoding, whose size no header announces, and how many transfers run at
// once. Each connection is served on a thread of its own. Result pages (paths
// starting with /web) carry `page`; a path in `bodies` gets its body in
// 1000-byte chunks after `delay`; anything else 404.
class TestProxy {
 public:
  TestProxy(std::string page, std::map<std::string, std::string> bodies,
            std::chrono::milliseconds delay = {})
      : page_(std::move(page)), bodies_(std::move(bodies)), delay_(delay) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 64) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      throw std::runtime_error("cannot listen on loopback");
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
  }
  ~TestProxy() {
    stop_ = true;
    acceptor_.join();
    for (std::thread& t : workers_) t.join();
    close(listener_);
  }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

  // Most document requests that were in flight at one moment, to one host and in all.
  std::size_t max_per_host() const {
    std::lock_guard lock(mutex_);
    std::size_t most = 0;
    for (const auto& [host, count] : max_by_host_) most = std::max(most, count);
    return most;
  }
  std::size_t max_total() const {
    std::lock_guard lock(mutex_);
    return max_total_;
  }

 private:
  void Accept() {
    while (!stop_) {
      pollfd p{listener_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client >= 0) workers_.emplace_back([this, client] { Serve(client); });
    }
  }

  void Serve(int client) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
      const ssize_t n = read(client, buffer, sizeof buffer);
      if (n <= 0) break;
      request.append(buffer, static_cast<std::size_t>(n));
    }
    // "GET http://host/path HTTP/1.1": the host and the path after it.
    std::string target = request.substr(request.find(' ') + 1);
    target = target.substr(0, target.find(' '));
    const std::size_t scheme = target.find("://");
    const std::size_t slash = scheme == std::string::npos ? 0 : target.find('/', scheme + 3);
    const std::string host =
        scheme == std::string::npos ? "" : target.substr(scheme + 3, slash - scheme - 3);
    const std::string path = slash == std::string::npos ? "/" : target.substr(slash);
    if (path.starts_with("/web")) {
      Send(client,
           "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n"
           "Content-Length: " +
               std::to_string(page_.size()) + "\r\nConnection: close\r\n\r\n" + page_);
    } else if (const auto body = bodies_.find(path); body != bodies_.end()) {
      Enter(host);
      std::this_thread::sleep_for(delay_);
      Leave(host);
      Send(client, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
      for (std::size_t at = 0; at < body->second.size(); at += 1000) {
        const std::string chunk = body->second.substr(at, 1000);
        char size[16];
        std::snprintf(size, sizeof size, "%zx\r\n", chunk.size());
        Send(client, size + chunk + "\r\n");
      }
      Send(client, "0\r\n\r\n");
    } else {
      Send(client, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    }
    close(client);
  }

  void Enter(const std::string& host) {
    std::lock_guard lock(mutex_);
    max_by_host_[host] = std::max(max_by_host_[host], ++in_flight_[host]);
    max_total_ = std::max(max_total_, ++total_);
  }
  void Leave(const std::string& host) {
    std::lock_guard lock(mutex_);
    --in_flight_[host];
    --total_;
  }

  static void Send(int fd, std::string_view data) {
    while (!data.empty()) {
      const ssize_t n = send(fd, data.data(), data.size(), MSG_NOSIGNAL);
      if (n <= 0) return;
      data.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  std::string page_;
  std::map<std::string, std::string> bodies_;
  std::chrono::milliseconds delay_;
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread acceptor_;
  std::vector<std::thread> workers_;  // only the acceptor thread adds to it
  mutable std::mutex mutex_;
  std::map<std::string, std::size_t> in_flight_;
  std::map<std::string, std::size_t> max_by_host_;
  std::size_t total_ = 0;
  std::size_t max_total_ = 0;
};

TEST(Download, RunsSeveralAtOnceWithinThePerHostAndTotalLimits) {
  std::vector<Hit> hits;
  std::map<std::string, std::string> bodies;
  for (int host = 0; host < 3; ++host) {
    for (int n = 0; n < 6; ++n) {
      const std::string path = "/d" + std::to_string(host) + "-" + std::to_string(n) + ".pdf";
      hits.push_back({"Doc " + std::to_string(host) + " " + std::to_string(n),
                      "http://host" + std::to_string(host) + ".example.com" + path});
      bodies[path] = "%PDF-1.4\n" + path;
    }
  }
  TestProxy proxy(ResultPage(hits), bodies, std::chrono::milliseconds(300));
  test::TempDir scratch;
  const fs::path dir = scratch.path() / "out";
  const ProgramRun run = Docseek(proxy.url(), scratch.path(),
                                 {"search", "k", "--types", "pdf", "--count", "50", "--format",
                                  "json", "--download", dir.string()})
                             .Wait();
  EXPECT_EQ(run.exit_code, 0) << run.err;
  EXPECT_EQ(FilesBelow(dir).size(), 18u);
  EXPECT_LE(proxy.max_per_host(), 4u);
  EXPECT_LE(proxy.max_total(), 8u);
  EXPECT_GT(proxy.max_total(), 1u);  // not one after the other
}

TEST(Download, TheSizeCapHoldsWhenNoLengthIsAnnounced) {
  const std::string big = "%PDF-1.4\n" + std::string(10000, 'b');
  const std::string small = "%PDF-1.4\n" + std::string(2500, 's');
  TestProxy proxy(ResultPage({{"Big", std::string(kHost) + "/big.pdf"},
                              {"Small", std::string(kHost) + "/small.pdf"}}),
                  {{"/big.pdf", big}, {"/small.pdf", small}});
  test::TempDir scratch;
  const fs::path dir = scratch.path() / "out";
  const ProgramRun run = Docseek(proxy.url(), scratch.path(),
                                 {"search", "k", "--types", "pdf", "--format", "json", "--download",
                                  dir.string(), "--max-size", "4K"})
                             .Wait();
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const auto outcomes = Outcomes(run.out);
  EXPECT_EQ(outcomes.at("Big").status, "skipped");
  EXPECT_NE(outcomes.at("Big").reason.find("size cap"), std::string::npos);
  EXPECT_EQ(outcomes.at("Small").status, "fetched");
  EXPECT_EQ(ReadFile(dir / "Small.pdf"), small);
  // Neither the big file nor its .part is left.
  EXPECT_EQ(FilesBelow(dir), std::set<std::string>{"Small.pdf"});
}

}  // namespace
}  // namespace docseek::cli
