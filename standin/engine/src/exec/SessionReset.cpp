// The reset a pooling client asks for with the reset-connection flag: the
// next user of the connection must find it as a new login would, without
// the previous user's temporary tables, transaction, prepared statements or
// SET options.
#include "common/Text.h"
#include "exec/SessionImpl.h"
#include "storage/DataDirectory.h"

namespace standin::engine {

void SessionImpl::ResetConnection(bool keepTransaction, BatchSink& sink) {
  if (m_Killed.load()) return;
  RunningScope running(*this);
  m_Cancel = false;
  if (!keepTransaction && m_Transaction.tranCount > 0) m_Transactions.Abandon(sink);
  // Everything in the temporary schema is the session's own: #tables, and
  // what it made after USE tempdb. The bookkeeping tables come back empty.
  std::vector<std::pair<std::string, std::string>> objects;
  {
    SqliteStatement list(m_Db.get(),
                         "SELECT type, name FROM temp.sqlite_master WHERE type IN ('view', "
                         "'table') AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\' ORDER BY type DESC");
    while (list.Step()) {
      objects.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(list.Handle(), 0)),
                           reinterpret_cast<const char*>(sqlite3_column_text(list.Handle(), 1)));
    }
  }
  for (const auto& [type, name] : objects) {
    Execute(m_Db.get(), std::string(type == "view" ? "DROP VIEW " : "DROP TABLE ") + "temp." +
                            QuoteIdentifier(name));
  }
  CreateBookkeeping(m_Db.get(), "temp");
  m_Procedures.ForgetPrepared();
  m_Options.noCount = false;
  m_Options.ansiNullDefault = true;
  m_Options.quotedIdentifier = true;
  m_Options.lockTimeoutMs = -1;
  m_Options.textSize = SessionOptions::kDefaultTextSize;
  m_Options.identityInsertTable.clear();
  m_Outcome.rowCount = 0;
  m_Outcome.lastError = 0;
  m_Outcome.lastIdentity.reset();
  if (!EqualsNoCase(m_DatabaseState.current, m_DatabaseState.loginDatabase)) {
    std::optional<DatabaseEntry> entry = m_Engine.Databases().Find(m_DatabaseState.loginDatabase);
    // A login database dropped meanwhile leaves the session where it is, as
    // a failed USE would.
    if (entry) {
      if (!EqualsNoCase(entry->name, "tempdb")) AttachDatabase(*entry);
      const std::string old = m_DatabaseState.current;
      m_DatabaseState.current = entry->name;
      m_DatabaseState.currentId = entry->id;
      PublishCurrentDatabase();
      sink.EnvironmentChanged(EnvChange{EnvChangeType::Database, entry->name, old});
    }
  }
}

}  // namespace standin::engine
