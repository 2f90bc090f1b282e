// The SQL-logic file format: records separated by blank lines.
#include "slt/Slt.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <ostream>
#include <sstream>
#include <stdexcept>

#include "engine/Accounts.h"

namespace standin::slt {
namespace {

using engine::TypeId;

std::string Escape(const std::string& text) {
  if (text.empty()) return "(empty)";
  std::string out;
  for (char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      out += c;
    }
  }
  return out;
}

std::string JoinTabs(const std::vector<std::string>& values) {
  std::string out;
  for (std::size_t i = 0; i < values.size(); ++i) out += (i ? "\t" : "") + values[i];
  return out;
}

struct Record {
  int line = 0;
  std::vector<std::string> header;  // the directive line's words
  std::string sql;
  std::vector<std::string> expected;  // lines after ----
};

std::vector<std::string> Words(const std::string& line) {
  std::istringstream stream(line);
  std::vector<std::string> words;
  std::string word;
  while (stream >> word) words.push_back(word);
  return words;
}

std::string Describe(const Outcome& outcome) {
  if (!outcome.ok) {
    return "error " + std::to_string(outcome.errorNumber) + " (severity " +
           std::to_string(outcome.errorSeverity) + "): " + outcome.errorText;
  }
  return "success";
}

}  // namespace

std::string CanonicalTypeName(const engine::ColumnType& type) {
  return engine::TypeName(type);
}

std::string CanonicalText(const engine::Value& value, const engine::ColumnType& type) {
  if (std::holds_alternative<std::monostate>(value)) return "NULL";
  if (const auto* number = std::get_if<std::int64_t>(&value)) return std::to_string(*number);
  if (const auto* real = std::get_if<double>(&value)) {
    char buffer[64];
    auto result = type.id == TypeId::Real
                      ? std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(*real))
                      : std::to_chars(buffer, buffer + sizeof buffer, *real);
    return std::string(buffer, result.ptr);
  }
  if (const auto* text = std::get_if<std::string>(&value)) return Escape(*text);
  if (const auto* bytes = std::get_if<engine::Bytes>(&value)) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out = "0x";
    for (std::uint8_t byte : *bytes) {
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
    return out;
  }
  if (const auto* dateTime = std::get_if<engine::DateTime>(&value)) {
    // Days since 1900-01-01 → civil date (Howard Hinnant's algorithm).
    std::int64_t z = dateTime->days + 719468 - 25567;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t year = static_cast<std::int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned day = doy - (153 * mp + 2) / 5 + 1;
    const unsigned month = mp + (mp < 10 ? 3 : -9);
    year += month <= 2;
    const std::int64_t ms = (static_cast<std::int64_t>(dateTime->ticks) * 10 + 1) / 3;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u %02lld:%02lld:%02lld.%03lld",
                  static_cast<long long>(year), month, day, static_cast<long long>(ms / 3600000),
                  static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60),
                  static_cast<long long>(ms % 1000));
    return buffer;
  }
  if (const auto* guid = std::get_if<engine::Guid>(&value)) {
    static constexpr int kOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (int i = 0; i < 16; ++i) {
      if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
      const std::uint8_t byte = guid->bytes[kOrder[i]];
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
    return out;
  }
  const auto& decimal = std::get<engine::Decimal>(value);
  engine::Int128 magnitude = decimal.unscaled < 0 ? -decimal.unscaled : decimal.unscaled;
  std::string digits;
  do {
    digits += static_cast<char>('0' + static_cast<int>(magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  while (digits.size() <= decimal.scale) digits += '0';
  std::reverse(digits.begin(), digits.end());
  if (decimal.scale > 0) digits.insert(digits.size() - decimal.scale, ".");
  if (decimal.unscaled < 0) digits.insert(0, "-");
  return digits;
}

namespace {

// The records of a file, in order; blank lines end them.
std::vector<Record> ReadRecords(std::istream& file) {
  std::vector<Record> records;
  std::string line;
  int lineNumber = 0;
  Record current;
  enum class Part { None, Sql, Expected } part = Part::None;
  auto finish = [&]() {
    if (!current.header.empty()) records.push_back(current);
    current = Record{};
    part = Part::None;
  };
  while (std::getline(file, line)) {
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) {
      finish();
      continue;
    }
    if (part == Part::None) {
      if (line[0] == '#') continue;
      current.line = lineNumber;
      current.header = Words(line);
      part = Part::Sql;
      const std::string& kind = current.header[0];
      const bool onlyDirectives = std::all_of(records.begin(), records.end(), [](const Record& r) {
        return r.header[0] == "product-version" || r.header[0] == "account";
      });
      if ((kind == "product-version" || kind == "account") && !onlyDirectives) {
        // The runner has already started the server by then.
        current.header = {"misplaced-" + kind};
      }
      if (kind == "login" || kind == "session" || kind == "product-version" || kind == "account" ||
          kind.starts_with("misplaced-")) {
        records.push_back(current);
        current = Record{};
        part = Part::None;
      }
      continue;
    }
    if (part == Part::Sql) {
      if (line == "----") {
        part = Part::Expected;
        continue;
      }
      // A blank line ends the record, so a lone backslash stands for an empty
      // line of the batch (T-SQL has no use for one outside a string).
      if (line == "\\") line.clear();
      current.sql += (current.sql.empty() ? "" : "\n") + line;
      continue;
    }
    current.expected.push_back(line);
  }
  finish();
  return records;
}

// Each Check… returns what went wrong, or "" when the record holds.
std::string CheckLogin(const Record& record, Backend& backend) {
  const std::vector<std::string>& header = record.header;
  if (header.size() < 3) return "login needs USER PASSWORD [DATABASE] [error N]";
  std::size_t next = 3;
  std::string database;
  if (header.size() > 3 && header[3] != "error") database = header[next++];
  std::int32_t expected = 0;
  if (header.size() > next + 1 && header[next] == "error") expected = std::stoi(header[next + 1]);
  const std::int32_t got =
      backend.Login(header[1], header[2] == "(empty)" ? "" : header[2], database);
  if (got == expected) return "";
  return "login: expected " + (expected ? "error " + std::to_string(expected) : "success") +
         ", got " + (got ? "error " + std::to_string(got) : "success");
}

std::string CheckStatement(const Record& record, const Outcome& outcome) {
  const std::vector<std::string>& header = record.header;
  const std::string mode = header.size() > 1 ? header[1] : "";
  if (mode == "ok") {
    if (!outcome.ok) return "expected success, got " + Describe(outcome);
  } else if (mode == "count") {
    const std::int64_t wanted = header.size() > 2 ? std::stoll(header[2]) : -1;
    if (!outcome.ok) return "expected success, got " + Describe(outcome);
    if (outcome.rowsAffected.value_or(-1) != wanted) {
      return "expected " + std::to_string(wanted) + " rows affected, got " +
             (outcome.rowsAffected ? std::to_string(*outcome.rowsAffected) : "no count");
    }
  } else if (mode == "error") {
    if (outcome.ok) return "expected an error, got success";
    if (header.size() > 3 && header[2] == "severity") {
      if (outcome.errorSeverity != std::stoi(header[3]))
        return "expected severity " + header[3] + ", got " + Describe(outcome);
    } else if (header.size() > 2 && outcome.errorNumber != std::stoi(header[2])) {
      return "expected error " + header[2] + ", got " + Describe(outcome);
    }
  } else {
    return "unknown statement mode '" + mode + "'";
  }
  return "";
}

std::string CheckQuery(const Record& record, const Outcome& outcome) {
  const std::vector<std::string>& header = record.header;
  bool rowSort = false, withTypes = false, withNames = false, messages = false, errors = false;
  std::size_t resultSet = 1;
  for (std::size_t i = 1; i < header.size(); ++i) {
    if (header[i] == "rowsort")
      rowSort = true;
    else if (header[i] == "types")
      withTypes = true;
    else if (header[i] == "names")
      withNames = true;
    else if (header[i] == "messages")
      messages = true;
    else if (header[i] == "errors")
      errors = true;
    else if (header[i] == "resultset" && i + 1 < header.size())
      resultSet = std::stoul(header[++i]);
  }
  if (!outcome.ok && !errors) return "expected rows, got " + Describe(outcome);
  std::vector<std::string> got;
  if (messages) {
    got = outcome.messages;
  } else {
    if (outcome.resultSets.size() < resultSet) {
      return "expected result set " + std::to_string(resultSet) + ", got " +
             std::to_string(outcome.resultSets.size());
    }
    const ResultSet& set = outcome.resultSets[resultSet - 1];
    if (withNames) got.push_back(JoinTabs(set.names));
    if (withTypes) got.push_back(JoinTabs(set.types));
    std::vector<std::string> rows;
    for (const auto& row : set.rows) rows.push_back(JoinTabs(row));
    if (rowSort) std::sort(rows.begin(), rows.end());
    got.insert(got.end(), rows.begin(), rows.end());
  }
  if (got == record.expected) return "";
  std::string text = "result differs\n  expected:\n";
  for (const std::string& row : record.expected) text += "    " + row + "\n";
  text += "  got:\n";
  for (const std::string& row : got) text += "    " + row + "\n";
  return text;
}

// What went wrong with one record, or "".
std::string CheckRecord(const Record& record, Backend& backend) {
  const std::vector<std::string>& header = record.header;
  const std::string& kind = header[0];
  if (kind == "login") return CheckLogin(record, backend);
  if (kind == "product-version" || kind == "account") return "";  // read before the start
  if (kind.starts_with("misplaced-")) return kind.substr(10) + " must come before the first record";
  if (kind == "session") {
    if (header.size() != 2) return "session needs a NAME";
    backend.UseSession(header[1]);
    return "";
  }
  Outcome outcome = backend.Run(record.sql);
  if (kind == "statement") return CheckStatement(record, outcome);
  if (kind != "query") return "unknown record '" + kind + "'";
  return CheckQuery(record, outcome);
}

}  // namespace

int RunFile(const std::string& path, Backend& backend, std::ostream& failures) {
  std::ifstream file(path);
  if (!file) {
    failures << path << ": cannot read the file\n";
    return 1;
  }
  int failed = 0;
  for (const Record& record : ReadRecords(file)) {
    const std::string failure = CheckRecord(record, backend);
    if (failure.empty()) continue;
    ++failed;
    failures << path << ":" << record.line << ": " << failure << "\n";
  }
  return failed;
}

void AddFileAccounts(const std::string& path, const std::filesystem::path& dataDir) {
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    const std::vector<std::string> words = Words(line);
    if (words.empty() || words[0][0] == '#' || words[0] == "product-version") continue;
    if (words[0] != "account") return;
    if (words.size() < 2 || words.size() > 3 || (words.size() == 3 && words[2] != "group"))
      throw std::runtime_error(path + ": account DOMAIN\\name [group]");
    std::filesystem::create_directories(dataDir);
    engine::AccountDirectory(dataDir).Add(words[1], words.size() == 3);
  }
}

int FileProductVersion(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    const std::vector<std::string> words = Words(line);
    if (words.empty() || words[0][0] == '#' || words[0] == "account") continue;
    if (words[0] != "product-version") return 8;
    if (words.size() != 2 || (words[1] != "7" && words[1] != "8")) {
      throw std::runtime_error(path + ": product-version must be 7 or 8");
    }
    return words[1] == "7" ? 7 : 8;
  }
  return 8;
}

}  // namespace standin::slt
