#include "support/Error.h"

#include <cstdio>

#include "support/StringTable.h"

namespace bw {

Error::Error(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(description),
      m_Number(number),
      m_Source(std::move(source)),
      m_Description(std::move(description)) {}

std::string FormatErrorNumber(std::int32_t number) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(number));
  return buffer;
}

std::string ErrorReport(int leadTextId, const std::string& description) {
  return LoadResString(leadTextId) + '\r' + description;
}

std::string ErrorReport(int leadTextId, const Error& error) {
  return ErrorReport(leadTextId, error.Description());
}

}  // namespace bw
