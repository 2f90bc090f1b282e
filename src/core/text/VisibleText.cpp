// The visible-text walk over the parsed tree. Layout is not computed: which
// elements are blocks, cells or hidden is decided by tag and by the
// attributes that hide content, as a browser's default style sheet would.
#include "text/VisibleText.h"

#include <gumbo.h>

#include <string>
#include <vector>

#include "GumboArena.h"

namespace bw {
namespace {

enum class Kind { Inline, Skip, Block, Paragraph, Cell, Break, Preformatted };

Kind KindOf(GumboTag tag) {
  switch (tag) {
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_META:
    case GUMBO_TAG_LINK:
    case GUMBO_TAG_BASE:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_SELECT:
    case GUMBO_TAG_DATALIST:
    case GUMBO_TAG_PARAM:
    case GUMBO_TAG_SOURCE:
    case GUMBO_TAG_TRACK:
      return Kind::Skip;
    case GUMBO_TAG_P:
      return Kind::Paragraph;
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
      return Kind::Cell;
    case GUMBO_TAG_BR:
      return Kind::Break;
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_LISTING:
    case GUMBO_TAG_PLAINTEXT:
    case GUMBO_TAG_XMP:
      return Kind::Preformatted;
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_BODY:
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_CENTER:
    case GUMBO_TAG_DETAILS:
    case GUMBO_TAG_DIR:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_FIELDSET:
    case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_FIGURE:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_FORM:
    case GUMBO_TAG_FRAMESET:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_HGROUP:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_LEGEND:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_MAIN:
    case GUMBO_TAG_MENU:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_SUMMARY:
    case GUMBO_TAG_TABLE:
    case GUMBO_TAG_CAPTION:
    case GUMBO_TAG_TR:
      return Kind::Block;
    default:
      return Kind::Inline;
  }
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

std::string LowerNoSpaces(const char* text) {
  std::string out;
  for (; *text != 0; ++text) {
    char c = *text;
    if (IsSpace(c)) continue;
    out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return out;
}

// True for the `hidden` attribute and for display:none in the style
// attribute (the last display declaration wins, as in CSS).
bool IsHidden(const GumboElement& element) {
  if (gumbo_get_attribute(&element.attributes, "hidden") != nullptr) return true;
  const GumboAttribute* style = gumbo_get_attribute(&element.attributes, "style");
  if (style == nullptr) return false;
  std::string css = LowerNoSpaces(style->value);
  std::size_t at = std::string::npos;
  for (std::size_t p = css.find("display:"); p != std::string::npos;
       p = css.find("display:", p + 1)) {
    if (p == 0 || css[p - 1] == ';') at = p;
  }
  if (at == std::string::npos) return false;
  return css.compare(at + 8, 4, "none") == 0;
}

// Builds the text, collapsing white space and merging line breaks the way
// innerText does: a run of required breaks becomes as many line feeds as
// the largest requires, none at the very start or end.
class TextBuilder {
 public:
  void RequireBreaks(int count) {
    m_PendingSpace = false;
    if (count > m_RequiredBreaks) m_RequiredBreaks = count;
  }
  void AppendLiteral(char c) {
    m_PendingSpace = false;
    FlushBreaks();
    m_Out += c;
  }
  void AppendText(const char* text, bool preformatted) {
    if (preformatted) {
      if (*text == 0) return;
      FlushBreaks();
      if (m_PendingSpace && !AtSeparator()) m_Out += ' ';
      m_PendingSpace = false;
      m_Out += text;
      return;
    }
    const char* p = text;
    while (*p != 0) {
      if (IsSpace(*p)) {
        m_PendingSpace = true;
        ++p;
        continue;
      }
      const char* run = p;
      while (*p != 0 && !IsSpace(*p)) ++p;
      FlushBreaks();
      if (m_PendingSpace && !AtSeparator()) m_Out += ' ';
      m_PendingSpace = false;
      m_Out.append(run, p);
    }
  }
  std::string Take() { return std::move(m_Out); }

 private:
  bool AtSeparator() const { return m_Out.empty() || m_Out.back() == '\n' || m_Out.back() == '\t'; }
  void FlushBreaks() {
    if (m_RequiredBreaks == 0) return;
    if (!m_Out.empty()) {
      int have = 0;
      for (auto it = m_Out.rbegin(); it != m_Out.rend() && *it == '\n' && have < m_RequiredBreaks;
           ++it) {
        ++have;
      }
      m_Out.append(static_cast<std::size_t>(m_RequiredBreaks - have), '\n');
      m_PendingSpace = false;
    }
    m_RequiredBreaks = 0;
  }

  std::string m_Out;
  int m_RequiredBreaks = 0;
  bool m_PendingSpace = false;
};

// True when a later sibling of `node` is another cell of the same row.
bool HasLaterCell(const GumboNode* node) {
  const GumboVector& siblings = node->parent->v.element.children;
  for (unsigned i = node->index_within_parent + 1; i < siblings.length; ++i) {
    auto* sibling = static_cast<const GumboNode*>(siblings.data[i]);
    if (sibling->type == GUMBO_NODE_ELEMENT &&
        (sibling->v.element.tag == GUMBO_TAG_TD || sibling->v.element.tag == GUMBO_TAG_TH)) {
      return true;
    }
  }
  return false;
}

struct Frame {
  const GumboNode* node;
  unsigned next;  // index of the next child to visit
  Kind kind;
  bool preformatted;
};

}  // namespace

VisibleTextResult ExtractVisibleText(std::string_view html, const TextBounds& bounds) {
  VisibleTextResult result;
  std::string_view input = html;
  if (input.size() > bounds.maxInputBytes) {
    input = input.substr(0, bounds.maxInputBytes);
    result.note = "document longer than " + std::to_string(bounds.maxInputBytes) +
                  " bytes: text taken from its beginning";
  }
  std::size_t withinDepth = PrefixWithinDepth(input, bounds.maxDepth);
  if (withinDepth < input.size()) {
    input = input.substr(0, withinDepth);
    if (!result.note.empty()) result.note += "; ";
    result.note += "elements nested deeper than " + std::to_string(bounds.maxDepth) +
                   ": text taken up to offset " + std::to_string(withinDepth);
  }

  GumboArena arena(input.size());
  GumboOptions options = kGumboDefaultOptions;
  arena.Configure(options);
  options.max_errors = 0;  // the errors are not used; recording them costs time and memory
  GumboOutput* output = gumbo_parse_with_options(&options, input.data(), input.size());

  // The parse is bounded by the input's size and depth; the clock bounds
  // the walk, which hostile trees could otherwise make long.
  auto walkStarted = std::chrono::steady_clock::now();
  TextBuilder builder;
  std::vector<Frame> stack;
  stack.push_back({output->root, 0, Kind::Block, false});
  std::size_t visited = 0;
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const GumboVector& children = frame.node->v.element.children;
    if (frame.next >= children.length) {
      if (frame.kind == Kind::Block || frame.kind == Kind::Preformatted) builder.RequireBreaks(1);
      if (frame.kind == Kind::Paragraph) builder.RequireBreaks(2);
      if (frame.kind == Kind::Cell && HasLaterCell(frame.node)) builder.AppendLiteral('\t');
      stack.pop_back();
      continue;
    }
    auto* child = static_cast<const GumboNode*>(children.data[frame.next++]);
    bool preformatted = frame.preformatted;
    if ((++visited & 1023) == 0 &&
        std::chrono::steady_clock::now() - walkStarted > bounds.maxTime) {
      if (!result.note.empty()) result.note += "; ";
      result.note +=
          "text extraction stopped after " + std::to_string(bounds.maxTime.count()) + " ms";
      break;
    }
    switch (child->type) {
      case GUMBO_NODE_TEXT:
      case GUMBO_NODE_CDATA:
      case GUMBO_NODE_WHITESPACE:
        builder.AppendText(child->v.text.text, preformatted);
        break;
      case GUMBO_NODE_ELEMENT:
      case GUMBO_NODE_TEMPLATE: {
        const GumboElement& element = child->v.element;
        Kind kind = child->type == GUMBO_NODE_TEMPLATE ? Kind::Skip : KindOf(element.tag);
        if (kind == Kind::Skip || IsHidden(element)) break;
        if (kind == Kind::Break) {
          builder.AppendLiteral('\n');
          break;
        }
        if (kind == Kind::Block || kind == Kind::Preformatted) builder.RequireBreaks(1);
        if (kind == Kind::Paragraph) builder.RequireBreaks(2);
        stack.push_back({child, 0, kind, preformatted || kind == Kind::Preformatted});
        break;
      }
      default:  // comments, the document node's doctype
        break;
    }
  }
  result.text = builder.Take();
  return result;
}

}  // namespace bw
