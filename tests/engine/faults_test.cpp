// SPDX-License-Identifier: MIT
// The engine's hostile answers, checked in-process: what each one puts on the wire.

#include "faults.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>

#include <cerrno>
#include <optional>
#include <string>

#include "synthetic.h"

namespace docseek::engine {
namespace {

constexpr std::string_view kQuery = "report filetype:gzip";

FaultContext Context() {
  FaultContext c;
  c.query = kQuery;
  c.hits = 3;
  c.own_port = 8080;
  return c;
}

std::optional<std::string> HeaderOf(const Response& r, std::string_view name) {
  for (const auto& [n, v] : r.headers) {
    if (n == name) return v;
  }
  return std::nullopt;
}

// Inflates gzip or zlib data (detected from its header); returns the size of the output and
// whether the stream ended properly (checksum included). `keep` bytes of output are kept.
struct Inflated {
  std::size_t size = 0;
  bool complete = false;
  std::string head;
  bool only_zeros = true;
};
Inflated Inflate(const std::string& data, std::size_t keep) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, 47), Z_OK);
  Inflated out;
  std::string buffer(1 << 20, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buffer.data());
    z.avail_out = static_cast<uInt>(buffer.size());
    rc = inflate(&z, Z_NO_FLUSH);
    const std::size_t n = buffer.size() - z.avail_out;
    if (out.head.size() < keep) out.head.append(buffer.data(), std::min(n, keep - out.head.size()));
    if (out.only_zeros && buffer.find_first_not_of('\0') < n) out.only_zeros = false;
    out.size += n;
  }
  out.complete = rc == Z_STREAM_END && z.avail_in == 0;
  inflateEnd(&z);
  return out;
}

TEST(EngineFaults, CompressedPagesUnpackToTheOrdinaryPage) {
  const std::string page = RenderResultPage(kQuery, 3);
  for (const char* name : {"gzip", "deflate"}) {
    SCOPED_TRACE(name);
    const auto r = FaultResponse(name, Context());
    ASSERT_TRUE(r);
    EXPECT_EQ(HeaderOf(*r, "Content-Encoding"), name);
    EXPECT_LT(r->body.size(), page.size());
    const Inflated inflated = Inflate(r->body, page.size() + 1);
    EXPECT_TRUE(inflated.complete);
    EXPECT_EQ(inflated.head, page);
  }
  // gzip carries the gzip magic; deflate, as HTTP means it, is a zlib stream.
  EXPECT_EQ(FaultResponse("gzip", Context())->body.substr(0, 2), "\x1f\x8b");
  EXPECT_EQ(static_cast<unsigned char>(FaultResponse("deflate", Context())->body[0]) & 0x0F, 8);
}

TEST(EngineFaults, TheGzipBombIsSmallOnTheWireAndAGibibyteOfZerosUnpacked) {
  const auto r = FaultResponse("gzipbomb", Context());
  ASSERT_TRUE(r);
  EXPECT_EQ(HeaderOf(*r, "Content-Encoding"), "gzip");
  EXPECT_LT(r->body.size(), 2u << 20);
  const Inflated inflated = Inflate(r->body, 0);
  EXPECT_TRUE(inflated.complete);  // length and CRC in the trailer agree
  EXPECT_EQ(inflated.size, std::size_t{1} << 30);
  EXPECT_TRUE(inflated.only_zeros);
}

TEST(EngineFaults, RedirectsPointWhereTheyShould) {
  FaultContext c = Context();
  c.local_file = "/tmp/x/secret";
  c.tls_port = 4433;
  struct Case {
    const char* name;
    std::string location;
  } cases[] = {
      {"tofile", "file:///tmp/x/secret"},
      {"toscheme", "ftp://127.0.0.1/tmp/x/secret"},
      {"redirectloop", "/fault/redirectloop"},
      {"tls", "https://127.0.0.1:4433/"},
      {"refused", "https://127.0.0.1:" + std::to_string(RefusingPort()) + "/"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    const auto r = FaultResponse(k.name, c);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, 302);
    EXPECT_EQ(HeaderOf(*r, "Location"), k.location);
  }
  c.tls_port = 0;  // no endpoint given: the engine's own plain port, where TLS fails too
  EXPECT_EQ(HeaderOf(*FaultResponse("tls", c), "Location"), "https://127.0.0.1:8080/");
  const auto frame = FaultResponse("fileframe", c);
  EXPECT_NE(frame->body.find("<iframe src=\"file:///tmp/x/secret\">"), std::string::npos);
}

TEST(EngineFaults, TheRefusingPortRefuses) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(fd, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(RefusingPort());
  EXPECT_NE(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  EXPECT_EQ(errno, ECONNREFUSED);
  ::close(fd);
}

TEST(EngineFaults, PageShapes) {
  const FaultContext c = Context();
  const std::string page = RenderResultPage(kQuery, 3);
  EXPECT_EQ(FaultResponse("status500", c)->status, 500);
  EXPECT_EQ(FaultResponse("status500", c)->body, page);
  EXPECT_EQ(FaultResponse("nonhtml", c)->content_type, "application/octet-stream");
  EXPECT_EQ(FaultResponse("badcharset", c)->content_type, "text/html; charset=x-no-such-charset");
  const std::string truncated = FaultResponse("truncated", c)->body;
  EXPECT_TRUE(page.starts_with(truncated));
  EXPECT_NE(truncated.find("id=\"uigs1\""), std::string::npos);
  EXPECT_EQ(truncated.find("id=\"uigs2\""), std::string::npos);
  EXPECT_GT(FaultResponse("nested", c)->body.size(), 1'000'000u);
  EXPECT_GE(FaultResponse("bigtitle", c)->body.size(), page.size() + 1'000'000);
  EXPECT_NE(FaultResponse("nul", c)->body.find('\0'), std::string::npos);
  EXPECT_EQ(FaultResponse("huge", c)->body.size(), 100'000'000u);
  const Response reset = *FaultResponse("reset", c);
  EXPECT_EQ(reset.body.size(), 64u * 1024);
  EXPECT_EQ(reset.reset_after, 256u);
  EXPECT_GT(FaultResponse("hang", c)->delay, std::chrono::minutes(1));
  EXPECT_EQ(FaultResponse("drip", c)->drip, std::chrono::seconds(1));
  EXPECT_FALSE(FaultResponse("pdf", c));
  EXPECT_FALSE(FaultResponse("", c));
}

}  // namespace
}  // namespace docseek::engine
