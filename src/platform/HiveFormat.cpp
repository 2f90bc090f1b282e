#include "platform/HiveFormat.h"

#include <algorithm>
#include <charconv>

namespace bw {

namespace {

unsigned char FoldUpper(char c) {
  auto byte = static_cast<unsigned char>(c);
  return byte >= 'a' && byte <= 'z' ? static_cast<unsigned char>(byte - 'a' + 'A') : byte;
}

bool IsControl(unsigned char byte) {
  return byte < 0x20 || byte == 0x7F;
}

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendHexByte(std::string& out, std::uint8_t byte) {
  out.push_back(kHexDigits[byte >> 4]);
  out.push_back(kHexDigits[byte & 15]);
}

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Quoted text: backslash, quote and control bytes escaped; bytes from 0x80 up
// are kept as they are, so UTF-8 stays readable.
void AppendQuoted(std::string& out, std::string_view bytes) {
  out.push_back('"');
  for (char c : bytes) {
    auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\0':
        out += "\\0";
        break;
      default:
        if (IsControl(byte)) {
          out += "\\x";
          AppendHexByte(out, byte);
        } else {
          out.push_back(c);
        }
    }
  }
  out.push_back('"');
}

// Reads a quoted text starting at text[pos] == '"'; leaves pos after the closing quote.
std::string ReadQuoted(std::string_view text, std::size_t& pos, int line) {
  std::string out;
  ++pos;
  while (pos < text.size() && text[pos] != '"') {
    char c = text[pos++];
    if (c != '\\') {
      out.push_back(c);
      continue;
    }
    if (pos >= text.size()) break;
    char escape = text[pos++];
    switch (escape) {
      case '\\':
        out.push_back('\\');
        break;
      case '"':
        out.push_back('"');
        break;
      case 'n':
        out.push_back('\n');
        break;
      case 'r':
        out.push_back('\r');
        break;
      case 't':
        out.push_back('\t');
        break;
      case '0':
        out.push_back('\0');
        break;
      case 'x': {
        int high = pos + 1 < text.size() ? HexDigitValue(text[pos]) : -1;
        int low = high >= 0 ? HexDigitValue(text[pos + 1]) : -1;
        if (low < 0) throw HiveParseError(line, "\\x must be followed by two hex digits");
        out.push_back(static_cast<char>(high * 16 + low));
        pos += 2;
        break;
      }
      default:
        throw HiveParseError(line, std::string("unknown escape \\") + escape);
    }
  }
  if (pos >= text.size()) throw HiveParseError(line, "missing closing quote");
  ++pos;
  return out;
}

std::vector<std::uint8_t> ReadHex(std::string_view text, int line) {
  std::vector<std::uint8_t> bytes;
  int high = -1;
  for (char c : text) {
    if (c == ',' || c == ' ') continue;
    int digit = HexDigitValue(c);
    if (digit < 0) throw HiveParseError(line, "not a hex digit: '" + std::string(1, c) + "'");
    if (high < 0) {
      high = digit;
    } else {
      bytes.push_back(static_cast<std::uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  if (high >= 0) throw HiveParseError(line, "odd number of hex digits");
  return bytes;
}

// The text forms of the value types; "hex(N)" stands for any type as raw bytes.
struct StringKind {
  const char* name;
  std::uint32_t type;
};
constexpr StringKind kStringKinds[] = {
    {"sz", kRegSz}, {"expand_sz", kRegExpandSz}, {"multi_sz", kRegMultiSz}};

std::string DataText(const RegistryValue& value) {
  std::string out;
  const auto& data = value.data;
  for (const auto& kind : kStringKinds) {
    // A string form only when it reproduces the bytes: text + one final NUL.
    if (kind.type == value.type && !data.empty() && data.back() == 0) {
      out = std::string(kind.name) + ':';
      AppendQuoted(out,
                   std::string_view(reinterpret_cast<const char*>(data.data()), data.size() - 1));
      return out;
    }
  }
  if ((value.type == kRegDword || value.type == kRegDwordBigEndian) && data.size() == 4) {
    out = value.type == kRegDword ? "dword:" : "dword_be:";
    // Shown as the number it means; the bytes follow from the type.
    if (value.type == kRegDword) {
      for (int i = 3; i >= 0; --i) AppendHexByte(out, data[static_cast<std::size_t>(i)]);
    } else {
      for (auto byte : data) AppendHexByte(out, byte);
    }
    return out;
  }
  out = value.type == kRegBinary ? "binary:" : "hex(" + std::to_string(value.type) + "):";
  for (auto byte : data) AppendHexByte(out, byte);
  return out;
}

RegistryValue ParseData(std::string_view text, int line) {
  std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) throw HiveParseError(line, "value without a type");
  std::string_view kind = text.substr(0, colon);
  std::string_view rest = text.substr(colon + 1);
  for (const auto& stringKind : kStringKinds) {
    if (kind != stringKind.name) continue;
    std::size_t pos = 0;
    if (rest.empty() || rest[0] != '"') throw HiveParseError(line, "expected a quoted text");
    std::string bytes = ReadQuoted(rest, pos, line);
    if (pos != rest.size()) throw HiveParseError(line, "text after the closing quote");
    RegistryValue value{stringKind.type, {bytes.begin(), bytes.end()}};
    value.data.push_back(0);
    return value;
  }
  if (kind == "dword" || kind == "dword_be") {
    std::uint32_t number = 0;
    auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), number, 16);
    if (rest.empty() || rest.size() > 8 || ec != std::errc() || end != rest.data() + rest.size()) {
      throw HiveParseError(line, "a dword needs 1 to 8 hex digits");
    }
    RegistryValue value{kind == "dword" ? kRegDword : kRegDwordBigEndian, {}};
    for (int i = 0; i < 4; ++i) value.data.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
    if (value.type == kRegDwordBigEndian) std::reverse(value.data.begin(), value.data.end());
    return value;
  }
  if (kind == "binary") return RegistryValue{kRegBinary, ReadHex(rest, line)};
  if (kind.size() > 5 && kind.substr(0, 4) == "hex(" && kind.back() == ')') {
    std::string_view digits = kind.substr(4, kind.size() - 5);
    std::uint32_t type = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), type);
    if (ec == std::errc() && end == digits.data() + digits.size()) {
      return RegistryValue{type, ReadHex(rest, line)};
    }
  }
  throw HiveParseError(line, "unknown value type '" + std::string(kind) + "'");
}

void AppendKey(std::string& out, const HiveKey& key, const std::string& path) {
  // Every key is written, empty ones included: an empty key is still a key.
  if (!path.empty() || !key.values.empty()) {
    out += '[' + path + "]\n";
    for (const auto& [name, value] : key.values) {
      AppendQuoted(out, name);
      out += '=' + DataText(value) + '\n';
    }
    out += '\n';
  }
  for (const auto& [name, sub] : key.subKeys) {
    AppendKey(out, *sub, path.empty() ? name : path + '\\' + name);
  }
}

}  // namespace

bool RegistryNameLess::operator()(std::string_view a, std::string_view b) const {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return FoldUpper(x) < FoldUpper(y); });
}

bool RegistryNameEquals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldUpper(x) == FoldUpper(y);
         });
}

std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path) {
  std::vector<std::string> names;
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  if (path.empty()) return names;
  std::size_t start = 0;
  while (true) {
    std::size_t end = path.find('\\', start);
    std::string_view name = path.substr(start, end == std::string_view::npos ? end : end - start);
    if (name.empty() || name.size() > kMaxKeyNameLength) return std::nullopt;
    for (char c : name) {
      if (IsControl(static_cast<unsigned char>(c))) return std::nullopt;
    }
    names.emplace_back(name);
    if (end == std::string_view::npos) return names;
    start = end + 1;
  }
}

const RegistryValue* HiveKey::FindValue(std::string_view name) const {
  for (const auto& [stored, value] : values) {
    if (RegistryNameEquals(stored, name)) return &value;
  }
  return nullptr;
}

void HiveKey::SetValue(std::string_view name, RegistryValue value) {
  for (auto& [stored, existing] : values) {
    if (RegistryNameEquals(stored, name)) {
      existing = std::move(value);
      return;
    }
  }
  values.emplace_back(std::string(name), std::move(value));
}

bool HiveKey::DeleteValue(std::string_view name) {
  auto found = std::find_if(values.begin(), values.end(), [&](const auto& entry) {
    return RegistryNameEquals(entry.first, name);
  });
  if (found == values.end()) return false;
  values.erase(found);
  return true;
}

HiveKey* HiveKey::Find(const std::vector<std::string>& names) {
  HiveKey* key = this;
  for (const auto& name : names) {
    auto found = key->subKeys.find(name);
    if (found == key->subKeys.end()) return nullptr;
    key = found->second.get();
  }
  return key;
}

HiveKey& HiveKey::Create(const std::vector<std::string>& names) {
  HiveKey* key = this;
  for (const auto& name : names) {
    auto& slot = key->subKeys[name];
    if (!slot) slot = std::make_unique<HiveKey>();
    key = slot.get();
  }
  return *key;
}

HiveParseError::HiveParseError(int line, const std::string& message, bool newerVersion)
    : std::runtime_error("line " + std::to_string(line) + ": " + message),
      m_Line(line),
      m_NewerVersion(newerVersion) {}

std::unique_ptr<HiveKey> ParseHive(std::string_view text) {
  auto root = std::make_unique<HiveKey>();
  if (text.empty()) return root;
  HiveKey* current = nullptr;
  int lineNumber = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    // Tolerated for hives edited on Windows; the writer never emits it.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (lineNumber == 1) {
      std::string_view prefix = kHiveHeader;
      int version = 0;
      const char* versionEnd = line.data() + line.size();
      if (line.substr(0, prefix.size()) != prefix || line.size() < prefix.size() + 2 ||
          line[prefix.size()] != ' ' ||
          std::from_chars(line.data() + prefix.size() + 1, versionEnd, version).ptr != versionEnd) {
        throw HiveParseError(1, "not a registry hive (the first line is not its header)");
      }
      if (version > kHiveFormatVersion) {
        throw HiveParseError(1, "format version " + std::to_string(version), true);
      }
      continue;
    }
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') throw HiveParseError(lineNumber, "a key line must end with ']'");
      auto names = SplitKeyPath(line.substr(1, line.size() - 2));
      if (!names) throw HiveParseError(lineNumber, "not a valid key path");
      current = &root->Create(*names);
      continue;
    }
    if (line[0] != '"') throw HiveParseError(lineNumber, "neither a key nor a value");
    if (current == nullptr) throw HiveParseError(lineNumber, "a value before the first key");
    std::size_t pos = 0;
    std::string name = ReadQuoted(line, pos, lineNumber);
    if (pos >= line.size() || line[pos] != '=') {
      throw HiveParseError(lineNumber, "expected '=' after the value name");
    }
    current->SetValue(name, ParseData(line.substr(pos + 1), lineNumber));
  }
  return root;
}

std::string SerializeHive(const HiveKey& root) {
  std::string out = std::string(kHiveHeader) + ' ' + std::to_string(kHiveFormatVersion) + "\n\n";
  AppendKey(out, root, "");
  return out;
}

}  // namespace bw
