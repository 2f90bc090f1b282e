// The state behind a Recordset, shared by the files that implement it:
// reading (Recordset.cpp), filtering and sorting (RecordsetView.cpp) and
// writing (RecordsetUpdate.cpp). Private to the data layer.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "OdbcSupport.h"
#include "StatementRunner.h"
#include "data/DataAccess.h"
#include "support/Helpers.h"

namespace bw {

struct ColumnInfo {
  std::string name;
  SQLSMALLINT sqlType = 0;
  SQLSMALLINT scale = 0;
};

// One result of a batch: a result set (columns and, once buffered, its rows)
// or a row count, and the errors the server sent with it.
struct BufferedResult {
  std::vector<ColumnInfo> columns;
  std::vector<std::vector<Variant>> rows;
  long rowCount = -1;
  std::vector<ProviderMessage> errors;
};

// One value of the current row, read from the statement.
Variant ReadValue(SQLHSTMT stmt, SQLUSMALLINT column, const ColumnInfo& info);
// "Document", "dbo.Document", "[Extended Data]": a name, not a statement.
bool IsTableName(const std::string& source);
[[noreturn]] void ClosedError();
[[noreturn]] void NoCurrentRecord();

struct Recordset::Impl : Connection::ActiveReader {
  Connection* connection = nullptr;
  bool registered = false;
  std::unique_ptr<odbc::Statement> statement;
  // The current result. While `streaming`, its rows come from the statement
  // one at a time; otherwise they are in `result.rows`.
  BufferedResult result;
  bool streaming = false;
  std::vector<Variant> current;
  bool eof = true;
  bool clientSide = false;
  // The order in which filter and sort show the buffered rows.
  std::vector<std::size_t> view;
  std::size_t position = 0;
  // Results after the current one, read ahead when the connection was needed.
  std::vector<BufferedResult> ahead;
  // Editing: the row as it was read, which columns changed, and whether the
  // current row is a new one (AddNew).
  std::vector<Variant> original;
  std::vector<bool> changed;
  bool adding = false;

  ~Impl() override { Unregister(); }

  void Unregister() {
    if (registered && connection != nullptr) connection->ClearActiveReader(this);
    registered = false;
  }

  void LoadColumns(std::vector<ColumnInfo>& columns) {
    columns.clear();
    int count = statement->ColumnCount();
    for (int i = 1; i <= count; ++i) {
      SQLWCHAR name[512] = {0};
      SQLSMALLINT nameLength = 0, type = 0, scale = 0, nullable = 0;
      SQLULEN size = 0;
      SQLDescribeColW(statement->Handle(), static_cast<SQLUSMALLINT>(i), name, 511, &nameLength,
                      &type, &size, &scale, &nullable);
      std::size_t length = 0;
      while (length < 511 && name[length] != 0) ++length;
      columns.push_back({odbc::Utf8Text(name, length), type, scale});
    }
  }

  bool FetchRow(const std::vector<ColumnInfo>& columns, std::vector<Variant>& row) {
    SQLRETURN rc = SQLFetch(statement->Handle());
    if (rc == SQL_NO_DATA) return false;
    if (!SQL_SUCCEEDED(rc)) {
      statement->CollectErrors();
      statement->ThrowPending();
      odbc::Fail(kAdoErrorGeneric, SQL_HANDLE_STMT, statement->Handle(),
                 "A row could not be read.");
    }
    row.clear();
    row.reserve(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
      row.push_back(ReadValue(statement->Handle(), static_cast<SQLUSMALLINT>(i + 1), columns[i]));
    }
    return true;
  }

  // Reads the result the statement is on, rows and all.
  BufferedResult ReadWholeResult() {
    BufferedResult whole;
    LoadColumns(whole.columns);
    if (whole.columns.empty()) {
      whole.rowCount = statement->RowCount();
    } else {
      std::vector<Variant> row;
      while (FetchRow(whole.columns, row)) whole.rows.push_back(row);
    }
    whole.errors.swap(statement->PendingErrors());
    return whole;
  }

  // Makes the statement's current result the recordset's: streamed, or read
  // whole for client-side cursors.
  void EnterStatementResult() {
    result = BufferedResult{};
    LoadColumns(result.columns);
    result.errors.swap(statement->PendingErrors());
    if (result.columns.empty()) {
      result.rowCount = statement->RowCount();
      streaming = false;
      eof = true;
      return;
    }
    streaming = true;
    if (!registered && connection != nullptr) {
      connection->SetActiveReader(this);
      registered = true;
    }
    eof = !FetchRow(result.columns, current);
    if (clientSide) BufferRemaining();
  }

  void EnterBuffered(BufferedResult next) {
    result = std::move(next);
    streaming = false;
    view.clear();
    for (std::size_t i = 0; i < result.rows.size(); ++i) view.push_back(i);
    position = 0;
    ShowPosition();
  }

  // Reads everything still on the wire, so the connection is free again.
  void BufferRemaining() override {
    // Called by the connection (which forgot us already) or by ourselves for
    // client-side cursors (then the connection must forget us too).
    Unregister();
    if (!statement) return;
    if (streaming) {
      if (!eof) {
        result.rows.push_back(current);
        std::vector<Variant> row;
        while (FetchRow(result.columns, row)) result.rows.push_back(row);
      }
      streaming = false;
      view.clear();
      for (std::size_t i = 0; i < result.rows.size(); ++i) view.push_back(i);
      position = 0;
      ShowPosition();
    }
    while (statement->NextResult()) ahead.push_back(ReadWholeResult());
    if (!statement->PendingErrors().empty()) {
      BufferedResult trailing;
      trailing.errors.swap(statement->PendingErrors());
      ahead.push_back(std::move(trailing));
    }
    statement.reset();
  }

  void ShowPosition() {
    eof = position >= view.size();
    if (!eof) current = result.rows[view[position]];
    original = current;
    changed.assign(result.columns.size(), false);
    adding = false;
  }

  std::size_t ColumnIndex(const std::string& name) const {
    for (std::size_t i = 0; i < result.columns.size(); ++i) {
      if (EqualsIgnoreCase(result.columns[i].name, name)) return i;
    }
    throw Error(kAdoErrorItemNotFound, "ADODB.Fields",
                "Item cannot be found in the collection corresponding to the requested name or "
                "ordinal.");
  }

  // Moves to the next result; false when the batch has no more.
  bool NextResult() {
    if (!ahead.empty()) {
      BufferedResult next = std::move(ahead.front());
      ahead.erase(ahead.begin());
      EnterBuffered(std::move(next));
      return true;
    }
    if (!statement) return false;
    if (!statement->NextResult()) {
      statement->ThrowPending();
      Unregister();
      statement.reset();
      return false;
    }
    EnterStatementResult();
    return true;
  }

  void ThrowResultErrors() {
    if (result.errors.empty()) return;
    std::vector<ProviderMessage> errors;
    errors.swap(result.errors);
    throw DataError(kAdoErrorStatement, std::move(errors));
  }
};

}  // namespace bw
