// Any bytes as a stored document: the clean-up and the walk must finish
// within their bounds and give valid output for anything.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "text/HtmlCleanup.h"
#include "text/VisibleText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string html(reinterpret_cast<const char*>(data), size);
  bw::TextBounds bounds;
  bounds.maxDepth = 64;
  bw::VisibleTextResult plain = bw::ExtractVisibleText(html, bounds);
  bw::CleanHtml(html);
  bw::VisibleTextResult cleaned = bw::ExtractVisibleText(html, bounds);
  if (plain.text.size() > 4 * size + 16 || cleaned.text.size() > 4 * html.size() + 16) std::abort();
  return 0;
}
