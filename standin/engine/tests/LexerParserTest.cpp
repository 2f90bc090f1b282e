// The T-SQL front end: malformed batches give SQL Server's error numbers, and
// well-formed ones split into the statements SQL Server would see.
#include <gtest/gtest.h>

#include "engine/Errors.h"
#include "parse/Lexer.h"
#include "parse/Parser.h"

namespace standin::engine {
namespace {

struct Malformed {
  const char* sql;
  std::int32_t number;
  const char* fragment;  // part of the message text
};

void PrintTo(const Malformed& row, std::ostream* out) {
  *out << row.sql;
}

class MalformedBatch : public testing::TestWithParam<Malformed> {};

TEST_P(MalformedBatch, RaisesSqlServersError) {
  const Malformed& row = GetParam();
  try {
    ParseBatch(row.sql);
    FAIL() << "parsed: " << row.sql;
  } catch (const SqlError& error) {
    EXPECT_EQ(error.Msg().number, row.number) << row.sql << " → " << error.Msg().text;
    EXPECT_NE(error.Msg().text.find(row.fragment), std::string::npos) << error.Msg().text;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, MalformedBatch,
    testing::Values(
        Malformed{"SELECT 'abc", 105, "'abc'"}, Malformed{"SELECT [abc", 105, "abc"},
        Malformed{"SELECT 1 /* never closed", 113, "*/"},
        Malformed{"SELECT 1 /* outer /* inner */ still open", 113, "*/"},
        Malformed{"SELECT * FROM", 170, "FROM"}, Malformed{"SELECT * FROM t WHERE", 170, "WHERE"},
        Malformed{"SELECT FROM t", 156, "FROM"}, Malformed{"SELECT 1 +", 170, "+"},
        Malformed{"SELECT (1", 170, "1"}, Malformed{"SELECT 1)", 170, ")"},
        Malformed{"INSERT INTO t VALUES (1", 170, "1"}, Malformed{"INSERT t", 170, "t"},
        Malformed{"CREATE TABLE t (a int,", 170, ","},
        Malformed{"CREATE TABLE t (a decimal(40,2))", 170, "decimal"},
        Malformed{"CREATE TABLE t (a varchar(9000))", 170, "varchar"},
        Malformed{"UPDATE t SET", 170, "SET"}, Malformed{"DELETE FROM", 170, "FROM"},
        Malformed{"SELECT 1 FROM t ORDER", 170, "ORDER"},
        Malformed{"SELECT CASE WHEN 1 = 1 THEN 2", 170, "2"},
        Malformed{"SELECT 1 WHERE 1 =", 170, "="}, Malformed{"SELECT 1 select 2 ELSE", 156, "ELSE"},
        Malformed{"SELECT 1 ? 2", 102, "?"}, Malformed{"IF 1 = 1", 170, "1"},
        Malformed{"BEGIN SELECT 1", 170, "1"},
        Malformed{"SELECT 1\nCREATE PROCEDURE p AS SELECT 1", 111, "CREATE PROCEDURE"},
        Malformed{"SELECT 1\nCREATE VIEW v AS SELECT 1", 111, "CREATE VIEW"},
        Malformed{"ALTER TABLE t ADD COLUMN c int", 156, "COLUMN"},
        Malformed{"ALTER TABLE t DROP COLUMN c", kErrorUnsupported, "DROP"},
        Malformed{"CREATE PROCEDURE p ([c] int) AS SELECT 1", 170, "c"},
        Malformed{"ALTER VIEW v AS SELECT 1", kErrorUnsupported, "ALTER"},
        Malformed{"GRANT SELECT (a) ON t TO public", kErrorUnsupported, "column permissions"},
        Malformed{"GRANT FLY ON t TO public", 170, "FLY"},
        Malformed{"DENY SELECT ON t TO u WITH GRANT OPTION", 156, "WITH"},
        Malformed{"SELECT * FROM a, b WHERE a.x *= b.x", kErrorUnsupported, "outer join"},
        Malformed{"CREATE DATABASE x ON (NAME = x, FILENAME = 'C:\\x.mdf') FOR ATTACH",
                  kErrorUnsupported, "CREATE DATABASE"},
        Malformed{"CREATE DATABASE x ON (NAME = x, FILENAME = 'C:\\a.mdf'), (NAME = y, FILENAME "
                  "= 'C:\\b.ndf')",
                  kErrorUnsupported, "several"},
        Malformed{"CREATE DATABASE x ON (NAME = x)", 170, "')'"},
        Malformed{"CREATE DATABASE x ON (NAME = x, FILENAME = 'C:\\x.mdf', COLOUR = 1)", 170,
                  "COLOUR"},
        Malformed{"CREATE TABLE t (a int CHECK (a > 0))", kErrorUnsupported, "CHECK"},
        Malformed{"SELECT TOP 10 PERCENT * FROM t ORDER BY 1 COMPUTE SUM(a)", kErrorUnsupported,
                  "COMPUTE"}));

TEST(MalformedBatch, DeepNestingIsRefusedNotACrash) {
  for (const std::string& unit : {std::string("("), std::string("- "), std::string("NOT "),
                                  std::string("(SELECT "), std::string("IF 1 = 1 ")}) {
    std::string sql = unit.rfind("IF", 0) == 0 ? "" : "SELECT ";
    for (int i = 0; i < 100000; ++i) sql += unit;
    try {
      ParseBatch(sql);
      ADD_FAILURE() << unit;
    } catch (const SqlError& error) {
      EXPECT_EQ(error.Msg().number, 191) << unit;
    }
  }
}

TEST(MalformedBatch, SyntaxErrorsCarryTheirLine) {
  try {
    ParseBatch("SELECT 1\nSELECT 2\nSELECT * FROM\n");
    FAIL();
  } catch (const SqlError& error) {
    EXPECT_EQ(error.Msg().number, 170);
    EXPECT_EQ(error.Msg().line, 3);
    EXPECT_EQ(error.Msg().text, "Line 3: Incorrect syntax near 'FROM'.");
    EXPECT_EQ(error.Msg().severity, 15);
  }
}

struct WellFormed {
  const char* sql;
  std::size_t statements;
};

void PrintTo(const WellFormed& row, std::ostream* out) {
  *out << row.sql;
}

class WellFormedBatch : public testing::TestWithParam<WellFormed> {};

TEST_P(WellFormedBatch, SplitsIntoStatements) {
  const WellFormed& row = GetParam();
  Batch batch = ParseBatch(row.sql);
  EXPECT_EQ(batch.statements.size(), row.statements) << row.sql;
}

INSTANTIATE_TEST_SUITE_P(
    Batches, WellFormedBatch,
    testing::Values(
        WellFormed{"", 0}, WellFormed{"-- only a comment", 0}, WellFormed{"SELECT 1 SELECT 2", 2},
        WellFormed{"SELECT 1; SELECT 2;", 2},
        WellFormed{"SELECT 1\n/* SELECT 2 */\n-- SELECT 3\nSELECT 4", 2},
        WellFormed{"SELECT 'it''s; -- not a comment'", 1},
        WellFormed{"SELECT [a]]b] FROM [my table]", 1},
        WellFormed{"SELECT N'ä', 0xABCDEF, 1.5, 2e3, @@VERSION", 1},
        WellFormed{"SELECT * FROM master..sysdatabases SELECT * FROM master.dbo.syslogins", 2},
        WellFormed{"SELECT a FROM t UNION ALL SELECT b FROM u ORDER BY 1", 1},
        WellFormed{"DECLARE @x int SET @x = 1 SELECT @x = @x + 1 PRINT @x", 4},
        WellFormed{"IF EXISTS (SELECT * FROM t) BEGIN SELECT 1 SELECT 2 END ELSE SELECT 3", 1},
        WellFormed{"BEGIN TRAN INSERT t VALUES (1) COMMIT TRAN", 3},
        WellFormed{"CREATE PROCEDURE p AS SELECT 1 SELECT 2", 1}, WellFormed{"sp_who", 1},
        WellFormed{"EXEC sp_helpdb master", 1},
        WellFormed{"SET NOCOUNT ON SET ANSI_NULLS, QUOTED_IDENTIFIER ON", 2},
        WellFormed{"SELECT CASE WHEN a IS NULL THEN 0 ELSE 1 END FROM t", 1},
        WellFormed{"UPDATE t SET a = u.b FROM t INNER JOIN u ON t.id = u.id WHERE u.c LIKE 'x%'",
                   1},
        WellFormed{"DELETE t FROM t LEFT OUTER JOIN u ON t.id = u.id WHERE u.id IS NULL", 1}));

TEST(Lexer, KeepsDelimitedIdentifiersApartFromKeywords) {
  std::vector<Token> tokens = Tokenize("SELECT [select], \"from\" FROM x");
  ASSERT_GE(tokens.size(), 6u);
  EXPECT_EQ(tokens[1].kind, TokenKind::Identifier);
  EXPECT_EQ(tokens[1].text, "select");
  EXPECT_EQ(tokens[3].kind, TokenKind::Identifier);
  EXPECT_EQ(tokens[4].kind, TokenKind::Keyword);
}

TEST(Lexer, QuotedIdentifierOffMakesDoubleQuotesStrings) {
  std::vector<Token> tokens = Tokenize("SELECT \"it\"\"s\"", false);
  EXPECT_EQ(tokens[1].kind, TokenKind::String);
  EXPECT_EQ(tokens[1].text, "it\"s");
}

}  // namespace
}  // namespace standin::engine
