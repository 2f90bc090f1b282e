#include "support/StringTable.h"

#include <charconv>
#include <cstddef>
#include <stdexcept>
#include <string_view>

extern const unsigned char kStringTableSource[];
extern const std::size_t kStringTableSource_size;

namespace bw {

namespace {

bool IsHeader(std::string_view line) {
  return line.size() >= 2 && line[0] == '@' && line[1] == ' ';
}

int ParseId(std::string_view digits, int lineNumber) {
  int id = 0;
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), id);
  if (ec != std::errc() || end != digits.data() + digits.size() || id <= 0) {
    throw std::invalid_argument("string table line " + std::to_string(lineNumber) + ": bad id '" +
                                std::string(digits) + "'");
  }
  return id;
}

}  // namespace

std::map<int, std::string> ParseStringTable(const std::string& source) {
  std::map<int, std::string> table;
  std::string* current = nullptr;
  bool firstLineOfText = false;
  int lastId = 0;
  int lineNumber = 0;
  std::size_t pos = 0;
  while (pos < source.size()) {
    std::size_t end = source.find('\n', pos);
    if (end == std::string::npos) end = source.size();
    std::string_view line(source.data() + pos, end - pos);
    pos = end + 1;
    ++lineNumber;
    if (IsHeader(line)) {
      int id = ParseId(line.substr(2), lineNumber);
      if (id <= lastId) {
        throw std::invalid_argument("string table line " + std::to_string(lineNumber) + ": id " +
                                    std::to_string(id) + " is not above " + std::to_string(lastId));
      }
      lastId = id;
      current = &table[id];
      firstLineOfText = true;
      continue;
    }
    if (current == nullptr) {
      if (line.empty() || line[0] == '#') continue;
      throw std::invalid_argument("string table line " + std::to_string(lineNumber) +
                                  ": text before the first entry");
    }
    if (!firstLineOfText) current->push_back('\n');
    current->append(line);
    firstLineOfText = false;
  }
  return table;
}

const std::map<int, std::string>& StringTableEntries() {
  static const std::map<int, std::string> table = ParseStringTable(
      std::string(reinterpret_cast<const char*>(kStringTableSource), kStringTableSource_size));
  return table;
}

std::string LoadResString(int id) {
  const auto& table = StringTableEntries();
  auto it = table.find(id);
  if (it == table.end()) throw std::out_of_range("no text with id " + std::to_string(id));
  return it->second;
}

bool HasResString(int id) {
  return StringTableEntries().count(id) != 0;
}

}  // namespace bw
