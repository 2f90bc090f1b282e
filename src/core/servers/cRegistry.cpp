#include "servers/cRegistry.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <optional>

#include "platform/Environment.h"
#include "platform/RegistryHive.h"
#include "support/Error.h"
#include "support/Helpers.h"
#include "support/MessageService.h"

namespace bw {

namespace {

std::string Source() {
  return std::string(kComponentTitle) + ".cRegistry";
}

// The one hive error no member turns into a default or a False: the hive was
// just moved aside and the administrator has to hear about it.
void RethrowIfDamaged(const Error& error) {
  if (HiveErrorCode(error) == kErrorRegistryCorrupt) throw error;
}

// The registry keeps passwords in connection strings; an error report is
// shown, copied and pasted, so their values are replaced by asterisks.
std::string MaskPasswords(const std::string& text) {
  std::string lower = LowerAscii(text);
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t attribute = pos;
    while (attribute < text.size() && text[attribute] == ' ') ++attribute;
    std::size_t equals = text.find('=', attribute);
    std::size_t end = text.find(';', attribute);
    std::string name = equals != std::string::npos && equals < end
                           ? lower.substr(attribute, equals - attribute)
                           : "";
    while (!name.empty() && name.back() == ' ') name.pop_back();
    if (name == "password" || name == "pwd") {
      std::size_t valueStart = equals + 1;
      std::size_t quoteAt = text.find_first_not_of(' ', valueStart);
      if (quoteAt != std::string::npos && (text[quoteAt] == '"' || text[quoteAt] == '\'')) {
        std::size_t close = text.find(text[quoteAt], quoteAt + 1);
        end = close == std::string::npos ? std::string::npos : text.find(';', close);
      }
      out += text.substr(pos, valueStart - pos) + "********";
    } else {
      out += text.substr(pos, end == std::string::npos ? end : end - pos);
    }
    if (end == std::string::npos) break;
    out += ';';
    pos = end + 1;
  }
  return out;
}

std::string WithoutFinalNul(const std::vector<std::uint8_t>& data) {
  std::string text(data.begin(), data.end());
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

std::int32_t DwordOf(std::vector<std::uint8_t> bytes, bool bigEndian) {
  if (bigEndian) std::reverse(bytes.begin(), bytes.end());
  std::uint32_t number = 0;
  for (int i = 3; i >= 0; --i) number = number << 8 | bytes[static_cast<std::size_t>(i)];
  return static_cast<std::int32_t>(number);
}

// The bytes Windows would store for `value` as `type`; nothing when the value
// does not fit the type.
std::optional<std::vector<std::uint8_t>> Encode(const Variant& value, std::uint32_t type) {
  switch (type) {
    case kRegSz:
    case kRegExpandSz:
    case kRegMultiSz: {
      std::string text = value.Text() != nullptr ? *value.Text() : value.ToText();
      std::vector<std::uint8_t> bytes(text.begin(), text.end());
      bytes.push_back(0);
      return bytes;
    }
    case kRegDword:
    case kRegDwordBigEndian: {
      if (value.GetKind() != Variant::Kind::Integer) return std::nullopt;
      std::int64_t number = value.ToInteger();
      if (number < std::numeric_limits<std::int32_t>::min() ||
          number > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
      }
      auto bits = static_cast<std::uint32_t>(number);
      std::vector<std::uint8_t> bytes;
      for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
      if (type == kRegDwordBigEndian) std::reverse(bytes.begin(), bytes.end());
      return bytes;
    }
    default:
      if (value.Bytes() == nullptr) return std::nullopt;
      return *value.Bytes();
  }
}

}  // namespace

Variant cRegistry::Value() {
  if (!RootSupported()) return m_Default;
  std::optional<RegistryValue> stored;
  try {
    stored = RegistryHive::ForCurrentUser().QueryValue(m_SectionKey, m_ValueKey);
  } catch (const Error& e) {
    RethrowIfDamaged(e);
    return m_Default;
  }
  if (!stored) return m_Default;
  m_ValueType = static_cast<long>(stored->type);
  switch (stored->type) {
    case kRegSz:
    case kRegMultiSz:
      return WithoutFinalNul(stored->data);
    case kRegExpandSz:
      return ExpandEnvironmentStrings(WithoutFinalNul(stored->data));
    case kRegDword:
    case kRegDwordBigEndian:
      if (stored->data.size() == 4) {
        return static_cast<std::int64_t>(DwordOf(stored->data, stored->type == kRegDwordBigEndian));
      }
      break;
    default:
      break;
  }
  return stored->data;
}

void cRegistry::SetValue(const Variant& value) {
  long code = kErrorSuccess;
  auto type = static_cast<std::uint32_t>(m_ValueType);
  std::optional<std::vector<std::uint8_t>> bytes = Encode(value, type);
  if (!RootSupported()) {
    code = kErrorInvalidHandle;
  } else if (!bytes) {
    code = kErrorInvalidParameter;
  } else {
    try {
      code = RegistryHive::ForCurrentUser().SetValue(m_SectionKey, m_ValueKey,
                                                     RegistryValue{type, std::move(*bytes)});
    } catch (const Error& e) {
      RethrowIfDamaged(e);
      code = HiveErrorCode(e);
    }
  }
  if (code == kErrorSuccess) return;
  throw Error(kErrRegistry, Source(),
              "Failed to set registry value: root " + FormatErrorNumber(m_ClassKey) + ", key '" +
                  m_SectionKey + "', value '" + m_ValueKey + "' = '" +
                  MaskPasswords(value.ToText()) + "', system error " + std::to_string(code) + ".");
}

bool cRegistry::KeyExists() {
  if (!RootSupported()) return false;
  try {
    return RegistryHive::ForCurrentUser().KeyExists(m_SectionKey);
  } catch (const Error& e) {
    RethrowIfDamaged(e);
    return false;
  }
}

bool cRegistry::CreateKey() {
  long code = kErrorInvalidHandle;
  if (RootSupported()) {
    try {
      code = RegistryHive::ForCurrentUser().CreateKey(m_SectionKey);
    } catch (const Error& e) {
      RethrowIfDamaged(e);
      code = HiveErrorCode(e);
    }
  }
  if (code != kErrorSuccess) {
    throw Error(kErrRegistry, Source(), "Failed to create registry Key: '" + m_SectionKey);
  }
  return true;
}

bool cRegistry::DeleteKey() {
  if (!RootSupported()) return false;
  try {
    return RegistryHive::ForCurrentUser().DeleteKey(m_SectionKey) == kErrorSuccess;
  } catch (const Error& e) {
    RethrowIfDamaged(e);
    return false;
  }
}

bool cRegistry::EnumerateSections(std::vector<std::string>& sections, long& count) {
  sections.assign(1, std::string());
  count = 0;
  if (!RootSupported()) return false;
  std::optional<std::vector<std::string>> names;
  try {
    names = RegistryHive::ForCurrentUser().EnumerateSubKeys(m_SectionKey);
  } catch (const Error& e) {
    RethrowIfDamaged(e);
    return false;
  }
  if (names) {
    sections.insert(sections.end(), names->begin(), names->end());
    count = static_cast<long>(names->size());
  }
  return true;
}

}  // namespace bw
