// SPDX-License-Identifier: MIT
#include "download.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <stdio.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <set>

#include "file_names.h"
#include "magic.h"
#include "net_rules.h"

#ifndef DOCSEEK_VERSION
#error "DOCSEEK_VERSION must be defined by the build"
#endif

namespace docseek::cli {
namespace {

volatile std::sig_atomic_t g_stop = 0;

extern "C" void OnStopSignal(int) { g_stop = 1; }

// Catches SIGINT and SIGTERM while it lives and puts back what was there.
class StopSignals {
 public:
  StopSignals() {
    g_stop = 0;
    struct sigaction action {};
    action.sa_handler = &OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &old_int_);
    sigaction(SIGTERM, &action, &old_term_);
  }
  ~StopSignals() {
    sigaction(SIGINT, &old_int_, nullptr);
    sigaction(SIGTERM, &old_term_, nullptr);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

 private:
  struct sigaction old_int_ {};
  struct sigaction old_term_ {};
};

struct Job {
  std::size_t index = 0;
  std::string url;
  std::string host;  // lower case, for the per-host limit
  std::optional<std::string> proxy;
  std::string suffix;
  std::filesystem::path final_path;
  std::filesystem::path part_path;

  CURL* easy = nullptr;
  char error[CURL_ERROR_SIZE] = {};
  int fd = -1;
  bool started_body = false;
  bool range_retried = false;
  std::uint64_t offset = 0;               // bytes already in the .part when the transfer began
  std::uint64_t received = 0;             // bytes written by this transfer
  std::optional<std::uint64_t> expected;  // full size, when the server said
  std::string content_range;              // of the latest response
  std::uint64_t max_size = 0;

  // Why a callback stopped the transfer; empty when none did.
  std::string abort_reason;
  DownloadStatus abort_status = DownloadStatus::kFailed;
  bool remove_part = false;
};

std::string Bytes(std::uint64_t n) {
  char text[32];
  if (n < 1024) return std::to_string(n) + " B";
  if (n < 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f KiB", static_cast<double>(n) / 1024);
  } else if (n < 1024ull * 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(n) / (1024 * 1024));
  } else {
    std::snprintf(text, sizeof text, "%.1f GiB", static_cast<double>(n) / (1024 * 1024 * 1024));
  }
  return text;
}

std::string Lower(std::string_view text) {
  std::string out;
  for (char c : text) out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// The scheme of an absolute link, as written; empty when there is none.
std::string_view SchemeOf(std::string_view link) {
  const std::size_t colon = link.find(':');
  if (colon == std::string_view::npos || colon == 0) return {};
  for (std::size_t i = 0; i < colon; ++i) {
    const auto c = static_cast<unsigned char>(link[i]);
    const bool ok =
        std::isalpha(c) || (i > 0 && (std::isdigit(c) || c == '+' || c == '-' || c == '.'));
    if (!ok) return {};
  }
  return link.substr(0, colon);
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// "bytes START-END/LEN" or "bytes */LEN": the start (nullopt for "*") and the length.
struct ContentRange {
  std::optional<std::uint64_t> start;
  std::optional<std::uint64_t> length;
};
ContentRange ParseContentRange(std::string_view value) {
  ContentRange range;
  if (!value.starts_with("bytes ")) return range;
  value.remove_prefix(6);
  const auto number = [](std::string_view text) -> std::optional<std::uint64_t> {
    std::uint64_t n = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
      return std::nullopt;
    }
    return n;
  };
  const std::size_t slash = value.find('/');
  if (slash == std::string_view::npos) return range;
  range.length = number(value.substr(slash + 1));
  const std::string_view span = value.substr(0, slash);
  if (span != "*") range.start = number(span.substr(0, span.find('-')));
  return range;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
  auto* job = static_cast<Job*>(user);
  std::string_view line(data, size * count);
  if (line.starts_with("HTTP/")) {
    job->content_range.clear();  // a new response (after a redirect) starts
  } else if (line.size() > 14 && Lower(line.substr(0, 14)) == "content-range:") {
    line.remove_prefix(14);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n' || line.back() == ' ')) {
      line.remove_suffix(1);
    }
    job->content_range = std::string(line);
  }
  return size * count;
}

// Opens the .part for this response: appended to when the server resumed
// where it ends, started afresh otherwise.
bool OpenPart(Job& job, bool append) {
  if (!append) job.offset = 0;
  // O_NOFOLLOW: a symbolic link planted as NAME.part must not lead the
  // download out of the folder.
  job.fd =
      ::open(job.part_path.c_str(),
             O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (append ? O_APPEND : O_TRUNC), 0644);
  if (job.fd < 0) {
    job.abort_reason =
        "cannot write " + job.part_path.filename().string() + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool TooLarge(Job& job, std::uint64_t size) {
  if (size <= job.max_size) return false;
  job.abort_reason = "larger than the size cap (" + Bytes(size) + " > " + Bytes(job.max_size) + ")";
  job.abort_status = DownloadStatus::kSkipped;
  job.remove_part = true;
  return true;
}

// The first body bytes of the final response: decide how the .part is written.
bool StartBody(Job& job) {
  job.started_body = true;
  long code = 0;
  curl_easy_getinfo(job.easy, CURLINFO_RESPONSE_CODE, &code);
  curl_off_t length = -1;
  curl_easy_getinfo(job.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  bool append = false;
  if (code == 206) {
    const ContentRange range = ParseContentRange(job.content_range);
    if (job.offset == 0 || range.start != job.offset) {
      job.abort_reason = "the server sent a part that does not continue " +
                         job.part_path.filename().string() + " (" + job.content_range + ")";
      return false;
    }
    append = true;
  } else {
    job.offset = 0;  // a whole answer to a Range request: start again
  }
  if (length >= 0) {
    job.expected = job.offset + static_cast<std::uint64_t>(length);
    if (TooLarge(job, *job.expected)) return false;
  }
  return OpenPart(job, append);
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* job = static_cast<Job*>(user);
  const std::size_t n = size * count;
  if (!job->started_body && !StartBody(*job)) return CURL_WRITEFUNC_ERROR;
  // Checked while receiving too: a server may send no length, or more than it said.
  if (TooLarge(*job, job->offset + job->received + n)) return CURL_WRITEFUNC_ERROR;
  if (!WriteAll(job->fd, data, n)) {
    job->abort_reason =
        "cannot write " + job->part_path.filename().string() + ": " + std::strerror(errno);
    return CURL_WRITEFUNC_ERROR;
  }
  job->received += n;
  return n;
}

// Connections to this machine or its local networks are refused unless they
// go to a proxy: a link or redirect must not reach services behind the
// user's firewall. Checked on the connected address, so a host name that
// resolves to one is caught as well as a literal.
curl_socket_t OnOpenSocket(void* user, curlsocktype, struct curl_sockaddr* address) {
  auto* job = static_cast<Job*>(user);
  if (!job->proxy) {
    char text[INET6_ADDRSTRLEN] = {};
    const void* bytes = nullptr;
    if (address->family == AF_INET) {
      bytes = &reinterpret_cast<const sockaddr_in*>(&address->addr)->sin_addr;
    } else if (address->family == AF_INET6) {
      bytes = &reinterpret_cast<const sockaddr_in6*>(&address->addr)->sin6_addr;
    }
    if (bytes != nullptr && inet_ntop(address->family, bytes, text, sizeof text) != nullptr &&
        IsLocalAddress(text)) {
      job->abort_reason = std::string("refused: the link leads to the local address ") + text +
                          " and no proxy is in use";
      job->abort_status = DownloadStatus::kSkipped;
      return CURL_SOCKET_BAD;
    }
  }
  return socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

void ClosePart(Job& job) {
  if (job.fd >= 0) ::close(job.fd);
  job.fd = -1;
}

// Size of a regular file; 0 for anything else, a symbolic link included.
std::uint64_t FileSize(const std::filesystem::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<std::uint64_t>(st.st_size);
}

bool Exists(const std::filesystem::path& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

std::string ReadHead(const std::filesystem::path& path) {
  std::string head(kMagicBytes, '\0');
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return {};
  std::size_t got = 0;
  while (got < head.size()) {
    const ssize_t n = ::read(fd, head.data() + got, head.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  head.resize(got);
  return head;
}

// Moves the finished .part to its final name, which must still be free.
// `whole_part`: the .part already holds the file (a resumed answer, or a
// server saying that nothing is left to send), so a body-less answer keeps it.
bool Finish(Job& job, DownloadResult& result, bool whole_part) {
  if (!job.started_body) {
    // An empty answer never reached the body callback: the file is empty,
    // whatever an earlier run left in the .part.
    const int fd =
        ::open(job.part_path.c_str(),
               O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | (whole_part ? 0 : O_TRUNC), 0644);
    if (fd >= 0) ::close(fd);
    if (!whole_part) job.offset = 0;
  }
  if (::link(job.part_path.c_str(), job.final_path.c_str()) != 0) {
    result.status = DownloadStatus::kFailed;
    result.reason = errno == EEXIST ? "the name was taken while downloading; the file stays as " +
                                          job.part_path.filename().string()
                                    : "cannot rename " + job.part_path.filename().string() + ": " +
                                          std::strerror(errno);
    return false;
  }
  ::unlink(job.part_path.c_str());
  result.bytes = FileSize(job.final_path);
  result.resumed = job.offset;
  if (CheckMagic(job.suffix, ReadHead(job.final_path)) == Magic::kMismatch) {
    result.status = DownloadStatus::kMismatch;
    result.reason = "kept, but its first bytes are not " + ExpectedKind(job.suffix);
  } else {
    result.status = DownloadStatus::kFetched;
  }
  return true;
}

class Downloader {
 public:
  Downloader(const std::vector<Record>& records, const DownloadOptions& options)
      : records_(records), options_(options) {
    summary_.results.resize(records.size());
    multi_ = curl_multi_init();
    // The per-host limit is kept by StartSome(), by the host each link
    // names: libcurl would count a proxy as the one host of every transfer.
    curl_multi_setopt(multi_, CURLMOPT_MAX_TOTAL_CONNECTIONS, static_cast<long>(options.max_total));
  }
  ~Downloader() {
    for (auto& [easy, job] : active_) {
      curl_multi_remove_handle(multi_, easy);
      curl_easy_cleanup(easy);
      ClosePart(*job);
    }
    curl_multi_cleanup(multi_);
  }
  Downloader(const Downloader&) = delete;
  Downloader& operator=(const Downloader&) = delete;

  DownloadSummary Run() {
    std::error_code error;
    std::filesystem::create_directories(options_.dir, error);
    if (error || !std::filesystem::is_directory(options_.dir)) {
      for (DownloadResult& result : summary_.results) {
        result.status = DownloadStatus::kFailed;
        result.reason = "cannot create the folder " + options_.dir.string() + ": " +
                        (error ? error.message() : "not a directory");
      }
      return summary_;
    }
    Plan();
    Loop();
    if (options_.progress) std::fputs("\r\033[K", stderr);
    return summary_;
  }

 private:
  // Decides each record's name and whether it is fetched at all.
  void Plan() {
    std::set<std::string> taken;
    for (std::size_t i = 0; i < records_.size(); ++i) {
      const Record& record = records_[i];
      DownloadResult& result = summary_.results[i];
      auto job = std::make_unique<Job>();
      job->index = i;
      job->url = record.link;
      job->suffix = record.suffix;
      job->max_size = options_.max_size;

      // The scheme is read before the URL parser sees the link, so that a
      // "javascript:" or "mailto:" link is named for what it is.
      const std::string scheme_text = Lower(SchemeOf(record.link));
      if (!scheme_text.empty() && scheme_text != "http" && scheme_text != "https") {
        result.reason = "only http and https links are fetched, not " + scheme_text + ":";
        continue;
      }
      std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> url(curl_url(), &curl_url_cleanup);
      char* host = nullptr;
      if (scheme_text.empty() || !url ||
          curl_url_set(url.get(), CURLUPART_URL, record.link.c_str(), 0) != CURLUE_OK) {
        result.reason = "not a link that can be fetched";
        continue;
      }
      if (curl_url_get(url.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK || host == nullptr) {
        curl_free(host);
        result.reason = "the link names no host";
        continue;
      }
      job->host = Lower(host);
      curl_free(host);
      job->proxy = ProxyFor(scheme_text, job->host);
      if (!job->proxy && IsLocalAddress(job->host)) {
        result.reason =
            "refused: the link leads to the local address " + job->host + " and no proxy is in use";
        continue;
      }

      result.name = MakeUnique(FileNameFor(record.title, record.suffix, record.link), taken);
      job->final_path = options_.dir / result.name;
      job->part_path = options_.dir / (result.name + std::string(kPartSuffix));
      if (Exists(job->final_path)) {
        result.reason = result.name + " already exists";
        result.bytes = FileSize(job->final_path);
        continue;
      }
      pending_.push_back(std::move(job));
    }
  }

  bool CanStart(const Job& job) const {
    if (active_.size() >= options_.max_total) return false;
    const auto count = per_host_.find(job.host);
    return count == per_host_.end() || count->second < options_.max_per_host;
  }

  void StartSome() {
    for (auto it = pending_.begin(); it != pending_.end();) {
      if (active_.size() >= options_.max_total) break;
      if (!CanStart(**it)) {
        ++it;
        continue;
      }
      Start(std::move(*it));
      it = pending_.erase(it);
    }
  }

  void Start(std::unique_ptr<Job> job) {
    CURL* easy = curl_easy_init();
    job->easy = easy;
    job->started_body = false;
    job->received = 0;
    job->expected.reset();
    job->abort_reason.clear();
    job->abort_status = DownloadStatus::kFailed;
    job->offset = job->range_retried ? 0 : FileSize(job->part_path);
    curl_easy_setopt(easy, CURLOPT_URL, job->url.c_str());
    curl_easy_setopt(easy, CURLOPT_PRIVATE, job.get());
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, job->error);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // The proxy is chosen here, from the same variables libcurl reads, so
    // that the address check knows whether a proxy stands in between.
    curl_easy_setopt(easy, CURLOPT_PROXY, job->proxy ? job->proxy->c_str() : "");
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 10L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
    curl_easy_setopt(easy, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(easy, CURLOPT_USERAGENT, "docseek/" DOCSEEK_VERSION);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, 30000L);
    // A transfer that stalls (under 1 byte/s for a minute) fails instead of
    // holding its slot for ever; a slow one that still moves may take its time.
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, 60L);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, job.get());
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, job.get());
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &OnOpenSocket);
    curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, job.get());
    const std::string range = std::to_string(job->offset) + "-";
    if (job->offset > 0) curl_easy_setopt(easy, CURLOPT_RANGE, range.c_str());
    ++per_host_[job->host];
    curl_multi_add_handle(multi_, easy);
    active_.emplace(easy, std::move(job));
  }

  void Done(CURL* easy, CURLcode code) {
    auto found = active_.find(easy);
    std::unique_ptr<Job> job = std::move(found->second);
    active_.erase(found);
    curl_multi_remove_handle(multi_, easy);
    --per_host_[job->host];
    ClosePart(*job);
    long status = 0;
    curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &status);
    curl_easy_cleanup(easy);
    job->easy = nullptr;

    DownloadResult& result = summary_.results[job->index];
    if (code == CURLE_OK) {
      Finish(*job, result, status == 206);
      return;
    }
    if (code == CURLE_HTTP_RETURNED_ERROR && status == 416 && job->offset > 0) {
      // The .part may already hold the whole file; else the server will not
      // resume it, so it is fetched again from the start, once.
      const ContentRange range = ParseContentRange(job->content_range);
      if (range.length == job->offset) {
        Finish(*job, result, true);
        return;
      }
      if (!job->range_retried) {
        job->range_retried = true;
        pending_.push_front(std::move(job));
        return;
      }
    }
    result.status = job->abort_reason.empty() ? DownloadStatus::kFailed : job->abort_status;
    if (!job->abort_reason.empty()) {
      result.reason = job->abort_reason;
    } else if (code == CURLE_HTTP_RETURNED_ERROR) {
      result.reason = "the server answered HTTP " + std::to_string(status);
    } else {
      result.reason = job->error[0] != '\0' ? job->error : curl_easy_strerror(code);
    }
    if (job->remove_part) {
      ::unlink(job->part_path.c_str());
    } else if (FileSize(job->part_path) > 0) {
      result.bytes = FileSize(job->part_path);
      result.reason += "; " + job->part_path.filename().string() + " is kept for the next run";
    } else if (Exists(job->part_path)) {
      ::unlink(job->part_path.c_str());
    }
  }

  void Interrupt() {
    summary_.interrupted = true;
    for (auto& [easy, job] : active_) {
      curl_multi_remove_handle(multi_, easy);
      curl_easy_cleanup(easy);
      ClosePart(*job);
      Stopped(*job, "stopped while downloading");
    }
    active_.clear();
    for (auto& job : pending_) Stopped(*job, "stopped before it began");
    pending_.clear();
  }

  void Stopped(const Job& job, const std::string& why) {
    DownloadResult& result = summary_.results[job.index];
    result.status = DownloadStatus::kInterrupted;
    result.reason = why;
    result.bytes = FileSize(job.part_path);
    if (result.bytes > 0) {
      result.reason += "; " + job.part_path.filename().string() + " is kept for the next run";
    } else if (Exists(job.part_path)) {
      ::unlink(job.part_path.c_str());
    }
  }

  void Loop() {
    const std::size_t total = pending_.size();
    auto last_draw = std::chrono::steady_clock::now() - std::chrono::seconds(1);
    while (!pending_.empty() || !active_.empty()) {
      if (g_stop) {
        Interrupt();
        return;
      }
      StartSome();
      int running = 0;
      curl_multi_perform(multi_, &running);
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(multi_, &left)) {
        if (message->msg == CURLMSG_DONE) Done(message->easy_handle, message->data.result);
      }
      const auto now = std::chrono::steady_clock::now();
      if (options_.progress && now - last_draw >= std::chrono::milliseconds(200)) {
        last_draw = now;
        DrawProgress(total);
      }
      if (!active_.empty()) curl_multi_poll(multi_, nullptr, 0, 100, nullptr);
    }
  }

  // One line, redrawn in place: files done of all, bytes so far, then each
  // running transfer with its share done when its size is known.
  void DrawProgress(std::size_t total) {
    std::size_t done = total - pending_.size() - active_.size();
    std::uint64_t bytes = 0;
    std::string files;
    for (const auto& [easy, job] : active_) {
      bytes += job->offset + job->received;
      files += " | " + OneLine(summary_.results[job->index].name) + " ";
      if (job->expected && *job->expected > 0) {
        files += std::to_string((job->offset + job->received) * 100 / *job->expected) + "%";
      } else {
        files += Bytes(job->offset + job->received);
      }
    }
    for (const DownloadResult& result : summary_.results) {
      if (result.status == DownloadStatus::kFetched || result.status == DownloadStatus::kMismatch) {
        bytes += result.bytes;
      }
    }
    std::string line =
        "[" + std::to_string(done) + "/" + std::to_string(total) + "] " + Bytes(bytes) + files;
    winsize size{};
    int width = 80;
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) width = size.ws_col;
    line = Truncate(line, width - 1);
    std::fprintf(stderr, "\r\033[K%s", line.c_str());
    std::fflush(stderr);
  }

  const std::vector<Record>& records_;
  const DownloadOptions& options_;
  DownloadSummary summary_;
  CURLM* multi_ = nullptr;
  std::deque<std::unique_ptr<Job>> pending_;
  std::map<CURL*, std::unique_ptr<Job>> active_;
  std::map<std::string, std::size_t> per_host_;
};

}  // namespace

std::optional<std::uint64_t> ParseSize(std::string_view text) {
  std::uint64_t unit = 1;
  if (!text.empty()) {
    switch (text.back()) {
      case 'k':
      case 'K':
        unit = 1024;
        break;
      case 'm':
      case 'M':
        unit = 1024 * 1024;
        break;
      case 'g':
      case 'G':
        unit = 1024 * 1024 * 1024;
        break;
      default:
        break;
    }
    if (unit != 1) text.remove_suffix(1);
  }
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0) {
    return std::nullopt;
  }
  if (value > UINT64_MAX / unit) return std::nullopt;
  return value * unit;
}

DownloadSummary DownloadAll(const std::vector<Record>& records, const DownloadOptions& options) {
  StopSignals signals;
  Downloader downloader(records, options);
  return downloader.Run();
}

std::string_view StatusName(DownloadStatus status) {
  switch (status) {
    case DownloadStatus::kFetched:
      return "fetched";
    case DownloadStatus::kMismatch:
      return "mismatch";
    case DownloadStatus::kSkipped:
      return "skipped";
    case DownloadStatus::kFailed:
      return "failed";
    case DownloadStatus::kInterrupted:
      return "interrupted";
  }
  return "failed";
}

std::string RenderSummary(const std::vector<Record>& records, const DownloadSummary& summary,
                          const std::filesystem::path& dir) {
  std::map<DownloadStatus, std::size_t> counts;
  std::string lines;
  for (std::size_t i = 0; i < summary.results.size(); ++i) {
    const DownloadResult& result = summary.results[i];
    ++counts[result.status];
    std::string line = "  " + std::string(StatusName(result.status));
    line.resize(14, ' ');
    const std::string what = result.name.empty() ? records[i].link : result.name;
    line += OneLine(what);
    if (result.status == DownloadStatus::kFetched || result.status == DownloadStatus::kMismatch) {
      line += " (" + Bytes(result.bytes);
      if (result.resumed > 0) line += ", resumed after " + Bytes(result.resumed);
      line += ")";
    }
    if (!result.reason.empty()) line += ": " + OneLine(result.reason);
    lines += line + "\n";
  }
  std::string head = "docseek: downloads in " + OneLine(dir.string()) + ": " +
                     std::to_string(counts[DownloadStatus::kFetched]) + " fetched";
  if (counts[DownloadStatus::kMismatch] > 0) {
    head += ", " + std::to_string(counts[DownloadStatus::kMismatch]) +
            " fetched but not what the suffix says";
  }
  head += ", " + std::to_string(counts[DownloadStatus::kSkipped]) + " skipped, " +
          std::to_string(counts[DownloadStatus::kFailed]) + " failed";
  if (summary.interrupted) {
    head += ", " + std::to_string(counts[DownloadStatus::kInterrupted]) + " interrupted";
  }
  return head + "\n" + lines;
}

std::string JsonDownloadFields(const DownloadResult& result, const std::filesystem::path& dir) {
  const bool written =
      result.status == DownloadStatus::kFetched || result.status == DownloadStatus::kMismatch;
  std::string out = ",\"path\":";
  out += written ? JsonString((dir / result.name).string()) : "null";
  out += ",\"status\":" + JsonString(StatusName(result.status));
  out += ",\"reason\":" + JsonString(result.reason);
  return out;
}

}  // namespace docseek::cli
