// SPDX-License-Identifier: MIT
// Hostile answers, for testing how a client copes with an engine or a linked site that
// misbehaves. A fault is chosen per request by name: the document type of a /web query
// ("KEYWORD filetype:NAME") or the path /fault/NAME, so one search meets several of them.
//
//   refused       302 to https://127.0.0.1:P/ where P is a loopback port that refuses connections
//   reset         declares a 64 KiB body, sends 256 bytes of it, then resets the connection
//   hang          accepts the request and never answers
//   drip          a small page sent one byte a second
//   huge          a 100 MB body
//   gzipbomb      gzip, 1 MiB on the wire, 1 GiB unpacked
//   redirectloop  302 to itself, forever
//   tofile        302 to file:///etc/passwd
//   toscheme      302 to ftp://127.0.0.1/etc/passwd
//   fileframe     a result page with an iframe and a frame of file:///etc/passwd
//                 (--local-file PATH replaces /etc/passwd, so a test can watch its own file)
//   status500     HTTP 500 with a result page as its body
//   nonhtml       a result page sent as application/octet-stream
//   badcharset    a result page declared in a charset nobody knows
//   truncated     a result page cut off inside the last hit's link tag
//   nested        100 000 nested elements around the hits
//   bigtitle      a hit whose title is 1 MB
//   nul           NUL bytes inside the hits' text and markup
//   gzip          the ordinary result page, gzip encoded
//   deflate       the ordinary result page, deflate (zlib) encoded
//   tls           302 to https://127.0.0.1:T/ (T from --tls-port: a test's TLS endpoint; without
//                 it the engine's own plain-HTTP port, so the handshake fails either way)
//   toprivate     302 to http://127.0.0.1:OWN/web?... (a loopback target)
//   privateframe  a page without hits whose iframes point at loopback, private, link-local and
//                 unique-local addresses
//   framechain    a result page with a chain of 4 nested frames, each held back 25 s
//   amplify       hits nested in each other's summaries (output grows with hits x page size)
//   manyattributes  one tag with 100 000 distinct attribute names, then the ordinary hits
//
// Pages that carry hits are the synthetic page for the query (see synthetic.h), so a reader's
// output can be checked against SyntheticHit.
#ifndef DOCSEEK_ENGINE_FAULTS_H
#define DOCSEEK_ENGINE_FAULTS_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http.h"

namespace docseek::engine {

inline constexpr std::string_view kDefaultLocalFile = "/etc/passwd";

struct FaultContext {
  std::string_view query;  // decoded `query` parameter
  int hits = 0;            // from HitCount
  std::uint16_t own_port = 0;
  std::uint16_t tls_port = 0;                       // 0: none given
  std::string_view local_file = kDefaultLocalFile;  // what the file faults point at
};

// The answer of fault `name`, or nullopt when there is no such fault.
std::optional<Response> FaultResponse(std::string_view name, const FaultContext& context);

// A loopback port that refuses connections for the life of the process: bound, never listened
// on, so nothing else can take it.
std::uint16_t RefusingPort();

// `data` compressed whole, as a gzip member (gzip) or a zlib stream (deflate).
std::string Compress(std::string_view data, bool gzip);

}  // namespace docseek::engine

#endif  // DOCSEEK_ENGINE_FAULTS_H
