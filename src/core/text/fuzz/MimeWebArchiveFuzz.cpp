// Any bytes as a saved web archive: either a page comes out or the
// archive's own error is raised.
#include <cstdint>
#include <string_view>

#include "support/Error.h"
#include "text/MimeWebArchive.h"
#include "text/VisibleText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    bw::MimeMainPart page =
        bw::ReadMimeWebArchive(std::string_view(reinterpret_cast<const char*>(data), size));
    if (page.isHtml) bw::ExtractVisibleText(page.text);
  } catch (const bw::Error&) {
  }
  return 0;
}
