// SPDX-License-Identifier: MIT
#include "platform/http.h"

#include <curl/curl.h>
#include <glib-unix.h>
#include <glib.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/text.h"

namespace docseek::platform {

const char kUserAgent[] =
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/131.0.0.0 Safari/537.36";

namespace {

// Only pages are loaded: HTML, XHTML and other text. Anything else (a PDF the
// engine links to, an image) is refused before its body is downloaded.
bool IsDocumentType(std::string_view type) {
  std::string lower = text::AsciiLowered(type.substr(0, type.find(';')));
  while (!lower.empty() && lower.back() == ' ') lower.pop_back();
  while (!lower.empty() && lower.front() == ' ') lower.erase(lower.begin());
  return lower.empty() || lower.starts_with("text/") || lower == "application/xhtml+xml" ||
         lower == "application/xml";
}

// libcurl's global state, set up for as long as any client lives (libcurl
// counts the calls), so that callers need not know about it.
struct CurlGlobal {
  CurlGlobal() {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) throw Error("cannot set up libcurl");
  }
  ~CurlGlobal() { curl_global_cleanup(); }
  CurlGlobal(const CurlGlobal&) = delete;
  CurlGlobal& operator=(const CurlGlobal&) = delete;
};

HttpErrorKind KindOf(CURLcode code) {
  switch (code) {
    case CURLE_COULDNT_CONNECT:
      return HttpErrorKind::kRefused;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return HttpErrorKind::kDns;
    case CURLE_OPERATION_TIMEDOUT:
      return HttpErrorKind::kTimeout;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
      return HttpErrorKind::kTls;
    case CURLE_FILESIZE_EXCEEDED:
      return HttpErrorKind::kTooLarge;
    case CURLE_TOO_MANY_REDIRECTS:
    case CURLE_UNSUPPORTED_PROTOCOL:
      return HttpErrorKind::kRefusedRedirect;
    default:
      return HttpErrorKind::kOther;
  }
}

}  // namespace

struct HttpClient::Impl {
  struct Transfer;
  struct Source;

  Impl(EventLoop& loop, HttpLimits limits);
  ~Impl();
  std::uint64_t Get(const std::string& url, Callback done, const GetOptions& options,
                    HeadersCallback headers);
  void CancelAll();
  std::string Remembered(std::string url) const;
  void Remember(const std::string& from, const std::string& location);

  static curl_socket_t OnOpenSocket(void* transfer, curlsocktype purpose, curl_sockaddr* address);
  static int OnPrereq(void* transfer, char* conn_primary_ip, char* conn_local_ip,
                      int conn_primary_port, int conn_local_port);
  static int OnSocket(CURL* easy, curl_socket_t fd, int what, void* self, void* socketp);
  static int OnTimer(CURLM* multi, long timeout_ms, void* self);
  static gboolean OnDispatch(GSource* source, GSourceFunc, gpointer);
  static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* transfer);
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* transfer);

  void Drive();
  void CollectFinished();
  void Remove(Transfer* transfer);

  CurlGlobal curl_global;  // first in, last out
  HttpLimits limits;
  TaskQueue tasks;
  CURLM* multi = nullptr;
  CURLSH* share = nullptr;
  GSource* source = nullptr;
  std::map<curl_socket_t, gpointer> fds;
  std::map<std::uint64_t, Transfer*> transfers;
  std::uint64_t next_id = 1;
  // Permanent redirects seen: address -> target, and origin -> origin for
  // hosts that moved with their paths unchanged (http -> https mostly).
  std::map<std::string, std::string> moved_addresses;
  std::map<std::string, std::string> moved_origins;
};

struct HttpClient::Impl::Transfer {
  Impl* client = nullptr;
  std::uint64_t id = 0;
  CURL* easy = nullptr;
  Callback done;
  HeadersCallback headers;
  long header_status = 0;  // of the response whose header fields are being read
  std::string location;    // its Location field
  std::string body;
  std::string refusal;  // why the write callback stopped the transfer
  HttpErrorKind refusal_kind = HttpErrorKind::kOther;
  std::size_t max_body = 0;
  bool checked_type = false;
  // The least private space so far: the initiator's, then each hop's. Unset
  // until the first hop of a navigation of our own is known.
  std::optional<AddressSpace> space;
  // Refuses a hop into a more private space than `space`.
  bool Allowed(AddressSpace hop, const char* what);
  char error[CURL_ERROR_SIZE] = {};
};

struct HttpClient::Impl::Source {
  GSource base;
  Impl* client;
};

HttpClient::HttpClient(EventLoop& loop, HttpLimits limits)
    : impl_(std::make_unique<Impl>(loop, limits)) {}

HttpClient::~HttpClient() = default;

std::uint64_t HttpClient::Get(const std::string& url, Callback done, GetOptions options,
                              HeadersCallback headers) {
  return impl_->Get(url, std::move(done), options, std::move(headers));
}

bool HttpClient::Impl::Transfer::Allowed(AddressSpace hop, const char* what) {
  if (space && hop < *space) {
    refusal = std::string("refused: ") + what + " is on " +
              (hop == AddressSpace::kLocal ? "this machine" : "a private network") +
              ", which a page from a less private place may not reach";
    refusal_kind = HttpErrorKind::kRefusedRedirect;
    return false;
  }
  return true;
}

curl_socket_t HttpClient::Impl::OnOpenSocket(void* opaque, curlsocktype, curl_sockaddr* address) {
  auto* transfer = static_cast<Transfer*>(opaque);
  char* url = nullptr;
  curl_easy_getinfo(transfer->easy, CURLINFO_EFFECTIVE_URL, &url);
  // Through a proxy this is the proxy's address, the user's own choice.
  if (!ProxyConfiguredFor(url) &&
      !transfer->Allowed(SocketAddressSpace(&address->addr), "the address connected to")) {
    return CURL_SOCKET_BAD;
  }
  return ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

int HttpClient::Impl::OnPrereq(void* opaque, char* conn_primary_ip, char*, int, int) {
  auto* transfer = static_cast<Transfer*>(opaque);
  char* url = nullptr;
  curl_easy_getinfo(transfer->easy, CURLINFO_EFFECTIVE_URL, &url);
  std::optional<AddressSpace> hop = UrlHostSpace(url);
  if (!hop) {
    // A name: through a proxy it counts as public; otherwise by the address
    // it was connected to (already checked when the socket was opened).
    hop = AddressSpace::kPublic;
    if (!ProxyConfiguredFor(url) && conn_primary_ip != nullptr) {
      hop = HostLiteralSpace(conn_primary_ip).value_or(AddressSpace::kPublic);
    }
  }
  if (!transfer->Allowed(*hop, "the host")) return CURL_PREREQFUNC_ABORT;
  transfer->space = transfer->space ? std::max(*transfer->space, *hop) : *hop;
  return CURL_PREREQFUNC_OK;
}

void HttpClient::Cancel(std::uint64_t id) {
  auto it = impl_->transfers.find(id);
  if (it != impl_->transfers.end()) impl_->Remove(it->second);
}

void HttpClient::CancelAll() { impl_->CancelAll(); }

std::size_t HttpClient::InFlight() const { return impl_->transfers.size(); }

HttpClient::Impl::Impl(EventLoop& loop, HttpLimits l) : limits(l), tasks(loop) {
  multi = curl_multi_init();
  share = curl_share_init();
  if (multi == nullptr || share == nullptr) throw Error("cannot start the HTTP engine");
  // One cookie jar in memory for all pages of one search, like a browser
  // session; it goes with this client.
  curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
  curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
  // Hosts that asked for HTTPS only are remembered for all pages, in memory.
  curl_share_setopt(share, CURLSHOPT_SHARE, CURL_LOCK_DATA_HSTS);

  static GSourceFuncs funcs = {nullptr, nullptr, &Impl::OnDispatch, nullptr, nullptr, nullptr};
  source = g_source_new(&funcs, sizeof(Source));
  reinterpret_cast<Source*>(source)->client = this;
  g_source_set_name(source, "docseek-http");
  g_source_attach(source, loop.native_context());

  curl_multi_setopt(multi, CURLMOPT_SOCKETFUNCTION, &Impl::OnSocket);
  curl_multi_setopt(multi, CURLMOPT_SOCKETDATA, this);
  curl_multi_setopt(multi, CURLMOPT_TIMERFUNCTION, &Impl::OnTimer);
  curl_multi_setopt(multi, CURLMOPT_TIMERDATA, this);
  // Several pages of one server share an HTTP/2 connection where it offers one.
  curl_multi_setopt(multi, CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
}

HttpClient::Impl::~Impl() {
  CancelAll();
  // curl may still report sockets while it shuts down; the source stays
  // attached until after that.
  curl_multi_cleanup(multi);
  curl_share_cleanup(share);
  g_source_destroy(source);
  g_source_unref(source);
}

std::uint64_t HttpClient::Impl::Get(const std::string& requested, Callback done,
                                    const GetOptions& options, HeadersCallback headers) {
  const std::string url = Remembered(requested);
  auto transfer = std::make_unique<Transfer>();
  transfer->client = this;
  transfer->id = next_id++;
  transfer->done = std::move(done);
  transfer->headers = std::move(headers);
  transfer->max_body = limits.max_body;
  transfer->space = options.initiator;
  const long timeout_ms =
      options.timeout_ms > 0 ? std::min(options.timeout_ms, limits.timeout_ms) : limits.timeout_ms;
  CURL* easy = curl_easy_init();
  if (easy == nullptr) throw Error("cannot start a transfer");
  transfer->easy = easy;
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_PRIVATE, transfer.get());
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, transfer->error);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Impl::OnWrite);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, transfer.get());
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, transfer.get());
  // A proxy's answer to CONNECT is not the page's response.
  curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(easy, CURLOPT_HSTS_CTRL, CURLHSTS_ENABLE);  // no file: memory only
  curl_easy_setopt(easy, CURLOPT_PIPEWAIT, 1L);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, limits.max_redirects);
  curl_easy_setopt(easy, CURLOPT_AUTOREFERER, 1L);
  // Pages only come over http and https, also after a redirect: never file:
  // or any other scheme a hostile page or redirect could name.
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_SHARE, share);
  curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");  // cookie engine on, nothing read from disk
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "gzip, deflate");
  curl_easy_setopt(easy, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(easy, CURLOPT_TIMEOUT_MS, timeout_ms);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                   std::min(limits.connect_timeout_ms, timeout_ms));
  curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, &Impl::OnOpenSocket);
  curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, transfer.get());
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Impl::OnPrereq);
  curl_easy_setopt(easy, CURLOPT_PREREQDATA, transfer.get());
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  if (curl_multi_add_handle(multi, easy) != CURLM_OK) {
    curl_easy_cleanup(easy);
    throw Error("cannot start a transfer");
  }
  std::uint64_t id = transfer->id;
  transfers[id] = transfer.release();
  return id;
}

void HttpClient::Impl::CancelAll() {
  while (!transfers.empty()) Remove(transfers.begin()->second);
}

void HttpClient::Impl::Remove(Transfer* transfer) {
  transfers.erase(transfer->id);
  curl_multi_remove_handle(multi, transfer->easy);
  curl_easy_cleanup(transfer->easy);
  delete transfer;
}

int HttpClient::Impl::OnSocket(CURL*, curl_socket_t fd, int what, void* self, void*) {
  auto* client = static_cast<Impl*>(self);
  auto it = client->fds.find(fd);
  if (what == CURL_POLL_REMOVE) {
    if (it != client->fds.end()) {
      g_source_remove_unix_fd(client->source, it->second);
      client->fds.erase(it);
    }
    return 0;
  }
  int condition = G_IO_ERR | G_IO_HUP;
  if (what & CURL_POLL_IN) condition |= G_IO_IN;
  if (what & CURL_POLL_OUT) condition |= G_IO_OUT;
  auto events = static_cast<GIOCondition>(condition);
  if (it == client->fds.end()) {
    client->fds[fd] = g_source_add_unix_fd(client->source, fd, events);
  } else {
    g_source_modify_unix_fd(client->source, it->second, events);
  }
  return 0;
}

int HttpClient::Impl::OnTimer(CURLM*, long timeout_ms, void* self) {
  auto* client = static_cast<Impl*>(self);
  // A new timeout replaces the previous one; -1 removes it.
  if (timeout_ms < 0) {
    g_source_set_ready_time(client->source, -1);
  } else {
    g_source_set_ready_time(
        client->source, g_source_get_time(client->source) + static_cast<gint64>(timeout_ms) * 1000);
  }
  return 0;
}

gboolean HttpClient::Impl::OnDispatch(GSource* source, GSourceFunc, gpointer) {
  Impl* client = reinterpret_cast<Source*>(source)->client;
  try {
    client->Drive();
  } catch (...) {
    client->tasks.loop().Fail(std::current_exception());
  }
  return G_SOURCE_CONTINUE;
}

void HttpClient::Impl::Drive() {
  int running = 0;
  gint64 ready = g_source_get_ready_time(source);
  bool timed_out = ready >= 0 && g_source_get_time(source) >= ready;
  if (timed_out) g_source_set_ready_time(source, -1);

  // Acting on a socket may make curl add or drop others: take the ready ones first.
  std::vector<std::pair<curl_socket_t, int>> ready_fds;
  for (const auto& [fd, tag] : fds) {
    GIOCondition got = g_source_query_unix_fd(source, tag);
    int flags = 0;
    if (got & (G_IO_IN | G_IO_HUP)) flags |= CURL_CSELECT_IN;
    if (got & G_IO_OUT) flags |= CURL_CSELECT_OUT;
    if (got & G_IO_ERR) flags |= CURL_CSELECT_ERR;
    if (flags != 0) ready_fds.emplace_back(fd, flags);
  }
  for (const auto& [fd, flags] : ready_fds) {
    if (fds.count(fd) != 0) curl_multi_socket_action(multi, fd, flags, &running);
  }
  if (timed_out) curl_multi_socket_action(multi, CURL_SOCKET_TIMEOUT, 0, &running);
  CollectFinished();
}

void HttpClient::Impl::CollectFinished() {
  int left = 0;
  while (CURLMsg* message = curl_multi_info_read(multi, &left)) {
    if (message->msg != CURLMSG_DONE) continue;
    Transfer* transfer = nullptr;
    curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
    if (transfer == nullptr) continue;
    CURLcode code = message->data.result;

    HttpResult result;
    result.space = transfer->space.value_or(AddressSpace::kPublic);
    char* url = nullptr;
    curl_easy_getinfo(transfer->easy, CURLINFO_EFFECTIVE_URL, &url);
    if (url != nullptr) result.url = url;
    if (code == CURLE_OK) {
      curl_easy_getinfo(transfer->easy, CURLINFO_RESPONSE_CODE, &result.status);
      char* type = nullptr;
      curl_easy_getinfo(transfer->easy, CURLINFO_CONTENT_TYPE, &type);
      if (type != nullptr) result.content_type = type;
      result.body = std::move(transfer->body);
    } else if (!transfer->refusal.empty()) {
      result.error = transfer->refusal;
      result.kind = transfer->refusal_kind;
    } else {
      result.kind = KindOf(code);
      result.error = transfer->error[0] != '\0' ? transfer->error : curl_easy_strerror(code);
      if (code == CURLE_TOO_MANY_REDIRECTS) result.error = "too many redirects";
    }
    Callback done = std::move(transfer->done);
    Remove(transfer);
    tasks.Post([done = std::move(done), result = std::move(result)]() mutable {
      done(std::move(result));
    });
  }
}

std::size_t HttpClient::Impl::OnWrite(char* data, std::size_t size, std::size_t count,
                                      void* opaque) {
  auto* transfer = static_cast<Transfer*>(opaque);
  std::size_t bytes = size * count;
  if (!transfer->checked_type) {
    transfer->checked_type = true;
    char* type = nullptr;
    curl_easy_getinfo(transfer->easy, CURLINFO_CONTENT_TYPE, &type);
    if (type != nullptr && !IsDocumentType(type)) {
      transfer->refusal = std::string("not a page: content type ") + type;
      transfer->refusal_kind = HttpErrorKind::kNotAPage;
      return 0;
    }
  }
  if (transfer->body.size() + bytes > transfer->max_body) {
    transfer->refusal = "page larger than " + std::to_string(transfer->max_body >> 20) + " MiB";
    transfer->refusal_kind = HttpErrorKind::kTooLarge;
    return 0;
  }
  transfer->body.append(data, bytes);
  return bytes;
}

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                           text.back() == '\n')) {
    text.remove_suffix(1);
  }
  return text;
}

// scheme://host[:port] of an absolute address, and the rest; false when
// `url` is not one.
bool SplitOrigin(std::string_view url, std::string_view* origin, std::string_view* rest) {
  const std::size_t scheme_end = url.find("://");
  if (scheme_end == std::string_view::npos) return false;
  std::size_t end = url.find_first_of("/?#", scheme_end + 3);
  if (end == std::string_view::npos) end = url.size();
  *origin = url.substr(0, end);
  *rest = url.substr(end);
  return true;
}

}  // namespace

std::size_t HttpClient::Impl::OnHeader(char* data, std::size_t size, std::size_t count,
                                       void* opaque) {
  auto* transfer = static_cast<Transfer*>(opaque);
  const std::size_t bytes = size * count;
  const std::string_view line = Trimmed(std::string_view(data, bytes));
  if (line.starts_with("HTTP/")) {  // a new response: a redirect hop or the final one
    transfer->header_status = 0;
    transfer->location.clear();
    const std::size_t space = line.find(' ');
    if (space != std::string_view::npos) {
      transfer->header_status =
          std::strtol(std::string(line.substr(space + 1, 3)).c_str(), nullptr, 10);
    }
  } else if (line.size() > 9 && text::AsciiLowered(line.substr(0, 9)) == "location:") {
    transfer->location = std::string(Trimmed(line.substr(9)));
  } else if (line.empty()) {  // the end of one response's header fields
    const long status = transfer->header_status;
    const bool redirect = status >= 300 && status < 400 && !transfer->location.empty();
    if (redirect && (status == 301 || status == 308)) {
      char* here = nullptr;
      curl_easy_getinfo(transfer->easy, CURLINFO_EFFECTIVE_URL, &here);
      if (here != nullptr) transfer->client->Remember(here, transfer->location);
    }
    if (!redirect && status >= 200 && transfer->headers) {
      transfer->client->tasks.Post(std::move(transfer->headers));
      transfer->headers = nullptr;
    }
  }
  return bytes;
}

void HttpClient::Impl::Remember(const std::string& from, const std::string& location) {
  CURLU* url = curl_url();
  if (url == nullptr) return;
  std::string target;
  char* resolved = nullptr;
  if (curl_url_set(url, CURLUPART_URL, from.c_str(), 0) == CURLUE_OK &&
      curl_url_set(url, CURLUPART_URL, location.c_str(), 0) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_URL, &resolved, 0) == CURLUE_OK) {
    target = resolved;
    curl_free(resolved);
  }
  curl_url_cleanup(url);
  if (target.empty() || target == from) return;
  // Only where this client would follow anyway.
  if (!target.starts_with("http://") && !target.starts_with("https://")) return;
  moved_addresses[from] = target;
  std::string_view from_origin, from_rest, to_origin, to_rest;
  if (SplitOrigin(from, &from_origin, &from_rest) && SplitOrigin(target, &to_origin, &to_rest) &&
      from_rest == to_rest && from_origin != to_origin) {
    moved_origins[std::string(from_origin)] = std::string(to_origin);
  }
}

std::string HttpClient::Impl::Remembered(std::string url) const {
  // A chain of remembered moves is followed as far as a redirect chain may go.
  for (long hop = 0; hop < limits.max_redirects; ++hop) {
    if (auto it = moved_addresses.find(url); it != moved_addresses.end()) {
      url = it->second;
      continue;
    }
    std::string_view origin, rest;
    if (!SplitOrigin(url, &origin, &rest)) break;
    auto it = moved_origins.find(std::string(origin));
    if (it == moved_origins.end()) break;
    url = it->second + std::string(rest);
  }
  return url;
}

}  // namespace docseek::platform
