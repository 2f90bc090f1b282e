#include "support/CodePage.h"

#include <fcntl.h>
#include <iconv.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "support/Settings.h"

namespace bw {

namespace {

struct CodePageName {
  int codePage;
  const char* iconvName;
};

constexpr CodePageName kCodePages[] = {
    {874, "CP874"},         {932, "CP932"},         {936, "CP936"},        {949, "CP949"},
    {950, "CP950"},         {1250, "CP1250"},       {1251, "CP1251"},      {1252, "CP1252"},
    {1253, "CP1253"},       {1254, "CP1254"},       {1255, "CP1255"},      {1256, "CP1256"},
    {1257, "CP1257"},       {1258, "CP1258"},       {20127, "US-ASCII"},   {28591, "ISO-8859-1"},
    {28592, "ISO-8859-2"},  {28593, "ISO-8859-3"},  {28594, "ISO-8859-4"}, {28595, "ISO-8859-5"},
    {28596, "ISO-8859-6"},  {28597, "ISO-8859-7"},  {28598, "ISO-8859-8"}, {28599, "ISO-8859-9"},
    {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"}, {65001, "UTF-8"},
};

// Bytes that glibc leaves undefined but Windows maps (to the C1 control of the
// same value).
struct ExtraMapping {
  int codePage;
  unsigned char byte;
  char32_t codePoint;
};

constexpr ExtraMapping kExtraMappings[] = {
    {1252, 0x81, 0x0081}, {1252, 0x8D, 0x008D}, {1252, 0x8F, 0x008F},
    {1252, 0x90, 0x0090}, {1252, 0x9D, 0x009D},
};

class Converter {
 public:
  Converter(const char* to, const char* from) : m_Handle(iconv_open(to, from)) {}
  ~Converter() {
    if (Valid()) iconv_close(m_Handle);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool Valid() const { return m_Handle != reinterpret_cast<iconv_t>(-1); }
  iconv_t Handle() const { return m_Handle; }

 private:
  iconv_t m_Handle;
};

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at `p` (at most `left` bytes). Returns its length
// (1 for a malformed byte, which then decodes to U+FFFD).
std::size_t DecodeUtf8(const unsigned char* p, std::size_t left, char32_t& cp) {
  auto continuation = [&](std::size_t n) {
    if (n >= left) return false;
    return (p[n] & 0xC0) == 0x80;
  };
  if (p[0] < 0x80) {
    cp = p[0];
    return 1;
  }
  if ((p[0] & 0xE0) == 0xC0 && continuation(1)) {
    cp = static_cast<char32_t>(((p[0] & 0x1F) << 6) | (p[1] & 0x3F));
    return 2;
  }
  if ((p[0] & 0xF0) == 0xE0 && continuation(1) && continuation(2)) {
    cp = static_cast<char32_t>(((p[0] & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F));
    return 3;
  }
  if ((p[0] & 0xF8) == 0xF0 && continuation(1) && continuation(2) && continuation(3)) {
    cp = static_cast<char32_t>(((p[0] & 0x07) << 18) | ((p[1] & 0x3F) << 12) |
                               ((p[2] & 0x3F) << 6) | (p[3] & 0x3F));
    return 4;
  }
  cp = 0xFFFD;
  return 1;
}

// Runs iconv over `in`, calling `onInvalid` at each sequence it cannot
// convert; `onInvalid` appends its own replacement and returns how many
// input bytes to skip.
template <typename OnInvalid>
bool Convert(iconv_t cd, const char* in, std::size_t inLength, std::string& out,
             OnInvalid onInvalid) {
  char* inPtr = const_cast<char*>(in);
  std::size_t inLeft = inLength;
  char buffer[4096];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    std::size_t result = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    int error = errno;
    out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
    if (result != static_cast<std::size_t>(-1) || error == E2BIG) continue;
    if (error != EILSEQ && error != EINVAL) return false;
    std::size_t skip = onInvalid(reinterpret_cast<const unsigned char*>(inPtr), inLeft, out);
    inPtr += skip;
    inLeft -= skip;
  }
  // Stateful decoders (CP1255, CP1258) hold back the last character until told
  // the input has ended.
  char* outPtr = buffer;
  std::size_t outLeft = sizeof buffer;
  if (iconv(cd, nullptr, nullptr, &outPtr, &outLeft) == static_cast<std::size_t>(-1)) return false;
  out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
  return true;
}

}  // namespace

int GetAnsiCodePage() {
  return static_cast<int>(Settings::GetNumber(kSettingAnsiCodePage));
}

const char* IconvNameForCodePage(int codePage) {
  for (const auto& entry : kCodePages) {
    if (entry.codePage == codePage) return entry.iconvName;
  }
  return nullptr;
}

std::vector<std::uint8_t> TextToCodePageBytes(const std::string& text, int codePage, int) {
  const char* name = IconvNameForCodePage(codePage);
  if (name == nullptr) return {};
  Converter converter(name, "UTF-8");
  if (!converter.Valid()) return {};
  // The single-byte replacement for a character that cannot be converted. The
  // "?" stands at 0x3F in every supported code page.
  std::string out;
  bool ok = Convert(converter.Handle(), text.data(), text.size(), out,
                    [codePage](const unsigned char* p, std::size_t left, std::string& o) {
                      char32_t cp = 0;
                      std::size_t length = DecodeUtf8(p, left, cp);
                      for (const auto& extra : kExtraMappings) {
                        if (extra.codePage == codePage && extra.codePoint == cp) {
                          o.push_back(static_cast<char>(extra.byte));
                          return length;
                        }
                      }
                      o.push_back('?');
                      return length;
                    });
  if (!ok) return {};
  std::vector<std::uint8_t> bytes(out.begin(), out.end());
  bytes.push_back(0);
  return bytes;
}

std::string CodePageBytesToText(const std::string& bytes, int codePage, int) {
  if (codePage == -1) codePage = GetAnsiCodePage();
  const char* name = IconvNameForCodePage(codePage);
  if (name == nullptr) return {};
  Converter converter("UTF-8", name);
  if (!converter.Valid()) return {};
  std::size_t length = bytes.find('\0');
  if (length == std::string::npos) length = bytes.size();
  std::string out;
  bool ok = Convert(converter.Handle(), bytes.data(), length, out,
                    [codePage](const unsigned char* p, std::size_t, std::string& o) {
                      for (const auto& extra : kExtraMappings) {
                        if (extra.codePage == codePage && extra.byte == p[0]) {
                          AppendUtf8(o, extra.codePoint);
                          return std::size_t{1};
                        }
                      }
                      AppendUtf8(o, 0xFFFD);
                      return std::size_t{1};
                    });
  return ok ? out : std::string();
}

bool WriteTextFileInCodePage(const std::string& path, const std::string& text, int codePage) {
  std::vector<std::uint8_t> bytes = TextToCodePageBytes(text, codePage);
  if (bytes.size() <= 1) return false;
  bytes.pop_back();

  // Write beside the target and rename over it, so the file is whole or absent.
  std::string temporary = path + ".tmp-" + std::to_string(::getpid());
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  const std::uint8_t* data = bytes.data();
  std::size_t left = bytes.size();
  bool ok = true;
  while (left > 0) {
    ssize_t written = ::write(fd, data, left);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      ok = false;
      break;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  if (ok && ::fsync(fd) != 0) ok = false;
  if (::close(fd) != 0) ok = false;
  if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) std::remove(temporary.c_str());
  return ok;
}

}  // namespace bw
