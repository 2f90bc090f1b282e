// The registry hive's contents in memory — a tree of keys holding typed
// values — and the text form it is stored in (README.md describes the
// format). Pure data and text: no files, no locks; RegistryHive adds those.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace bw {

// Registry value types, numbered as Windows numbers them.
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegDwordBigEndian = 5;
inline constexpr std::uint32_t kRegMultiSz = 7;

// A value as Windows keeps it: its type and its bytes. Strings include their
// terminating NUL; a REG_DWORD is four bytes, least significant first.
struct RegistryValue {
  std::uint32_t type = kRegNone;
  std::vector<std::uint8_t> data;
  bool operator==(const RegistryValue&) const = default;
};

// Key and value names compare without regard to ASCII case. The order folds
// to upper case, as the registry sorts sub-keys, so "_" comes after letters.
struct RegistryNameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};
bool RegistryNameEquals(std::string_view a, std::string_view b);

// The longest key name (one path component) the registry accepts.
inline constexpr std::size_t kMaxKeyNameLength = 255;

// Splits "A\B\C" into its key names. The empty path is the root (no names);
// one trailing backslash is ignored. Nothing for an empty name, a name over
// kMaxKeyNameLength characters or one holding a control character.
std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path);

// One key. Values keep the order they were created in; sub-keys are kept
// sorted by RegistryNameLess. Names keep the spelling they were created with.
struct HiveKey {
  std::vector<std::pair<std::string, RegistryValue>> values;
  std::map<std::string, std::unique_ptr<HiveKey>, RegistryNameLess> subKeys;

  const RegistryValue* FindValue(std::string_view name) const;
  // Replaces the data of an existing value (keeping its spelling) or appends one.
  void SetValue(std::string_view name, RegistryValue value);
  bool DeleteValue(std::string_view name);

  // The key at `names` below this one, or nullptr.
  HiveKey* Find(const std::vector<std::string>& names);
  // The key at `names`, created with any missing parents.
  HiveKey& Create(const std::vector<std::string>& names);
};

inline constexpr int kHiveFormatVersion = 1;
// The first line of every hive file, followed by a space and the version.
inline constexpr char kHiveHeader[] = "Brindlewick registry hive";

// Why a text is not a hive this program can read.
class HiveParseError : public std::runtime_error {
 public:
  HiveParseError(int line, const std::string& message, bool newerVersion = false);
  int Line() const { return m_Line; }
  // True when the text is well-formed but written in a later format version:
  // it is not damaged, just not ours to read.
  bool NewerVersion() const { return m_NewerVersion; }

 private:
  int m_Line;
  bool m_NewerVersion;
};

// The tree of a hive's text; throws HiveParseError. Zero bytes are an empty hive.
std::unique_ptr<HiveKey> ParseHive(std::string_view text);
// The text of a tree; ParseHive(SerializeHive(k)) equals k, names and bytes alike.
std::string SerializeHive(const HiveKey& root);

}  // namespace bw
