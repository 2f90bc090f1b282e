#include "support/SqlText.h"

namespace bw {

namespace {

bool IsLetter(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
bool IsDigit(unsigned char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string SqlStringBody(const std::string& value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c == '\'') out.push_back('\'');
    out.push_back(c);
  }
  return out;
}

std::string SqlString(const std::string& value) {
  return "'" + SqlStringBody(value) + "'";
}

bool IsPlainIdentifier(const std::string& name) {
  if (name.empty() || name.size() > 128) return false;
  auto first = static_cast<unsigned char>(name[0]);
  if (!IsLetter(first) && first != '_') return false;
  for (unsigned char c : name) {
    if (!IsLetter(c) && !IsDigit(c) && c != '_' && c != '@' && c != '#' && c != '$') return false;
  }
  return true;
}

std::string SqlName(const std::string& name) {
  if (IsPlainIdentifier(name)) return name;
  std::string out = "[";
  for (char c : name) {
    if (c == ']') out.push_back(']');
    out.push_back(c);
  }
  return out + "]";
}

}  // namespace bw
