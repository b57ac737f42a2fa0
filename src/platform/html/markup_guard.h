// SPDX-License-Identifier: MIT
#pragma once

// A pass over the markup before gumbo sees it. Its parts: tokenizer.h (where
// tags begin and end), open_elements.h and formatting_list.h (the model of the
// tree builder), edit_buffer.h (the output).
//
// gumbo 0.10.1 (Debian 12) has no max_tree_depth option, and its tree builder
// walks the stack of open elements for most start tags (the "has an element in
// scope" checks), so N unclosed tags cost O(N^2): 100000 nested <div>s take
// ~14 s. This pass runs a light model of the tree builder (tokenizer states that
// matter, the stack of open elements with the usual implied end tags: p, li,
// dd/dt, option, table parts, headings, a, nobr, foreign content) and removes
// every start tag that would nest deeper than `max_depth`, together with the end
// tag that closes it, so the content of those elements lands in their deepest
// kept ancestor. Pages within the limit (every real result page) are not
// touched by it.
//
// Misnested formatting elements (<b>, <font>, ...) are modelled too: the tree
// builder re-opens them after they were closed implicitly, which a hostile page
// can turn into thousands of elements per few bytes (1 MiB of
// "<p><b x=N>t</p>" took 23 GB of memory). The guard keeps the list of active
// formatting elements at most 32 long (dropping further formatting start tags
// but <a>) and, once 50000 elements were re-opened, writes end tags that empty
// the list instead. Formatting elements have no boxes of their own, so text
// and line breaks stay as they were.
//
// It also removes the content of <noscript> elements: the browser runs with
// scripting on, where that content is raw text that is never rendered and holds
// no elements (gumbo parses it as with scripting off, which would put its
// elements, ids and frames into the document).

#include <cstddef>
#include <string>
#include <string_view>

namespace docseek::html {

// Like Blink's kMaximumHTMLParserDOMTreeDepth.
inline constexpr std::size_t kMaxDepth = 512;

struct GuardStats {
  std::size_t dropped_tags = 0;       // start and end tags removed for depth
  std::size_t noscript_contents = 0;  // <noscript> contents removed
  std::size_t max_depth_seen = 0;     // deepest nesting of the model (after dropping)
  std::size_t formatting_resets = 0;  // end tags written to empty the formatting list
  std::size_t elements = 0;           // elements the model opened (re-opened ones too)
};

// Returns true and sets `*out` to the edited markup when something had to be
// removed; returns false (and leaves `*out` alone) when `html` is fine as is.
bool GuardMarkup(std::string_view html, std::string* out, std::size_t max_depth = kMaxDepth,
                 GuardStats* stats = nullptr);

}  // namespace docseek::html
