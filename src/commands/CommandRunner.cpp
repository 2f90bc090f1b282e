#include "commands/CommandRunner.h"

#include "support/Error.h"
#include "support/Placeholders.h"
#include "support/StringTable.h"

namespace bw::commands {

std::string Text::Resolve() const {
  if (id == 0) return literal;
  return args.empty() ? LoadResString(id) : FormatResString(id, args);
}

Outcome RunCommand(const CommandSpec& spec, const std::function<bool()>& action) {
  try {
    if (!spec.roles.empty()) {
      bool allowed = false;
      for (const auto& role : spec.roles) {
        if (role()) {
          allowed = true;
          break;
        }
      }
      if (!allowed) {
        MsgBox(spec.refusal.Resolve(), MsgStyle::Information);
        return Outcome::Refused;
      }
    }
    if (!spec.confirmation.Empty() &&
        MsgBox(spec.confirmation.Resolve(), spec.confirmationStyle) != MsgResult::Yes) {
      return Outcome::Declined;
    }
    return action() ? Outcome::Done : Outcome::Failed;
  } catch (const Error& error) {
    if (spec.errorLead.Empty()) throw;
    MsgBox(spec.errorLead.Resolve() + '\r' + error.Description(), spec.errorStyle);
    return Outcome::Error;
  }
}

}  // namespace bw::commands
