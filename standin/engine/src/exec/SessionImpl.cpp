// Session lifecycle, batch and RPC loops, name resolution, error reporting.
#include "exec/SessionImpl.h"

#include <algorithm>
#include <cctype>
#include <thread>

#include "common/Text.h"
#include "common/Types.h"
#include "engine/Errors.h"
#include "exec/EngineImpl.h"
#include "parse/Parser.h"
#include "storage/TransactionLog.h"

namespace standin::engine {
namespace {

ColumnType TypeOf(TypeId id, std::int32_t length = 0) {
  ColumnType type;
  type.id = id;
  type.length = length;
  return type;
}

// Errors that end the batch in SQL Server 2000, not just the statement.
bool AbortsBatch(const Message& message) {
  switch (message.number) {
    case 241:
    case 245:
    case 8114:
    case 8169:
      return true;
    default:
      return message.severity >= 20;
  }
}

// Constraint violations are followed by "The statement has been terminated."
bool Terminates(std::int32_t number) {
  return number == 2627 || number == 2601 || number == 515 || number == 8152 || number == 544;
}

// SET LOCK_TIMEOUT -1 (the default) waits "for ever" in SQL Server; here it is
// bounded, so a forgotten open transaction cannot hang another session.
constexpr auto kLockWait = std::chrono::seconds(30);

}  // namespace

SessionImpl::SessionImpl(EngineImpl& engine, int spid, LoginEntry login, LoginRequest request)
    : m_Engine(engine), m_Spid(spid), m_Login(std::move(login)), m_Request(std::move(request)) {
  m_Request.password.clear();
}

SessionImpl::~SessionImpl() {
  // Unregister first: Shutdown may be calling Kill() on us under the engine's lock.
  m_Engine.Unregister(m_Spid);
  if (m_Db && m_Transaction.tranCount > 0)
    sqlite3_exec(m_Db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
  m_Db.reset();
}

void SessionImpl::Start(const DatabaseEntry& database) {
  // Registered already: the engine may look at the connection from now on.
  std::lock_guard run(m_RunMutex);
  m_Db = OpenConnection(":memory:", true, &m_Identity);
  sqlite3_busy_handler(m_Db.get(), &SessionImpl::BusyHandler, this);
  RegisterFileFunctions(m_Db.get(), m_Engine.Data());
  InstallLogHook(m_Db.get());
  CreateBookkeeping(m_Db.get(), "temp");
  AttachDatabase(database);
  m_DatabaseState.current = database.name;
  m_DatabaseState.currentId = database.id;
  if (!m_Security.HasDatabaseAccess(database.name)) {
    // A database the login asked for fails the login; an unusable default
    // database gives way to master, as SQL Server 2000 does (4062).
    if (!m_Request.database.empty()) throw SqlError(MakeMessage(4060, {database.name}));
    std::optional<DatabaseEntry> master = m_Engine.Databases().Find("master");
    if (!master) throw SqlError(MakeMessage(4060, {database.name}));
    AttachDatabase(*master);
    m_DatabaseState.current = master->name;
    m_DatabaseState.currentId = master->id;
  }
  m_DatabaseState.loginDatabase = m_DatabaseState.current;
  PublishCurrentDatabase();
}

int SessionImpl::BusyHandler(void* pointer, int count) {
  auto* session = static_cast<SessionImpl*>(pointer);
  const auto now = std::chrono::steady_clock::now();
  if (count == 0) session->m_BusySince = now;
  if (session->m_Cancel.load() || session->m_Killed.load()) return 0;
  const auto limit = session->m_Options.lockTimeoutMs < 0
                         ? std::chrono::duration_cast<std::chrono::milliseconds>(kLockWait)
                         : std::chrono::milliseconds(session->m_Options.lockTimeoutMs);
  if (now - session->m_BusySince >= limit) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(count < 10 ? 1 : count < 50 ? 5 : 20));
  return 1;
}

void SessionImpl::RequestCancel() {
  m_Cancel = true;
  std::lock_guard lock(m_KillMutex);
  if (m_Db) sqlite3_interrupt(m_Db.get());
}

void SessionImpl::SetKillHandler(std::function<void()> handler) {
  std::lock_guard lock(m_KillMutex);
  m_KillHandler = std::move(handler);
}

void SessionImpl::SetClientGoneProbe(std::function<bool()> probe) {
  std::lock_guard lock(m_KillMutex);
  m_ClientGoneProbe = std::move(probe);
}

bool SessionImpl::ClientGone() const {
  std::function<bool()> probe;
  {
    // Called outside the lock: the protocol layer takes its own locks and
    // calls RequestCancel under them.
    std::lock_guard lock(m_KillMutex);
    probe = m_ClientGoneProbe;
  }
  return probe && probe();
}

void SessionImpl::Kill() {
  m_Killed = true;
  m_Cancel = true;
  std::function<void()> handler;
  {
    std::lock_guard lock(m_KillMutex);
    if (m_Db) sqlite3_interrupt(m_Db.get());
    handler = m_KillHandler;
  }
  {
    // An idle session's transaction is rolled back here, at once; a busy one
    // rolls back when its interrupted batch returns.
    std::unique_lock run(m_RunMutex, std::try_to_lock);
    if (run.owns_lock()) RollbackIfKilled();
  }
  if (handler) handler();
}

void SessionImpl::CheckCancelled() {
  if (m_Cancel.load()) throw Cancelled{};
}

TableInfo SessionImpl::ResolveTable(const ObjectName& name) {
  TableInfo table;
  if (name.IsTemp()) {
    table.schema = "temp";
    table.database = "tempdb";
  } else {
    table.database = name.database.empty() ? m_DatabaseState.current : name.database;
    table.schema = SchemaFor(table.database);
    if (!EqualsNoCase(table.database, m_DatabaseState.current))
      m_Security.CheckDatabaseAccess(table.database);
  }
  const std::string lower = Lower(name.name);
  if (lower.rfind("sqlstandin$", 0) == 0 || lower.rfind("sqlite_", 0) == 0) {
    RaiseError(208, {name.written});
  }
  if ((lower == "sysobjects" || lower == "syscomments") && table.schema != "temp")
    m_Schema.EnsureSystemViews(table.schema);
  // tempdb's catalogue lives in the session's temporary schema, made on first use.
  if ((lower == "sysusers" || lower == "sysmembers") && !name.IsTemp() &&
      EqualsNoCase(table.database, "tempdb"))
    m_Security.EnsureCatalog("temp", "tempdb");
  {
    SqliteStatement find(m_Db.get(), "SELECT name FROM " + QuoteIdentifier(table.schema) +
                                         ".sqlite_master WHERE type IN ('table', 'view') AND "
                                         "name = ? COLLATE standin_ci");
    find.BindText(1, name.name);
    if (!find.Step()) RaiseError(208, {name.written});
    table.name = reinterpret_cast<const char*>(sqlite3_column_text(find.Handle(), 0));
  }
  SqliteStatement info(m_Db.get(), "PRAGMA " + QuoteIdentifier(table.schema) + ".table_info(" +
                                       QuoteIdentifier(table.name) + ")");
  while (info.Step()) {
    Column column;
    column.name = reinterpret_cast<const char*>(sqlite3_column_text(info.Handle(), 1));
    const unsigned char* declared = sqlite3_column_text(info.Handle(), 2);
    std::optional<ColumnType> type =
        ParseDeclaredType(declared ? reinterpret_cast<const char*>(declared) : "");
    column.type = type ? *type : TypeOf(TypeId::NVarChar, 4000);
    if (IsCharacter(column.type.id)) {
      const char* collation = nullptr;
      if (sqlite3_table_column_metadata(m_Db.get(), table.schema.c_str(), table.name.c_str(),
                                        column.name.c_str(), nullptr, &collation, nullptr, nullptr,
                                        nullptr) == SQLITE_OK &&
          collation != nullptr) {
        column.type.caseSensitive = std::string_view(collation) == "standin_cs";
      }
    }
    column.nullable = sqlite3_column_int(info.Handle(), 3) == 0;
    const unsigned char* fallback = sqlite3_column_text(info.Handle(), 4);
    table.defaults.push_back(fallback ? reinterpret_cast<const char*>(fallback) : "");
    table.columns.push_back(std::move(column));
  }
  SqliteStatement identity(m_Db.get(), "SELECT column_name FROM " + QuoteIdentifier(table.schema) +
                                           ".\"sqlstandin$identity\" WHERE table_name = ?");
  identity.BindText(1, table.name);
  if (identity.Step()) {
    const std::string column =
        reinterpret_cast<const char*>(sqlite3_column_text(identity.Handle(), 0));
    for (std::size_t i = 0; i < table.columns.size(); ++i) {
      if (EqualsNoCase(table.columns[i].name, column)) {
        table.identityColumn = static_cast<int>(i);
        table.columns[i].identity = true;
      }
    }
  }
  return table;
}

const Variable* SessionImpl::FindVariable(const std::string& name) const {
  auto it = m_Batch.variables.find(Lower(name));
  return it == m_Batch.variables.end() ? nullptr : &it->second;
}

std::string SessionImpl::SystemValue(const std::string& upperName, ColumnType& type) const {
  auto text = [&](const std::string& value) {
    type = TypeOf(TypeId::NVarChar, 128);
    return QuoteString(value);
  };
  auto number = [&](std::int64_t value, TypeId id = TypeId::Int) {
    type = TypeOf(id);
    return std::to_string(value);
  };
  if (upperName.rfind(std::string("IS_MEMBER") + kPropertySeparator, 0) == 0)
    return m_Security.IsMemberValue(upperName, type);
  if (upperName.find(kPropertySeparator) != std::string::npos)
    return PropertyValue(upperName, type);
  if (upperName == "@@ROWCOUNT") return number(m_Outcome.rowCount);
  if (upperName == "@@ERROR") return number(m_Outcome.lastError);
  if (upperName == "@@SPID") return number(m_Spid, TypeId::SmallInt);
  if (upperName == "@@TRANCOUNT") return number(m_Transaction.tranCount);
  if (upperName == "@@VERSION") {
    const std::string version = m_Engine.VersionText();
    type = TypeOf(TypeId::NVarChar, 256);
    return QuoteString(version);
  }
  if (upperName == "@@SERVERNAME") return text(m_Engine.ServerName());
  if (upperName == "@@SERVICENAME") return text("MSSQLSERVER");
  if (upperName == "@@LANGUAGE") return text("us_english");
  if (upperName == "@@DATEFIRST") return number(7, TypeId::TinyInt);
  if (upperName == "@@MAX_PRECISION") return number(38, TypeId::TinyInt);
  if (upperName == "@@NESTLEVEL") return number(m_Batch.inProcedure ? 1 : 0);
  if (upperName == "@@TEXTSIZE") return number(m_Options.textSize);
  if (upperName == "@@LOCK_TIMEOUT") return number(m_Options.lockTimeoutMs);
  if (upperName == "@@MICROSOFTVERSION") {
    return number(m_Engine.Options().productVersion == 7 ? 0x0700041F : 0x080007F7);
  }
  if (upperName == "@@IDENTITY" || upperName == "SCOPE_IDENTITY()") {
    type = ColumnType{TypeId::Numeric, 0, 38, 0};
    return m_Outcome.lastIdentity ? std::to_string(*m_Outcome.lastIdentity) : "NULL";
  }
  if (upperName == "DB_NAME()") return text(m_DatabaseState.current);
  if (upperName == "DB_ID()") return number(m_DatabaseState.currentId, TypeId::SmallInt);
  if (upperName == "SUSER_SNAME()" || upperName == "SUSER_NAME()" || upperName == "SYSTEM_USER()") {
    return text(m_Login.name);
  }
  if (upperName == "USER_NAME()" || upperName == "USER()" || upperName == "CURRENT_USER()" ||
      upperName == "SESSION_USER()") {
    return text(m_Security.CurrentUserName());
  }
  if (upperName == "USER_ID()") {
    type = TypeOf(TypeId::SmallInt);
    return m_Security.CurrentUserId();
  }
  if (upperName == "HOST_NAME()") return text(m_Request.hostName);
  if (upperName == "APP_NAME()") return text(m_Request.applicationName);
  if (upperName == "SYSTEM_USER") return text(m_Login.name);
  if (upperName.rfind("@@", 0) == 0) {
    static constexpr std::string_view kKnown[] = {
        "@@FETCH_STATUS", "@@CURSOR_ROWS",   "@@DBTS",      "@@PROCID",
        "@@OPTIONS",      "@@CONNECTIONS",   "@@CPU_BUSY",  "@@IDLE",
        "@@IO_BUSY",      "@@PACKET_ERRORS", "@@TOTAL_READ"};
    for (std::string_view known : kKnown) {
      if (upperName == known) RaiseUnsupported(upperName);
    }
    RaiseError(137, {upperName});
  }
  RaiseUnsupported(upperName);
}

void SessionImpl::Report(const Message& message, BatchSink& sink) {
  if (message.severity <= 10) {
    sink.Info(message);
  } else {
    sink.Error(message);
  }
}

void SessionImpl::Done(BatchSink& sink, bool error, bool counted, std::uint64_t count,
                       std::uint16_t command) {
  engine::Done done;
  done.kind = m_Batch.inProcedure ? engine::Done::Kind::InProcedure : engine::Done::Kind::Statement;
  done.error = error;
  done.hasCount = counted && !m_Options.noCount;
  done.rowCount = done.hasCount ? count : 0;
  done.currentCommand = command;
  done.inTransaction = m_Transaction.tranCount > 0;
  sink.StatementDone(done);
}

void SessionImpl::ProcedureDone(BatchSink& sink, bool error) {
  engine::Done done;
  done.kind = engine::Done::Kind::Procedure;
  done.error = error;
  done.inTransaction = m_Transaction.tranCount > 0;
  sink.StatementDone(done);
}

void SessionImpl::ExecuteBatch(std::string_view sql, BatchSink& sink) {
  if (m_Killed.load()) return;
  RunningScope running(*this);
  m_Cancel = false;
  m_Batch.variables.clear();
  m_SecurityState.accessChecked.clear();
  Batch batch;
  try {
    batch = ParseBatch(sql, m_Options.quotedIdentifier);
  } catch (const SqlError& error) {
    Report(error.Msg(), sink);
    m_Outcome.lastError = error.Msg().number;
    Done(sink, true, false, 0, 0);
    return;
  }
  try {
    RunStatements(batch.statements, sink);  // RETURN ends it early
  } catch (const BatchAbort&) {
  } catch (const Cancelled&) {
  }
  m_Batch.variables.clear();
}

Flow SessionImpl::RunStatements(const std::vector<StatementPtr>& statements, BatchSink& sink) {
  for (const StatementPtr& statement : statements) {
    CheckCancelled();
    const Flow flow = RunGuarded(*statement, sink);
    if (flow != Flow::Next) return flow;
  }
  return Flow::Next;
}

namespace {

// Statements that never write: inside a user transaction they run without
// opening its SQLite transaction.
bool OnlyReads(const Statement& statement) {
  if (const auto* select = statement.As<SelectStatement>()) return !select->select->cores[0].into;
  return std::holds_alternative<DeclareStatement>(statement.node) ||
         std::holds_alternative<SetVariableStatement>(statement.node) ||
         std::holds_alternative<SetOptionStatement>(statement.node) ||
         std::holds_alternative<PrintStatement>(statement.node) ||
         std::holds_alternative<RaiserrorStatement>(statement.node) ||
         std::holds_alternative<ReturnStatement>(statement.node) ||
         std::holds_alternative<BreakStatement>(statement.node) ||
         std::holds_alternative<ContinueStatement>(statement.node) ||
         std::holds_alternative<UseStatement>(statement.node) ||
         std::holds_alternative<BeginTransactionStatement>(statement.node) ||
         std::holds_alternative<CommitTransactionStatement>(statement.node) ||
         std::holds_alternative<RollbackTransactionStatement>(statement.node);
}

// Statements whose only write is to a #temporary table of the session.
bool WritesOnlyTemp(const Statement& statement) {
  if (const auto* select = statement.As<SelectStatement>()) {
    const std::optional<ObjectName>& into = select->select->cores[0].into;
    return into && into->IsTemp();
  }
  if (const auto* insert = statement.As<InsertStatement>()) return insert->table.IsTemp();
  if (const auto* update = statement.As<UpdateStatement>()) return update->table.IsTemp();
  if (const auto* remove = statement.As<DeleteStatement>()) return remove->table.IsTemp();
  if (const auto* create = statement.As<CreateTableStatement>()) return create->table.IsTemp();
  if (const auto* drop = statement.As<DropTableStatement>()) return drop->table.IsTemp();
  if (const auto* index = statement.As<CreateIndexStatement>()) return index->table.IsTemp();
  return false;
}

}  // namespace

Flow SessionImpl::RunGuarded(const Statement& statement, BatchSink& sink) {
  m_DatabaseState.statementStart = ++m_DatabaseState.useClock;
  try {
    // The text of IF, WHILE and BEGIN…END holds the statements inside them,
    // which are tried on their own.
    const bool compound = std::holds_alternative<IfStatement>(statement.node) ||
                          std::holds_alternative<WhileStatement>(statement.node) ||
                          std::holds_alternative<BlockStatement>(statement.node);
    if (!compound) {
      if (std::optional<Message> fault = m_Engine.TakeFault(statement.Text()))
        throw SqlError(*fault);
      m_Transaction.statementTempOnly = WritesOnlyTemp(statement);
      if (!OnlyReads(statement)) m_Transactions.EnsureStarted();
    }
    // BREAK, CONTINUE and RETURN leave the statements around them as they
    // are, like an exception would.
    const Flow flow = Run(statement, sink);
    if (flow != Flow::Next) return flow;
    m_Transaction.statementTempOnly = false;
    if (!compound && !std::holds_alternative<DeclareStatement>(statement.node))
      m_Outcome.lastError = 0;
  } catch (const SqlError& error) {
    m_Transaction.statementTempOnly = false;
    // A lock wait given up because of ATTENTION is the cancel, not error 1222.
    if (m_Cancel.load()) throw Cancelled{};
    Message message = error.Msg();
    message.line = statement.Line();
    Report(message, sink);
    if (Terminates(message.number)) Report(MakeMessage(3621), sink);
    m_Outcome.lastError = message.number;
    m_Outcome.rowCount = 0;
    // SQLite gave up the whole transaction (I/O error); tell the client.
    if (m_Transactions.LostBySqlite()) m_Transactions.Abandon(sink);
    Done(sink, true, false, 0, 0);
    if (AbortsBatch(message)) throw BatchAbort{};
  } catch (const Cancelled&) {
    m_Transaction.statementTempOnly = false;
    // An interrupted write inside a transaction rolls it back in SQLite.
    if (m_Transactions.LostBySqlite()) m_Transactions.Abandon(sink);
    throw;
  }
  return Flow::Next;
}

void SessionImpl::ExecuteRpc(std::string_view procedureName,
                             const std::vector<Parameter>& parameters, BatchSink& sink) {
  if (m_Killed.load()) return;
  RunningScope running(*this);
  m_Cancel = false;
  m_SecurityState.accessChecked.clear();
  std::string name(procedureName);
  const std::size_t dot = name.rfind('.');
  const std::string base = Lower(dot == std::string::npos ? name : name.substr(dot + 1));
  if (m_Procedures.RunStatementProcedure(base, parameters, sink, true)) return;
  if (std::optional<Message> fault = m_Engine.TakeFault("EXEC " + name)) {
    Report(*fault, sink);
    m_Outcome.lastError = fault->number;
    ProcedureDone(sink, true);
    return;
  }
  if (m_Procedures.RunSystemProcedure(name, parameters, sink)) return;
  try {
    if (m_Procedures.RunUserProcedure(name, parameters, sink, true)) return;
  } catch (const SqlError&) {
    // The name's database is unknown: no procedure of ours, 2812 below.
  }
  m_Batch.inProcedure = true;
  bool failed = false;
  try {
    m_Procedures.RunProcedure(name, sink);
  } catch (const SqlError& error) {
    Report(error.Msg(), sink);
    m_Outcome.lastError = error.Msg().number;
    failed = true;
  } catch (const Cancelled&) {
  }
  m_Batch.inProcedure = false;
  ProcedureDone(sink, failed);
}

}  // namespace standin::engine
