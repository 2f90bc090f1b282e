// Queries and data changes: SELECT (with INTO and assignments to variables),
// INSERT, UPDATE and DELETE, the streaming of rows and the counting of
// changes (QueryExecutor.cpp), and writes through views (QueryViewWrites.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "exec/SecurityExecutor.h"
#include "exec/SessionServices.h"
#include "exec/SessionState.h"
#include "exec/TransactionExecutor.h"
#include "parse/Ast.h"
#include "storage/Sqlite.h"
#include "storage/SqliteFunctions.h"

namespace standin::engine {

class QueryExecutor {
 public:
  // `identity` is the connection's identity generator (standin_next_identity).
  QueryExecutor(SessionServices& session, SecurityExecutor& security,
                TransactionExecutor& transactions, const SessionOptions& options, BatchState& batch,
                StatementOutcome& outcome, IdentityState& identity)
      : m_Session(session),
        m_Security(security),
        m_Transactions(transactions),
        m_Options(options),
        m_Batch(batch),
        m_Outcome(outcome),
        m_Identity(identity) {}

  void RunSelect(const SelectStatement& statement, BatchSink& sink);
  void RunInsert(const InsertStatement& statement, BatchSink& sink);
  // UPDATE and DELETE (and TRUNCATE TABLE); `Write` is one of the two.
  template <typename Write>
  void RunRowWrite(const Write& statement, BatchSink& sink);

  // Streams a query's rows to the sink; returns the row count. With
  // `metadataOnly` only the columns are sent (sp_prepare).
  std::uint64_t StreamQuery(const SqlText& query, BatchSink& sink, bool metadataOnly = false);
  Value EvaluateScalar(const Expr& expr, const ColumnType& type);
  bool EvaluateCondition(const Expr& expr);

 private:
  void RunSelectInto(const Select& select, BatchSink& sink);
  void RunAssignmentSelect(const Select& select, BatchSink& sink);
  // Runs a write; names the violated constraint for 2627 from `table`.
  std::int64_t Changes(const SqlText& query, std::string_view kind,
                       const TableInfo* table = nullptr);
  void BindParameters(SqliteStatement& statement, const SqlText& query);

  // Writes through views (QueryViewWrites.cpp).
  struct ViewColumn {
    std::string name;
    int source = -1;         // the entry of the view's FROM it comes from; -1: computed
    std::string baseColumn;  // its name in that table
  };
  struct UpdatableView {
    std::shared_ptr<Select> select;  // the body, its table names qualified
    std::vector<TableInfo> tables;   // per entry of its FROM
    std::vector<ViewColumn> columns;
    const ViewColumn& Find(const std::string& name) const;  // 207
  };
  bool IsView(const TableInfo& table);
  // The view's body and where its columns come from; 4403, 4404, 4406, 4436
  // for a view that cannot be written at all.
  UpdatableView LoadUpdatableView(const TableInfo& view);
  // The one table the modified columns belong to (4405, 4406).
  TableInfo ViewBaseTable(const UpdatableView& shape, const TableInfo& view,
                          const std::vector<const ViewColumn*>& modified);
  // The table an INSERT into `view` writes; `columns` become its names.
  TableInfo ViewInsertTarget(const TableInfo& view, std::vector<std::string>& columns);
  // UPDATE or DELETE of the view `table`, which becomes the table written.
  template <typename Write>
  SqlText TranslateViewWrite(const Write& statement, TableInfo& table);

  SessionServices& m_Session;
  SecurityExecutor& m_Security;
  TransactionExecutor& m_Transactions;
  const SessionOptions& m_Options;
  BatchState& m_Batch;
  StatementOutcome& m_Outcome;
  IdentityState& m_Identity;
};

}  // namespace standin::engine
