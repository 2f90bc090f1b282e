#include <gtest/gtest.h>

#include "StandinFixture.h"
#include "data/DataAccess.h"

namespace bw {
namespace {

class DataAccess : public testing::StandinSuite {
 protected:
  void SetUp() override {
    m_Connection.SetConnectionString(RegistrationString());
    m_Connection.Open();
  }
  Connection m_Connection;
};

TEST_F(DataAccess, LoginFailureKeepsTheServersText) {
  Connection wrong;
  wrong.SetConnectionString(RegistrationString("sa", "not the password"));
  try {
    wrong.Open();
    FAIL() << "opened with a wrong password";
  } catch (const DataError& e) {
    EXPECT_EQ(e.Number(), kAdoErrorLoginFailed);
    EXPECT_EQ(e.Description(), "Login failed for user 'sa'.");
    EXPECT_EQ(e.ServerNumber(), 18456);
  }
  EXPECT_EQ(wrong.State(), adStateClosed);
}

TEST_F(DataAccess, PasswordsWithSeparatorsAndQuotesWork) {
  m_Connection.Execute("EXEC sp_password NULL, 'p;w\"d''x', 'sa'");
  Connection other;
  other.SetConnectionString(RegistrationString("sa", "p;w\"d'x"));
  EXPECT_NO_THROW(other.Open());
  other.Close();

  // A brace goes bare when nothing else needs quoting.
  m_Connection.Execute("EXEC sp_password NULL, 'p}w=\"d''x', 'sa'");
  Connection braced;
  braced.SetConnectionString(RegistrationString("sa", "p}w=\"d'x"));
  EXPECT_NO_THROW(braced.Open());
  braced.Close();
  m_Connection.Execute(std::string("EXEC sp_password NULL, '") + kSaPassword + "', 'sa'");

  // Both a separator and a brace: the driver cannot take it, and says so.
  Connection impossible;
  impossible.SetConnectionString(RegistrationString("sa", "a;}b"));
  EXPECT_THROW(impossible.Open(), Error);
}

TEST_F(DataAccess, ValuesComeBackAsTheirTypes) {
  m_Connection.Execute(
      "CREATE TABLE #v (i int, b image, d datetime, g uniqueidentifier, f float, t ntext, "
      "v varchar(10), n nvarchar(10), bit1 bit)");
  m_Connection.Execute(
      "INSERT INTO #v VALUES (7, 0x474946383961, '2003-01-01 10:30:00', "
      "'6F9619FF-8B86-D011-B42D-00C04FC964FF', 0.5, N'Größe', 'abc', N'äöü', 1)");
  m_Connection.Execute("INSERT INTO #v (i) VALUES (NULL)");
  Recordset rs;
  rs.Open("SELECT * FROM #v ORDER BY i DESC", &m_Connection);
  ASSERT_FALSE(rs.Eof());
  EXPECT_EQ(rs.Value("I").ToInteger(), 7);
  EXPECT_EQ(rs.Value("b").ToText(), "474946383961");
  EXPECT_EQ(rs.Value("d").ToText(), "2003-01-01 10:30:00");
  EXPECT_EQ(rs.Value("g").ToText(), "{6F9619FF-8B86-D011-B42D-00C04FC964FF}");
  EXPECT_DOUBLE_EQ(rs.Value("f").ToDouble(), 0.5);
  EXPECT_EQ(rs.Value("t").ToText(), "Größe");
  EXPECT_EQ(rs.Value("v").ToText(), "abc");
  EXPECT_EQ(rs.Value("n").ToText(), "äöü");
  EXPECT_TRUE(rs.Value("bit1").ToBoolean());
  rs.MoveNext();
  EXPECT_TRUE(rs.Value("i").IsNull());
  EXPECT_TRUE(rs.Value("t").IsNull());
  rs.MoveNext();
  EXPECT_TRUE(rs.Eof());
  EXPECT_THROW(rs.Value("i"), Error);
  EXPECT_THROW(rs.Fields("no such column"), Error);
}

TEST_F(DataAccess, EveryResultOfABatchIsReachable) {
  Recordset rs;
  rs.SetCursorLocation(adUseClient);
  rs.Open(
      "SET NOCOUNT OFF CREATE TABLE #r (x int) INSERT INTO #r VALUES (1) SELECT 'a' AS c "
      "SELECT 'b' AS c UNION ALL SELECT 'c'",
      &m_Connection);
  // The first results are counts: closed, as the console expects before its
  // NextRecordset loop.
  int steps = 0;
  while (rs.State() != adStateOpen && steps++ < 101) rs.NextRecordset();
  ASSERT_EQ(rs.State(), adStateOpen);
  EXPECT_EQ(rs.Value("c").ToText(), "a");
  rs.NextRecordset();
  ASSERT_EQ(rs.State(), adStateOpen);
  EXPECT_EQ(rs.RecordCount(), 2);
  rs.NextRecordset();
  EXPECT_EQ(rs.State(), adStateClosed);
}

TEST_F(DataAccess, StatementErrorsAndAffectedRows) {
  m_Connection.Execute("CREATE TABLE #e (x int NOT NULL PRIMARY KEY)");
  EXPECT_EQ(m_Connection.Execute("INSERT INTO #e VALUES (1) INSERT INTO #e VALUES (2)"), 1);
  EXPECT_EQ(m_Connection.Execute("UPDATE #e SET x = x"), 2);
  try {
    m_Connection.Execute("INSERT INTO #e VALUES (1)");
    FAIL();
  } catch (const DataError& e) {
    EXPECT_EQ(e.Number(), kAdoErrorStatement);
    EXPECT_EQ(e.ServerNumber(), 2627);
  }
  try {
    m_Connection.Execute("SELECT * FROM no_such_table");
    FAIL();
  } catch (const DataError& e) {
    EXPECT_EQ(e.Description(), "Invalid object name 'no_such_table'.");
    EXPECT_EQ(e.Source(), kAdoSource);
  }
}

TEST_F(DataAccess, EveryErrorOfABatchSurfaces) {
  // Also when the first statement is the one that fails.
  for (const char* batch :
       {"RAISERROR('first', 16, 1) RAISERROR('second', 16, 1) SELECT 1 RAISERROR('third', 16, 1)",
        "SELECT 1 AS a RAISERROR('first', 16, 1) RAISERROR('second', 16, 1) RAISERROR('third', 16, "
        "1)"}) {
    try {
      m_Connection.Execute(batch);
      FAIL() << batch;
    } catch (const DataError& e) {
      std::vector<std::string> texts;
      for (const ProviderMessage& message : e.Messages()) texts.push_back(message.text);
      EXPECT_EQ(texts, (std::vector<std::string>{"first", "second", "third"})) << batch;
      EXPECT_EQ(e.Description(), "first");
    }
  }
}

TEST_F(DataAccess, AStreamingReaderYieldsTheConnectionWhenAnotherStatementRuns) {
  m_Connection.Execute("CREATE TABLE #s (x int)");
  m_Connection.Execute(
      "DECLARE @i int SET @i = 0 WHILE @i < 50 BEGIN INSERT INTO #s VALUES (@i) SET @i = @i + 1 "
      "END");
  Recordset outer;
  outer.Open("SELECT x FROM #s ORDER BY x SELECT 'after' AS tail", &m_Connection);
  ASSERT_EQ(outer.Value(0).ToInteger(), 0);
  outer.MoveNext();
  // A second statement while the first still streams.
  Recordset inner;
  inner.Open("SELECT COUNT(*) FROM #s", &m_Connection);
  EXPECT_EQ(inner.Value(0).ToInteger(), 50);
  long seen = 1;
  for (; !outer.Eof(); outer.MoveNext()) {
    EXPECT_EQ(outer.Value(0).ToInteger(), seen);
    ++seen;
  }
  EXPECT_EQ(seen, 50);
  outer.NextRecordset();
  ASSERT_EQ(outer.State(), adStateOpen);
  EXPECT_EQ(outer.Value("tail").ToText(), "after");
}

TEST_F(DataAccess, ClientSideFilterAndSort) {
  Recordset rs;
  rs.SetCursorLocation(adUseClient);
  rs.Open(
      "SELECT 'b' AS name, 2 AS n UNION ALL SELECT 'A', 1 UNION ALL SELECT 'c', 3 "
      "UNION ALL SELECT 'a', 4",
      &m_Connection, adOpenForwardOnly, adLockOptimistic);
  rs.SetSort("name DESC");
  EXPECT_EQ(rs.Value("name").ToText(), "c");
  rs.SetFilter("name='A'");
  EXPECT_EQ(rs.RecordCount(), 2);
  rs.SetFilter("n = 3");
  EXPECT_EQ(rs.Value("name").ToText(), "c");
  rs.SetFilter("");
  EXPECT_EQ(rs.RecordCount(), 4);
}

}  // namespace
}  // namespace bw

namespace bw {
namespace {

class RecordsetWrites : public testing::StandinSuite {
 protected:
  void SetUp() override {
    m_Connection.SetConnectionString(RegistrationString());
    m_Connection.Open();
  }
  Connection m_Connection;
};

TEST_F(RecordsetWrites, AddNewOnATableNameInsertsTheRowExactly) {
  m_Connection.Execute(
      "CREATE TABLE #doc (EntryID int IDENTITY(1,1) PRIMARY KEY, Title nvarchar(50) NULL, "
      "Content image NULL, FileSize int NULL, Added datetime NULL)");
  std::vector<std::uint8_t> gif(51);
  for (std::size_t i = 0; i < gif.size(); ++i) gif[i] = static_cast<std::uint8_t>(i * 5);
  Recordset rs;
  rs.Open("#doc", &m_Connection, adOpenStatic, adLockOptimistic, adCmdUnknown);
  EXPECT_TRUE(rs.Eof());
  rs.AddNew();
  rs.SetValue("Title", Variant("O'Brien's \"template\""));
  rs.AppendChunk("Content", std::vector<std::uint8_t>(gif.begin(), gif.begin() + 20));
  rs.AppendChunk("Content", std::vector<std::uint8_t>(gif.begin() + 20, gif.end()));
  rs.SetValue("FileSize", Variant(51));
  rs.SetValue("Added", Variant(MakeDate(2003, 1, 1, 12, 30, 0)));
  rs.Update();
  rs.Close();

  Recordset check;
  check.Open("SELECT EntryID, Title, Content, FileSize, Added FROM #doc", &m_Connection);
  ASSERT_FALSE(check.Eof());
  EXPECT_EQ(check.Value("EntryID").ToInteger(), 1);
  EXPECT_EQ(check.Value("Title").ToText(), "O'Brien's \"template\"");
  ASSERT_NE(check.Value("Content").Bytes(), nullptr);
  EXPECT_EQ(*check.Value("Content").Bytes(), gif);
  EXPECT_EQ(check.Value("Added").ToText(), "2003-01-01 12:30:00");
}

TEST_F(RecordsetWrites, UpdateFindsTheRowByItsValuesAndRefusesAmbiguity) {
  m_Connection.Execute("CREATE TABLE #field (Name nvarchar(50) NULL, FieldType int NULL)");
  m_Connection.Execute(
      "INSERT INTO #field VALUES (N'a', 1) INSERT INTO #field VALUES (N'same', 2) "
      "INSERT INTO #field VALUES (N'same', 2) INSERT INTO #field VALUES (NULL, 3)");
  Recordset rs;
  rs.SetCursorLocation(adUseClient);
  rs.Open("SELECT Name, FieldType FROM #field ORDER BY FieldType", &m_Connection, adOpenForwardOnly,
          adLockOptimistic);
  rs.SetValue("Name", Variant("b"));
  rs.Update();
  rs.MoveNext();
  rs.SetValue("FieldType", Variant(9));
  EXPECT_THROW(rs.Update(), Error) << "two identical rows must not both change";
  rs.MoveNext();
  rs.MoveNext();
  rs.SetValue("Name", Variant("was null"));
  rs.Update();
  Recordset check;
  check.Open("SELECT COUNT(*) FROM #field WHERE Name IN (N'b', N'was null') AND FieldType <> 9",
             &m_Connection);
  EXPECT_EQ(check.Value(0).ToInteger(), 2);
}

TEST_F(RecordsetWrites, StreamingAndJoinedRecordsetsCannotWrite) {
  Recordset streaming;
  streaming.Open("SELECT 1 AS x", &m_Connection);
  EXPECT_THROW(streaming.AddNew(), Error);
  Recordset joined;
  joined.SetCursorLocation(adUseClient);
  joined.Open("SELECT a.x FROM (SELECT 1 AS x) a JOIN (SELECT 1 AS x) b ON a.x = b.x",
              &m_Connection);
  joined.SetValue("x", Variant(2));
  EXPECT_THROW(joined.Update(), Error);
}

}  // namespace
}  // namespace bw
