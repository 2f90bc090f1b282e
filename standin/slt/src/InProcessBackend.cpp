// The in-process backend of the SQL-logic runner.
#include "slt/InProcessBackend.h"

namespace standin::slt {

void CollectingSink::Columns(const std::vector<engine::Column>& columns) {
  m_Columns = columns;
  ResultSet set;
  for (const engine::Column& column : columns) {
    set.names.push_back(column.name);
    set.types.push_back(CanonicalTypeName(column.type));
  }
  m_Outcome.resultSets.push_back(std::move(set));
}

void CollectingSink::Row(const std::vector<engine::Value>& row) {
  std::vector<std::string> text;
  for (std::size_t i = 0; i < row.size(); ++i)
    text.push_back(CanonicalText(row[i], m_Columns[i].type));
  m_Outcome.resultSets.back().rows.push_back(std::move(text));
}

void CollectingSink::Info(const engine::Message& message) {
  m_Outcome.messages.push_back(message.text);
}

void CollectingSink::Error(const engine::Message& message) {
  m_Errors.push_back(message);
  if (m_Outcome.ok) {
    m_Outcome.ok = false;
    m_Outcome.errorNumber = message.number;
    m_Outcome.errorSeverity = message.severity;
    m_Outcome.errorText = message.text;
  }
}

void CollectingSink::EnvironmentChanged(const engine::EnvChange& change) {
  m_Changes.push_back(change);
}

void CollectingSink::ReturnStatus(std::int32_t) {}

void CollectingSink::ReturnValue(const engine::Parameter& parameter, std::uint16_t) {
  ResultSet set;
  set.names.push_back(parameter.name);
  set.types.push_back(CanonicalTypeName(parameter.type));
  set.rows.push_back({CanonicalText(parameter.value, parameter.type)});
  m_Outcome.resultSets.push_back(std::move(set));
}

void CollectingSink::StatementDone(const engine::Done& done) {
  m_Dones.push_back(done);
  if (done.hasCount) m_Outcome.rowsAffected = static_cast<std::int64_t>(done.rowCount);
}

InProcessBackend::InProcessBackend(engine::Engine& engine, std::string saPassword)
    : m_Engine(engine), m_SaPassword(std::move(saPassword)) {
  UseSession("default");
}

Outcome InProcessBackend::Run(const std::string& sql) {
  CollectingSink sink;
  auto it = m_Sessions.find(m_Current);
  if (it == m_Sessions.end() || !it->second) {
    Outcome outcome;
    outcome.ok = false;
    outcome.errorText = "no session (the last login failed)";
    return outcome;
  }
  it->second->ExecuteBatch(sql, sink);
  return sink.Result();
}

std::int32_t InProcessBackend::Login(const std::string& user, const std::string& password,
                                     const std::string& database) {
  engine::LoginRequest request;
  request.userName = user;
  request.password = password;
  request.database = database;
  request.applicationName = "slt";
  request.hostName = "localhost";
  m_Sessions[m_Current].reset();
  try {
    m_Sessions[m_Current] = m_Engine.Login(request);
    return 0;
  } catch (const engine::SqlError& error) {
    return error.Msg().number;
  }
}

void InProcessBackend::UseSession(const std::string& name) {
  m_Current = name;
  if (!m_Sessions[name]) Login("sa", m_SaPassword, "");
}

}  // namespace standin::slt
