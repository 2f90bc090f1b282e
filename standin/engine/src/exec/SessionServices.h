// What every executor unit may ask of the session it works for: the
// connection, the login, the databases attached to the connection, names,
// values of expressions, and the messages and DONE tokens of a statement.
// SessionImpl implements it; a unit gets it and the state it changes in its
// constructor and nothing else.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

#include "catalog/DatabaseCatalog.h"
#include "catalog/LoginCatalog.h"
#include "engine/Engine.h"
#include "parse/Ast.h"
#include "translate/Translator.h"

namespace standin::engine {

class EngineImpl;

// Where a statement leaves the flow of its batch: on to the next statement,
// out of the enclosing WHILE (BREAK) or its current pass (CONTINUE), or out
// of the batch or procedure (RETURN).
enum class Flow { Next, Break, Continue, Return };
// Raised by an error that ends the whole batch (conversion errors, as in
// SQL Server 2000).
struct BatchAbort {};

class SessionServices : public TranslationContext {
 public:
  virtual sqlite3* Db() const = 0;
  virtual EngineImpl& Engine() const = 0;
  virtual const LoginEntry& Login() const = 0;
  virtual int SessionId() const = 0;
  virtual const std::string& Database() const = 0;  // the current one
  // The SQLite schema `database` is attached under; attaches it on first use
  // (911 for an unknown database).
  virtual std::string SchemaFor(const std::string& database) = 0;
  // Attaches `database` to the connection unless it is, and returns its schema.
  virtual std::string AttachDatabase(const DatabaseEntry& database) = 0;
  // Shows the current database to sp_who and to other sessions' DROP DATABASE.
  virtual void PublishCurrentDatabase() = 0;
  virtual void Report(const Message& message, BatchSink& sink) = 0;
  // The DONE (or DONEINPROC) token that ends a statement.
  virtual void Done(BatchSink& sink, bool error, bool counted, std::uint64_t count,
                    std::uint16_t command) = 0;
  // The DONEPROC token that ends a procedure call.
  virtual void ProcedureDone(BatchSink& sink, bool error) = 0;
  // Throws Cancelled once the client has sent ATTENTION.
  virtual void CheckCancelled() = 0;
  virtual Value EvaluateScalar(const Expr& expr, const ColumnType& type) = 0;
  virtual bool EvaluateCondition(const Expr& expr) = 0;
  // Runs statements as the batch would (errors reported, the batch going on
  // where SQL Server's would); procedure bodies and sp_executesql use it.
  virtual Flow RunStatements(const std::vector<StatementPtr>& statements, BatchSink& sink) = 0;
  virtual Flow Run(const Statement& statement, BatchSink& sink) = 0;
};

}  // namespace standin::engine
