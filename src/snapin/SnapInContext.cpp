#include "snapin/SnapInContext.h"

#include "support/Helpers.h"

namespace bw::snapin {

bool ContainsNoCase(const std::string& text, const std::string& part) {
  return LowerAscii(text).find(LowerAscii(part)) != std::string::npos;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  return LowerAscii(a) == LowerAscii(b);
}

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return LowerAscii(text).rfind(LowerAscii(prefix), 0) == 0;
}

}  // namespace bw::snapin
