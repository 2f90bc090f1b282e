// Filter and Sort over the rows a client-side recordset holds.
#include <algorithm>
#include <cstdio>

#include "RecordsetImpl.h"
#include "support/Helpers.h"

namespace bw {

namespace {

// -1, 0, 1 as SQL Server orders values of one column: NULL first, texts
// without regard to case.
int CompareValues(const Variant& a, const Variant& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() == b.IsNull() ? 0 : (a.IsNull() ? -1 : 1);
  if (a.IsNumeric() && b.IsNumeric() && a.GetKind() != Variant::Kind::Text) {
    double x = a.ToDouble(), y = b.ToDouble();
    return x < y ? -1 : (x > y ? 1 : 0);
  }
  std::string x = LowerAscii(a.ToText()), y = LowerAscii(b.ToText());
  return x < y ? -1 : (x > y ? 1 : 0);
}

}  // namespace

void Recordset::SetFilter(const std::string& filter) {
  if (m_State != adStateOpen) ClosedError();
  if (m_Impl->streaming) {
    throw Error(kAdoErrorGeneric, "ADODB.Recordset",
                "Filter needs a client-side or static cursor.");
  }
  Impl& impl = *m_Impl;
  impl.view.clear();
  std::string text = Trim(filter);
  if (text.empty()) {
    for (std::size_t i = 0; i < impl.result.rows.size(); ++i) impl.view.push_back(i);
  } else {
    std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
      throw Error(kAdoErrorGeneric, "ADODB.Recordset", "Unsupported filter: " + filter);
    }
    std::string column = Trim(text.substr(0, equals));
    std::string wanted = Trim(text.substr(equals + 1));
    Variant value;
    if (wanted.size() >= 2 && wanted.front() == '\'' && wanted.back() == '\'') {
      std::string inner;
      for (std::size_t i = 1; i + 1 < wanted.size(); ++i) {
        inner.push_back(wanted[i]);
        if (wanted[i] == '\'' && i + 2 < wanted.size() && wanted[i + 1] == '\'') ++i;
      }
      value = Variant(inner);
    } else {
      value = Variant(wanted);
      if (!value.IsNumeric()) {
        throw Error(kAdoErrorGeneric, "ADODB.Recordset", "Unsupported filter: " + filter);
      }
      value = Variant(value.ToDouble());
    }
    std::size_t index = impl.result.columns.size();
    for (std::size_t i = 0; i < impl.result.columns.size(); ++i) {
      if (EqualsIgnoreCase(impl.result.columns[i].name, column)) index = i;
    }
    if (index == impl.result.columns.size()) {
      throw Error(kAdoErrorItemNotFound, "ADODB.Recordset", "Unknown column in filter: " + column);
    }
    for (std::size_t i = 0; i < impl.result.rows.size(); ++i) {
      if (CompareValues(impl.result.rows[i][index], value) == 0 &&
          !impl.result.rows[i][index].IsNull()) {
        impl.view.push_back(i);
      }
    }
  }
  impl.position = 0;
  impl.ShowPosition();
}

void Recordset::SetSort(const std::string& sort) {
  if (m_State != adStateOpen) ClosedError();
  if (m_Impl->streaming) {
    throw Error(kAdoErrorGeneric, "ADODB.Recordset", "Sort needs a client-side or static cursor.");
  }
  Impl& impl = *m_Impl;
  std::string text = Trim(sort);
  if (text.empty()) {
    std::sort(impl.view.begin(), impl.view.end());
  } else {
    bool descending = false;
    std::string column = text;
    if (std::size_t blank = text.find_last_of(" \t"); blank != std::string::npos) {
      std::string direction = LowerAscii(text.substr(blank + 1));
      if (direction == "desc" || direction == "asc") {
        descending = direction == "desc";
        column = Trim(text.substr(0, blank));
      }
    }
    if (column.size() >= 2 && column.front() == '[' && column.back() == ']') {
      column = column.substr(1, column.size() - 2);
    }
    std::size_t index = impl.result.columns.size();
    for (std::size_t i = 0; i < impl.result.columns.size(); ++i) {
      if (EqualsIgnoreCase(impl.result.columns[i].name, column)) index = i;
    }
    if (index == impl.result.columns.size()) {
      throw Error(kAdoErrorItemNotFound, "ADODB.Recordset", "Unknown column in sort: " + column);
    }
    std::stable_sort(impl.view.begin(), impl.view.end(), [&](std::size_t a, std::size_t b) {
      int c = CompareValues(impl.result.rows[a][index], impl.result.rows[b][index]);
      return descending ? c > 0 : c < 0;
    });
  }
  impl.position = 0;
  impl.ShowPosition();
}

}  // namespace bw
