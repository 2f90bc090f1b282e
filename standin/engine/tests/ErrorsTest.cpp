// The error table: SQL Server's texts with their placeholders filled in order.
#include <gtest/gtest.h>

#include "engine/Errors.h"

namespace standin::engine {
namespace {

struct ErrorCase {
  std::int32_t number;
  std::vector<std::string> arguments;
  std::uint8_t severity;
  std::uint8_t state;
  const char* text;
};

void PrintTo(const ErrorCase& row, std::ostream* out) {
  *out << row.number;
}

class ErrorTable : public testing::TestWithParam<ErrorCase> {};

TEST_P(ErrorTable, BuildsSqlServersMessage) {
  const ErrorCase& row = GetParam();
  Message message;
  switch (row.arguments.size()) {
    case 0:
      message = MakeMessage(row.number);
      break;
    case 1:
      message = MakeMessage(row.number, {row.arguments[0]});
      break;
    case 2:
      message = MakeMessage(row.number, {row.arguments[0], row.arguments[1]});
      break;
    default:
      message = MakeMessage(row.number, {row.arguments[0], row.arguments[1], row.arguments[2]});
  }
  EXPECT_EQ(message.number, row.number);
  EXPECT_EQ(message.severity, row.severity);
  EXPECT_EQ(message.state, row.state);
  EXPECT_EQ(message.text, row.text);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ErrorTable,
    testing::Values(
        ErrorCase{102, {"x"}, 15, 1, "Incorrect syntax near 'x'."},
        ErrorCase{156, {"FROM"}, 15, 1, "Incorrect syntax near the keyword 'FROM'."},
        ErrorCase{170, {"3", "x"}, 15, 1, "Line 3: Incorrect syntax near 'x'."},
        ErrorCase{208, {"dbo.T"}, 16, 1, "Invalid object name 'dbo.T'."},
        ErrorCase{207, {"c"}, 16, 3, "Invalid column name 'c'."},
        ErrorCase{2627,
                  {"PRIMARY KEY", "PK_t", "t"},
                  14,
                  1,
                  "Violation of PRIMARY KEY constraint 'PK_t'. Cannot insert duplicate key in "
                  "object 't'."},
        ErrorCase{515,
                  {"c", "db.dbo.t", "INSERT"},
                  16,
                  2,
                  "Cannot insert the value NULL into column 'c', table 'db.dbo.t'; column does "
                  "not allow nulls. INSERT fails."},
        ErrorCase{2812, {"p"}, 16, 62, "Could not find stored procedure 'p'."},
        ErrorCase{18456, {"sa"}, 14, 1, "Login failed for user 'sa'."},
        ErrorCase{245,
                  {"varchar", "x", "int"},
                  16,
                  1,
                  "Syntax error converting the varchar value 'x' to a column of data type int."},
        ErrorCase{
            kErrorUnsupported, {"ALTER TABLE"}, 16, 1, "sqlstandin does not support ALTER TABLE."},
        // A number outside the table still gives an error, with its arguments as text.
        ErrorCase{49999, {"something"}, 16, 1, "something"}));

TEST(ErrorTable, RaiseThrowsTheMessage) {
  try {
    RaiseUnsupported("cursors");
    FAIL();
  } catch (const SqlError& error) {
    EXPECT_EQ(error.Msg().number, kErrorUnsupported);
    EXPECT_STREQ(error.what(), "sqlstandin does not support cursors.");
  }
  EXPECT_EQ(FindError(12345), nullptr);
  ASSERT_NE(FindError(8134), nullptr);
  EXPECT_EQ(FindError(8134)->severity, 16);
}

}  // namespace
}  // namespace standin::engine
