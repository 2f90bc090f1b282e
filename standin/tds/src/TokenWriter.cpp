#include "tds/TokenWriter.h"

#include "tds/Text.h"
#include "tds/Values.h"

namespace standin::tds {
namespace {

std::u16string Truncated(std::string_view utf8, std::size_t maximumUnits) {
  std::u16string text = Utf8ToUtf16(utf8);
  if (text.size() > maximumUnits) text.resize(maximumUnits);
  return text;
}

}  // namespace

void TokenWriter::BVarChar(std::string_view utf8) {
  std::u16string text = Truncated(utf8, 0xFF);
  m_Out.U8(static_cast<std::uint8_t>(text.size()));
  m_Out.Append(text);
}

void TokenWriter::UsVarChar(std::string_view utf8) {
  // Kept well below 65535 units so the enclosing token's 16-bit length holds.
  std::u16string text = Truncated(utf8, 30000);
  m_Out.U16(static_cast<std::uint16_t>(text.size()));
  m_Out.Append(text);
}

void TokenWriter::LoginAck(std::string_view programName, std::array<std::uint8_t, 4> progVersion) {
  m_Out.U8(static_cast<std::uint8_t>(Token::LoginAck));
  std::size_t length = m_Out.ReserveU16();
  m_Out.U8(1);  // SQL_TSQL; FreeTDS treats anything else as a failed login
  m_Out.U32BigEndian(static_cast<std::uint32_t>(m_Version));
  BVarChar(programName);
  m_Out.Append(progVersion);
  m_Out.PatchU16Length(length);
}

void TokenWriter::EnvChangeText(EnvChangeKind kind, std::string_view newValue,
                                std::string_view oldValue) {
  m_Out.U8(static_cast<std::uint8_t>(Token::EnvChange));
  std::size_t length = m_Out.ReserveU16();
  m_Out.U8(static_cast<std::uint8_t>(kind));
  BVarChar(newValue);
  BVarChar(oldValue);
  m_Out.PatchU16Length(length);
}

void TokenWriter::EnvChangeBytes(EnvChangeKind kind, std::span<const std::uint8_t> newValue,
                                 std::span<const std::uint8_t> oldValue) {
  m_Out.U8(static_cast<std::uint8_t>(Token::EnvChange));
  std::size_t length = m_Out.ReserveU16();
  m_Out.U8(static_cast<std::uint8_t>(kind));
  m_Out.U8(static_cast<std::uint8_t>(std::min<std::size_t>(newValue.size(), 0xFF)));
  m_Out.Append(newValue.first(std::min<std::size_t>(newValue.size(), 0xFF)));
  m_Out.U8(static_cast<std::uint8_t>(std::min<std::size_t>(oldValue.size(), 0xFF)));
  m_Out.Append(oldValue.first(std::min<std::size_t>(oldValue.size(), 0xFF)));
  m_Out.PatchU16Length(length);
}

void TokenWriter::Message(const engine::Message& message, std::string_view serverName) {
  m_Out.U8(static_cast<std::uint8_t>(message.severity > 10 ? Token::Error : Token::Info));
  std::size_t length = m_Out.ReserveU16();
  m_Out.U32(static_cast<std::uint32_t>(message.number));
  m_Out.U8(message.state);
  // SQL Server sends severity 10 as class 0; DB-Library clients treat a class
  // of 10 as an error and fail on every USE.
  m_Out.U8(message.severity == 10 ? 0 : message.severity);
  UsVarChar(message.text);
  BVarChar(serverName);
  BVarChar(message.procedure);
  if (IsAtLeast72(m_Version)) {
    m_Out.U32(static_cast<std::uint32_t>(message.line));
  } else {
    m_Out.U16(static_cast<std::uint16_t>(message.line));
  }
  m_Out.PatchU16Length(length);
}

void TokenWriter::Done(Token token, std::uint16_t status, std::uint16_t currentCommand,
                       std::uint64_t rowCount) {
  m_Out.U8(static_cast<std::uint8_t>(token));
  m_Out.U16(status);
  m_Out.U16(currentCommand);
  if (IsAtLeast72(m_Version)) {
    m_Out.U64(rowCount);
  } else {
    m_Out.U32(static_cast<std::uint32_t>(std::min<std::uint64_t>(rowCount, 0xFFFFFFFF)));
  }
}

void TokenWriter::ColMetadata(const std::vector<engine::Column>& columns) {
  if (columns.empty() || columns.size() >= 0xFFFF) {
    // 0xFFFF means "no metadata", which some clients cannot read.
    throw EncodeError("a result set needs 1 to 65534 columns");
  }
  m_Out.U8(static_cast<std::uint8_t>(Token::ColMetadata));
  m_Out.U16(static_cast<std::uint16_t>(columns.size()));
  for (const engine::Column& column : columns) {
    if (IsAtLeast72(m_Version)) {
      m_Out.U32(0);
    } else {
      m_Out.U16(0);
    }
    std::uint16_t flags = column_flag::kUpdateUnknown;
    if (column.nullable) flags |= column_flag::kNullable;
    if (column.identity) flags |= column_flag::kIdentity;
    m_Out.U16(flags);
    WriteTypeInfo(m_Out, column.type, m_Version, TypeInfoContext::ColMetadata);
    BVarChar(column.name);
  }
}

void TokenWriter::Row(const std::vector<engine::Column>& columns,
                      const std::vector<engine::Value>& values) {
  if (values.size() != columns.size()) {
    throw EncodeError("row has " + std::to_string(values.size()) + " values for " +
                      std::to_string(columns.size()) + " columns");
  }
  bool anyNull = false;
  for (const engine::Value& value : values)
    anyNull |= std::holds_alternative<std::monostate>(value);
  std::size_t start = m_Out.Size();
  try {
    if (anyNull && IsAtLeast73(m_Version)) {
      m_Out.U8(static_cast<std::uint8_t>(Token::NbcRow));
      std::size_t bitmap = m_Out.Size();
      for (std::size_t i = 0; i < (columns.size() + 7) / 8; ++i) m_Out.U8(0);
      for (std::size_t i = 0; i < values.size(); ++i) {
        if (std::holds_alternative<std::monostate>(values[i])) {
          m_Out.Buffer()[bitmap + i / 8] |= static_cast<std::uint8_t>(1u << (i % 8));
        } else {
          WriteValue(m_Out, columns[i].type, values[i]);
        }
      }
    } else {
      m_Out.U8(static_cast<std::uint8_t>(Token::Row));
      for (std::size_t i = 0; i < values.size(); ++i) WriteValue(m_Out, columns[i].type, values[i]);
    }
  } catch (...) {
    // Never leave half a row in the stream.
    m_Out.Buffer().resize(start);
    throw;
  }
}

void TokenWriter::ReturnStatus(std::int32_t status) {
  m_Out.U8(static_cast<std::uint8_t>(Token::ReturnStatus));
  m_Out.U32(static_cast<std::uint32_t>(status));
}

void TokenWriter::ReturnValue(const engine::Parameter& parameter, std::uint16_t ordinal) {
  std::size_t start = m_Out.Size();
  try {
    m_Out.U8(static_cast<std::uint8_t>(Token::ReturnValue));
    m_Out.U16(ordinal);
    // Clients drop a name that does not start with '@'.
    std::string name = parameter.name;
    if (!name.empty() && name.front() != '@') name.insert(name.begin(), '@');
    BVarChar(name);
    m_Out.U8(0x01);
    if (IsAtLeast72(m_Version)) {
      m_Out.U32(0);
    } else {
      m_Out.U16(0);
    }
    m_Out.U16(column_flag::kNullable);
    engine::ColumnType type = WireTypeFor(parameter.type, TypeInfoContext::ReturnValue);
    WriteTypeInfo(m_Out, type, m_Version, TypeInfoContext::ReturnValue);
    WriteValue(m_Out, type, parameter.value);
  } catch (...) {
    m_Out.Buffer().resize(start);
    throw;
  }
}

}  // namespace standin::tds
