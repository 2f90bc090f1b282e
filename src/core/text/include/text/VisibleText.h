// The text a reader sees in an HTML document, as a browser's innerText gives
// it: block elements on their own lines, table cells separated by a tab,
// line breaks for <br>, white space collapsed outside <pre>, entities
// decoded; scripts, styles, templates, the head, comments and hidden content
// (the `hidden` attribute, display:none in a style attribute) left out.
//
// Documents come from archives and may be hostile. The work is bounded: an
// input longer than `maxInputBytes` or nested deeper than `maxDepth` is
// parsed only up to that point, and the walk stops at `maxTime`. Nothing is
// fetched, no script runs. Thread-safe: no shared state.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace bw {

struct TextBounds {
  std::size_t maxInputBytes = 16u << 20;
  // Browsers stop nesting deeper than this too.
  int maxDepth = 512;
  std::chrono::milliseconds maxTime{5000};
};

struct VisibleTextResult {
  std::string text;  // UTF-8, lines separated by "\n"
  // Empty when the whole document was read; otherwise which bound cut it.
  std::string note;
};

// The visible text of `html` (UTF-8; invalid sequences become U+FFFD).
VisibleTextResult ExtractVisibleText(std::string_view html, const TextBounds& bounds = {});

// The length of the prefix of `html` that stays within `maxDepth` open
// elements, estimated without building a tree (elements whose end tag may be
// left out, void elements and raw-text contents are accounted for).
// html.size() when the whole input fits.
std::size_t PrefixWithinDepth(std::string_view html, int maxDepth);

}  // namespace bw
