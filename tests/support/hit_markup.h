// SPDX-License-Identifier: MIT
#pragma once

// The markup of one hit on the engine's result page, as the hit loop reads it:
//   <div class="vrwrap"><h3 class="vrTitle"><a id="uigsN" href="LINK" target="_blank">TITLE</a>
//   </h3><div class="fb"><cite id="cacheresult_info_N">INFO</cite></div>
//   <p class="str_info" id="cacheresult_summary_N">SUMMARY</p></div>
// Header-only, so that the tests and the benchmark share it without linking.

#include <string>
#include <string_view>

namespace docseek::testing {

struct HitFields {
  std::string_view link;
  std::string_view title_html;
  std::string_view info_html;
  std::string_view summary_html;
  bool with_info = true;  // false: the hit has no info element at all
};

inline std::string HitMarkup(int n, const HitFields& hit) {
  const std::string number = std::to_string(n);
  std::string s = "<div class=\"vrwrap\"><h3 class=\"vrTitle\"><a id=\"uigs";
  s += number;
  s += "\" href=\"";
  s += hit.link;
  s += "\" target=\"_blank\">";
  s += hit.title_html;
  s += "</a></h3>";
  if (hit.with_info) {
    s += "<div class=\"fb\"><cite id=\"cacheresult_info_";
    s += number;
    s += "\">";
    s += hit.info_html;
    s += "</cite></div>";
  }
  s += "<p class=\"str_info\" id=\"cacheresult_summary_";
  s += number;
  s += "\">";
  s += hit.summary_html;
  s += "</p></div>";
  return s;
}

}  // namespace docseek::testing
