// The error every library class raises: a number (HRESULT-style, 32 bits), the
// source that raised it and a description for the administrator. Commands and
// dialogs catch it per operation and show an error report.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace bw {

// Base of the object-defined error numbers (vbObjectError).
inline constexpr std::int32_t kObjectErrorBase = static_cast<std::int32_t>(0x80040000u);

class Error : public std::runtime_error {
 public:
  Error(std::int32_t number, std::string source, std::string description);

  std::int32_t Number() const { return m_Number; }
  const std::string& Source() const { return m_Source; }
  const std::string& Description() const { return m_Description; }

 private:
  std::int32_t m_Number;
  std::string m_Source;
  std::string m_Description;
};

// "0x80040E4D" — how numbers are shown in logs and on the command line.
std::string FormatErrorNumber(std::int32_t number);

// The report shown after a failed operation: the text of `leadTextId`, one
// carriage return (no line feed), then the error's description.
std::string ErrorReport(int leadTextId, const std::string& description);
std::string ErrorReport(int leadTextId, const Error& error);

}  // namespace bw
