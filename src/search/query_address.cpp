// SPDX-License-Identifier: MIT
#include "search/query_address.h"

namespace docseek::search {

const char kEngineName[] = "Sogou";

namespace {

void AppendQueryText(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '%':
        out += "%25";
        break;
      case '&':
        out += "%26";
        break;
      case '#':
        out += "%23";
        break;
      case '+':
        out += "%2B";
        break;
      default:
        out += c;
    }
  }
}

}  // namespace

std::string QueryAddress(std::string_view key, std::string_view type, std::int32_t count) {
  std::string address = "http://www.sogou.com/web?query=";
  AppendQueryText(address, key);
  address += " filetype:";
  AppendQueryText(address, type);
  address += "&tsn=2&pid=&duppid=1&p=40230105&num=";
  address += std::to_string(count);
  return address;
}

}  // namespace docseek::search
