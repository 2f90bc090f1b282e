#include "text/MimeWebArchive.h"

#include <gmime/gmime.h>

#include <mutex>
#include <vector>

#include "support/Error.h"

namespace bw {
namespace {

constexpr char kSource[] = "MimeWebArchive";
// GMime builds and frees nested multiparts recursively; a saved page holds
// a few levels at most.
constexpr std::size_t kMaxMultiparts = 200;

[[noreturn]] void Fail(const std::string& why) {
  throw Error(kErrNotWebArchive, kSource, why);
}

std::size_t CountMultipartHeaders(std::string_view bytes) {
  std::size_t count = 0;
  for (std::size_t i = 0; i + 10 <= bytes.size(); ++i) {
    if ((bytes[i] == 'm' || bytes[i] == 'M') &&
        g_ascii_strncasecmp(bytes.data() + i, "multipart/", 10) == 0) {
      ++count;
    }
  }
  return count;
}

// GObject references released at scope end.
template <typename T>
struct Ref {
  T* object = nullptr;
  ~Ref() {
    if (object != nullptr) g_object_unref(object);
  }
};

bool IsType(GMimeObject* part, const char* type, const char* subtype) {
  GMimeContentType* contentType = g_mime_object_get_content_type(part);
  return contentType != nullptr && g_mime_content_type_is_type(contentType, type, subtype);
}

// The first part of the wanted text subtype, depth first, without recursion.
GMimeObject* FirstTextPart(GMimeObject* root, const char* subtype) {
  std::vector<GMimeObject*> pending{root};
  while (!pending.empty()) {
    GMimeObject* part = pending.back();
    pending.pop_back();
    if (GMIME_IS_MULTIPART(part)) {
      auto* multipart = GMIME_MULTIPART(part);
      for (int i = g_mime_multipart_get_count(multipart) - 1; i >= 0; --i) {
        pending.push_back(g_mime_multipart_get_part(multipart, i));
      }
    } else if (GMIME_IS_TEXT_PART(part) && IsType(part, "text", subtype)) {
      return part;
    }
  }
  return nullptr;
}

GMimeObject* StartPart(GMimeObject* root) {
  if (!GMIME_IS_MULTIPART(root) || !IsType(root, "multipart", "related")) return nullptr;
  const char* start = g_mime_object_get_content_type_parameter(root, "start");
  if (start == nullptr) return nullptr;
  std::string contentId(start);
  if (contentId.size() >= 2 && contentId.front() == '<' && contentId.back() == '>') {
    contentId = contentId.substr(1, contentId.size() - 2);
  }
  GMimeObject* part =
      g_mime_multipart_get_subpart_from_content_id(GMIME_MULTIPART(root), contentId.c_str());
  return part != nullptr && GMIME_IS_TEXT_PART(part) ? part : nullptr;
}

}  // namespace

MimeMainPart ReadMimeWebArchive(std::string_view bytes) {
  static std::once_flag initialised;
  std::call_once(initialised, [] { g_mime_init(); });
  if (CountMultipartHeaders(bytes) > kMaxMultiparts) Fail("The web archive nests too many parts.");

  Ref<GMimeStream> stream{g_mime_stream_mem_new_with_buffer(bytes.data(), bytes.size())};
  Ref<GMimeParser> parser{g_mime_parser_new_with_stream(stream.object)};
  Ref<GMimeMessage> message{g_mime_parser_construct_message(parser.object, nullptr)};
  if (message.object == nullptr) Fail("The file is not a MIME web archive.");
  GMimeObject* root = g_mime_message_get_mime_part(message.object);
  if (root == nullptr) Fail("The web archive holds no page.");

  MimeMainPart result;
  GMimeObject* page = StartPart(root);
  if (page == nullptr) page = FirstTextPart(root, "html");
  if (page == nullptr) page = FirstTextPart(root, "plain");
  if (page == nullptr) Fail("The web archive holds no HTML or text page.");
  result.isHtml = IsType(page, "text", "html");
  char* text = g_mime_text_part_get_text(GMIME_TEXT_PART(page));
  if (text != nullptr) {
    result.text = text;
    g_free(text);
  }
  return result;
}

}  // namespace bw
