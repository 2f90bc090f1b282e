// The login part of a stored registration, read back into the registration
// dialog's fields when a registration is edited.
#pragma once

#include <string>

namespace bw::commands {

struct RegistrationFields {
  bool integrated = false;  // Windows authentication
  std::string login;
  std::string password;

  // "Integrated Security=SSPI" anywhere (any case) means Windows
  // authentication with empty login fields. Otherwise the values of
  // "User Id" and "Password"; a string without them leaves the fields empty.
  static RegistrationFields Parse(const std::string& connectionString);
};

}  // namespace bw::commands
