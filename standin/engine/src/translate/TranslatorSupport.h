// Small helpers shared by the translator's files.
#pragma once

#include <algorithm>
#include <cctype>
#include <initializer_list>
#include <string>
#include <string_view>

#include "common/Text.h"
#include "common/Types.h"
#include "translate/Translator.h"

namespace standin::engine::translation {

inline ExprType Known(ColumnType type) {
  return ExprType{true, type};
}

inline ExprType Known(TypeId id, std::int32_t length = 0) {
  ColumnType type;
  type.id = id;
  type.length = length;
  return ExprType{true, type};
}

inline constexpr const char* kCollate = " COLLATE standin_ci";
inline constexpr const char* kCollateCaseSensitive = " COLLATE standin_cs";

// The collation that compares the operands, as SQL Server's precedence picks
// it: an explicit COLLATE (the first one), else a case-sensitive column, else
// the server's default. Two different implicit collations (SQL Server's 446)
// are not told apart from a column and a literal: the case-sensitive one wins.
inline bool ComparesCaseSensitive(std::initializer_list<const ExprType*> operands) {
  for (const ExprType* operand : operands) {
    if (operand->explicitCollation) return operand->type.caseSensitive;
  }
  for (const ExprType* operand : operands) {
    if (operand->known && operand->type.caseSensitive) return true;
  }
  return false;
}

inline const char* CollateFor(std::initializer_list<const ExprType*> operands) {
  return ComparesCaseSensitive(operands) ? kCollateCaseSensitive : kCollate;
}

inline bool IsTextOrUnknown(const ExprType& type) {
  return !type.known || IsCharacter(type.type.id);
}

inline ColumnType DecimalOf(int precision, int scale) {
  ColumnType out;
  out.id = TypeId::Numeric;
  if (precision > 38) {
    scale = std::max(std::min(scale, 6), scale - (precision - 38));
    precision = 38;
  }
  out.precision = static_cast<std::uint8_t>(precision);
  out.scale = static_cast<std::uint8_t>(std::max(0, scale));
  return out;
}

// The type of a column fed by several branches (UNION, CASE, COALESCE): the
// higher precedence wins, lengths and decimal digits widen to hold every branch.
inline ExprType MergeTypes(const ExprType& a, const ExprType& b) {
  if (!a.known) return b;
  if (!b.known) return a;
  ExprType out = Precedence(a.type.id) >= Precedence(b.type.id) ? a : b;
  if (IsCharacter(a.type.id) && IsCharacter(b.type.id)) {
    const bool unicode = IsUnicode(a.type.id) || IsUnicode(b.type.id);
    if (out.type.id != TypeId::Text && out.type.id != TypeId::NText) {
      out.type.id = unicode ? TypeId::NVarChar : TypeId::VarChar;
      out.type.length = std::min(unicode ? 4000 : 8000, std::max(a.type.length, b.type.length));
    }
  } else if (IsBinary(a.type.id) && IsBinary(b.type.id) && out.type.id != TypeId::Image) {
    out.type.id = TypeId::VarBinary;
    out.type.length = std::max(a.type.length, b.type.length);
  } else if (out.type.id == TypeId::Decimal || out.type.id == TypeId::Numeric) {
    auto digits = [](const ColumnType& type) {
      switch (type.id) {
        case TypeId::Bit:
          return std::pair{1, 0};
        case TypeId::TinyInt:
          return std::pair{3, 0};
        case TypeId::SmallInt:
          return std::pair{5, 0};
        case TypeId::Int:
          return std::pair{type.precision ? int{type.precision} : 10, 0};
        case TypeId::BigInt:
          return std::pair{19, 0};
        default:
          return std::pair{int{type.precision}, int{type.scale}};
      }
    };
    const auto [p1, s1] = digits(a.type);
    const auto [p2, s2] = digits(b.type);
    const int scale = std::max(s1, s2);
    out.type.scale = static_cast<std::uint8_t>(scale);
    out.type.precision =
        static_cast<std::uint8_t>(std::min(38, std::max(p1 - s1, p2 - s2) + scale));
  }
  return out;
}

}  // namespace standin::engine::translation
