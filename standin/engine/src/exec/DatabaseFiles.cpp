// The transaction log statements: BACKUP LOG … WITH TRUNCATE_ONLY and
// DBCC SHRINKFILE.
#include <algorithm>
#include <cctype>

#include "catalog/DatabaseSecurity.h"
#include "common/Text.h"
#include "engine/Errors.h"
#include "exec/DatabaseExecutor.h"
#include "exec/EngineImpl.h"
#include "procs/SystemProcedures.h"
#include "storage/TransactionLog.h"

namespace standin::engine {
namespace {

constexpr std::uint16_t kCommandDbcc = 0xC1;

std::int64_t Pages(std::int64_t bytes) {
  return (bytes + kLogPageBytes - 1) / kLogPageBytes;
}

std::int64_t FileBytes(const std::filesystem::path& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<std::int64_t>(size);
}

}  // namespace

void DatabaseExecutor::RunBackupLog(const BackupLogStatement& statement, BatchSink& sink) {
  // Each failure is followed by 3013, as SQL Server ends every failed backup.
  auto fail = [&](const Message& message) {
    m_Session.Report(message, sink);
    RaiseError(3013, {"BACKUP LOG"});
  };
  if (m_Transaction.tranCount > 0) fail(MakeMessage(3021));
  std::optional<DatabaseEntry> entry = m_Session.Engine().Databases().Find(statement.database);
  if (!entry) fail(MakeMessage(911, {statement.database}));
  if (!m_Security.OwnsOrAdministers(entry->name, kUidBackupOperator))
    fail(MakeMessage(262, {"BACKUP LOG", entry->name}));
  // Committed pages first go into the data file, so nothing in the log is
  // still needed once it is marked reusable.
  if (auto it = m_Databases.attached.find(Lower(entry->name)); it != m_Databases.attached.end())
    sqlite3_exec(m_Session.Db(),
                 ("PRAGMA " + QuoteIdentifier(it->second) + ".wal_checkpoint(PASSIVE)").c_str(),
                 nullptr, nullptr, nullptr);
  const std::filesystem::path log = LogPathBeside(entry->hostPath.string());
  std::error_code error;
  if (std::filesystem::is_regular_file(log, error)) TruncateLog(log);
  m_Outcome.rowCount = 0;
  m_Session.Done(sink, false, false, 0, 0);
}

void DatabaseExecutor::RunShrinkFile(const ShrinkFileStatement& statement, BatchSink& sink) {
  std::optional<DatabaseEntry> entry = m_Session.Engine().Databases().Find(m_Databases.current);
  if (!entry) RaiseError(911, {m_Databases.current});
  if (!m_Security.OwnsOrAdministers(entry->name))
    RaiseError(2571, {m_Session.Login().name, "SHRINKFILE"});
  const std::string& file = statement.arguments.at(0);
  const bool byId = !file.empty() && std::all_of(file.begin(), file.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c));
  });
  std::optional<DatabaseFile> found;
  for (const DatabaseFile& candidate : FilesOf(*entry)) {
    if (byId ? std::to_string(candidate.fileId) == file : EqualsNoCase(candidate.logicalName, file))
      found = candidate;
  }
  if (!found) RaiseError(8985, {file});
  std::int64_t targetMegabytes = 0;
  if (statement.arguments.size() > 1) {
    try {
      targetMegabytes = std::stoll(statement.arguments[1]);
    } catch (const std::exception&) {
      RaiseError(8114, {"varchar", "int"});
    }
  }
  const std::int64_t targetBytes = targetMegabytes * 1024 * 1024;
  std::int64_t current = 0, minimum = 1, used = 0;
  if (found->fileId == 2) {
    const std::filesystem::path log = LogPathBeside(entry->hostPath.string());
    current = Pages(ShrinkLog(log, targetBytes));
    used = std::max<std::int64_t>(1, Pages(ReadLogState(log).activeEnd));
  } else {
    // The data file gives back its free pages when asked to shrink below its
    // size: SQLite rebuilds it (outside a transaction only, as VACUUM must).
    const std::string schema = m_Session.SchemaFor(entry->name);
    if (targetBytes < FileBytes(entry->hostPath) && m_Transaction.tranCount == 0) {
      Execute(m_Session.Db(), "VACUUM " + QuoteIdentifier(schema));
      sqlite3_exec(m_Session.Db(),
                   ("PRAGMA " + QuoteIdentifier(schema) + ".wal_checkpoint(TRUNCATE)").c_str(),
                   nullptr, nullptr, nullptr);
    }
    current = Pages(FileBytes(entry->hostPath));
    used = current;
    minimum = std::min<std::int64_t>(current, 80);  // the size model gives new databases
  }
  const std::vector<Column> columns{MakeColumn("DbId", TypeId::SmallInt, 0, false),
                                    MakeColumn("FileId", TypeId::SmallInt, 0, false),
                                    MakeColumn("CurrentSize", TypeId::Int, 0, false),
                                    MakeColumn("MinimumSize", TypeId::Int, 0, false),
                                    MakeColumn("UsedPages", TypeId::Int, 0, false),
                                    MakeColumn("EstimatedPages", TypeId::Int, 0, false)};
  sink.Columns(columns);
  sink.Row({std::int64_t{entry->id}, std::int64_t{found->fileId}, current, minimum, used,
            std::max(used, minimum)});
  m_Outcome.rowCount = 1;
  m_Session.Done(sink, false, true, 1, kCommandDbcc);
  // The completion message follows the result set, as SQL Server sends it.
  if (!statement.noInfoMessages) {
    m_Session.Report(MakeMessage(2528), sink);
    m_Session.Done(sink, false, false, 0, 0);
  }
}

}  // namespace standin::engine
