// An engine stand-in for the connection tests: a few scripted "statements" so
// the protocol behaviour (DONE chaining, cancellation, login failures) can be
// checked without SQL.
//
//   ROWS n      one INT column, n rows (NULL every third)
//   FAIL        error 208, severity 16
//   STREAM      rows until cancelled (for ATTENTION)
//   USE x       database change
// Statements are separated by ';'.
#pragma once

#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

#include "tds/EngineTypes.h"

namespace standin::app::testing {

class FakeSession : public engine::Session {
 public:
  explicit FakeSession(std::string database, std::atomic<int>& cancels)
      : m_Database(std::move(database)), m_Cancels(cancels) {}
  int Spid() const override { return 51; }
  std::string CurrentDatabase() const override { return m_Database; }
  std::string LoginName() const override { return "sa"; }

  void ExecuteBatch(std::string_view sql, engine::BatchSink& sink) override {
    m_Cancel = false;
    std::stringstream statements{std::string(sql)};
    std::string statement;
    while (std::getline(statements, statement, ';')) {
      std::stringstream words(statement);
      std::string verb;
      words >> verb;
      engine::Done done;
      if (verb == "ROWS") {
        long count = 0;
        words >> count;
        engine::Column column;
        column.name = "n";
        column.type.id = engine::TypeId::Int;
        sink.Columns({column});
        for (long i = 0; i < count; ++i) {
          sink.Row({i % 3 == 2 ? engine::Value{} : engine::Value{std::int64_t{i}}});
        }
        done.hasCount = true;
        done.rowCount = static_cast<std::uint64_t>(count);
        done.currentCommand = 0xC1;
      } else if (verb == "FAIL") {
        sink.Error(engine::Message{208, 1, 16, "Invalid object name 'nope'.", "", 1});
        done.error = true;
      } else if (verb == "STREAM") {
        engine::Column column;
        column.name = "n";
        column.type.id = engine::TypeId::Int;
        sink.Columns({column});
        for (std::int64_t i = 0; !m_Cancel; ++i) {
          sink.Row({engine::Value{i}});
          std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ++m_Cancels;
        return;
      } else if (verb == "USE") {
        std::string name;
        words >> name;
        sink.EnvironmentChanged(
            engine::EnvChange{engine::EnvChangeType::Database, name, m_Database});
        m_Database = name;
      }
      sink.StatementDone(done);
    }
  }

  void ExecuteRpc(std::string_view name, const std::vector<engine::Parameter>& parameters,
                  engine::BatchSink& sink) override {
    if (name == "sp_executesql" && !parameters.empty()) {
      auto* text = std::get_if<std::string>(&parameters[0].value);
      if (text) ExecuteBatch(*text, sink);
    }
    sink.ReturnStatus(0);
    std::uint16_t ordinal = 0;
    for (const engine::Parameter& parameter : parameters) {
      ++ordinal;
      if (parameter.output) sink.ReturnValue(parameter, ordinal);
    }
    engine::Done done;
    done.kind = engine::Done::Kind::Procedure;
    sink.StatementDone(done);
  }

  void ResetConnection(bool, engine::BatchSink&) override {}
  void RequestCancel() override { m_Cancel = true; }
  bool IsKilled() const override { return false; }
  void SetKillHandler(std::function<void()>) override {}
  void SetClientGoneProbe(std::function<bool()>) override {}

 private:
  std::string m_Database;
  std::atomic<int>& m_Cancels;
  std::atomic<bool> m_Cancel{false};
};

class FakeEngine : public engine::Engine {
 public:
  std::unique_ptr<engine::Session> Login(const engine::LoginRequest& request) override {
    if (request.userName != "sa" || request.password != "secret") {
      throw engine::SqlError(engine::Message{
          18456, 1, 14, "Login failed for user '" + request.userName + "'.", "", 1});
    }
    if (!request.database.empty() && request.database != "master") {
      throw engine::SqlError(engine::Message{
          4060, 1, 11,
          "Cannot open database requested in login '" + request.database + "'. Login fails.", "",
          1});
    }
    return std::make_unique<FakeSession>("master", m_Cancels);
  }
  Credentials CheckCredentials(const std::string& login, const std::string& password) override {
    if (login != "sa") return Credentials::Unknown;
    return password == "secret" ? Credentials::SysAdmin : Credentials::Unknown;
  }
  void InjectFault(const engine::FaultRule&) override {}
  void ClearFaults() override {}
  const engine::EngineOptions& Options() const override { return m_Options; }
  std::string ServerName() const override { return "FAKE"; }
  std::string ProductVersion() const override { return "8.00.2039"; }
  void Shutdown() override {}

  std::atomic<int> m_Cancels{0};

 private:
  engine::EngineOptions m_Options;
};

}  // namespace standin::app::testing
