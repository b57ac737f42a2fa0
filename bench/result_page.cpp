// SPDX-License-Identifier: MIT
#include "result_page.h"

#include <cstdint>

#include "support/hit_markup.h"

namespace docseek::bench {
namespace {

// Deterministic filler text: mixed Chinese and ASCII words.
class Words {
 public:
  std::string Next(int count) {
    static const char* const kWords[] = {
        "年度",    "报告", "技术", "规范",   "分析",   "文档", "下载",   "标准",    "管理",
        "系统",    "研究", "方案", "report", "annual", "data", "pdf",    "summary", "design",
        "network", "2010", "设计", "项目",   "说明书", "指南", "review", "version", "draft"};
    std::string out;
    for (int i = 0; i < count; ++i) {
      if (i) out += (Rand() % 5 == 0) ? "，" : " ";
      out += kWords[Rand() % (sizeof kWords / sizeof *kWords)];
    }
    return out;
  }
  uint32_t Rand() {
    state_ = state_ * 1103515245u + 12345u;
    return (state_ >> 16) & 0x7FFF;
  }

 private:
  uint32_t state_ = 20100503;
};

std::string Head(Words& words) {
  std::string s =
      "<!DOCTYPE html>\n<html><head>\n<meta http-equiv=\"Content-Type\" content=\"text/html; "
      "charset=utf-8\">\n<meta name=\"viewport\" content=\"width=device-width\">\n"
      "<title>年度报告 filetype:pdf - 搜狗搜索</title>\n"
      "<link rel=\"stylesheet\" href=\"//dlweb.sogoucdn.com/web/css/result.css\">\n"
      "<link rel=\"shortcut icon\" href=\"/images/logo/new/favicon.ico\">\n<style>\n";
  // A style sheet of ~40 KB.
  for (int i = 0; i < 600; ++i) {
    s += ".c" + std::to_string(i) + " .vrwrap h3 a:hover, .r" + std::to_string(i) +
         " cite { color: #" + std::to_string(100000 + i * 37 % 899999) +
         "; margin: 0 0 4px; font-size: 13px }\n";
  }
  s +=
      "</style>\n<script>\nvar uigs_para = {\"uigs_productid\":\"vs_web\",\"query\":\"%C4%EA\"};\n";
  // Scripts of ~50 KB: code with markup in strings, as real pages have.
  for (int i = 0; i < 400; ++i) {
    s += "function f" + std::to_string(i) +
         "(a, b) { if (a < b && b > 0) { document.getElementById('uigs" + std::to_string(i % 100) +
         "').innerHTML = '<div class=\"x\">' + a + '</div>'; } return '" + words.Next(3) + "'; }\n";
  }
  s += "</script>\n<script src=\"//dlweb.sogoucdn.com/web/js/result.js\"></script>\n</head>\n";
  return s;
}

std::string Top(Words& words) {
  std::string s =
      "<body class=\"web\">\n<div id=\"header\"><div class=\"header-box\">"
      "<a href=\"/\" class=\"logo\" id=\"logo\"><img src=\"/images/logo.png\" alt=\"搜狗\"></a>"
      "<form name=\"sf\" id=\"sf\" action=\"/web\"><span class=\"sec-input-box\">"
      "<input type=\"text\" class=\"sec-input\" name=\"query\" id=\"upquery\" value=\"年度报告\" "
      "autocomplete=\"off\"></span><input type=\"hidden\" name=\"ie\" value=\"utf8\">"
      "<input type=\"submit\" value=\"搜狗搜索\" id=\"searchBtn\"></form></div>\n"
      "<div class=\"nav\" id=\"nav\"><ul>";
  for (const char* tab : {"网页", "微信", "知乎", "图片", "视频", "医疗", "科学", "汉语", "英文",
                          "问问", "学术", "更多"}) {
    s += std::string("<li><a href=\"/") + "tab?query=%C4%EA&amp;t=" + tab +
         "\" onclick=\"st(this)\">" + tab + "</a></li>";
  }
  s += "</ul></div></div>\n<div id=\"wrapper\"><div id=\"main\" class=\"main\">\n"
       "<div class=\"search-info\"><p "
       "class=\"num-tips\">搜狗已为您找到约12,345条相关结果</p></div>\n"
       "<div class=\"results\" id=\"results\">\n";
  s += "<!-- results start: " + words.Next(6) + " -->\n";
  return s;
}

// One hit: the engine's markup, then the rest of a result block.
std::string Hit(int n, Words& words) {
  const std::string i = std::to_string(n);
  std::string s = "<div class=\"rb\" data-idx=\"" + i + "\">";
  const std::string summary = words.Next(12) + " <em>highlight</em> " + words.Next(20) + " ...";
  s += testing::HitMarkup(n, {.link = "http://www.example.com/files/report-" + i + ".pdf",
                              .title_html = "年度<em>report</em>报告 " + i,
                              .info_html = "www.example.com/files/report-" + i +
                                           ".pdf&nbsp;-&nbsp;123K&nbsp;-&nbsp;2010-5-3",
                              .summary_html = summary});
  s += "<div class=\"r-sech\"><span class=\"icon-pdf\"></span>"
       "<a class=\"sp\" href=\"/link?url=hedJjaC291NhsQr0CqhVfMkJcTVvTZWz" +
       i + "&amp;query=%C4%EA%B6%C8\" target=\"_blank\" id=\"sogou_snapshot_" + i +
       "\">网页快照</a>"
       " - <a href=\"/web?query=related+" +
       i +
       "&amp;from=rel\" class=\"rel\">相关搜索</a>"
       "<span class=\"time\" data-t=\"127288" +
       i + "\">2010-5-3</span></div>";
  s += "<script type=\"text/javascript\">uigs_para.hits.push({\"idx\":" + i +
       ",\"url\":\"http://www.example.com/files/report-" + i + ".pdf\",\"t\":\"pdf\",\"s\":\"" +
       words.Next(6) + "\"});</script>";
  s += "<div class=\"ext\" style=\"display:none\"><ul>";
  for (int k = 0; k < 6; ++k) {
    s += "<li><a href=\"/web?query=" + std::to_string(n * 10 + k) + "&amp;ie=utf8\">" +
         words.Next(4) + "</a></li>";
  }
  s += "</ul></div></div>\n";
  return s;
}

std::string Bottom(Words& words) {
  std::string s = "</div>\n<div id=\"pagebar_container\" class=\"p\"><span>1</span>";
  for (int p = 2; p <= 10; ++p) {
    s += "<a href=\"/web?query=%C4%EA&amp;page=" + std::to_string(p) +
         "&amp;ie=utf8\" id=\"sogou_page_" + std::to_string(p) + "\">" + std::to_string(p) + "</a>";
  }
  s += "<a href=\"/web?query=%C4%EA&amp;page=2\" id=\"sogou_next\" class=\"np\">下一页</a></div>\n"
       "<div class=\"hint-mid\" id=\"hint_container\"><table><tr>";
  for (int k = 0; k < 10; ++k) {
    s += "<td><a href=\"/web?query=" + std::to_string(k) + "\">" + words.Next(3) + "</a></td>";
    if (k == 4) s += "</tr><tr>";
  }
  s += "</tr></table></div></div>\n<div id=\"right\" class=\"right\">";
  for (int k = 0; k < 20; ++k) {
    s += "<div class=\"r-box\"><h4>" + words.Next(2) + "</h4><p>" + words.Next(30) + "</p></div>";
  }
  s += "</div></div>\n<div id=\"footer\" class=\"footer\"><p><a "
       "href=\"http://help.sogou.com/\">帮助</a> "
       "- <a href=\"http://www.sogou.com/docs/terms.htm\">免责声明</a> - "
       "&copy;&nbsp;2024&nbsp;SOGOU.COM&nbsp;京ICP证050897号</p></div>\n"
       "<noscript><img src=\"/pv.gif?noscript=1\"></noscript>\n"
       "<script>(function(){var s=document.createElement('script');s.src='//pb.sogou.com/pv.js';"
       "document.body.appendChild(s);})();</script>\n</body></html>\n";
  return s;
}

}  // namespace

std::string ResultPage(int hits) {
  Words words;
  std::string page = Head(words) + Top(words);
  for (int n = 0; n < hits; ++n) page += Hit(n, words);
  page += Bottom(words);
  return page;
}

}  // namespace docseek::bench
