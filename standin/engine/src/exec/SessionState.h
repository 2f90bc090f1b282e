// A session's state, by what it belongs to. The session owns one of each and
// hands each executor the parts it reads or changes, so a unit's constructor
// says what it may touch.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/Engine.h"
#include "translate/Translator.h"

namespace standin::engine {

// The SET options a batch changes and a connection reset restores.
struct SessionOptions {
  // SET TEXTSIZE: bytes of a text, ntext or image value a SELECT returns.
  // Every ODBC, OLE DB and DB-Library client sets the maximum when it
  // connects, so a session starts there; SET TEXTSIZE 0 gives SQL Server's
  // own default of 4 KB.
  static constexpr std::int64_t kDefaultTextSize = 2147483647;
  static constexpr std::int64_t kServerTextSize = 4096;

  bool noCount = false;
  bool ansiNullDefault = true;
  bool quotedIdentifier = true;
  std::int64_t lockTimeoutMs = -1;  // SET LOCK_TIMEOUT
  std::int64_t textSize = kDefaultTextSize;
  std::string identityInsertTable;  // "schema.table" with IDENTITY_INSERT ON
};

// The user transaction (BEGIN … COMMIT) and the statement running in it.
struct TransactionState {
  int tranCount = 0;
  std::string descriptor;  // the 8 bytes the client sees in its ENVCHANGE
  // A user transaction opens its SQLite transaction at its first write, so
  // one that has written nothing holds no lock; a statement that writes only
  // the session's own temporary tables locks nothing shared either.
  bool started = false;
  bool statementTempOnly = false;
  std::uint64_t start = 0;  // the attachment clock when the transaction began
};

// What @@ROWCOUNT, @@ERROR and @@IDENTITY report.
struct StatementOutcome {
  std::int64_t rowCount = 0;
  std::int32_t lastError = 0;
  std::optional<std::int64_t> lastIdentity;
};

// What lives for one batch or procedure call.
struct BatchState {
  std::map<std::string, Variable> variables;  // lower-case name
  bool inProcedure = false;
  // The OUTPUT parameters of the last procedure: argument index, value.
  std::vector<std::pair<std::size_t, Parameter>> procedureOutputs;
};

// The login's standing, as far as a batch has checked it.
struct SecurityState {
  // Set while a procedure body runs: its objects share its owner, so only
  // the EXECUTE permission counted.
  bool ownershipChain = false;
  std::set<std::string> accessChecked;  // lower-case databases checked this batch
};

// The databases attached to the session's connection and the current one.
struct DatabaseState {
  std::map<std::string, std::string> attached;       // lower-case database name → schema
  std::map<std::string, std::uint64_t> attachedUse;  // when each was last used
  std::uint64_t useClock = 0;
  std::uint64_t statementStart = 0;  // useClock when the running statement began
  std::string current;
  int currentId = 1;
  std::string loginDatabase;  // where the login put the session (a reset returns there)
};

}  // namespace standin::engine
