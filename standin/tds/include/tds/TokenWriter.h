// Writes response tokens into a reply payload with the widths of the
// negotiated TDS version (row counts, UserType and line numbers grew at 7.2).
// Lengths of LOGINACK, ERROR/INFO and ENVCHANGE are computed from what was
// written, so they are always exact.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "tds/Bytes.h"
#include "tds/EngineTypes.h"
#include "tds/Protocol.h"

namespace standin::tds {

class TokenWriter {
 public:
  TokenWriter(std::vector<std::uint8_t>& out, TdsVersion version)
      : m_Out(out), m_Version(version) {}

  TdsVersion Version() const { return m_Version; }

  // progVersion: major, minor, build high byte, build low byte.
  void LoginAck(std::string_view programName, std::array<std::uint8_t, 4> progVersion);
  // Types with B_VARCHAR values: database, language, packet size.
  void EnvChangeText(EnvChangeKind kind, std::string_view newValue, std::string_view oldValue);
  // Types with B_VARBYTE values: collation, transactions.
  void EnvChangeBytes(EnvChangeKind kind, std::span<const std::uint8_t> newValue,
                      std::span<const std::uint8_t> oldValue);
  // ERROR for severity 11 and up, INFO below.
  void Message(const engine::Message& message, std::string_view serverName);
  void Done(Token token, std::uint16_t status, std::uint16_t currentCommand,
            std::uint64_t rowCount);
  void ColMetadata(const std::vector<engine::Column>& columns);
  // ROW, or NBCROW (7.3+) when it is shorter, i.e. when some value is NULL.
  void Row(const std::vector<engine::Column>& columns, const std::vector<engine::Value>& values);
  void ReturnStatus(std::int32_t status);
  void ReturnValue(const engine::Parameter& parameter, std::uint16_t ordinal);

 private:
  void BVarChar(std::string_view utf8);
  void UsVarChar(std::string_view utf8);

  ByteWriter m_Out;
  TdsVersion m_Version;
};

}  // namespace standin::tds
