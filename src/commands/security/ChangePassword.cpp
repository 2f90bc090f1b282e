#include "commands/security/ChangePassword.h"

#include "commands/security/SecurityStatements.h"
#include "support/MessageService.h"
#include "support/StringTable.h"

namespace bw::commands::security {

bool ChangePassword::Accept(const std::string& password, const std::string& confirmation) {
  if (CharacterCount(password) > kMaxLength) {
    MsgBox(LoadResString(168), MsgStyle::Information);
    return false;
  }
  if (confirmation != password) {
    MsgBox(LoadResString(167), MsgStyle::Information);
    return false;
  }
  return true;
}

}  // namespace bw::commands::security
