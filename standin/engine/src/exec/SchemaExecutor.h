// Tables, indexes and views: CREATE and DROP TABLE (SchemaTables.cpp),
// CREATE and DROP INDEX and VIEW, ALTER TABLE, and the sysobjects and
// syscomments views of a database (SchemaExecutor.cpp).
#pragma once

#include <string>
#include <vector>

#include "exec/SecurityExecutor.h"
#include "exec/SessionServices.h"
#include "exec/SessionState.h"
#include "exec/TransactionExecutor.h"
#include "parse/Ast.h"

namespace standin::engine {

class SchemaExecutor {
 public:
  SchemaExecutor(SessionServices& session, SecurityExecutor& security,
                 TransactionExecutor& transactions, SessionOptions& options,
                 SecurityState& securityState, StatementOutcome& outcome)
      : m_Session(session),
        m_Security(security),
        m_Transactions(transactions),
        m_Options(options),
        m_SecurityState(securityState),
        m_Outcome(outcome) {}

  void RunCreateTable(const CreateTableStatement& statement, BatchSink& sink);
  void RunDropTable(const DropTableStatement& statement, BatchSink& sink);
  void RunCreateIndex(const CreateIndexStatement& statement, BatchSink& sink);
  void RunDropIndex(const DropIndexStatement& statement, BatchSink& sink);
  void RunCreateView(const CreateViewStatement& statement, BatchSink& sink);
  void RunDropView(const DropViewStatement& statement, BatchSink& sink);
  void RunAlterTable(const AlterTableStatement& statement, BatchSink& sink);

  // Creates the database's sysobjects and syscomments views on first use.
  void EnsureSystemViews(const std::string& schema);

 private:
  struct IndexRequest {
    std::string name;
    bool unique = false;
    std::vector<std::string> columns;
  };
  // One column of a table being rebuilt: its definition and the SQL of its
  // value for the existing rows (empty: its default).
  struct RebuiltColumn {
    std::string name;
    ColumnType type;
    bool notNull = false;
    std::string defaultSql;
    std::string value;
  };
  std::vector<RebuiltColumn> CurrentColumns(const TableInfo& table);
  void RebuildTable(const TableInfo& table, const std::vector<RebuiltColumn>& columns);
  void AddColumns(const AlterTableStatement& statement, const TableInfo& table);
  void AlterColumn(const ColumnDefinition& change, const TableInfo& table, BatchSink& sink);
  // Creates the SQLite index and, for a key that can pass 900 bytes, its key
  // length triggers; warns with 1945 on `warnings` when given.
  void CreateIndexObjects(const TableInfo& table, const IndexRequest& request, BatchSink* warnings);
  void DropIndexObjects(const TableInfo& table, const std::string& index);

  SessionServices& m_Session;
  SecurityExecutor& m_Security;
  TransactionExecutor& m_Transactions;
  SessionOptions& m_Options;
  SecurityState& m_SecurityState;
  StatementOutcome& m_Outcome;
};

}  // namespace standin::engine
