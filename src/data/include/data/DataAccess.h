// Data access shaped like the objects the console's logic was written
// against (Connection, Command, Recordset, Field), over ODBC. Statements go
// out as plain SQL text — no ODBC parameters, no server cursors — so the wire
// carries SQL batches only. Rows are read forward-only straight from the
// wire; a client-side cursor (CursorLocation 3) buffers the result set so it
// can be counted, sorted and filtered.
//
// Not thread-safe: a Connection and its recordsets belong to one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/Error.h"
#include "support/Variant.h"

namespace bw {

// Error numbers with the meaning callers test for.
inline constexpr std::int32_t kAdoErrorLoginFailed = static_cast<std::int32_t>(0x80040E4Du);
inline constexpr std::int32_t kAdoErrorStatement = static_cast<std::int32_t>(0x80040E14u);
inline constexpr std::int32_t kAdoErrorGeneric = static_cast<std::int32_t>(0x80004005u);
inline constexpr std::int32_t kAdoErrorClosed = static_cast<std::int32_t>(0x800A0E78u);
inline constexpr std::int32_t kAdoErrorNoCurrentRecord = static_cast<std::int32_t>(0x800A0BCDu);
inline constexpr std::int32_t kAdoErrorItemNotFound = static_cast<std::int32_t>(0x800A0CC1u);
inline constexpr std::int32_t kAdoErrorRowCount = static_cast<std::int32_t>(0x80040E38u);
inline constexpr char kAdoSource[] = "Microsoft OLE DB Provider for SQL Server";

// Ado enumeration values the console passes.
inline constexpr int adStateClosed = 0;
inline constexpr int adStateOpen = 1;
inline constexpr int adUseServer = 2;
inline constexpr int adUseClient = 3;
inline constexpr int adOpenForwardOnly = 0;
inline constexpr int adOpenKeyset = 1;
inline constexpr int adOpenDynamic = 2;
inline constexpr int adOpenStatic = 3;
inline constexpr int adLockReadOnly = 1;
inline constexpr int adLockPessimistic = 2;
inline constexpr int adLockOptimistic = 3;
inline constexpr int adLockBatchOptimistic = 4;
inline constexpr int adCmdText = 1;
inline constexpr int adCmdTable = 2;
inline constexpr int adCmdUnknown = 8;

// One message the server sent with an error.
struct ProviderMessage {
  std::int32_t serverNumber = 0;  // SQL Server's error number (18456, 208, …); 0 if none
  std::string sqlState;
  std::string text;  // without the driver's "[…]" prefixes
};

// An error from the provider: Number is the ADO-style HRESULT, Description
// the first server message; every message of the batch stays reachable.
class DataError : public Error {
 public:
  DataError(std::int32_t number, std::vector<ProviderMessage> messages);
  const std::vector<ProviderMessage>& Messages() const { return m_Messages; }
  // The server's error number of the first message (0 when none).
  std::int32_t ServerNumber() const;

 private:
  std::vector<ProviderMessage> m_Messages;
};

class Recordset;
class Command;

class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The OLE DB form (see ConnectionString.h). Settable only while closed.
  const std::string& ConnectionString() const { return m_ConnectionString; }
  void SetConnectionString(const std::string& text);
  int CursorLocation() const { return m_CursorLocation; }
  void SetCursorLocation(int location) { m_CursorLocation = location; }
  int CommandTimeout() const { return m_CommandTimeout; }
  void SetCommandTimeout(int seconds) { m_CommandTimeout = seconds; }

  // "Data Source" (the server name as given) and "Persist Security Info".
  Variant Property(const std::string& name) const;
  void SetProperty(const std::string& name, const Variant& value);

  // Opens the connection. Throws DataError: kAdoErrorLoginFailed when the
  // server refused the login, kAdoErrorGeneric when it could not be reached.
  void Open();
  int State() const;
  // Runs a statement or batch that returns no records; every result of the
  // batch is consumed and every error surfaces. Returns the rows affected by
  // the last statement that reported a count (-1 when none did).
  long Execute(const std::string& sql);
  void Close();

  // Internal: the ODBC connection handle, for Command and Recordset.
  void* NativeHandle() const;
  // Internal, for the SQL log: the Data Source and login the connection was
  // opened with, and the database it is in now (asked of the driver, which
  // tracks it; nothing is sent).
  const std::string& LogServer() const { return m_LogServer; }
  const std::string& LogLogin() const { return m_LogLogin; }
  std::string CurrentDatabase() const;

  // Internal: a recordset that still reads from the wire. The driver allows
  // one active statement per connection, so before another statement runs,
  // the active reader buffers what it has not read yet (as the original
  // provider would open a second connection instead).
  class ActiveReader {
   public:
    virtual ~ActiveReader() = default;
    virtual void BufferRemaining() = 0;
  };
  void SetActiveReader(ActiveReader* reader) { m_ActiveReader = reader; }
  void ClearActiveReader(ActiveReader* reader) {
    if (m_ActiveReader == reader) m_ActiveReader = nullptr;
  }
  void ReleaseActiveReader();

 private:
  ActiveReader* m_ActiveReader = nullptr;
  struct Handles;
  std::unique_ptr<Handles> m_Handles;
  std::string m_ConnectionString;
  std::string m_LogServer, m_LogLogin;
  int m_CursorLocation = adUseServer;
  int m_CommandTimeout;  // the CommandTimeout setting (ADO's 30 s by default)
  bool m_PersistSecurityInfo = false;
};

class Command {
 public:
  Connection* ActiveConnection() const { return m_Connection; }
  void SetActiveConnection(Connection* connection) { m_Connection = connection; }
  int CommandType() const { return m_CommandType; }
  void SetCommandType(int type);
  const std::string& CommandText() const { return m_CommandText; }
  void SetCommandText(const std::string& text) { m_CommandText = text; }
  // -1: the connection's time-out; 0: no limit.
  int CommandTimeout() const { return m_CommandTimeout; }
  void SetCommandTimeout(int seconds) { m_CommandTimeout = seconds; }

  // Runs CommandText with no records returned (see Connection::Execute).
  long Execute();

 private:
  Connection* m_Connection = nullptr;
  int m_CommandType = adCmdText;
  std::string m_CommandText;
  int m_CommandTimeout = -1;
};

class Field {
 public:
  const std::string& Name() const { return m_Name; }
  const Variant& Value() const { return *m_Value; }

 private:
  friend class Recordset;
  Field(std::string name, const Variant* value) : m_Name(std::move(name)), m_Value(value) {}
  std::string m_Name;
  const Variant* m_Value;
};

class Recordset {
 public:
  Recordset();
  ~Recordset();
  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  void SetActiveConnection(Connection* connection) { m_Connection = connection; }
  Connection* ActiveConnection() const { return m_Connection; }
  int CursorLocation() const { return m_CursorLocation; }
  void SetCursorLocation(int location) { m_CursorLocation = location; }
  int CursorType() const { return m_CursorType; }
  void SetCursorType(int type) { m_CursorType = type; }
  int LockType() const { return m_LockType; }
  void SetLockType(int type) { m_LockType = type; }

  // Runs `sql` on `connection` (or the active connection) and positions on
  // the first row of the first result set. Throws DataError.
  void Open(const std::string& sql, Connection* connection = nullptr, int cursorType = -1,
            int lockType = -1, int options = adCmdText);
  // Runs a prepared command.
  void Open(Command& command);

  int State() const { return m_State; }
  bool Eof() const;  // ADO's EOF (the name is taken by <cstdio>)
  bool Bof() const;
  void MoveNext();
  void MoveFirst();  // client-side cursors only
  // Moves to the next result set of the batch; State() is adStateClosed when
  // there is none (or it returns no rows).
  void NextRecordset();
  void Close();

  int FieldCount() const;
  Field Fields(int index);
  Field Fields(const std::string& name);  // without regard to case
  // Shorthand for Fields(...).Value().
  const Variant& Value(const std::string& name);
  const Variant& Value(int index);

  // Rows in the current result set: exact for client-side cursors, -1 for
  // forward-only reading, as the provider reports it.
  long RecordCount() const;

  // Client-side cursors: "Column = value", "Column='text'" (case-insensitive
  // comparison, as the server collates) or "" to clear; Sort on one column,
  // "Column" or "Column ASC|DESC".
  void SetFilter(const std::string& filter);
  void SetSort(const std::string& sort);

  // Writing through generated SQL text, on a buffered (client-side or
  // static) recordset of one table — opened on the table's name or on
  // "SELECT … FROM Table …". AddNew starts a row; SetValue/AppendChunk change
  // the current row; Update sends an INSERT for a new row, or an UPDATE that
  // finds the row by the table's primary key or, where it has none, by all
  // its original values. Anything but exactly one affected row raises
  // kAdoErrorRowCount; a failed Update leaves the row's changes pending.
  void AddNew();
  void SetValue(const std::string& field, const Variant& value);
  void AppendChunk(const std::string& field, const std::vector<std::uint8_t>& bytes);
  void Update();

 private:
  struct Impl;
  std::string m_Source;
  std::unique_ptr<Impl> m_Impl;
  Connection* m_Connection = nullptr;
  int m_CursorLocation = adUseServer;
  int m_CursorType = adOpenForwardOnly;
  int m_LockType = adLockReadOnly;
  int m_State = adStateClosed;
};

}  // namespace bw
