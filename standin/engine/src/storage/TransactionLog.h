// A database's transaction log: its .LDF file. SQLite keeps its own
// write-ahead log beside the .mdf and folds it into the data file now and
// then; the .LDF keeps a copy of every committed page image (WAL frame) in
// order, so it grows with the work done as SQL Server's log does, until
// BACKUP LOG … WITH TRUNCATE_ONLY marks it reusable and DBCC SHRINKFILE gives
// the space back.
//
// Layout: one 8-KB header page ("sqlstandin-log 1", the end of the active
// part), then records (a 4-byte tag, a 4-byte little-endian length, the
// frames). A file without that header (the marker of older builds, or a log
// made by hand) counts as an empty log and gets the header on its first
// write.
//
// Thread-safe: one process-wide mutex serialises every log change.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace standin::engine {

// The log file SQL Server puts beside a data file: "C:\\D\\x.mdf" → "C:\\D\\x_log.LDF".
std::string LogPathBeside(const std::string& dataFile);

inline constexpr std::int64_t kLogPageBytes = 8192;

struct LogState {
  std::int64_t fileBytes = 0;  // the file's size
  std::int64_t activeEnd = 0;  // the end of the records still needed
};

// Writes an empty log (the header page only).
void CreateLogFile(const std::filesystem::path& ldf);
// Size and active end; a missing file gives zeros.
LogState ReadLogState(const std::filesystem::path& ldf);
// TRUNCATE_ONLY: every record becomes reusable; the file keeps its size and
// new records are written from the start again.
void TruncateLog(const std::filesystem::path& ldf);
// Cuts the file to the larger of the target and the active part (never
// below the header page); returns the new size in bytes.
std::int64_t ShrinkLog(const std::filesystem::path& ldf, std::int64_t targetBytes);

// Copies every commit of a session connection's attached databases into their
// .LDF files and checkpoints SQLite's write-ahead log as its automatic
// checkpoint would (the hook replaces it). Databases without a .LDF (master,
// model, msdb) are left alone.
void InstallLogHook(sqlite3* db);

}  // namespace standin::engine
