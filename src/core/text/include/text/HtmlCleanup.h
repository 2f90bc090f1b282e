// The clean-up applied to a document's HTML before its text is taken:
// absolute http:// addresses in attributes emptied (so nothing could be
// fetched), a space before every </td> (so adjacent cells never run
// together), and embedded objects, plugins and applets removed. RE2 does the
// matching, in time linear in the input on any document.
#pragma once

#include <string>

namespace bw {

// Applies the three clean-up steps to `html` in place.
void CleanHtml(std::string& html);

}  // namespace bw
