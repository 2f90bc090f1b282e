// Databases and their files: sp_helpdb.
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "catalog/DatabaseCatalog.h"
#include "catalog/DatabaseSecurity.h"
#include "catalog/FullText.h"
#include "catalog/LoginCatalog.h"
#include "common/Text.h"
#include "engine/Errors.h"
#include "exec/EngineImpl.h"
#include "procs/SystemProcedures.h"
#include "storage/TransactionLog.h"

namespace standin::engine {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kStatusTruncateLogOnCheckpoint = 8;
constexpr std::int64_t kStatusTornPageDetection = 16;
constexpr std::int64_t kStatusSingleUser = 4096;
constexpr std::int64_t kStatusAutoShrink = 4194304;
constexpr std::int64_t kStatusSelectIntoBulkCopy = 4;

std::int64_t FileBytes(const fs::path& path) {
  std::error_code error;
  const auto size = fs::file_size(path, error);
  return error ? 0 : static_cast<std::int64_t>(size);
}

// The last component of a Windows path.
std::string MapWindowsPathName(const std::string& windowsPath) {
  const std::size_t slash = windowsPath.find_last_of("\\/");
  return slash == std::string::npos ? windowsPath : windowsPath.substr(slash + 1);
}

std::int64_t PagesToKilobytes(std::int64_t bytes) {
  return (bytes + 8191) / 8192 * 8;
}

// "2026-03-05 …" → "Mar  5 2026", the day padded with a space.
std::string CreatedText(const std::string& crdate) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  if (crdate.size() < 10) return crdate;
  const int month = std::stoi(crdate.substr(5, 2));
  const int day = std::stoi(crdate.substr(8, 2));
  if (month < 1 || month > 12) return crdate;
  char text[16];
  std::snprintf(text, sizeof text, "%s %2d %s", kMonths[month - 1], day,
                crdate.substr(0, 4).c_str());
  return text;
}

std::string StatusText2000(std::int64_t status, bool fullText) {
  std::string text = "Status=ONLINE, Updateability=READ_WRITE, UserAccess=";
  text += (status & kStatusSingleUser) ? "SINGLE_USER" : "MULTI_USER";
  text += ", Recovery=";
  text += (status & kStatusTruncateLogOnCheckpoint) ? "SIMPLE" : "FULL";
  text += ", Version=539, Collation=SQL_Latin1_General_CP1_CI_AS, SQLSortOrder=52";
  if (status & kStatusTornPageDetection) text += ", IsTornPageDetectionEnabled";
  if (status & kStatusAutoShrink) text += ", IsAutoShrink";
  text += ", IsAutoCreateStatistics, IsAutoUpdateStatistics";
  if (fullText) text += ", IsFulltextEnabled";
  return text;
}

// SQL Server 7.0 lists the options that are set, by their sp_dboption names.
std::string StatusText7(std::int64_t status) {
  std::string text;
  auto add = [&](bool on, const char* name) {
    if (!on) return;
    if (!text.empty()) text += ", ";
    text += name;
  };
  add(status & kStatusSelectIntoBulkCopy, "select into/bulkcopy");
  add(status & kStatusTruncateLogOnCheckpoint, "trunc. log on chkpt.");
  add(status & kStatusTornPageDetection, "torn page detection");
  add(status & kStatusSingleUser, "single user");
  add(status & kStatusAutoShrink, "autoshrink");
  return text.empty() ? "no options set" : text;
}

// NCHAR values travel padded to their length, as SQL Server sends them.
std::string Padded(std::string text, std::size_t length) {
  std::size_t characters = 0;
  for (unsigned char c : text) characters += (c & 0xC0) != 0x80;
  if (characters < length) text.append(length - characters, ' ');
  return text;
}

std::string SizeText(std::int64_t kilobytes) {
  return std::to_string(kilobytes) + " KB";
}

std::int32_t SpHelpdb(ProcedureCall& call) {
  const bool sql7 = call.engine.Options().productVersion == 7;
  const std::optional<std::string> wanted = call.Text(0);
  std::vector<DatabaseDetails> catalogue = call.engine.Databases().Catalogue();
  std::vector<DatabaseDetails> listed;
  for (auto& details : catalogue) {
    if (!wanted || EqualsNoCase(details.entry.name, *wanted)) listed.push_back(std::move(details));
  }
  if (wanted && listed.empty()) RaiseError(15010, {*wanted});
  std::vector<std::vector<Value>> rows;
  for (const DatabaseDetails& details : listed) {
    // SQL Server 2000 gathers the list in a temp table whose owner column
    // does not allow NULL, so one database without an owner login fails the
    // whole procedure.
    if (!details.owner && !sql7) {
      RaiseError(515, {"owner", "tempdb.dbo.#spdbdesc", "INSERT"});
    }
    std::int64_t kilobytes = 0;
    for (const DatabaseFile& file : FilesOf(details.entry)) kilobytes += file.kilobytes;
    char size[32];
    std::snprintf(size, sizeof size, "%10.2f MB", static_cast<double>(kilobytes) / 1024.0);
    std::vector<Value> row{
        details.entry.name,
        std::string(size),
        details.owner ? Value(*details.owner) : Value(std::monostate{}),
        std::int64_t{details.entry.id},
        CreatedText(details.created),
        sql7 ? StatusText7(details.status)
             : StatusText2000(details.status, FullTextEnabledInFile(details.entry.hostPath))};
    if (!sql7) row.emplace_back(std::int64_t{details.compatibilityLevel});
    rows.push_back(std::move(row));
  }
  std::vector<Column> columns{MakeColumn("name", TypeId::NVarChar, 128, false),
                              MakeColumn("db_size", TypeId::NVarChar, 13),
                              MakeColumn("owner", TypeId::NVarChar, 128),
                              MakeColumn("dbid", TypeId::SmallInt, 0, false),
                              MakeColumn("created", TypeId::NVarChar, 11, false),
                              MakeColumn("status", TypeId::NVarChar, 600)};
  if (!sql7) columns.push_back(MakeColumn("compatibility_level", TypeId::TinyInt, 0, false));
  call.ResultSet(columns, rows);
  if (!wanted) return 0;

  std::vector<std::vector<Value>> files;
  for (const DatabaseFile& file : FilesOf(listed.front().entry)) {
    const bool log = file.fileId == 2;
    files.push_back({Padded(file.logicalName, 128), std::int64_t{file.fileId},
                     Padded(file.windowsPath, 260),
                     log ? Value(std::monostate{}) : Value(std::string("PRIMARY")),
                     SizeText(file.kilobytes), std::string("Unlimited"), std::string("10%"),
                     std::string(log ? "log only" : "data only")});
  }
  call.ResultSet(
      {MakeColumn("name", TypeId::NChar, 128, false),
       MakeColumn("fileid", TypeId::SmallInt, 0, false),
       MakeColumn("filename", TypeId::NChar, 260, false),
       MakeColumn("filegroup", TypeId::NVarChar, 128), MakeColumn("size", TypeId::NVarChar, 18),
       MakeColumn("maxsize", TypeId::NVarChar, 18), MakeColumn("growth", TypeId::NVarChar, 18),
       MakeColumn("usage", TypeId::VarChar, 9)},
      files);
  return 0;
}

bool IsSystemDatabase(const std::string& name) {
  const std::string lower = Lower(name);
  return lower == "master" || lower == "model" || lower == "msdb" || lower == "tempdb";
}

std::string Required(ProcedureCall& call, std::size_t index, const char* procedure,
                     const char* parameter) {
  std::optional<std::string> value = call.Text(index);
  if (!value) RaiseError(201, {procedure, parameter});
  return *value;
}

// Somebody's current database — the caller's included — cannot change state.
void RequireUnused(ProcedureCall& call, const std::string& name, std::int32_t error) {
  if (EqualsNoCase(call.currentDatabase, name) || call.engine.DatabaseInUse(name, call.spid))
    RaiseError(error, {name});
}

// Detaching, attaching, renaming and re-owning databases and changing their
// options are the server roles' business: 15247 for anyone else.
void RequireServerRole(const ProcedureCall& call, std::string_view role) {
  if (!call.engine.Logins().HasServerRole(call.loginName, role)) RaiseError(15247);
}

std::int32_t SpDetachDb(ProcedureCall& call) {
  RequireServerRole(call, "sysadmin");
  const std::string name = Required(call, 0, "sp_detach_db", "@dbname");
  std::optional<DatabaseEntry> entry = call.engine.Databases().Find(name);
  if (!entry) RaiseError(15010, {name});
  if (IsSystemDatabase(entry->name)) RaiseError(7940);
  RequireUnused(call, entry->name, 3703);
  // Idle sessions that used the database let go of its file now; one that
  // still reads it keeps it, and the detach fails with 3703.
  call.engine.ForgetDatabase(entry->name, call.spid);
  call.engine.Databases().Detach(entry->name);
  return 0;
}

// sp_attach_db and sp_attach_single_file_db: the data file is the one that
// counts; a log named with it must be the one beside it.
std::int32_t Attach(ProcedureCall& call, const char* procedure, const char* fileParameter) {
  RequireServerRole(call, "dbcreator");
  const std::string name = Required(call, 0, procedure, "@dbname");
  const std::string dataFile = Required(call, 1, procedure, fileParameter);
  for (std::size_t i = 2; i < call.arguments.size(); ++i) {
    std::optional<std::string> other = call.Text(i);
    if (other && !EqualsNoCase(*other, LogPathBeside(dataFile)))
      RaiseUnsupported("attaching files other than a data file and the log beside it");
  }
  std::string createdLog;
  try {
    createdLog = call.engine.Databases().Attach(name, dataFile);
  } catch (const SqlError& error) {
    if (error.Msg().number != 5105) throw;
    call.sink.Error(error.Msg());
    RaiseError(1813, {name});
  }
  if (!createdLog.empty()) call.Info(5182, {createdLog});
  return 0;
}

std::int32_t SpAttachDb(ProcedureCall& call) {
  return Attach(call, "sp_attach_db", "@filename1");
}

std::int32_t SpAttachSingleFileDb(ProcedureCall& call) {
  return Attach(call, "sp_attach_single_file_db", "@physname");
}

std::int32_t SpRenamedb(ProcedureCall& call) {
  RequireServerRole(call, "dbcreator");
  const std::string name = Required(call, 0, "sp_renamedb", "@dbname");
  const std::string newName = Required(call, 1, "sp_renamedb", "@newname");
  std::optional<DatabaseEntry> entry = call.engine.Databases().Find(name);
  if (!entry) RaiseError(15010, {name});
  if (call.engine.DatabaseInUse(entry->name, call.spid)) RaiseError(5030);
  call.engine.Databases().Rename(entry->name, newName);
  call.engine.ForgetDatabase(entry->name);
  call.Info(5021, {newName});
  return 0;
}

// The options the console sets; a unique prefix names an option, as
// sp_dboption matches with LIKE.
std::int32_t SpDboption(ProcedureCall& call) {
  const std::optional<std::string> name = call.Text(0);
  const std::optional<std::string> option = call.Text(1);
  const std::optional<std::string> value = call.Text(2);
  if (!name || !option || !value) RaiseUnsupported("sp_dboption without an option and a value");
  RequireServerRole(call, "dbcreator");
  struct Option {
    const char* name;
    std::int64_t bit;
  };
  static constexpr Option kOptions[] = {{"single user", kStatusSingleUser},
                                        {"autoshrink", kStatusAutoShrink},
                                        {"torn page detection", kStatusTornPageDetection},
                                        {"trunc. log on chkpt.", kStatusTruncateLogOnCheckpoint},
                                        {"select into/bulkcopy", kStatusSelectIntoBulkCopy}};
  const Option* found = nullptr;
  for (const Option& candidate : kOptions) {
    if (Lower(candidate.name).rfind(Lower(*option), 0) == 0 && !option->empty()) {
      if (found) RaiseUnsupported("an ambiguous sp_dboption option");
      found = &candidate;
    }
  }
  if (!found) RaiseError(15011, {*option});
  const std::string flag = Lower(*value);
  if (flag != "true" && flag != "false" && flag != "on" && flag != "off") RaiseError(15241);
  const bool on = flag == "true" || flag == "on";
  std::optional<DatabaseEntry> entry = call.engine.Databases().Find(*name);
  if (!entry) RaiseError(15010, {*name});
  if (EqualsNoCase(entry->name, "master")) RaiseError(15243, {found->name});
  if (found->bit == kStatusSingleUser && on && call.engine.DatabaseInUse(entry->name, call.spid))
    RaiseError(5070, {entry->name});
  call.engine.Databases().SetStatus(entry->name, found->bit, on);
  return 0;
}

// Runs in the database whose owner changes.
std::int32_t SpChangedbowner(ProcedureCall& call) {
  RequireServerRole(call, "sysadmin");
  const std::string login = Required(call, 0, "sp_changedbowner", "@loginame");
  if (EqualsNoCase(call.currentDatabase, "master")) RaiseError(15109);
  std::optional<LoginDetails> details = call.engine.Logins().Find(login);
  if (!details) RaiseError(15007, {login});
  DatabaseSecurity& security = *call.security;
  if (std::optional<Principal> user = security.FindBySid(details->sid);
      user && user->uid != kUidDbo)
    RaiseError(15110);
  // dbo stands for the new owner in the database as in sysdatabases. master
  // first: the session's own write would lock master, which it has attached.
  call.engine.Databases().ChangeOwner(call.currentDatabase, login);
  SqliteTransaction write = BeginSecurityWrite(security.Connection());
  SetDatabaseOwner(security.Connection(), security.Schema(), details->sid);
  write.Commit();
  call.Info(15501);
  return 0;
}

constexpr std::string_view kHelpdbParameters[] = {"@dbname"};
constexpr std::string_view kDetachParameters[] = {"@dbname", "@skipchecks"};
constexpr std::string_view kAttachParameters[] = {
    "@dbname",     "@filename1",  "@filename2",  "@filename3",  "@filename4",  "@filename5",
    "@filename6",  "@filename7",  "@filename8",  "@filename9",  "@filename10", "@filename11",
    "@filename12", "@filename13", "@filename14", "@filename15", "@filename16"};
constexpr std::string_view kAttachSingleParameters[] = {"@dbname", "@physname"};
constexpr std::string_view kRenameParameters[] = {"@dbname", "@newname"};
constexpr std::string_view kDboptionParameters[] = {"@dbname", "@optname", "@optvalue"};
constexpr std::string_view kChangedbownerParameters[] = {"@loginame", "@map"};

const SystemProcedure kProcedures[] = {
    {"sp_helpdb", kHelpdbParameters, SpHelpdb},
    {"sp_detach_db", kDetachParameters, SpDetachDb},
    {"sp_attach_db", kAttachParameters, SpAttachDb},
    {"sp_attach_single_file_db", kAttachSingleParameters, SpAttachSingleFileDb},
    {"sp_renamedb", kRenameParameters, SpRenamedb},
    {"sp_dboption", kDboptionParameters, SpDboption},
    {"sp_changedbowner", kChangedbownerParameters, SpChangedbowner},
};

}  // namespace

std::vector<DatabaseFile> FilesOf(const DatabaseEntry& database) {
  std::vector<DatabaseFile> files;
  files.push_back(
      {database.name, 1, database.windowsPath, PagesToKilobytes(FileBytes(database.hostPath))});
  const std::string logPath = LogPathBeside(database.windowsPath);
  fs::path hostLog = database.hostPath;
  hostLog.replace_filename(fs::path(MapWindowsPathName(logPath)));
  std::error_code error;
  if (fs::exists(hostLog, error))
    files.push_back({database.name + "_log", 2, logPath, PagesToKilobytes(FileBytes(hostLog))});
  return files;
}

void ReportAllocation(const DatabaseEntry& database, BatchSink& sink) {
  for (const DatabaseFile& file : FilesOf(database)) {
    char megabytes[32];
    std::snprintf(megabytes, sizeof megabytes, "%.2f",
                  static_cast<double>(file.kilobytes) / 1024.0);
    sink.Info(MakeMessage(1805, {megabytes, file.logicalName}));
  }
}

std::span<const SystemProcedure> DatabaseProcedures() {
  return kProcedures;
}

}  // namespace standin::engine
