#include "OdbcBackend.h"

#include <map>
#include <stdexcept>

#include "engine/Errors.h"

namespace standin::integration {
namespace {

// The column's type as the server declared it, from the driver's type name
// (ODBC's SQL types cannot tell money from decimal or smalldatetime from
// datetime).
engine::ColumnType TypeOf(const OdbcColumn& column) {
  static const std::map<std::string, engine::TypeId> kTypes = {
      {"bit", engine::TypeId::Bit},
      {"tinyint", engine::TypeId::TinyInt},
      {"smallint", engine::TypeId::SmallInt},
      {"int", engine::TypeId::Int},
      {"bigint", engine::TypeId::BigInt},
      {"real", engine::TypeId::Real},
      {"float", engine::TypeId::Float},
      {"decimal", engine::TypeId::Decimal},
      {"numeric", engine::TypeId::Numeric},
      {"money", engine::TypeId::Money},
      {"smallmoney", engine::TypeId::SmallMoney},
      {"datetime", engine::TypeId::DateTime},
      {"smalldatetime", engine::TypeId::SmallDateTime},
      {"char", engine::TypeId::Char},
      {"varchar", engine::TypeId::VarChar},
      {"text", engine::TypeId::Text},
      {"nchar", engine::TypeId::NChar},
      {"nvarchar", engine::TypeId::NVarChar},
      {"ntext", engine::TypeId::NText},
      {"binary", engine::TypeId::Binary},
      {"varbinary", engine::TypeId::VarBinary},
      {"image", engine::TypeId::Image},
      {"uniqueidentifier", engine::TypeId::UniqueIdentifier},
  };
  engine::ColumnType type;
  auto found = kTypes.find(column.typeName);
  type.id = found == kTypes.end() ? engine::TypeId::NVarChar : found->second;
  type.length = static_cast<std::int32_t>(column.size);
  // The driver names DATETIMN of either size "datetime"; the display size
  // tells them apart (16 characters without seconds' fractions).
  if (type.id == engine::TypeId::DateTime && column.size == 16)
    type.id = engine::TypeId::SmallDateTime;
  if (type.id == engine::TypeId::Decimal || type.id == engine::TypeId::Numeric) {
    type.precision = static_cast<std::uint8_t>(column.size);
    type.scale = static_cast<std::uint8_t>(column.scale);
  }
  return type;
}

// Drivers prefix messages with their own names ("[FreeTDS][SQL Server]").
std::string ServerText(const std::string& text) {
  std::size_t end = 0;
  while (end < text.size() && text[end] == '[') {
    std::size_t close = text.find(']', end);
    if (close == std::string::npos) break;
    end = close + 1;
  }
  return text.substr(end);
}

// Decimal text with exactly `scale` digits after the point, as SQL Server
// shows DECIMAL and MONEY.
std::string FixedScale(std::string text, int scale) {
  std::size_t point = text.find('.');
  int digits = point == std::string::npos ? 0 : static_cast<int>(text.size() - point - 1);
  if (scale > 0 && point == std::string::npos) text += '.';
  for (; digits < scale; ++digits) text += '0';
  if (scale == 0 && point != std::string::npos) text.erase(point);
  if (!text.empty() && text[0] == '.') text.insert(0, "0");
  if (text.rfind("-.", 0) == 0) text.insert(1, "0");
  return text;
}

}  // namespace

std::string CanonicalText(const OdbcValue& value, const OdbcColumn& column) {
  engine::ColumnType type = TypeOf(column);
  if (value.isNull) return "NULL";
  if (value.real) return slt::CanonicalText(*value.real, type);
  switch (type.id) {
    case engine::TypeId::Binary:
    case engine::TypeId::VarBinary:
    case engine::TypeId::Image:
      return slt::CanonicalText(engine::Bytes(value.text.begin(), value.text.end()), type);
    case engine::TypeId::Decimal:
    case engine::TypeId::Numeric:
      return FixedScale(value.text, type.scale);
    case engine::TypeId::Money:
    case engine::TypeId::SmallMoney:
      return FixedScale(value.text, 4);
    case engine::TypeId::DateTime:
    case engine::TypeId::SmallDateTime:
      // The driver leaves out the milliseconds of a SMALLDATETIME.
      return value.text.size() == 19 ? value.text + ".000" : value.text;
    case engine::TypeId::UniqueIdentifier: {
      std::string upper = value.text;
      for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      return upper;
    }
    default:
      return slt::CanonicalText(value.text, type);
  }
}

OdbcBackend::OdbcBackend(int port, std::string saPassword)
    : m_Port(port), m_SaPassword(std::move(saPassword)) {}

std::string OdbcBackend::ConnectionString(const std::string& user, const std::string& password,
                                          const std::string& database) const {
  std::string text = "DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=" + std::to_string(m_Port) +
                     ";UID=" + user + ";PWD=" + password + ";TDS_Version=7.4;ClientCharset=UTF-8";
  if (!database.empty()) text += ";DATABASE=" + database;
  return text;
}

void OdbcBackend::UseSession(const std::string& name) {
  m_Current = name;
  auto& connection = m_Sessions[name];
  if (connection) return;
  connection = std::make_unique<OdbcConnection>();
  if (!connection->Connect(ConnectionString("sa", m_SaPassword, ""))) {
    throw std::runtime_error("cannot connect session '" + name + "' as sa");
  }
}

std::int32_t OdbcBackend::Login(const std::string& user, const std::string& password,
                                const std::string& database) {
  auto connection = std::make_unique<OdbcConnection>();
  std::vector<OdbcDiagnostic> diagnostics;
  if (!connection->Connect(ConnectionString(user, password, database), &diagnostics)) {
    // The driver lists 18456 before the message that says why (4060 for a
    // database that cannot be opened); the reason is what SQL Server sent first.
    std::int32_t number = -1;
    for (const OdbcDiagnostic& diagnostic : diagnostics) {
      if (diagnostic.nativeError != 0 && diagnostic.nativeError != 18456)
        return diagnostic.nativeError;
      if (diagnostic.nativeError == 18456) number = 18456;
    }
    return number;
  }
  m_Sessions[m_Current] = std::move(connection);
  return 0;
}

slt::Outcome OdbcBackend::Run(const std::string& sql) {
  if (!m_Sessions[m_Current]) UseSession(m_Current);
  OdbcOutcome raw = m_Sessions[m_Current]->Execute(sql);
  slt::Outcome outcome;
  outcome.ok = raw.ok;
  for (const OdbcDiagnostic& diagnostic : raw.diagnostics) {
    bool informational = diagnostic.state.rfind("01", 0) == 0;
    if (informational) {
      outcome.messages.push_back(ServerText(diagnostic.text));
    } else if (outcome.errorNumber == 0 && diagnostic.nativeError != 0) {
      outcome.ok = false;
      outcome.errorNumber = diagnostic.nativeError;
      outcome.errorText = ServerText(diagnostic.text);
      // ODBC does not carry the severity; the error table knows it.
      const engine::ErrorInfo* info = engine::FindError(diagnostic.nativeError);
      outcome.errorSeverity = info ? info->severity : 16;
    }
  }
  if (raw.lastCount) outcome.rowsAffected = *raw.lastCount;
  for (const OdbcResultSet& set : raw.resultSets) {
    slt::ResultSet converted;
    for (const OdbcColumn& column : set.columns) {
      converted.names.push_back(column.name);
      converted.types.push_back(slt::CanonicalTypeName(TypeOf(column)));
    }
    for (const auto& row : set.rows) {
      std::vector<std::string> values;
      for (std::size_t i = 0; i < row.size(); ++i)
        values.push_back(CanonicalText(row[i], set.columns[i]));
      converted.rows.push_back(std::move(values));
    }
    outcome.resultSets.push_back(std::move(converted));
  }
  return outcome;
}

}  // namespace standin::integration
