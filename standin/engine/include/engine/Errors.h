// The one table of every SQL Server error number the stand-in raises, with
// SQL Server 2000's severity, state and message template. Everything that
// reports an error (engine, protocol layer, program) builds it from here so a
// number always carries the same text.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "engine/Engine.h"

namespace standin::engine {

// Our own number for "the stand-in does not support this construct"; the
// message names the construct. Severity 16, so the batch goes on.
inline constexpr std::int32_t kErrorUnsupported = 50100;
// A storage failure the stand-in cannot map onto a SQL Server error (disk
// full, corrupt file); the message carries SQLite's text.
inline constexpr std::int32_t kErrorStorage = 50101;

struct ErrorInfo {
  std::int32_t number;
  std::uint8_t severity;
  std::uint8_t state;
  // SQL Server's sysmessages template; every %ls, %.*ls, %s and %d takes the
  // next argument in order.
  const char* format;
};

// The table entry for a number, or nullptr when the number is not in the table.
const ErrorInfo* FindError(std::int32_t number);

// Builds the message for a number with its placeholders filled in order.
// Unknown numbers give a severity 16 message holding the arguments.
Message MakeMessage(std::int32_t number, std::initializer_list<std::string_view> arguments = {});

// Throws SqlError for the number (see MakeMessage).
[[noreturn]] void RaiseError(std::int32_t number,
                             std::initializer_list<std::string_view> arguments = {});

// Throws error 50100 naming the unsupported construct ("ALTER TABLE").
[[noreturn]] void RaiseUnsupported(std::string_view construct);

}  // namespace standin::engine
