// Reads tests/agreement/control_argument_coding.txt, the one description of
// how BWCTL/1 writes an argument, for the tests of both sides of the protocol.
#pragma once

#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace agreement {

struct CodingRow {
  bool encode = false;               // "encode" rows also hold in the other direction
  std::string word;                  // as written on the line
  std::optional<std::string> value;  // nullopt: the word is refused
  int line = 0;
};

inline std::string FromHex(const std::string& hex) {
  if (hex == "\"\"") return {};
  std::string bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

inline std::vector<CodingRow> ReadCodingTable(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<CodingRow> rows;
  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    std::istringstream words(text);
    std::string kind, first, second;
    if (!(words >> kind >> first >> second) || kind[0] == '#') continue;
    CodingRow row{kind == "encode", kind == "encode" ? second : first, std::nullopt, number};
    const std::string& value = kind == "encode" ? first : second;
    if (value != "invalid") row.value = FromHex(value);
    rows.push_back(row);
  }
  return rows;
}

}  // namespace agreement
