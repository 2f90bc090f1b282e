#include "commands/CommandRunner.h"

#include "support/Error.h"
#include "support/Placeholders.h"
#include "support/StringTable.h"

namespace bw::commands {

std::string Text::Resolve() const {
  if (id == 0) return literal;
  return args.empty() ? LoadResString(id) : FormatResString(id, args);
}

Outcome RunCommand(const CommandSpec& command, const std::function<bool()>& action) {
  try {
    if (!command.roles.empty()) {
      bool allowed = false;
      for (const auto& role : command.roles) {
        if (role()) {
          allowed = true;
          break;
        }
      }
      if (!allowed) {
        MsgBox(command.refusal.Resolve(), MsgStyle::Information);
        return Outcome::Refused;
      }
    }
    if (!command.confirmation.Empty() &&
        MsgBox(command.confirmation.Resolve(), command.confirmationStyle) != MsgResult::Yes) {
      return Outcome::Declined;
    }
    return action() ? Outcome::Done : Outcome::Failed;
  } catch (const Error& error) {
    if (command.errorLead.Empty()) throw;
    MsgBox(command.errorLead.Resolve() + '\r' + error.Description(), command.errorStyle);
    return Outcome::Error;
  }
}

}  // namespace bw::commands
