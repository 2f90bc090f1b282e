#include "platform/Environment.h"

#include <cstdlib>

namespace bw {

namespace {

bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsNameChar(char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9');
}

const char* Lookup(std::string_view name) {
  return name.empty() ? nullptr : std::getenv(std::string(name).c_str());
}

}  // namespace

std::string ExpandEnvironmentStrings(std::string_view text) {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    char c = text[pos];
    std::size_t end = std::string_view::npos;  // one past the reference
    std::string_view name;
    if (c == '%') {
      std::size_t close = text.find('%', pos + 1);
      if (close != std::string_view::npos) {
        name = text.substr(pos + 1, close - pos - 1);
        end = close + 1;
      }
    } else if (c == '$' && pos + 1 < text.size() && text[pos + 1] == '{') {
      std::size_t close = text.find('}', pos + 2);
      if (close != std::string_view::npos) {
        name = text.substr(pos + 2, close - pos - 2);
        end = close + 1;
      }
    } else if (c == '$' && pos + 1 < text.size() && IsNameStart(text[pos + 1])) {
      end = pos + 1;
      while (end < text.size() && IsNameChar(text[end])) ++end;
      name = text.substr(pos + 1, end - pos - 1);
    }
    if (const char* value = end != std::string_view::npos ? Lookup(name) : nullptr) {
      out += value;
      pos = end;
    } else {
      // Not a reference, or an unset one: keep the character and read on, so
      // "%unset%PATH%" still expands PATH.
      out.push_back(c);
      ++pos;
    }
  }
  return out;
}

}  // namespace bw
