// The common shape of every console command, without any UI: test the roles
// (any one suffices; else the refusal message), ask for confirmation (else
// nothing happens), run the action, and report an error with the command's
// lead text. Messages go through the message service, so the console shows
// boxes, bwctl prints and asks on the terminal, and tests script answers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "support/MessageService.h"
#include "support/Variant.h"

namespace bw::commands {

// A text of the table with its values, or a literal text.
struct Text {
  int id = 0;  // 0: use `literal`
  std::vector<Variant> args;
  std::string literal;

  static Text Id(int id, std::vector<Variant> args = {}) { return Text{id, std::move(args), {}}; }
  static Text Literal(std::string text) { return Text{0, {}, std::move(text)}; }
  bool Empty() const { return id == 0 && literal.empty(); }
  std::string Resolve() const;
};

struct CommandSpec {
  // Role tests; the command may run when any returns true (or when empty).
  std::vector<std::function<bool()>> roles;
  Text refusal;  // shown with the information icon
  Text confirmation;
  int confirmationStyle = MsgStyle::YesNo | MsgStyle::Question;
  Text errorLead;  // empty: errors go to the caller
  int errorStyle = MsgStyle::Information;
};

enum class Outcome {
  Done,      // the action ran and reported success
  Failed,    // the action ran and reported failure (its own message shown)
  Refused,   // no role held
  Declined,  // the confirmation was not answered Yes
  Error,     // an error was raised and reported
};

// Runs the command. `action` returns whether it succeeded. bw::Error from a
// role test or the action is reported with the error lead (when there is
// one) and gives Outcome::Error; without a lead it propagates.
Outcome RunCommand(const CommandSpec& command, const std::function<bool()>& action);

}  // namespace bw::commands
