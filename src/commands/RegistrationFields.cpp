#include "commands/RegistrationFields.h"

#include "data/ConnectionString.h"
#include "support/Error.h"
#include "support/Helpers.h"

namespace bw::commands {
namespace {

// The value after `keyword` (any case) up to the next ";" or the end: how a
// string that does not parse is still read.
std::string ValueAfter(const std::string& text, const std::string& keyword) {
  const std::size_t at = LowerAscii(text).find(LowerAscii(keyword));
  if (at == std::string::npos) return "";
  const std::size_t begin = at + keyword.size();
  const std::size_t end = text.find(';', begin);
  return text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

}  // namespace

RegistrationFields RegistrationFields::Parse(const std::string& connectionString) {
  RegistrationFields fields;
  if (LowerAscii(connectionString).find("integrated security=sspi") != std::string::npos) {
    fields.integrated = true;
    return fields;
  }
  try {
    // The registration quotes values that hold ";" or quotes; the parser
    // reads them back whole.
    const auto parsed = OleDbConnectionString::Parse(connectionString);
    fields.login = parsed.Get("User Id").value_or("");
    fields.password = parsed.Get("Password").value_or("");
  } catch (const Error&) {
    fields.login = ValueAfter(connectionString, "User id=");
    fields.password = ValueAfter(connectionString, "Password=");
  }
  return fields;
}

}  // namespace bw::commands
