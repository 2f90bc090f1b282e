// A cheap pass over the markup that finds where a document would open more
// elements than the parser should nest. Tree construction in the HTML parser
// scans its stack of open elements for many tags, so a document of 100,000
// nested elements costs quadratic time and deep recursion when it is freed;
// cutting the input before that depth keeps both bounded.
#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "text/VisibleText.h"

namespace bw {
namespace {

bool IsAsciiAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsTagNameEnd(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '/' || c == '>';
}

template <std::size_t N>
bool OneOf(std::string_view name, const std::array<std::string_view, N>& names) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// Elements that never hold children.
constexpr std::array<std::string_view, 16> kVoid = {
    "area", "base", "br",    "col",    "embed", "hr",  "img",    "input",
    "link", "meta", "param", "source", "track", "wbr", "keygen", "basefont"};

// Elements whose end tag may be left out: the parser closes them when a
// sibling opens, so they do not add up to depth.
constexpr std::array<std::string_view, 18> kSelfClosing = {
    "p",     "li",    "dt",    "dd",       "option",  "optgroup", "tr",   "td",   "th",
    "tbody", "thead", "tfoot", "colgroup", "caption", "html",     "head", "body", "frame"};

// Elements whose content is text up to their end tag.
constexpr std::array<std::string_view, 9> kRawText = {
    "script", "style", "textarea", "title", "xmp", "iframe", "noembed", "noframes", "noscript"};

// Position after the next `</name` (any case), or npos.
std::size_t SkipRawText(std::string_view html, std::size_t pos, std::string_view name) {
  while (true) {
    pos = html.find("</", pos);
    if (pos == std::string_view::npos) return pos;
    std::size_t i = 0;
    while (i < name.size() && pos + 2 + i < html.size() && Lower(html[pos + 2 + i]) == name[i]) {
      ++i;
    }
    if (i == name.size()) return pos + 2 + name.size();
    pos += 2;
  }
}

// Position of the '>' that ends the tag starting before `pos`, honouring
// quoted attribute values; npos when the input ends first. Sets
// `selfClosing` when the tag ends in "/>".
std::size_t TagEnd(std::string_view html, std::size_t pos, bool& selfClosing) {
  char quote = 0;
  for (; pos < html.size(); ++pos) {
    char c = html[pos];
    if (quote != 0) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      if (pos > 0 && html[pos - 1] == '=') quote = c;
    } else if (c == '>') {
      selfClosing = pos > 0 && html[pos - 1] == '/';
      return pos;
    }
  }
  return std::string_view::npos;
}

}  // namespace

std::size_t PrefixWithinDepth(std::string_view html, int maxDepth) {
  std::vector<std::string> open;
  int foreign = 0;  // open svg and math elements, where "/>" closes
  std::size_t pos = 0;
  while ((pos = html.find('<', pos)) != std::string_view::npos) {
    std::size_t tagStart = pos;
    if (html.substr(pos, 4) == "<!--") {
      std::size_t end = html.find("-->", pos + 4);
      if (end == std::string_view::npos) return html.size();
      pos = end + 3;
      continue;
    }
    if (pos + 1 >= html.size()) break;
    char next = html[pos + 1];
    bool endTag = next == '/';
    if (next == '!' || next == '?') {
      pos = html.find('>', pos + 1);
      if (pos == std::string_view::npos) break;
      continue;
    }
    std::size_t nameStart = pos + (endTag ? 2 : 1);
    if (nameStart >= html.size() || !IsAsciiAlpha(html[nameStart])) {
      pos = nameStart;
      continue;
    }
    std::size_t nameEnd = nameStart;
    while (nameEnd < html.size() && !IsTagNameEnd(html[nameEnd])) ++nameEnd;
    std::string name(html.substr(nameStart, nameEnd - nameStart));
    std::transform(name.begin(), name.end(), name.begin(), Lower);
    bool selfClosing = false;
    std::size_t end = TagEnd(html, nameEnd, selfClosing);
    if (end == std::string_view::npos) break;
    pos = end + 1;

    if (endTag) {
      auto found = std::find(open.rbegin(), open.rend(), name);
      if (found != open.rend()) {
        for (auto it = open.rbegin(); it != found + 1; ++it) {
          if (*it == "svg" || *it == "math") --foreign;
        }
        open.erase(found.base() - 1, open.end());
      }
      continue;
    }
    if (name == "plaintext") return html.size();
    if (OneOf(name, kRawText) && foreign == 0) {
      pos = SkipRawText(html, pos, name);
      if (pos == std::string_view::npos) return html.size();
      continue;
    }
    if (OneOf(name, kVoid) || OneOf(name, kSelfClosing)) continue;
    if (selfClosing && foreign > 0) continue;
    if (name == "a" || name == "nobr") {
      // A new link closes one that is still open.
      auto found = std::find(open.rbegin(), open.rend(), name);
      if (found != open.rend()) open.erase(found.base() - 1, open.end());
    }
    if (static_cast<int>(open.size()) >= maxDepth) return tagStart;
    if (name == "svg" || name == "math") ++foreign;
    open.push_back(std::move(name));
  }
  return html.size();
}

}  // namespace bw
