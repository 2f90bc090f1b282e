// How names, string literals and column types are written in the SQL the
// stand-in gives SQLite and read back from SQLite's schema. Storage, the
// catalogue and the translator all write SQL, so this sits below all three.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/Types.h"

namespace standin::engine {

// "name" with embedded quotes doubled: any stored name, reserved or not.
std::string QuoteIdentifier(std::string_view name);
// 'value' with embedded quotes doubled.
std::string QuoteString(std::string_view value);

// The declared type of a column in SQLite's schema ("nvarchar(50)").
std::string StorageTypeName(const ColumnType& type);
// Parses a declared column type as SQLite reports it ("nvarchar(50)").
std::optional<ColumnType> ParseDeclaredType(std::string_view declared);

}  // namespace standin::engine
