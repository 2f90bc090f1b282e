// A stored procedure whose body is one SELECT, with an input and an OUTPUT
// parameter, called the two ways clients call it: EXEC in a batch (tsql) and
// the ODBC call escape, which the driver sends as an RPC whose OUTPUT value
// comes back as a return value.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <fstream>

#include "Odbc.h"
#include "OdbcDriver.h"
#include "StandinProcess.h"

namespace standin::integration {
namespace {

const char* const kSetup[] = {
    "CREATE TABLE Folder (FolderID smallint NOT NULL, Name nvarchar(100) NOT NULL)",
    "INSERT INTO Folder VALUES (1, N'Root') INSERT INTO Folder VALUES (1001, N'first') "
    "INSERT INTO Folder VALUES (1002, N'second')",
    "CREATE PROCEDURE dbo.MaxFolder (@Above INTEGER, @FolderID INTEGER OUTPUT) AS SELECT "
    "@FolderID = Max(Folder.FolderID) FROM Folder WHERE FolderID > @Above",
    "CREATE PROCEDURE dbo.FolderByID @FolderID INTEGER AS SELECT Folder.Name FROM Folder WHERE "
    "Folder.FolderID = @FolderID"};

class Procedures : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Server.Start();
    ASSERT_TRUE(m_Connection.Connect(m_Server.ConnectionString()));
    for (const char* sql : kSetup) ASSERT_TRUE(m_Connection.Execute(sql).ok) << sql;
  }

  StandinProcess m_Server;
  OdbcConnection m_Connection;
};

TEST_F(Procedures, TsqlRunsThemWithExec) {
  const std::filesystem::path scratch = m_Server.DataDir() / "client";
  std::filesystem::create_directories(scratch);
  std::ofstream(scratch / "freetds.conf") << "[global]\n\ttds version = 7.4\n";
  std::ofstream(scratch / "input.sql")
      << "DECLARE @id int\nEXEC dbo.MaxFolder 1, @id OUTPUT\nSELECT @id AS found\ngo\n"
         "EXEC FolderByID 1002\ngo\nEXEC FolderByID\ngo\nexit\n";
  const std::string command = "FREETDSCONF='" + (scratch / "freetds.conf").string() +
                              "' tsql -H 127.0.0.1 -p " + std::to_string(m_Server.Port()) +
                              " -U sa -P " + StandinProcess::kSaPassword + " < '" +
                              (scratch / "input.sql").string() + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string output;
  char buffer[4096];
  while (std::size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) output.append(buffer, got);
  ::pclose(pipe);
  EXPECT_NE(output.find("found\n1002\n"), std::string::npos) << output;
  EXPECT_NE(output.find("Name\nsecond\n"), std::string::npos) << output;
  EXPECT_NE(output.find("Msg 201"), std::string::npos) << output;
}

TEST_F(Procedures, OdbcCallReturnsTheOutputParameter) {
  const OdbcDriver& driver = Driver();
  SQLHENV environment = SQL_NULL_HENV;
  SQLHDBC connection = SQL_NULL_HDBC;
  SQLHSTMT statement = SQL_NULL_HSTMT;
  ASSERT_TRUE(SQL_SUCCEEDED(driver.AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment)));
  driver.SetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3),
                    0);
  ASSERT_TRUE(SQL_SUCCEEDED(driver.AllocHandle(SQL_HANDLE_DBC, environment, &connection)));
  std::string text = m_Server.ConnectionString();
  ASSERT_TRUE(SQL_SUCCEEDED(driver.DriverConnect(connection, nullptr,
                                                 reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS,
                                                 nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
  ASSERT_TRUE(SQL_SUCCEEDED(driver.AllocHandle(SQL_HANDLE_STMT, connection, &statement)));
  SQLINTEGER above = 1001, found = -1;
  SQLLEN aboveLength = 0, foundLength = 0;
  driver.BindParameter(statement, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &above, 0,
                       &aboveLength);
  driver.BindParameter(statement, 2, SQL_PARAM_OUTPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &found, 0,
                       &foundLength);
  SQLCHAR call[] = "{CALL dbo.MaxFolder(?, ?)}";
  SQLRETURN result = driver.ExecDirect(statement, call, SQL_NTS);
  EXPECT_TRUE(SQL_SUCCEEDED(result)) << CollectDiagnostics(SQL_HANDLE_STMT, statement).size();
  // The return values follow the procedure's results.
  while (SQL_SUCCEEDED(driver.MoreResults(statement))) {
  }
  EXPECT_EQ(found, 1002);
  driver.FreeHandle(SQL_HANDLE_STMT, statement);
  driver.Disconnect(connection);
  driver.FreeHandle(SQL_HANDLE_DBC, connection);
  driver.FreeHandle(SQL_HANDLE_ENV, environment);

  // The input parameter alone, through the call escape too.
  OdbcParameter id;
  id.cType = SQL_C_CHAR;
  id.sqlType = SQL_INTEGER;
  id.data = "1001";
  OdbcOutcome outcome = m_Connection.Execute("{CALL dbo.FolderByID(?)}", {id});
  ASSERT_TRUE(outcome.ok) << outcome.FirstError();
  ASSERT_FALSE(outcome.resultSets.empty());
  ASSERT_EQ(outcome.resultSets[0].rows.size(), 1u);
  EXPECT_EQ(outcome.resultSets[0].rows[0][0].text, "first");
}

}  // namespace
}  // namespace standin::integration
