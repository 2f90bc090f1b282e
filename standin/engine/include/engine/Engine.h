// The stand-in's SQL engine as the protocol layer sees it: an Engine owns the
// data directory and every database in it; a Session is one login's
// connection state (current database, SET options, temp tables, transaction).
//
// The engine knows no sockets and no TDS bytes. It reports what a batch
// produces through a BatchSink, in the order SQL Server would send it, and the
// protocol layer turns those events into tokens.
//
// Threading: an Engine is shared by all connection threads. A Session is used
// by one thread at a time (its connection's), except RequestCancel() and
// Kill(), which any thread may call.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace standin::engine {

// SQL Server column types the engine can produce. Texts travel as UTF-8 inside
// the engine; the protocol layer converts to UTF-16 (N types) or to the
// collation's code page (1252) for the others.
enum class TypeId : std::uint8_t {
  Bit,
  TinyInt,
  SmallInt,
  Int,
  BigInt,
  Real,
  Float,
  Decimal,
  Numeric,
  Money,
  SmallMoney,
  DateTime,
  SmallDateTime,
  Char,
  VarChar,
  Text,
  NChar,
  NVarChar,
  NText,
  Binary,
  VarBinary,
  Image,
  UniqueIdentifier,
};

struct ColumnType {
  TypeId id = TypeId::Int;
  // Declared length: characters for (N)CHAR/(N)VARCHAR, bytes for (VAR)BINARY;
  // unused for fixed-size types and for TEXT/NTEXT/IMAGE.
  std::int32_t length = 0;
  std::uint8_t precision = 0;  // DECIMAL/NUMERIC
  std::uint8_t scale = 0;      // DECIMAL/NUMERIC
  // Character types: compared under a case-sensitive collation (_CS_AS)
  // rather than the server's default (_CI_AS).
  bool caseSensitive = false;
};

// SQL Server's declared form of a type: "nvarchar(50)", "decimal(10,2)",
// "int". Also the SQLite column type the engine stores it under.
std::string TypeName(const ColumnType& type);

struct Column {
  std::string name;  // may be empty (an unnamed expression)
  ColumnType type;
  bool nullable = true;
  bool identity = false;
};

// SQL Server's own DATETIME representation: days since 1900-01-01 and
// 1/300-second ticks since midnight, so values round-trip exactly.
struct DateTime {
  std::int32_t days = 0;
  std::uint32_t ticks = 0;
  bool operator==(const DateTime&) const = default;
};

// A GUID in SQL Server's byte order (the first three groups little-endian, as
// on the wire).
struct Guid {
  std::array<std::uint8_t, 16> bytes{};
  bool operator==(const Guid&) const = default;
};

// 128-bit integer for exact decimals; __extension__ keeps -Wpedantic quiet.
__extension__ typedef __int128 Int128;

// DECIMAL/NUMERIC/MONEY as an exact scaled integer: value = unscaled / 10^scale.
struct Decimal {
  Int128 unscaled = 0;
  std::uint8_t scale = 0;
  bool operator==(const Decimal&) const = default;
};

using Bytes = std::vector<std::uint8_t>;

// std::monostate is SQL NULL. Integers of every width and BIT travel as
// int64_t, REAL/FLOAT as double; the column's type says how to encode them.
using Value =
    std::variant<std::monostate, std::int64_t, double, std::string, Bytes, DateTime, Guid, Decimal>;

// An error or informational message exactly as SQL Server reports it.
struct Message {
  std::int32_t number = 0;
  std::uint8_t state = 1;
  std::uint8_t severity = 16;  // "class": 0-10 informational, 11+ error
  std::string text;
  std::string procedure;  // empty outside a procedure
  std::int32_t line = 1;  // line in the batch or procedure
};

// Thrown inside the engine where a statement fails; the session reports it
// through the sink and decides (by severity) whether the batch goes on.
class SqlError : public std::exception {
 public:
  explicit SqlError(Message message) : m_Message(std::move(message)) {}
  const Message& Msg() const { return m_Message; }
  const char* what() const noexcept override { return m_Message.text.c_str(); }

 private:
  Message m_Message;
};

// One finished statement (DONE), statement inside a procedure (DONEINPROC)
// or procedure (DONEPROC).
struct Done {
  enum class Kind { Statement, InProcedure, Procedure };
  Kind kind = Kind::Statement;
  bool error = false;
  bool hasCount = false;  // a row count is valid (SET NOCOUNT OFF and a counted statement)
  std::uint64_t rowCount = 0;
  std::uint16_t currentCommand = 0;  // SQL Server's token for the statement kind (0xC1 SELECT …)
  bool inTransaction = false;
};

enum class EnvChangeType : std::uint8_t {
  Database = 1,
  BeginTransaction = 8,
  CommitTransaction = 9,
  RollbackTransaction = 10,
};

struct EnvChange {
  EnvChangeType type = EnvChangeType::Database;
  std::string newValue;  // database name; for transactions an 8-byte descriptor as raw bytes
  std::string oldValue;
};

// An RPC or procedure parameter.
struct Parameter {
  std::string name;  // "@x"; empty for positional parameters
  ColumnType type;
  Value value;
  bool output = false;
};

// Receives what a batch produces, in wire order.
class BatchSink {
 public:
  virtual ~BatchSink() = default;
  virtual void Columns(const std::vector<Column>& columns) = 0;
  virtual void Row(const std::vector<Value>& row) = 0;
  virtual void Info(const Message& message) = 0;   // severity <= 10
  virtual void Error(const Message& message) = 0;  // severity >= 11
  virtual void EnvironmentChanged(const EnvChange& change) = 0;
  virtual void ReturnStatus(std::int32_t status) = 0;
  virtual void ReturnValue(const Parameter& parameter, std::uint16_t ordinal) = 0;
  virtual void StatementDone(const Done& done) = 0;
};

struct LoginRequest {
  std::string userName;
  std::string password;
  std::string database;  // may be empty: the login's default database
  std::string hostName;
  std::string applicationName;
};

// Makes statements fail on purpose, for tests of a client's error paths. The
// pattern matches a statement when it occurs in the statement's text, compared
// without regard to case and with every run of white space read as one blank;
// an RPC request's text is "EXEC <procedure name>".
struct FaultRule {
  std::string pattern;
  std::int32_t errorNumber = 0;  // 1 or more; a number of the error table keeps its text
  bool once = true;              // false: every matching statement until cleared
};

struct EngineOptions {
  std::string dataDir;
  std::string saPassword;         // needed only to initialise a new data dir
  int productVersion = 8;         // 8 = SQL Server 2000, 7 = SQL Server 7.0
  bool windowsLoginMode = false;  // false: mixed mode
  std::string serverName;         // @@SERVERNAME; empty: the host name
  std::vector<FaultRule> faults;  // installed at start
  // FULLTEXTSERVICEPROPERTY('IsFulltextInstalled'): 1 installed, 0 not,
  // nullopt for a server that does not answer (NULL).
  std::optional<int> fullTextInstalled = 1;
  // Further fixed drives: letter → host folder (C is always <data-dir>/C,
  // other letters default to <data-dir>/<letter> when that folder exists).
  std::vector<std::pair<char, std::string>> drives;
};

class Engine;

class Session {
 public:
  virtual ~Session() = default;
  virtual int Spid() const = 0;
  virtual std::string CurrentDatabase() const = 0;
  virtual std::string LoginName() const = 0;

  // Runs one SQL batch. Never throws for SQL errors: they go to the sink.
  virtual void ExecuteBatch(std::string_view sql, BatchSink& sink) = 0;
  // Runs an RPC request: a procedure by name (also sp_executesql) with parameters.
  virtual void ExecuteRpc(std::string_view procedureName, const std::vector<Parameter>& parameters,
                          BatchSink& sink) = 0;

  // What SQL Server does for a request with the reset-connection flag, before
  // running it: drops the session's temporary tables and prepared
  // statements, rolls back its open transaction (unless `keepTransaction`),
  // restores the SET options and returns to the login's database. A
  // rollback and a change of database are reported on the sink.
  virtual void ResetConnection(bool keepTransaction, BatchSink& sink) = 0;

  // Asks the running batch to stop at the next statement or row boundary
  // (ATTENTION). Safe from any thread.
  virtual void RequestCancel() = 0;
  // True once the session was killed (KILL from another session, or shutdown);
  // the protocol layer then closes the connection.
  virtual bool IsKilled() const = 0;
  // Called (from another thread) when the session is killed, so the protocol
  // layer can close the socket at once.
  virtual void SetKillHandler(std::function<void()> handler) = 0;
  // Lets the engine ask (from any thread) whether the client has closed the
  // connection. Such a session is gone for sp_who, KILL, sp_droplogin and the
  // checks whether a database is in use, even while its connection thread is
  // still ending it: a client that disconnects and goes on must not find its
  // old session in the way.
  virtual void SetClientGoneProbe(std::function<bool()> probe) = 0;
};

class Engine {
 public:
  virtual ~Engine() = default;

  // Opens the data directory, initialising it when new (needs saPassword).
  // Throws std::runtime_error with a readable message when it cannot.
  static std::unique_ptr<Engine> Open(const EngineOptions& options);

  // Checks the login and creates its session. Throws SqlError (18456 and
  // others) when the login is refused.
  virtual std::unique_ptr<Session> Login(const LoginRequest& request) = 0;

  // What a SQL Server login may do on the server, for the service-control
  // endpoint: nothing (unknown, wrong password), log in, or administer.
  enum class Credentials { Unknown, Valid, ServerAdmin, SysAdmin };
  virtual Credentials CheckCredentials(const std::string& login, const std::string& password) = 0;

  // Adds a fault rule; rules are tried in the order they were added, and a
  // statement fails with the first that matches. Throws std::invalid_argument
  // for an empty pattern or an error number below 1.
  virtual void InjectFault(const FaultRule& rule) = 0;
  virtual void ClearFaults() = 0;

  virtual const EngineOptions& Options() const = 0;
  virtual std::string ServerName() const = 0;
  // "8.00.2039" style product version for LOGINACK and SERVERPROPERTY.
  virtual std::string ProductVersion() const = 0;

  // Ends every session and closes every database cleanly.
  virtual void Shutdown() = 0;
};

}  // namespace standin::engine
