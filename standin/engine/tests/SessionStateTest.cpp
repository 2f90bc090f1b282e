// What a session keeps between requests and what clients read from it: the
// prepared statements of the RPC procedures, a connection reset, and where
// an error inside a procedure happened.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "engine/Engine.h"
#include "slt/InProcessBackend.h"

namespace standin::engine {
namespace {

constexpr const char* kPassword = "Session#Test1";

class SessionState : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    m_Dir =
        std::filesystem::temp_directory_path() /
        ("sqlstandin-session-test-" + std::to_string(getpid()) + "-" + std::to_string(random()));
    EngineOptions options;
    options.dataDir = m_Dir.string();
    options.saPassword = kPassword;
    m_Engine = Engine::Open(options);
    m_Session = Login();
  }
  void TearDown() override {
    m_Session.reset();
    m_Engine->Shutdown();
    m_Engine.reset();
    std::filesystem::remove_all(m_Dir);
  }

  std::unique_ptr<Session> Login(const std::string& database = "") {
    LoginRequest request;
    request.userName = "sa";
    request.password = kPassword;
    request.database = database;
    return m_Engine->Login(request);
  }

  slt::Outcome Run(const std::string& sql, Session* session = nullptr) {
    slt::CollectingSink sink;
    (session ? *session : *m_Session).ExecuteBatch(sql, sink);
    return sink.Result();
  }

  static Parameter Int(std::optional<std::int64_t> value, bool output = false,
                       std::string name = "") {
    Parameter parameter;
    parameter.name = std::move(name);
    parameter.type = ColumnType{TypeId::Int, 0, 0, 0};
    if (value) parameter.value = *value;
    parameter.output = output;
    return parameter;
  }
  static Parameter Text(std::string value) {
    Parameter parameter;
    parameter.type = ColumnType{TypeId::NText, 0, 0, 0};
    parameter.value = std::move(value);
    return parameter;
  }

  std::filesystem::path m_Dir;
  std::unique_ptr<Engine> m_Engine;
  std::unique_ptr<Session> m_Session;
};

// A sink that keeps the tokens' order and the handles handed back.
class Recorder : public slt::CollectingSink {
 public:
  void Columns(const std::vector<Column>& columns) override {
    order += "C";
    slt::CollectingSink::Columns(columns);
  }
  void Row(const std::vector<Value>& row) override {
    order += "R";
    slt::CollectingSink::Row(row);
  }
  void ReturnStatus(std::int32_t status) override {
    order += "S";
    statuses.push_back(status);
  }
  void ReturnValue(const Parameter& parameter, std::uint16_t ordinal) override {
    order += "V";
    values.push_back(parameter);
    slt::CollectingSink::ReturnValue(parameter, ordinal);
  }
  void StatementDone(const Done& done) override {
    order += done.kind == Done::Kind::Procedure ? "P" : "D";
    slt::CollectingSink::StatementDone(done);
  }
  std::string order;
  std::vector<std::int32_t> statuses;
  std::vector<Parameter> values;
};

TEST_F(SessionState, PreparedStatementsLiveInTheirSessionUntilUnprepared) {
  ASSERT_TRUE(Run("CREATE TABLE p (id int, name nvarchar(10)) INSERT p VALUES (1, N'one') "
                  "INSERT p VALUES (2, N'two')")
                  .ok);
  // sp_prepare as the ODBC driver sends it: metadata wanted (options 1).
  Recorder prepared;
  m_Session->ExecuteRpc("sp_prepare",
                        {Int(std::nullopt, true, "@handle"), Text("@P1 int"),
                         Text("SELECT name FROM p WHERE id = @P1"), Int(1)},
                        prepared);
  ASSERT_TRUE(prepared.Result().ok) << prepared.Result().errorText;
  EXPECT_EQ(prepared.order, "CSVP") << "columns without rows, status, handle, DONEPROC";
  ASSERT_EQ(prepared.values.size(), 1u);
  EXPECT_EQ(prepared.values[0].name, "@handle");
  const std::int64_t handle = std::get<std::int64_t>(prepared.values[0].value);
  EXPECT_GT(handle, 0);

  Recorder executed;
  m_Session->ExecuteRpc("sp_execute", {Int(handle), Int(2)}, executed);
  ASSERT_TRUE(executed.Result().ok) << executed.Result().errorText;
  EXPECT_EQ(executed.order, "CRDSP");
  EXPECT_EQ(executed.Result().resultSets[0].rows[0][0], "two");

  // Another session does not know the handle.
  auto other = Login();
  Recorder foreign;
  other->ExecuteRpc("sp_execute", {Int(handle), Int(2)}, foreign);
  EXPECT_EQ(foreign.Result().errorNumber, 8179);

  // sp_prepexec: a new handle first among the values, then the outputs.
  Recorder both;
  Parameter out = Int(std::nullopt, true);
  m_Session->ExecuteRpc("sp_prepexec",
                        {Int(std::nullopt, true), Text("@P1 int,@P2 int OUTPUT"),
                         Text("SET @P2 = @P1 * 2"), Int(21), out},
                        both);
  ASSERT_TRUE(both.Result().ok) << both.Result().errorText;
  ASSERT_EQ(both.values.size(), 2u);
  EXPECT_NE(std::get<std::int64_t>(both.values[0].value), handle);
  EXPECT_EQ(both.values[1].name, "@P2");
  EXPECT_EQ(std::get<std::int64_t>(both.values[1].value), 42);

  Recorder unprepared;
  m_Session->ExecuteRpc("sp_unprepare", {Int(handle)}, unprepared);
  EXPECT_TRUE(unprepared.Result().ok) << unprepared.Result().errorText;
  Recorder gone;
  m_Session->ExecuteRpc("sp_execute", {Int(handle), Int(1)}, gone);
  EXPECT_EQ(gone.Result().errorNumber, 8179);
  EXPECT_EQ(gone.order.back(), 'P') << "a failed RPC still ends with DONEPROC";
}

TEST_F(SessionState, AResetConnectionLeavesNothingOfThePreviousUser) {
  ASSERT_TRUE(Run("CREATE DATABASE other").ok);
  ASSERT_TRUE(Run("CREATE TABLE kept (n int)").ok);
  ASSERT_TRUE(Run("CREATE TABLE #mine (n int) SET NOCOUNT ON SET TEXTSIZE 10 "
                  "SET LOCK_TIMEOUT 5 USE other BEGIN TRANSACTION INSERT master..kept VALUES (1)")
                  .ok);
  Recorder held;
  m_Session->ExecuteRpc("sp_prepare", {Int(std::nullopt, true), Text(""), Text("SELECT 1")}, held);
  ASSERT_EQ(held.values.size(), 1u);

  slt::CollectingSink reset;
  m_Session->ResetConnection(false, reset);
  ASSERT_EQ(reset.Changes().size(), 2u);
  EXPECT_EQ(reset.Changes()[0].type, EnvChangeType::RollbackTransaction);
  EXPECT_EQ(reset.Changes()[1].type, EnvChangeType::Database);
  EXPECT_EQ(reset.Changes()[1].newValue, "master");
  EXPECT_EQ(m_Session->CurrentDatabase(), "master");

  slt::Outcome after =
      Run("SELECT OBJECT_ID('tempdb..#mine'), (SELECT COUNT(*) FROM kept), @@TRANCOUNT, "
          "@@TEXTSIZE, @@LOCK_TIMEOUT");
  ASSERT_TRUE(after.ok) << after.errorText;
  EXPECT_EQ(after.resultSets[0].rows[0],
            (std::vector<std::string>{"NULL", "0", "0", "2147483647", "-1"}));
  EXPECT_TRUE(after.rowsAffected) << "SET NOCOUNT is off again";
  EXPECT_TRUE(Run("CREATE TABLE #mine (n int)").ok) << "the name is free again";
  Recorder stale;
  m_Session->ExecuteRpc("sp_execute", {held.values[0]}, stale);
  EXPECT_EQ(stale.Result().errorNumber, 8179);

  // The variant that keeps the transaction keeps it.
  ASSERT_TRUE(Run("BEGIN TRANSACTION INSERT kept VALUES (2)").ok);
  slt::CollectingSink keep;
  m_Session->ResetConnection(true, keep);
  EXPECT_TRUE(keep.Changes().empty());
  ASSERT_TRUE(Run("COMMIT").ok);
  EXPECT_EQ(Run("SELECT COUNT(*) FROM kept").resultSets[0].rows[0][0], "1");
}

TEST_F(SessionState, ErrorsInsideAProcedureNameItAndTheLineInItsText) {
  ASSERT_TRUE(Run("CREATE PROCEDURE broken\nAS\n\nSELECT *\nFROM no_such_table").ok);
  slt::CollectingSink sink;
  m_Session->ExecuteBatch("SELECT 1\nEXEC broken", sink);
  ASSERT_EQ(sink.Errors().size(), 1u);
  EXPECT_EQ(sink.Errors()[0].number, 208);
  EXPECT_EQ(sink.Errors()[0].procedure, "broken");
  EXPECT_EQ(sink.Errors()[0].line, 4);
}

}  // namespace
}  // namespace standin::engine
