#include "text/HtmlCleanup.h"

#include <re2/re2.h>

namespace bw {
namespace {

RE2::Options PatternOptions() {
  RE2::Options options;
  options.set_case_sensitive(false);
  options.set_never_capture(false);
  // Large documents: let the DFA use more memory before RE2 falls back to
  // its slower engines.
  options.set_max_mem(64 << 20);
  return options;
}

// An equals sign and an absolute address: quoted in either quote, or bare
// (of which one character after the scheme is taken).
const RE2& AbsoluteAddress() {
  static const RE2 pattern("(?:=)(?:\"http://[^\"]*\"|'http://[^']*'|http://[^ >])",
                           PatternOptions());
  return pattern;
}

const RE2& CellEnd() {
  static const RE2 pattern("</td>", PatternOptions());
  return pattern;
}

const RE2& AnyEmbedding() {
  static const RE2 pattern("<(?:object|embed|applet)", PatternOptions());
  return pattern;
}

// Each element up to its nearest end tag, so the text between two embedded
// objects stays.
const RE2& Embedding(int which) {
  static const RE2 object("<object[\\s\\S]*?</object>", PatternOptions());
  static const RE2 embed("<embed[\\s\\S]*?</embed>", PatternOptions());
  static const RE2 applet("<applet[\\s\\S]*?</applet>", PatternOptions());
  return which == 0 ? object : which == 1 ? embed : applet;
}

}  // namespace

void CleanHtml(std::string& html) {
  RE2::GlobalReplace(&html, AbsoluteAddress(), "=''");
  RE2::GlobalReplace(&html, CellEnd(), " </td>");
  if (RE2::PartialMatch(html, AnyEmbedding())) {
    for (int which = 0; which < 3; ++which) RE2::GlobalReplace(&html, Embedding(which), "");
  }
}

}  // namespace bw
