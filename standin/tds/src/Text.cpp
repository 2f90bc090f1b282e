#include "tds/Text.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>

#include "tds/Bytes.h"

namespace standin::tds {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence at `position`, advancing it; malformed input
// (overlong forms, surrogates, truncation) yields U+FFFD and consumes one byte.
char32_t DecodeUtf8(std::string_view text, std::size_t& position) {
  auto lead = static_cast<unsigned char>(text[position]);
  if (lead < 0x80) {
    ++position;
    return lead;
  }
  std::size_t length = 0;
  char32_t codePoint = 0;
  char32_t minimum = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, codePoint = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, codePoint = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, codePoint = lead & 0x07, minimum = 0x10000;
  } else {
    ++position;
    return kReplacement;
  }
  if (position + length > text.size()) {
    ++position;
    return kReplacement;
  }
  for (std::size_t i = 1; i < length; ++i) {
    auto continuation = static_cast<unsigned char>(text[position + i]);
    if ((continuation & 0xC0) != 0x80) {
      ++position;
      return kReplacement;
    }
    codePoint = (codePoint << 6) | (continuation & 0x3F);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
    ++position;
    return kReplacement;
  }
  position += length;
  return codePoint;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out.push_back(static_cast<char>(codePoint));
  } else if (codePoint < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (codePoint >> 6)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else if (codePoint < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (codePoint >> 12)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (codePoint >> 18)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (codePoint & 0x3F)));
  }
}

// One iconv descriptor per thread and direction: opening one per value would
// dominate the cost of a large VARCHAR result.
class Converter {
 public:
  Converter(const char* to, const char* from) : m_Handle(iconv_open(to, from)) {
    if (m_Handle == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(m_Handle); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts `input` completely; returns false and stops at the first
  // character iconv cannot map, leaving `consumed` at it.
  bool Convert(std::string_view input, std::string& out, std::size_t& consumed) {
    iconv(m_Handle, nullptr, nullptr, nullptr, nullptr);
    char* inPointer = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char buffer[1024];
    while (inLeft > 0) {
      char* outPointer = buffer;
      std::size_t outLeft = sizeof buffer;
      std::size_t result = iconv(m_Handle, &inPointer, &inLeft, &outPointer, &outLeft);
      out.append(buffer, static_cast<std::size_t>(outPointer - buffer));
      if (result == static_cast<std::size_t>(-1) && errno != E2BIG) {
        consumed = input.size() - inLeft;
        return false;
      }
    }
    consumed = input.size();
    return true;
  }

 private:
  iconv_t m_Handle;
};

bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  std::size_t position = 0;
  while (position < utf8.size()) {
    char32_t codePoint = DecodeUtf8(utf8, position);
    if (codePoint >= 0x10000) {
      codePoint -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(codePoint));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t unit = utf16[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (utf16[i + 1] - 0xDC00);
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      unit = kReplacement;
    }
    AppendUtf8(out, unit);
  }
  return out;
}

std::string Utf16LeBytesToUtf8(std::span<const std::uint8_t> bytes) {
  if (bytes.size() % 2 != 0) throw ProtocolError("UTF-16 string with an odd number of bytes");
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return Utf16ToUtf8(units);
}

void AppendUtf16Le(std::vector<std::uint8_t>& out, std::string_view utf8) {
  if (IsAscii(utf8)) {
    out.reserve(out.size() + utf8.size() * 2);
    for (char c : utf8) {
      out.push_back(static_cast<std::uint8_t>(c));
      out.push_back(0);
    }
    return;
  }
  for (char16_t unit : Utf8ToUtf16(utf8)) {
    out.push_back(static_cast<std::uint8_t>(unit));
    out.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
}

std::string Utf8ToCp1252(std::string_view utf8) {
  if (IsAscii(utf8)) return std::string(utf8);
  thread_local Converter converter("CP1252", "UTF-8");
  std::string out;
  std::size_t offset = 0;
  while (offset < utf8.size()) {
    std::size_t consumed = 0;
    if (converter.Convert(utf8.substr(offset), out, consumed)) break;
    offset += consumed;
    std::size_t next = offset;
    char32_t codePoint = DecodeUtf8(utf8, next);
    // Glibc's CP1252 lacks 0x81/0x8D/0x8F/0x90/0x9D; Windows maps them to the
    // C1 controls, so round-trip those.
    if (codePoint == 0x81 || codePoint == 0x8D || codePoint == 0x8F || codePoint == 0x90 ||
        codePoint == 0x9D) {
      out.push_back(static_cast<char>(codePoint));
    } else {
      out.push_back('?');
    }
    offset = next;
  }
  return out;
}

std::string Cp1252ToUtf8(std::string_view cp1252) {
  if (IsAscii(cp1252)) return std::string(cp1252);
  thread_local Converter converter("UTF-8", "CP1252");
  std::string out;
  std::size_t offset = 0;
  while (offset < cp1252.size()) {
    std::size_t consumed = 0;
    if (converter.Convert(cp1252.substr(offset), out, consumed)) break;
    offset += consumed;
    AppendUtf8(out, static_cast<unsigned char>(cp1252[offset]));
    ++offset;
  }
  return out;
}

}  // namespace standin::tds
