#include "data/ConnectionString.h"

#include <gtest/gtest.h>

#include "data/DataAccess.h"

namespace bw {
namespace {

TEST(OleDbConnectionString, ReadsTheStoredForms) {
  auto sql = OleDbConnectionString::Parse(
      "Provider=SQLOLEDB;Data Source=SRV1;User Id=sa;Password=secret;;Connect Timeout=5;");
  EXPECT_EQ(sql.Get("provider"), "SQLOLEDB");
  EXPECT_EQ(sql.Get("DATA SOURCE"), "SRV1");
  EXPECT_EQ(sql.Get("Password"), "secret");
  EXPECT_EQ(ConnectTimeoutOf(sql), 5);
  auto windows = OleDbConnectionString::Parse(
      "Provider=SQLOLEDB;Data Source=HOST\\INST;Integrated Security=SSPI;Persist Security "
      "Info=True;Initial Catalog=Brindlewick_A");
  EXPECT_EQ(windows.Get("Integrated Security"), "SSPI");
  EXPECT_EQ(windows.Get("Initial Catalog"), "Brindlewick_A");
  EXPECT_FALSE(windows.Get("User Id").has_value());
  EXPECT_FALSE(ConnectTimeoutOf(windows).has_value());
}

TEST(OleDbConnectionString, QuotedValuesRoundTrip) {
  for (std::string password :
       {"plain", "semi;colon", "quote\"d", "it's", " padded ", "a=b", "\"'; Provider=evil;", ""}) {
    std::string text = "Provider=SQLOLEDB;" + OleDbPair("Data Source", "SRV") +
                       OleDbPair("User Id", "sa") + OleDbPair("Password", password);
    auto parsed = OleDbConnectionString::Parse(text);
    EXPECT_EQ(parsed.Get("Password"), password) << text;
    EXPECT_EQ(parsed.Get("Provider"), "SQLOLEDB") << text;
  }
  // Plain values stay exactly as the console always wrote them.
  EXPECT_EQ(OleDbPair("User Id", "sa"), "User Id=sa;");
  EXPECT_EQ(OleDbConnectionString::Parse("Password='a''b';").Get("Password"), "a'b");
}

TEST(OleDbConnectionString, MalformedTextsAreReported) {
  for (const char* bad : {"Provider", "Password=\"open", "Password=\"x\" y;", "=value;"}) {
    EXPECT_THROW(OleDbConnectionString::Parse(bad), Error) << bad;
  }
}

TEST(OleDbConnectionString, ErrorsNeverQuoteTheText) {
  // The text of a registration holds its password.
  for (const char* bad : {"Data Source=S;Password=Secret-A;Secret-B;", "Password=\"Secret-A",
                          "Password=\"Secret-A\" Secret-B;", "Secret-A"}) {
    try {
      OleDbConnectionString::Parse(bad);
      ADD_FAILURE() << bad;
    } catch (const Error& error) {
      EXPECT_EQ(error.Description().find("Secret"), std::string::npos) << error.Description();
      EXPECT_NE(error.Description().find("at character"), std::string::npos);
    }
  }
}

TEST(DataSourceParsing, HostInstanceAndPort) {
  struct Row {
    const char* text;
    const char* host;
    const char* instance;
    int port;
  };
  for (Row r : {Row{"SRV1", "SRV1", "", 0}, Row{"SRV1\\SQL2000", "SRV1", "SQL2000", 0},
                Row{"127.0.0.1,14333", "127.0.0.1", "", 14333}, Row{"(local)", "localhost", "", 0},
                Row{".", "localhost", "", 0}, Row{"tcp:db.example,1500", "db.example", "", 1500},
                Row{" TCP: db.example ,1500", "db.example", "", 1500}}) {
    DataSource source = ParseDataSource(r.text);
    EXPECT_EQ(source.host, r.host) << r.text;
    EXPECT_EQ(source.instance, r.instance) << r.text;
    EXPECT_EQ(source.port, r.port) << r.text;
  }
  for (const char* bad : {"SRV,", "SRV,abc", "SRV,70000", "SRV,0"}) {
    EXPECT_THROW(ParseDataSource(bad), Error) << bad;
  }
}

TEST(OdbcTranslation, SqlLoginIntegratedAndQuoting) {
  auto sql = OleDbConnectionString::Parse(
      "Provider=SQLOLEDB;Data Source=127.0.0.1,1500;User Id=sa;Password=\"p;w\"\"d'x\";Initial "
      "Catalog=master;Connect Timeout=5;");
  EXPECT_EQ(ToOdbcConnectionString(sql, "FreeTDS"),
            "DRIVER=FreeTDS;SERVER=127.0.0.1;PORT=1500;UID=sa;PWD={p;w\"d'x};DATABASE=master;"
            "ClientCharset=UTF-8;");
  auto windows = OleDbConnectionString::Parse(
      "Provider=SQLOLEDB;Data Source=HOST\\INST;Integrated Security=SSPI;");
  EXPECT_EQ(ToOdbcConnectionString(windows, "FreeTDS"),
            "DRIVER=FreeTDS;SERVER=HOST\\INST;Trusted_Connection=Yes;ClientCharset=UTF-8;");
  EXPECT_EQ(ToOdbcConnectionString(windows, "FreeTDS", "7.1"),
            "DRIVER=FreeTDS;SERVER=HOST\\INST;Trusted_Connection=Yes;TDS_Version=7.1;"
            "ClientCharset=UTF-8;");
  EXPECT_EQ(OdbcQuote("plain"), "plain");
  EXPECT_EQ(OdbcQuote("a}b=c"), "a}b=c");
  EXPECT_EQ(OdbcQuote("x;PWD=y"), "{x;PWD=y}");
  EXPECT_EQ(OdbcQuote("{x"), "{{x}");
  EXPECT_EQ(OdbcQuote(" padded"), "{ padded}");
  EXPECT_EQ(OdbcQuote("a;}"), "{a;}}");
  EXPECT_EQ(OdbcQuote("{x}"), "{{x}}");
  EXPECT_THROW(OdbcQuote("x};SERVER=elsewhere"), Error) << "the driver would end the value";
}

}  // namespace
}  // namespace bw
