// SPDX-License-Identifier: MIT
#include "extraction/hit_loop.h"

#include <array>
#include <exception>

#include "extraction/split_pieces.h"
#include "platform/error.h"

namespace docseek::extraction {

namespace {

std::string MemberName(Member member) { return member == Member::kHref ? "href" : "innerText"; }

}  // namespace

std::string ReadMember(const platform::TWebBrowser& browser, const std::string& id, Member member) {
  std::shared_ptr<const dom::Document> document = browser.OleObject().Document();
  const dom::Element* element = document->getElementById(id);
  if (element == nullptr) throw Error("no element with id \"" + id + "\"");
  switch (member) {
    case Member::kInnerText:
      return document->innerText(*element);
    case Member::kHref:
      return document->href(*element);
  }
  throw Error("an element has no such member");
}

void ReadHits(const platform::TWebBrowser& browser, platform::TProgressBar& progress,
              std::int32_t count, platform::TStrings& results,
              const std::function<void()>& on_hit) {
  for (std::int32_t n = 0; n < count; ++n) {
    progress.StepBy(1);
    const std::string number = std::to_string(n);
    const std::string title_id = "uigs" + number;

    std::string title;
    try {
      title = ReadMember(browser, title_id, Member::kInnerText);
    } catch (const std::exception&) {
      return;  // the page has no more hits
    }

    // Past the title a failed read ends the page; its message names the hit
    // and what was missing, for the user to see.
    const auto read = [&](const std::string& id, Member member) {
      try {
        return ReadMember(browser, id, member);
      } catch (const Error& e) {
        throw Error("hit " + number + ": " + e.what() + " (reading " + MemberName(member) + ")");
      }
    };

    std::array<std::string, 6> record;
    record[0] = RemoveCharacters(title, kTitleCharacters);

    std::vector<std::string> link =
        SplitPieces(read(title_id, Member::kHref), kLinkSeparators, kLinkBlanks);
    if (link.empty()) throw Error("hit " + number + ": the link has no suffix");
    record[1] = link.back();

    std::vector<std::string> info = SplitPieces(
        read("cacheresult_info_" + number, Member::kInnerText), kInfoSeparators, kInfoBlanks);
    if (info.size() < 2) throw Error("hit " + number + ": the info line has no size and date");
    record[2] = RemoveCharacters(info[info.size() - 2], kSizeCharacters);
    record[3] = info.back();

    record[4] = read("cacheresult_summary_" + number, Member::kInnerText);
    record[5] = read(title_id, Member::kHref);

    for (const std::string& line : record) results.Add(line);
    if (on_hit) on_hit();
  }
}

}  // namespace docseek::extraction
