// Faults injected through the control endpoint and at start reach a real
// client as the SQL Server errors asked for, and only the statements named.
#include <gtest/gtest.h>

#include "Odbc.h"
#include "OdbcDriver.h"
#include "StandinProcess.h"

namespace standin::integration {
namespace {

TEST(FaultInjection, ControlEndpointMakesNamedStatementsFail) {
  StandinProcess server;
  server.Start();
  OdbcConnection connection;
  ASSERT_TRUE(connection.Connect(server.ConnectionString())) << server.Log();
  ASSERT_TRUE(connection.Execute("CREATE TABLE dbo.Folder (FolderID smallint)").ok);

  server.InjectFault("INSERT INTO dbo.Folder", 1205);
  OdbcOutcome outcome = connection.Execute("INSERT INTO dbo.Folder VALUES (1)");
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.FirstError(), 1205);
  // Used up: the same statement now runs, and others were never affected.
  EXPECT_TRUE(connection.Execute("INSERT INTO dbo.Folder VALUES (2)").ok);
  OdbcOutcome rows = connection.Execute("SELECT FolderID FROM dbo.Folder");
  ASSERT_EQ(rows.resultSets.size(), 1u);
  EXPECT_EQ(rows.resultSets[0].rows.size(), 1u);

  server.InjectFault("select folderid", 8114, false);
  EXPECT_EQ(connection.Execute("SELECT FolderID FROM dbo.Folder").FirstError(), 8114);
  EXPECT_EQ(connection.Execute("SELECT   FolderID\r\n FROM dbo.Folder").FirstError(), 8114);
  server.ClearFaults();
  EXPECT_TRUE(connection.Execute("SELECT FolderID FROM dbo.Folder").ok);
}

TEST(FaultInjection, StartOptionInstallsRules) {
  StandinProcess server;
  server.Start({"--fault", "137:always:CREATE VIEW"});
  OdbcConnection connection;
  ASSERT_TRUE(connection.Connect(server.ConnectionString())) << server.Log();
  EXPECT_TRUE(connection.Execute("CREATE TABLE t (a int)").ok);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(connection.Execute("CREATE VIEW v AS SELECT a FROM t").FirstError(), 137);
  }
}

}  // namespace
}  // namespace standin::integration
