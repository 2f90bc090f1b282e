// Names, strings and declared types in SQLite's SQL.
#include "common/SqliteNames.h"

#include <cstdlib>

namespace standin::engine {

std::string QuoteIdentifier(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out += c;
    if (c == '"') out += '"';
  }
  return out + "\"";
}

std::string QuoteString(std::string_view value) {
  std::string out = "'";
  for (char c : value) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out + "'";
}

std::string StorageTypeName(const ColumnType& type) {
  std::string name = TypeName(type);
  if (!IsExactNumeric(type.id) || IsInteger(type.id)) return name;
  // NUMERIC affinity would turn "1234567890123.4567" into a REAL with 15
  // digits; "BLOB" in the declared type keeps values exactly as stored.
  const std::size_t open = name.find('(');
  return open == std::string::npos ? name + " BLOB"
                                   : name.substr(0, open) + " BLOB" + name.substr(open);
}

std::optional<ColumnType> ParseDeclaredType(std::string_view declared) {
  // Exact numerics are declared "decimal BLOB(10,2)" (see StorageTypeName).
  std::string cleaned(declared);
  for (std::size_t at = 0; (at = cleaned.find(" BLOB", at)) != std::string::npos;)
    cleaned.erase(at, 5);
  declared = cleaned;
  const std::size_t open = declared.find('(');
  std::string_view base = declared.substr(0, open);
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  int first = -1, second = -1;
  if (open != std::string_view::npos) {
    first = std::atoi(std::string(declared.substr(open + 1)).c_str());
    const std::size_t comma = declared.find(',', open);
    if (comma != std::string_view::npos)
      second = std::atoi(std::string(declared.substr(comma + 1)).c_str());
  }
  return ParseTypeName(base, first, first, second);
}

}  // namespace standin::engine
