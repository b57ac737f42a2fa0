// SPDX-License-Identifier: MIT
#include "faults.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <string>

#include "synthetic.h"

namespace docseek::engine {
namespace {

using Maker = Response (*)(const FaultContext&);

Response Html(std::string body, std::string content_type = "text/html; charset=utf-8") {
  Response r;
  r.content_type = std::move(content_type);
  r.body = std::move(body);
  return r;
}

Response Redirect(std::string to) {
  Response r = ErrorResponse(302);
  r.headers.emplace_back("Location", std::move(to));
  return r;
}

std::string LocalFileUrl(const FaultContext& c) { return "file://" + std::string(c.local_file); }

std::string Page(const FaultContext& c) { return RenderResultPage(c.query, c.hits); }

// Inserts `text` just after the first occurrence of `marker` in `page`.
std::string InsertAfter(std::string page, std::string_view marker, std::string_view text) {
  const auto at = page.find(marker);
  if (at != std::string::npos) page.insert(at + marker.size(), text);
  return page;
}

Response Refused(const FaultContext&) {
  // Through a proxy an http address would reach the proxy, not the port; https goes direct.
  return Redirect("https://127.0.0.1:" + std::to_string(RefusingPort()) + "/");
}

Response Reset(const FaultContext& c) {
  Response r = Html(Page(c));
  r.body.resize(64 * 1024, ' ');
  r.reset_after = 256;  // inside the page's head: no hit arrives
  return r;
}

Response Hang(const FaultContext&) {
  Response r = Html("<html><body>never sent</body></html>");
  r.delay = std::chrono::hours(1);  // longer than any client waits; the client's close ends it
  return r;
}

Response Drip(const FaultContext& c) {
  Response r = Html(Page(c));
  r.drip = std::chrono::seconds(1);
  return r;
}

Response Huge(const FaultContext&) {
  static const std::string body = [] {
    std::string b = "<!DOCTYPE html><html><head><title>huge</title></head><body><p id=\"x\">";
    b.resize(100'000'000, 'x');
    return b;
  }();
  return Html(body);
}

// 1 GiB of zeros in about 1 MiB of gzip. Deflate blocks ended by a sync flush are byte
// aligned, and a block that only copies zeros from the previous 32 KiB decodes the same
// wherever it stands after zeros, so one compressed mebibyte is repeated.
Response GzipBomb(const FaultContext&) {
  static const std::string body = [] {
    constexpr std::size_t kChunk = 1 << 20;
    constexpr int kChunks = 1024;
    const std::string zeros(kChunk, '\0');
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
    std::string buffer(2 * kChunk, '\0');
    const auto run = [&](std::string_view in, int flush) {
      z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
      z.avail_in = static_cast<uInt>(in.size());
      z.next_out = reinterpret_cast<Bytef*>(buffer.data());
      z.avail_out = static_cast<uInt>(buffer.size());
      deflate(&z, flush);
      return std::string(buffer.data(), buffer.size() - z.avail_out);
    };
    const std::string first = run(zeros, Z_SYNC_FLUSH);
    const std::string repeat = run(zeros, Z_SYNC_FLUSH);
    const std::string last = run({}, Z_FINISH);
    deflateEnd(&z);

    std::string out("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03", 10);
    out += first;
    for (int i = 1; i < kChunks; ++i) out += repeat;
    out += last;
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(zeros.data()), kChunk);
    const uLong chunk_crc = crc;
    for (int i = 1; i < kChunks; ++i) crc = crc32_combine(crc, chunk_crc, kChunk);
    const std::uint32_t trailer[2] = {static_cast<std::uint32_t>(crc),
                                      static_cast<std::uint32_t>(std::uint64_t{kChunk} * kChunks)};
    for (std::uint32_t v : trailer) {
      for (int b = 0; b < 4; ++b) out += static_cast<char>((v >> (8 * b)) & 0xFF);
    }
    return out;
  }();
  Response r = Html(body);
  r.headers.emplace_back("Content-Encoding", "gzip");
  return r;
}

Response RedirectLoop(const FaultContext&) { return Redirect("/fault/redirectloop"); }
Response ToFile(const FaultContext& c) { return Redirect(LocalFileUrl(c)); }
Response ToScheme(const FaultContext& c) {
  return Redirect("ftp://127.0.0.1" + std::string(c.local_file));
}

Response FileFrame(const FaultContext& c) {
  const std::string url = LocalFileUrl(c);
  return Html(InsertAfter(Page(c), "<body>\n",
                          "<iframe src=\"" + url + "\"></iframe><frame src=\"" + url + "\">\n"));
}

Response Status500(const FaultContext& c) {
  Response r = Html(Page(c));
  r.status = 500;
  return r;
}

Response NonHtml(const FaultContext& c) { return Html(Page(c), "application/octet-stream"); }

Response BadCharset(const FaultContext& c) {
  std::string page = Page(c);
  const std::string declared = "<meta charset=\"utf-8\">";
  if (const auto at = page.find(declared); at != std::string::npos) {
    page.replace(at, declared.size(), "<meta charset=\"x-no-such-charset\">");
  }
  return Html(std::move(page), "text/html; charset=x-no-such-charset");
}

Response Truncated(const FaultContext& c) {
  std::string page = Page(c);
  // Cut inside the last hit's link tag: that hit never gets its id, the earlier ones stay whole,
  // and no element or the page is ever closed.
  const std::string last = "<a id=\"uigs" + std::to_string(c.hits > 0 ? c.hits - 1 : 0) + "\"";
  const auto at = page.find(last);
  page.resize(at == std::string::npos ? page.size() / 2 : at + 5);
  return Html(std::move(page));
}

Response Nested(const FaultContext& c) {
  constexpr int kDepth = 100'000;
  std::string open, close;
  open.reserve(kDepth * 5);
  close.reserve(kDepth * 6);
  for (int i = 0; i < kDepth; ++i) {
    open += "<div>";
    close += "</div>";
  }
  std::string page = Page(c);
  page = InsertAfter(std::move(page), "<div class=\"results\">\n", open);
  page = InsertAfter(std::move(page), "<div id=\"footer\">", close);
  return Html(std::move(page));
}

Response BigTitle(const FaultContext& c) {
  // Hit 0's title (its link's text) grows by 1 MB of letters and spaces.
  std::string big;
  big.reserve(1'000'000);
  while (big.size() < 1'000'000) big += "title word ";
  return Html(InsertAfter(Page(c), "target=\"_blank\">", big));
}

Response Nul(const FaultContext& c) {
  std::string page = Page(c);
  // In text, in a tag name's neighbourhood and inside an attribute value.
  for (const std::string_view marker :
       {std::string_view("<cite id=\"cacheresult_info_0\">"),
        std::string_view("class=\"str_info\""), std::string_view("<h3 class=\"vrTitle\">")}) {
    page = InsertAfter(std::move(page), marker, std::string_view("\0x\0", 3));
  }
  return Html(std::move(page));
}

Response Encoded(const FaultContext& c, bool gzip) {
  Response r = Html(Compress(Page(c), gzip));
  r.headers.emplace_back("Content-Encoding", gzip ? "gzip" : "deflate");
  return r;
}
Response Gzip(const FaultContext& c) { return Encoded(c, true); }
Response Deflate(const FaultContext& c) { return Encoded(c, false); }

Response Tls(const FaultContext& c) {
  return Redirect("https://127.0.0.1:" + std::to_string(c.tls_port ? c.tls_port : c.own_port) +
                  "/");
}

std::string UrlEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

std::string Keyword(const FaultContext& c) { return SplitQuery(c.query).keyword; }

// The browser's private-network protection is what these test: targets on this machine or on
// a private network, which a page from the internet must never reach.
Response ToPrivate(const FaultContext& c) {
  return Redirect("http://127.0.0.1:" + std::to_string(c.own_port) + "/web?query=" +
                  UrlEncode(Keyword(c) + " filetype:private") + "&num=" + std::to_string(c.hits));
}

Response PrivateFrame(const FaultContext& c) {
  std::string frames;
  for (const std::string& host :
       {"127.0.0.1:" + std::to_string(c.own_port), std::string("localhost"),
        std::string("10.1.2.3"), std::string("192.168.1.1"), std::string("169.254.169.254"),
        std::string("[::1]"), std::string("[fd00::1]")}) {
    frames += "<iframe src=\"http://" + host +
              "/web?query=" + UrlEncode(Keyword(c) + " filetype:private") + "\"></iframe>\n";
  }
  // The page itself has no hits: any record must have come through a frame.
  return Html(InsertAfter(RenderResultPage(c.query, 0), "<body>\n", frames));
}

// A page whose frame, and that frame's frame, and so on, each take almost 30 s.
Response FrameChain(const FaultContext& c, int depth) {
  std::string page = depth == 0 ? Page(c) : "<html><body>frame " + std::to_string(depth);
  if (depth < 4) {
    page =
        InsertAfter(std::move(page), "<body>",
                    "<iframe src=\"/fault/framechain" + std::to_string(depth + 1) + "\"></iframe>");
  }
  Response r = Html(std::move(page));
  if (depth > 0) r.delay = std::chrono::seconds(25);
  return r;
}

// Each hit's summary holds the next hit, so that the text of the first summary is the whole
// rest of the page, and so on: the page's own size times the number of hits in output.
Response Amplify(const FaultContext& c) {
  const std::string filler(8 * 1024, 'a');
  const SearchTerms terms = SplitQuery(c.query);
  std::string open, close;
  for (int n = 0; n < c.hits; ++n) {
    const Hit hit = SyntheticHit(terms.keyword, terms.type, n);
    const std::string id = std::to_string(n);
    open += "<a id=\"uigs" + id + "\" href=\"" + hit.link + "\">t" + id +
            "</a><cite id=\"cacheresult_info_" + id + "\">" + HtmlEscape(hit.info) +
            "</cite><div id=\"cacheresult_summary_" + id + "\">" + filler + " ";
    close += "</div>";
  }
  return Html("<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" + open + close +
              "</body></html>");
}

// One tag with 100 000 distinct attribute names, before the ordinary hits.
Response ManyAttributes(const FaultContext& c) {
  std::string tag = "<div";
  for (int i = 0; i < 100'000; ++i) tag += " a" + std::to_string(i) + "=1";
  tag += "></div>";
  return Html(InsertAfter(Page(c), "<body>\n", tag));
}

struct Fault {
  std::string_view name;
  Maker make;
};

constexpr Fault kFaults[] = {
    {"refused", &Refused},
    {"reset", &Reset},
    {"hang", &Hang},
    {"drip", &Drip},
    {"huge", &Huge},
    {"gzipbomb", &GzipBomb},
    {"redirectloop", &RedirectLoop},
    {"tofile", &ToFile},
    {"toscheme", &ToScheme},
    {"fileframe", &FileFrame},
    {"status500", &Status500},
    {"nonhtml", &NonHtml},
    {"badcharset", &BadCharset},
    {"truncated", &Truncated},
    {"nested", &Nested},
    {"bigtitle", &BigTitle},
    {"nul", &Nul},
    {"gzip", &Gzip},
    {"deflate", &Deflate},
    {"tls", &Tls},
    {"toprivate", &ToPrivate},
    {"privateframe", &PrivateFrame},
    {"framechain", [](const FaultContext& c) { return FrameChain(c, 0); }},
    {"framechain1", [](const FaultContext& c) { return FrameChain(c, 1); }},
    {"framechain2", [](const FaultContext& c) { return FrameChain(c, 2); }},
    {"framechain3", [](const FaultContext& c) { return FrameChain(c, 3); }},
    {"framechain4", [](const FaultContext& c) { return FrameChain(c, 4); }},
    {"amplify", &Amplify},
    {"manyattributes", &ManyAttributes},
};

}  // namespace

std::optional<Response> FaultResponse(std::string_view name, const FaultContext& context) {
  for (const Fault& fault : kFaults) {
    if (fault.name == name) return fault.make(context);
  }
  return std::nullopt;
}

std::uint16_t RefusingPort() {
  static const std::uint16_t port = [] {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      return std::uint16_t{1};  // reserved and closed on every ordinary machine
    }
    return ntohs(addr.sin_port);  // fd stays open, so the port stays ours and unlistened
  }();
  return port;
}

std::string Compress(std::string_view data, bool gzip) {
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, gzip ? 31 : 15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, data.size()) + 32, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(out.size() - z.avail_out);
  deflateEnd(&z);
  return out;
}

}  // namespace docseek::engine
