#include "commands/security/SecurityStatements.h"

#include "support/Helpers.h"
#include "support/StringTable.h"

namespace bw::commands::security {

void Execute(const std::vector<Statement>& statements) {
  Command command;
  command.SetCommandType(adCmdText);
  for (const Statement& statement : statements) {
    command.SetActiveConnection(statement.connection);
    command.SetCommandText(statement.sql);
    command.Execute();
  }
}

void OpenRows(Recordset& rows, const std::string& sql, Connection& connection) {
  rows.SetCursorLocation(adUseClient);
  rows.Open(sql, &connection, adOpenForwardOnly, adLockOptimistic);
  // A procedure's row counts and messages come as results without rows.
  for (int step = 0; step < 101 && rows.State() != adStateOpen; ++step) rows.NextRecordset();
}

std::string ColumnText(Recordset& rows, const std::string& column) {
  const Variant& value = rows.Value(column);
  if (value.IsNull()) return {};
  std::string text = value.ToText();
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

bool SameName(const std::string& a, const std::string& b) {
  return LowerAscii(a) == LowerAscii(b);
}

std::string LoginErrorReport(const std::string& description, const std::string& appendix) {
  return LoadResString(120) + "\r\n" + description + "\r\r" + appendix;
}

std::size_t CharacterCount(const std::string& text) {
  std::size_t count = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++count;
  }
  return count;
}

}  // namespace bw::commands::security
