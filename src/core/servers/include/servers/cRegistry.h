// The registry accessor of the server registration store: one root, key path,
// value name and type are set as properties, then the operations act on them.
// Each instance keeps its own settings between calls. Only HKEY_CURRENT_USER
// is backed (by the current user's hive, looked up at each call); any other
// root behaves like a key that cannot be opened.
//
// Every member may also raise the hive's own error when it finds the hive
// damaged and moves it aside (HiveErrorNumber(kErrorRegistryCorrupt)): that
// happens once, and the administrator must learn that the registrations went
// with the old file, so it is never swallowed into a default.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/Variant.h"

namespace bw {

inline constexpr std::int32_t kHKeyCurrentUser = static_cast<std::int32_t>(0x80000001u);

// Raised when a key cannot be created or a value cannot be written.
inline constexpr std::int32_t kErrRegistry = 26001;

class cRegistry {
 public:
  std::int32_t ClassKey() const { return m_ClassKey; }
  void SetClassKey(std::int32_t classKey) { m_ClassKey = classKey; }
  const std::string& SectionKey() const { return m_SectionKey; }
  void SetSectionKey(std::string sectionKey) { m_SectionKey = std::move(sectionKey); }
  const std::string& ValueKey() const { return m_ValueKey; }
  void SetValueKey(std::string valueKey) { m_ValueKey = std::move(valueKey); }
  // The type SetValue writes (kRegSz …); Value sets it to the type it read.
  long ValueType() const { return m_ValueType; }
  void SetValueType(long valueType) { m_ValueType = valueType; }
  // What Value returns when the value cannot be read.
  const Variant& Default() const { return m_Default; }
  void SetDefault(Variant value) { m_Default = std::move(value); }

  // The value ValueKey of SectionKey, or Default when the key, the value or
  // the hive cannot be read. REG_SZ and REG_MULTI_SZ give the text without
  // its terminating NUL (a multi-string keeps the NULs between and after its
  // strings), REG_EXPAND_SZ the text with %VAR%, $VAR and ${VAR} expanded,
  // REG_DWORD a signed 32-bit number, REG_DWORD_BIG_ENDIAN likewise from its
  // reversed bytes, every other type (and a DWORD not four bytes long) the bytes.
  Variant Value();
  // Writes `value` as ValueType, creating the key when it is missing. Text
  // types take the value's text and store it with a terminating NUL; REG_DWORD
  // and REG_DWORD_BIG_ENDIAN take a whole number in the signed 32-bit range;
  // REG_BINARY and any other type take bytes. Raises kErrRegistry naming the
  // root, section, value name, value (passwords masked) and system error code.
  void SetValue(const Variant& value);

  // True when SectionKey exists.
  bool KeyExists();
  // Creates SectionKey with missing parents. True on success; raises
  // kErrRegistry otherwise.
  bool CreateKey();
  // Deletes SectionKey when it has no sub-keys. True when it was deleted.
  bool DeleteKey();
  // Fills `sections` with the names of SectionKey's sub-keys, 1-based
  // (sections[0] is an unused empty string), in the registry's order
  // (sorted ignoring case), and `count` with their number. True also when
  // the key does not exist (count 0); false when the hive cannot be read or
  // the root is not HKEY_CURRENT_USER.
  bool EnumerateSections(std::vector<std::string>& sections, long& count);

 private:
  bool RootSupported() const { return m_ClassKey == kHKeyCurrentUser; }

  std::int32_t m_ClassKey = kHKeyCurrentUser;
  std::string m_SectionKey;
  std::string m_ValueKey;
  long m_ValueType = 1;
  Variant m_Default;
};

}  // namespace bw
