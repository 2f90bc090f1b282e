// Values of every column type the stand-in emits travel through the FreeTDS
// ODBC driver and come back exactly; errors arrive with SQL Server's numbers;
// a batch with several statements yields each result in order.
#include <gtest/gtest.h>

#include "Odbc.h"
#include "StandinProcess.h"

namespace standin::integration {
namespace {

class OdbcTypes : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_Server = new StandinProcess();
    s_Server->Start();
  }
  static void TearDownTestSuite() {
    delete s_Server;
    s_Server = nullptr;
  }
  void SetUp() override {
    ASSERT_TRUE(m_Connection.Connect(s_Server->ConnectionString())) << s_Server->Log();
  }

  OdbcOutcome Run(const std::string& sql) {
    OdbcOutcome outcome = m_Connection.Execute(sql);
    for (const OdbcDiagnostic& diagnostic : outcome.diagnostics) {
      if (diagnostic.state.rfind("01", 0) != 0) ADD_FAILURE() << sql << "\n" << diagnostic.text;
    }
    return outcome;
  }

  static StandinProcess* s_Server;
  OdbcConnection m_Connection;
};

StandinProcess* OdbcTypes::s_Server = nullptr;

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char byte : bytes) out += digits[byte >> 4], out += digits[byte & 15];
  return out;
}

TEST_F(OdbcTypes, EveryColumnTypeRoundTripsExactly) {
  Run("CREATE TABLE AllTypes (id int IDENTITY(1,1) PRIMARY KEY, i int NULL, si smallint NULL, "
      "ti tinyint NULL, bi bigint NULL, b bit NULL, nv nvarchar(50) NULL, v varchar(50) NULL, "
      "nt ntext NULL, t text NULL, img image NULL, dt datetime NULL, g uniqueidentifier NULL, "
      "d decimal(18,4) NULL, f float NULL)");
  std::string image;
  for (int i = 0; i < 51; ++i) image += static_cast<char>(i * 5 + 1);
  std::string insert =
      "INSERT INTO AllTypes (i, si, ti, bi, b, nv, v, nt, t, img, dt, g, d, f) VALUES "
      "(-2147483648, "
      "-32768, 255, 9223372036854775807, 1, N'Gr\xC3\xBC\xC3\x9F"
      "e \xE2\x82\xAC \xE4\xB8\xAD', 'caf\xC3\xA9', "
      "N'\xC3\x84rger', 'plain text', 0x" +
      Hex(image) +
      ", '2000-01-01 12:34:56.997', "
      "'6F9619FF-8B86-D011-B42D-00C04FC964FF', -12345.6789, 0.1)";
  OdbcOutcome inserted = Run(insert);
  ASSERT_EQ(inserted.rowCounts.size(), 1u);
  EXPECT_EQ(inserted.rowCounts[0], 1);
  Run("INSERT INTO AllTypes (i) VALUES (NULL)");

  OdbcOutcome outcome =
      Run("SELECT i, si, ti, bi, b, nv, v, nt, t, img, dt, g, d, f FROM AllTypes ORDER BY id");
  ASSERT_EQ(outcome.resultSets.size(), 1u) << s_Server->Log();
  const OdbcResultSet& set = outcome.resultSets[0];
  ASSERT_EQ(set.rows.size(), 2u);
  const auto& row = set.rows[0];
  const char* expected[] = {"-2147483648", "-32768",
                            "255",         "9223372036854775807",
                            "1",           "Gr\303\274\303\237e \xE2\x82\xAC \xE4\xB8\xAD",
                            "caf\xC3\xA9", "\xC3\x84rger",
                            "plain text"};
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_FALSE(row[i].isNull) << set.columns[i].name;
    EXPECT_EQ(row[i].text, expected[i]) << set.columns[i].name;
  }
  EXPECT_EQ(row[9].text, image) << "an IMAGE of 51 bytes stays 51 bytes";
  EXPECT_EQ(row[10].text, "2000-01-01 12:34:56.997");
  EXPECT_EQ(row[11].text, "6F9619FF-8B86-D011-B42D-00C04FC964FF");
  EXPECT_EQ(row[12].text, "-12345.6789");
  ASSERT_TRUE(row[13].real);
  EXPECT_EQ(*row[13].real, 0.1);
  for (const OdbcValue& value : set.rows[1]) EXPECT_TRUE(value.isNull);

  // Column metadata as ODBC applications size their buffers from it.
  EXPECT_EQ(set.columns[5].sqlType, SQL_WVARCHAR);
  EXPECT_EQ(set.columns[5].size, 50u);
  EXPECT_EQ(set.columns[6].sqlType, SQL_VARCHAR);
  EXPECT_EQ(set.columns[9].sqlType, SQL_LONGVARBINARY);
  EXPECT_EQ(set.columns[12].scale, 4);
  EXPECT_TRUE(set.columns[0].nullable);
}

TEST_F(OdbcTypes, SeveralMegabytesOfNtextSurvive) {
  Run("CREATE TABLE Big (id int NOT NULL PRIMARY KEY, body ntext NULL)");
  std::string body;
  body.reserve(3 * 1024 * 1024);
  const std::string pattern = "0123456789abcdef\xC3\xA4";  // includes a two-byte character
  while (body.size() < 3 * 1024 * 1024) body += pattern;
  Run("INSERT INTO Big (id, body) VALUES (1, N'" + body + "')");
  OdbcOutcome outcome = Run("SELECT body FROM Big WHERE id = 1");
  ASSERT_EQ(outcome.resultSets.size(), 1u);
  ASSERT_EQ(outcome.resultSets[0].rows.size(), 1u);
  const std::string& got = outcome.resultSets[0].rows[0][0].text;
  EXPECT_EQ(got.size(), body.size());
  EXPECT_TRUE(got == body) << "NTEXT value differs";
}

TEST_F(OdbcTypes, ErrorsCarrySqlServerNumbers) {
  Run("CREATE TABLE Keyed (id int NOT NULL PRIMARY KEY, name nvarchar(10) NOT NULL)");
  Run("INSERT INTO Keyed (id, name) VALUES (1, N'a')");
  struct Case {
    const char* sql;
    std::int32_t number;
  };
  const Case cases[] = {
      {"SELECT * FROM Nowhere", 208},
      {"SELECT nothing FROM Keyed", 207},
      {"SELECT FROM WHERE", 156},
      {"SELECT 1 +", 170},
      {"INSERT INTO Keyed (id, name) VALUES (1, N'b')", 2627},
      {"INSERT INTO Keyed (id, name) VALUES (2, NULL)", 515},
      {"CREATE TABLE Keyed (x int)", 2714},
      {"EXEC NoSuchProcedure", 2812},
      {"USE NoSuchDatabase", 911},
      {"SELECT CONVERT(int, 'abc')", 245},
  };
  for (const Case& c : cases) {
    OdbcOutcome outcome = m_Connection.Execute(c.sql);
    EXPECT_FALSE(outcome.ok) << c.sql;
    EXPECT_EQ(outcome.FirstError(), c.number) << c.sql;
  }
  // The connection is still fine after all of them.
  OdbcOutcome after = Run("SELECT COUNT(*) FROM Keyed");
  ASSERT_EQ(after.resultSets.size(), 1u);
  EXPECT_EQ(after.resultSets[0].rows[0][0].text, "1");
}

TEST_F(OdbcTypes, BatchesYieldEveryResultInOrder) {
  OdbcOutcome outcome =
      Run("CREATE TABLE Multi (n int NOT NULL)\n"
          "INSERT INTO Multi (n) VALUES (1)\n"
          "INSERT INTO Multi (n) SELECT n + 1 FROM Multi\n"
          "SELECT n FROM Multi ORDER BY n\n"
          "SELECT COUNT(*) AS c FROM Multi; SELECT N'x' AS t");
  ASSERT_EQ(outcome.resultSets.size(), 3u);
  EXPECT_EQ(outcome.resultSets[0].rows.size(), 2u);
  EXPECT_EQ(outcome.resultSets[1].rows[0][0].text, "2");
  EXPECT_EQ(outcome.resultSets[2].rows[0][0].text, "x");
  EXPECT_EQ(outcome.rowCounts, (std::vector<SQLLEN>{1, 1}));

  // An error in the middle does not swallow what comes after it.
  OdbcOutcome mixed = m_Connection.Execute("SELECT 1 AS a\nSELECT * FROM Nowhere\nSELECT 2 AS b");
  EXPECT_EQ(mixed.FirstError(), 208);
  ASSERT_EQ(mixed.resultSets.size(), 2u);
  EXPECT_EQ(mixed.resultSets[1].rows[0][0].text, "2");
}

}  // namespace
}  // namespace standin::integration
