// AddNew, SetValue and Update: a changed row goes back to its table as an
// INSERT, or as an UPDATE that finds the row by the values it was read with.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "RecordsetImpl.h"
#include "support/Helpers.h"
#include "support/SqlText.h"

namespace bw {

namespace {

// The one table a SELECT reads, or "" when it reads several.
std::string TableOf(const std::string& source) {
  if (IsTableName(source)) return source;
  std::string lower = LowerAscii(source);
  std::size_t from = lower.find(" from ");
  if (from == std::string::npos) return {};
  std::size_t begin = source.find_first_not_of(" \t\r\n", from + 6);
  if (begin == std::string::npos) return {};
  std::size_t end = begin;
  while (end < source.size()) {
    char c = source[end];
    if (c == '[') {
      std::size_t close = source.find(']', end);
      if (close == std::string::npos) return {};
      end = close + 1;
    } else if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.' || c == '#' ||
               c == '$' || c == '@') {
      ++end;
    } else {
      break;
    }
  }
  std::string table = source.substr(begin, end - begin);
  std::string rest = LowerAscii(source.substr(end));
  for (const char* joined : {" join ", ",", " union "}) {
    if (rest.find(joined) != std::string::npos) return {};
  }
  return table;
}

// A value as a T-SQL literal.
std::string Literal(const Variant& value) {
  static const char kHex[] = "0123456789ABCDEF";
  switch (value.GetKind()) {
    case Variant::Kind::Empty:
    case Variant::Kind::Null:
      return "NULL";
    case Variant::Kind::Boolean:
      return value.ToBoolean() ? "1" : "0";
    case Variant::Kind::Integer:
      return value.ToText();
    case Variant::Kind::Double: {
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "%.17g", value.ToDouble());
      return buffer;
    }
    case Variant::Kind::Bytes: {
      std::string text = "0x";
      for (std::uint8_t byte : *value.Bytes()) {
        text.push_back(kHex[byte >> 4]);
        text.push_back(kHex[byte & 15]);
      }
      return text;
    }
    case Variant::Kind::Date: {
      DateParts p = SplitDate(DateValue{value.ToDouble()});
      char buffer[40];
      std::snprintf(buffer, sizeof buffer, "'%04d%02d%02d %02d:%02d:%02d'", p.year, p.month, p.day,
                    p.hour, p.minute, p.second);
      return buffer;
    }
    default: {
      std::string text = "N'";
      for (char c : value.ToText()) {
        if (c == '\'') text.push_back('\'');
        text.push_back(c);
      }
      return text + "'";
    }
  }
}

bool Comparable(SQLSMALLINT sqlType) {
  // SQL Server cannot compare text, ntext and image values.
  return sqlType != SQL_LONGVARCHAR && sqlType != SQL_WLONGVARCHAR && sqlType != SQL_LONGVARBINARY;
}

}  // namespace

void Recordset::AddNew() {
  if (m_State != adStateOpen) ClosedError();
  Impl& impl = *m_Impl;
  if (impl.streaming) {
    throw Error(kAdoErrorGeneric, "ADODB.Recordset",
                "AddNew needs a client-side or static cursor.");
  }
  impl.result.rows.emplace_back(impl.result.columns.size(), Variant());
  impl.view.push_back(impl.result.rows.size() - 1);
  impl.position = impl.view.size() - 1;
  impl.ShowPosition();
  impl.adding = true;
}

void Recordset::SetValue(const std::string& field, const Variant& value) {
  if (m_State != adStateOpen) ClosedError();
  Impl& impl = *m_Impl;
  if (impl.eof) NoCurrentRecord();
  std::size_t index = impl.ColumnIndex(field);
  impl.current[index] = value;
  impl.changed[index] = true;
}

void Recordset::AppendChunk(const std::string& field, const std::vector<std::uint8_t>& bytes) {
  if (m_State != adStateOpen) ClosedError();
  Impl& impl = *m_Impl;
  if (impl.eof) NoCurrentRecord();
  std::size_t index = impl.ColumnIndex(field);
  std::vector<std::uint8_t> joined;
  if (const auto* existing = impl.current[index].Bytes()) joined = *existing;
  joined.insert(joined.end(), bytes.begin(), bytes.end());
  SetValue(field, Variant(std::move(joined)));
}

void Recordset::Update() {
  if (m_State != adStateOpen) ClosedError();
  Impl& impl = *m_Impl;
  if (impl.eof) NoCurrentRecord();
  bool anyChange = std::find(impl.changed.begin(), impl.changed.end(), true) != impl.changed.end();
  if (!anyChange && !impl.adding) return;
  std::string table = TableOf(m_Source);
  if (table.empty()) {
    throw Error(kAdoErrorGeneric, "ADODB.Recordset",
                "Update needs a recordset on a single table; '" + m_Source + "' is not one.");
  }
  const auto& columns = impl.result.columns;
  std::string sql;
  if (impl.adding) {
    std::string names, values;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (!impl.changed[i]) continue;
      names += (names.empty() ? "" : ", ") + SqlName(columns[i].name);
      values += (values.empty() ? "" : ", ") + Literal(impl.current[i]);
    }
    sql = names.empty() ? "INSERT INTO " + table + " DEFAULT VALUES"
                        : "INSERT INTO " + table + " (" + names + ") VALUES (" + values + ")";
  } else {
    std::string assignments;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (!impl.changed[i]) continue;
      assignments += (assignments.empty() ? "" : ", ") + SqlName(columns[i].name) + " = " +
                     Literal(impl.current[i]);
    }
    // The row is found by the primary key when the table has one, else by
    // every value it had when it was read.
    std::vector<std::string> keys;
    try {
      Recordset pkeys;
      pkeys.SetCursorLocation(adUseClient);
      pkeys.Open("EXEC sp_pkeys " + SqlString(table), m_Connection);
      for (; pkeys.State() == adStateOpen && !pkeys.Eof(); pkeys.MoveNext()) {
        keys.push_back(pkeys.Value("COLUMN_NAME").ToText());
      }
    } catch (const Error&) {
      keys.clear();  // no key information: all original values find the row
    }
    std::string where;
    for (std::size_t i = 0; i < columns.size(); ++i) {
      bool isKey = keys.empty()
                       ? Comparable(columns[i].sqlType)
                       : std::any_of(keys.begin(), keys.end(), [&](const std::string& key) {
                           return EqualsIgnoreCase(key, columns[i].name);
                         });
      if (!isKey) continue;
      where += (where.empty() ? "" : " AND ") + SqlName(columns[i].name) +
               (impl.original[i].IsNull() ? " IS NULL" : " = " + Literal(impl.original[i]));
    }
    sql = "UPDATE " + table + " SET " + assignments + (where.empty() ? "" : " WHERE " + where);
  }
  long affected = m_Connection->Execute(sql);
  if (affected != 1) {
    throw Error(kAdoErrorRowCount, "ADODB.Recordset",
                "Row cannot be located for updating. Some values may have been changed since it "
                "was last read (" +
                    std::to_string(affected) + " rows affected).");
  }
  impl.result.rows[impl.view[impl.position]] = impl.current;
  impl.original = impl.current;
  impl.changed.assign(columns.size(), false);
  impl.adding = false;
}

}  // namespace bw
