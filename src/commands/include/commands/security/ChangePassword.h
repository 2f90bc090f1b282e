// The check of the Change Password dialog (frmPassword): a new password
// typed twice. It changes nothing on the server; the login properties take
// the accepted password and send it with their own OK.
#pragma once

#include <cstddef>
#include <string>

namespace bw::commands::security {

class ChangePassword {
 public:
  // The longest password SQL Server keeps, in characters.
  static constexpr std::size_t kMaxLength = 128;

  // True when `password` may be handed over; otherwise message 168 (too
  // long) or 167 (the confirmation differs, letter case included) has been
  // shown. An empty password typed twice is accepted.
  static bool Accept(const std::string& password, const std::string& confirmation);
};

}  // namespace bw::commands::security
