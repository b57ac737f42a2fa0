// SPDX-License-Identifier: MIT
// The URL parser and serializer on the corners where an RFC 3986 resolver
// writes other addresses than browsers do: userinfo, dot segments, empty
// query and fragment, IPv4 and IPv6 forms, international names, special
// schemes without slashes, file: URLs, non-special paths, opaque bases, and
// queries in the page's encoding.

#include "platform/url/url_parser.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/encoding/gb18030.h"

namespace url = docseek::platform::url;

namespace {

struct Case {
  const char* input;
  const char* base;  // nullptr: none
  const char* href;  // nullptr: not a URL
};

std::optional<std::string> Resolve(const char* input, const char* base_text,
                                   const url::QueryEncoder& encoder = {}) {
  std::optional<url::Url> base;
  if (base_text) {
    base = url::ParseUrl(base_text);
    if (!base) return "base does not parse";
  }
  const auto parsed = url::ParseUrl(input, base ? &*base : nullptr, encoder);
  if (!parsed) return std::nullopt;
  return parsed->Serialize();
}

void Check(const Case* begin, const Case* end) {
  for (const Case* c = begin; c != end; ++c) {
    const auto got = Resolve(c->input, c->base);
    if (c->href) {
      EXPECT_EQ(got, std::optional<std::string>(c->href))
          << "input <" << c->input << "> base <" << (c->base ? c->base : "") << ">";
    } else {
      EXPECT_EQ(got, std::nullopt) << "input <" << c->input << "> should not parse";
    }
  }
}

TEST(UrlParser, UserinfoPathQueryFragment) {
  const Case cases[] = {
      {"http://:@x.com/", nullptr, "http://x.com/"},
      {"http://u:@x.com/", nullptr, "http://u@x.com/"},
      {"http://:p@x.com/", nullptr, "http://:p@x.com/"},
      {"http://a@b@x.com/", nullptr, "http://a%40b@x.com/"},
      {"http://@x.com/", nullptr, "http://x.com/"},
      {"http://u@/", nullptr, nullptr},
      {"/a/%2e/b", "http://h/", "http://h/a/b"},
      {"/a/.%2E/b", "http://h/", "http://h/b"},
      {"/a/%2E%2e", "http://h/", "http://h/"},
      {"../../../x", "http://h/a/b", "http://h/x"},
      {"http://h/p?", nullptr, "http://h/p?"},
      {"http://h/p#", nullptr, "http://h/p#"},
      {"?", "http://h/p?q#f", "http://h/p?"},
      {"#", "http://h/p?q#f", "http://h/p?q#"},
      {"", "http://h/p?q#f", "http://h/p?q"},
      {"http://h/a\x0B"
       "b",
       nullptr, "http://h/a%0Bb"},
      {"http://h/a b?c d#e f", nullptr, "http://h/a%20b?c%20d#e%20f"},
      {"http://h/?'", nullptr, "http://h/?%27"},
      {"x://h/?'", nullptr, "x://h/?'"},
      {"http://h/\xE4\xB8\xAD", nullptr, "http://h/%E4%B8%AD"},
      {" \t http://h/\n\r ", nullptr, "http://h/"},
      {"http://h:80/", nullptr, "http://h/"},
      {"http://h:0080/", nullptr, "http://h/"},
      {"https://h:80/", nullptr, "https://h:80/"},
      {"http://h:65536/", nullptr, nullptr},
      {"http://h:8a/", nullptr, nullptr},
  };
  Check(std::begin(cases), std::end(cases));
}

TEST(UrlParser, Hosts) {
  const Case cases[] = {
      {"http://[::127.0.0.1]/", nullptr, "http://[::7f00:1]/"},
      {"http://[0:0:0:0:0:ffff:1.2.3.4]/", nullptr, "http://[::ffff:102:304]/"},
      {"http://[1:0:0:2:0:0:0:3]/", nullptr, "http://[1:0:0:2::3]/"},
      {"http://[1:0:0:2:0:0:3:4]/", nullptr, "http://[1::2:0:0:3:4]/"},
      {"http://[::1.2.3]/", nullptr, nullptr},
      {"http://[::1.2.3.04]/", nullptr, nullptr},
      {"http://[1::2::3]/", nullptr, nullptr},
      {"http://0x7f.1/", nullptr, "http://127.0.0.1/"},
      {"http://2130706433/", nullptr, "http://127.0.0.1/"},
      {"http://017700000001/", nullptr, "http://127.0.0.1/"},
      {"http://127.0.0.1./", nullptr, "http://127.0.0.1/"},
      {"http://0x/", nullptr, "http://0.0.0.0/"},
      {"http://256.0.0.1/", nullptr, nullptr},
      {"http://1.2.3.4.5/", nullptr, nullptr},
      {"http://0x100000000/", nullptr, nullptr},
      {"http://1.2.3.09/", nullptr, nullptr},
      {"http://1.2.3.4x/", nullptr, "http://1.2.3.4x/"},
      {"http://EXAMPLE.Com/", nullptr, "http://example.com/"},
      {"http://ex%41mple.com/", nullptr, "http://example.com/"},
      {"http://fa\xC3\x9F.de/", nullptr, "http://xn--fa-hia.de/"},
      {"http://\xE4\xB8\xAD\xE6\x96\x87.com/", nullptr, "http://xn--fiq228c.com/"},
      {"http://a\xE2\x80\x8D"
       "b\xC3\xA9.com/",
       nullptr, nullptr},
      {"http://a\xD7\x90\xC3\xA9.com/", nullptr, nullptr},
      {"http://x%00y/", nullptr, nullptr},
      // Symbols UTS #46 keeps though IDNA2008 refuses them.
      {"http://\xE2\x98\x83.COM/", nullptr, "http://xn--n3h.com/"},
      {"http://i\xE2\x9D\xA4.ws/", nullptr, "http://xn--i-7iq.ws/"},
      {"http://\xF0\x9F\x98\x80.Fa\xC3\x9F.de/", nullptr, "http://xn--e28h.xn--fa-hia.de/"},
      {"http://A\xE2\x98\x83\xC3\x89/", nullptr, "http://xn--a-bga706z/"},
      {"http://\xE2\x98\x83\xE3\x80\x82"
       "com/",
       nullptr, "http://xn--n3h.com/"},
      {"http://\xEF\xBF\xBD.com/", nullptr, nullptr},
      {"http://a\xE2\x80\xA8"
       "b.com/",
       nullptr, nullptr},
      {"http://a<b/", nullptr, nullptr},
      {"http://a%25b/", nullptr, nullptr},
      {"x://a%25b/", nullptr, "x://a%25b/"},
      {"x://A\xC3\xA9/", nullptr, "x://A%C3%A9/"},
      {"x://a b/", nullptr, nullptr},
  };
  Check(std::begin(cases), std::end(cases));
}

TEST(UrlParser, SchemesFileAndOpaquePaths) {
  const Case cases[] = {
      {"wss:example.com/", nullptr, "wss://example.com/"},
      {"http:/x", nullptr, "http://x/"},
      {"http:///x", nullptr, "http://x/"},
      {"http:x", "http://h/a/b", "http://h/a/x"},
      {"https:x", "http://h/a/b", "https://x/"},
      {"file:c:\\foo", nullptr, "file:///c:/foo"},
      {"file:///C|/x", nullptr, "file:///C:/x"},
      {"file://localhost/x", nullptr, "file:///x"},
      {"file://LocalHost/x", nullptr, "file:///x"},
      {"file://host/share", nullptr, "file://host/share"},
      {"file://C:/x", nullptr, "file:///C:/x"},
      {"..", "file:///C:/a/b", "file:///C:/"},
      {"/x", "file:///C:/a/b", "file:///C:/x"},
      {"//h/x", "file:///C:/a/b", "file://h/x"},
      {"x", "file:///", "file:///x"},
      {"file:", "file:///a?q#f", "file:///a?q"},
      {"h:/.x", nullptr, "h:/.x"},
      {"h:/..//p", nullptr, "h:/.//p"},
      {"h://x/..//p", nullptr, "h://x//p"},
      {"h:p/q", nullptr, "h:p/q"},
      {"", "mailto:x", nullptr},
      {"y", "mailto:x", nullptr},
      {"#f", "mailto:x", "mailto:x#f"},
      {"javascript:a b", nullptr, "javascript:a b"},
      {"data:a ?q", nullptr, "data:a%20?q"},
      {"mailto:A\x01\xC3\xA9", nullptr, "mailto:A%01%C3%A9"},
      {"a:", nullptr, "a:"},
      {"1a:b", nullptr, nullptr},
      {"1a:b", "http://h/", "http://h/1a:b"},
  };
  Check(std::begin(cases), std::end(cases));
}

// A page in GBK writes its queries with the GBK encoder; what that cannot
// write goes as a numeric character reference, percent-encoded.
TEST(UrlParser, QueryInThePageEncoding) {
  const url::QueryEncoder gbk = [](char32_t cp, std::string& out) {
    return docseek::platform::encoding::EncodeGb18030(cp, true, out);
  };
  const struct {
    const char* input;
    const char* href;
  } cases[] = {
      {"http://h/?q=\xE4\xB8\xAD", "http://h/?q=%D6%D0"},
      {"http://h/?q=\xF0\xA0\x80\x80", "http://h/?q=%26%23131072%3B"},
      {"http://h/?\xE2\x82\xAC&x=' #\xE4\xB8\xAD", "http://h/?%80&x=%27%20#%E4%B8%AD"},
      {"http://h/\xE4\xB8\xAD?a", "http://h/%E4%B8%AD?a"},
      {"ws://h/?\xE4\xB8\xAD", "ws://h/?%E4%B8%AD"},
      {"x://h/?\xE4\xB8\xAD", "x://h/?%E4%B8%AD"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Resolve(c.input, nullptr, gbk), std::optional<std::string>(c.href)) << c.input;
  }
}

}  // namespace
