// The product brackets a name that is a reserved word; the stand-in refuses
// such a name bare (156). The two keep separate word lists, so this test
// holds them together: every word the stand-in's lexer reserves must be
// quoted by the product, and a database and a column of that name must work
// over TDS through the product's own statements.
#include <gtest/gtest.h>

#include <string>

#include "StandinFixture.h"
#include "data/DataAccess.h"
#include "parse/Lexer.h"
#include "support/Helpers.h"
#include "support/SqlText.h"

namespace bw {
namespace {

class ReservedWords : public testing::StandinSuite {};

TEST_F(ReservedWords, EveryWordTheStandInReservesIsBracketedByTheProduct) {
  auto words = standin::engine::ReservedWords();
  ASSERT_GT(words.size(), 100u);
  for (auto word : words) {
    std::string name(word);
    EXPECT_EQ(SqlName(name), "[" + name + "]") << name;
    // Case does not make a reserved word plain.
    std::string lower = LowerAscii(name);
    EXPECT_EQ(SqlName(lower), "[" + lower + "]") << lower;
  }
}

TEST_F(ReservedWords, DatabasesAndColumnsNamedAfterEachWordWorkOverTds) {
  Connection connection;
  connection.SetConnectionString(RegistrationString());
  connection.Open();
  auto words = standin::engine::ReservedWords();

  std::string columns = "id int";
  for (auto word : words) columns += ", " + SqlName(std::string(word)) + " int";
  connection.Execute("CREATE TABLE #words (" + columns + ")");
  Recordset rows;
  rows.Open("SELECT * FROM #words", &connection, 3, 3);
  rows.AddNew();
  rows.SetValue("id", Variant(1));
  int n = 0;
  for (auto word : words) rows.SetValue(std::string(word), Variant(++n));
  ASSERT_NO_THROW(rows.Update());
  rows.Close();
  Recordset back;
  back.Open("SELECT * FROM #words", &connection);
  ASSERT_FALSE(back.Eof());
  EXPECT_EQ(back.Value(std::string(words.back())).ToText(), std::to_string(n));
  back.Close();

  for (auto word : words) {
    std::string name = SqlName(std::string(word));
    SCOPED_TRACE(std::string(word));
    ASSERT_NO_THROW(connection.Execute("CREATE DATABASE " + name));
    ASSERT_NO_THROW(connection.Execute("USE " + name));
    ASSERT_NO_THROW(connection.Execute("USE master"));
    ASSERT_NO_THROW(connection.Execute("DROP DATABASE " + name));
  }
}

}  // namespace
}  // namespace bw
