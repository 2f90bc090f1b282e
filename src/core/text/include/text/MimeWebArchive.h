// Web archives that browsers save as one MIME file (.mht, .mhtml): the page's
// HTML and the files it uses, as parts of a multipart/related message.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace bw {

// Raised for a file that holds no readable MIME message.
inline constexpr std::int32_t kErrNotWebArchive = static_cast<std::int32_t>(0x80040301u);

struct MimeMainPart {
  std::string text;     // UTF-8, converted from the part's charset
  bool isHtml = false;  // false: a text/plain page
};

// The page of the archive: the part named by the "start" parameter of a
// multipart/related message, else the first text/html part, else the first
// text/plain part. Transfer encodings (quoted-printable, base64) are undone.
// Throws bw::Error (kErrNotWebArchive) when there is no such part or the
// message nests more parts than a saved page can have.
MimeMainPart ReadMimeWebArchive(std::string_view bytes);

}  // namespace bw
