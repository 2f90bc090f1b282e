#include "tds/Login7.h"

#include "tds/Bytes.h"
#include "tds/Text.h"

namespace standin::tds {
namespace {

constexpr std::size_t kFixedPart71 = 86;
constexpr std::size_t kFixedPart72 = 94;

enum class Field { Required, Informational, Password };

// Reads the UTF-16 string of an (offset, character count) pair at `position`
// in the fixed part. Informational fields outside the record read as empty:
// one client writes a bogus length for an empty host name.
std::string ReadString(std::span<const std::uint8_t> record, std::size_t position,
                       const char* field, Field kind) {
  ByteReader pair(record.subspan(position, 4));
  std::size_t offset = pair.U16();
  std::size_t characters = pair.U16();
  if (characters == 0) return {};
  std::size_t bytes = characters * 2;
  if (offset > record.size() || bytes > record.size() - offset) {
    if (kind == Field::Informational) return {};
    throw ProtocolError(std::string("LOGIN7 field ") + field + " lies outside the record");
  }
  auto data = record.subspan(offset, bytes);
  if (kind == Field::Password) return Utf16LeBytesToUtf8(DeobfuscatePassword(data));
  return Utf16LeBytesToUtf8(data);
}

}  // namespace

std::vector<std::uint8_t> DeobfuscatePassword(std::span<const std::uint8_t> bytes) {
  std::vector<std::uint8_t> out(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::uint8_t value = bytes[i] ^ 0xA5;
    out[i] = static_cast<std::uint8_t>((value << 4) | (value >> 4));
  }
  return out;
}

Login7 ParseLogin7(std::span<const std::uint8_t> payload) {
  ByteReader reader(payload);
  std::uint32_t declaredLength = reader.U32();
  if (declaredLength > payload.size() || declaredLength < kFixedPart71) {
    throw ProtocolError("LOGIN7 length " + std::to_string(declaredLength) + " does not match the " +
                        std::to_string(payload.size()) + "-byte message");
  }
  if (declaredLength > kMaxLogin7Size) throw ProtocolError("LOGIN7 record too large");
  auto record = payload.first(declaredLength);
  ByteReader fixed(record);
  fixed.Skip(4);

  Login7 login;
  login.tdsVersion = fixed.U32();
  login.packetSize = fixed.U32();
  fixed.Skip(4);  // client program version
  login.clientProcessId = fixed.U32();
  fixed.Skip(4);  // connection id
  login.optionFlags1 = fixed.U8();
  login.optionFlags2 = fixed.U8();
  login.typeFlags = fixed.U8();
  login.optionFlags3 = fixed.U8();

  bool is72 = MinorOf(static_cast<TdsVersion>(login.tdsVersion)) >= 0x72;
  if (is72 && record.size() < kFixedPart72) {
    throw ProtocolError("LOGIN7 record shorter than its fixed part");
  }
  // The extension field (56) points at FeatureExt, which we ignore; so do the
  // attach-file and change-password fields.
  login.hostName = ReadString(record, 36, "HostName", Field::Informational);
  login.userName = ReadString(record, 40, "UserName", Field::Required);
  login.password = ReadString(record, 44, "Password", Field::Password);
  login.applicationName = ReadString(record, 48, "AppName", Field::Informational);
  login.serverName = ReadString(record, 52, "ServerName", Field::Informational);
  login.libraryName = ReadString(record, 60, "CltIntName", Field::Informational);
  login.language = ReadString(record, 64, "Language", Field::Informational);
  login.database = ReadString(record, 68, "Database", Field::Required);

  ByteReader sspiPair(record.subspan(78, 4));
  std::size_t sspiOffset = sspiPair.U16();
  std::size_t sspiLength = sspiPair.U16();
  if (is72 && sspiLength == 0xFFFF) {
    // cbSSPILong carries lengths that do not fit 16 bits.
    ByteReader longLength(record.subspan(90, 4));
    sspiLength = longLength.U32();
  }
  if (sspiLength > 0) {
    if (sspiOffset > record.size() || sspiLength > record.size() - sspiOffset) {
      throw ProtocolError("LOGIN7 field SSPI lies outside the record");
    }
    auto sspi = record.subspan(sspiOffset, sspiLength);
    login.sspi.assign(sspi.begin(), sspi.end());
  }
  return login;
}

TdsVersion NegotiateVersion(std::uint32_t requested) {
  switch (static_cast<TdsVersion>(requested)) {
    case TdsVersion::V7_1:
    case TdsVersion::V7_2:
    case TdsVersion::V7_3A:
    case TdsVersion::V7_3B:
    case TdsVersion::V7_4:
      return static_cast<TdsVersion>(requested);
    default:
      break;
  }
  std::uint8_t minor = static_cast<std::uint8_t>(requested >> 24);
  if (minor > 0x74) return TdsVersion::V7_4;
  if (minor == 0x71) return TdsVersion::V7_1;
  if (minor == 0x72) return TdsVersion::V7_2;
  if (minor == 0x73) return TdsVersion::V7_3B;
  throw ProtocolError("TDS version " + std::to_string(requested >> 28) + "." +
                      std::to_string((requested >> 24) & 0xF) +
                      " is not supported; use TDS 7.1 to 7.4");
}

std::uint32_t NegotiatePacketSize(std::uint32_t requested) {
  if (requested == 0) return kDefaultPacketSize;
  if (requested < kMinPacketSize) requested = kMinPacketSize;
  if (requested > kMaxPacketSize) requested = kMaxPacketSize;
  return requested & ~3u;
}

}  // namespace standin::tds
