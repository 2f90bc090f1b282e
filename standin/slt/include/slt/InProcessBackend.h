// Runs SQL-logic records against an Engine in this process: each named
// session is a Session of the engine, and a collecting BatchSink turns what a
// batch produces into an Outcome.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "engine/Engine.h"
#include "slt/Slt.h"

namespace standin::slt {

// Collects a batch's events into an Outcome.
class CollectingSink : public engine::BatchSink {
 public:
  void Columns(const std::vector<engine::Column>& columns) override;
  void Row(const std::vector<engine::Value>& row) override;
  void Info(const engine::Message& message) override;
  void Error(const engine::Message& message) override;
  void EnvironmentChanged(const engine::EnvChange& change) override;
  void ReturnStatus(std::int32_t status) override;
  void ReturnValue(const engine::Parameter& parameter, std::uint16_t ordinal) override;
  void StatementDone(const engine::Done& done) override;

  Outcome& Result() { return m_Outcome; }
  const std::vector<engine::EnvChange>& Changes() const { return m_Changes; }
  const std::vector<engine::Done>& Dones() const { return m_Dones; }
  const std::vector<engine::Message>& Errors() const { return m_Errors; }

 private:
  Outcome m_Outcome;
  std::vector<engine::Column> m_Columns;
  std::vector<engine::EnvChange> m_Changes;
  std::vector<engine::Done> m_Dones;
  std::vector<engine::Message> m_Errors;
};

class InProcessBackend : public Backend {
 public:
  // Logs in as sa with `saPassword` for the first session ("default").
  InProcessBackend(engine::Engine& engine, std::string saPassword);
  Outcome Run(const std::string& sql) override;
  std::int32_t Login(const std::string& user, const std::string& password,
                     const std::string& database) override;
  void UseSession(const std::string& name) override;

 private:
  engine::Engine& m_Engine;
  std::string m_SaPassword;
  std::map<std::string, std::unique_ptr<engine::Session>> m_Sessions;
  std::string m_Current = "default";
};

}  // namespace standin::slt
