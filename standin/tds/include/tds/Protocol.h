// Wire constants of the TDS 7.1-7.4 subset the stand-in speaks: packet types
// and status bits, token markers, TYPE_INFO codes and version numbers. Every
// other file of the protocol layer takes its numbers from here.
#pragma once

#include <cstdint>

namespace standin::tds {

enum class PacketType : std::uint8_t {
  SqlBatch = 0x01,
  PreTds7Login = 0x02,
  Rpc = 0x03,
  Reply = 0x04,
  Attention = 0x06,
  BulkLoad = 0x07,
  TransactionManager = 0x0E,
  Login7 = 0x10,
  Sspi = 0x11,
  Prelogin = 0x12,
};

namespace status {
constexpr std::uint8_t kEndOfMessage = 0x01;
constexpr std::uint8_t kIgnore = 0x02;
constexpr std::uint8_t kResetConnection = 0x08;
constexpr std::uint8_t kResetConnectionSkipTransaction = 0x10;
}  // namespace status

constexpr std::size_t kPacketHeaderSize = 8;
// Packets before and during login are at most this big; LOGIN7 then negotiates.
constexpr std::uint32_t kDefaultPacketSize = 4096;
constexpr std::uint32_t kMinPacketSize = 512;
constexpr std::uint32_t kMaxPacketSize = 32767;
// Client packets are accepted up to this size whatever was negotiated: some
// drivers round their buffer up to 32 KiB.
constexpr std::uint32_t kMaxAcceptedPacketSize = 32768;

enum class Token : std::uint8_t {
  ReturnStatus = 0x79,
  ColMetadata = 0x81,
  Error = 0xAA,
  Info = 0xAB,
  ReturnValue = 0xAC,
  LoginAck = 0xAD,
  Row = 0xD1,
  NbcRow = 0xD2,
  EnvChange = 0xE3,
  Done = 0xFD,
  DoneProc = 0xFE,
  DoneInProc = 0xFF,
};

namespace done {
constexpr std::uint16_t kFinal = 0x0000;
constexpr std::uint16_t kMore = 0x0001;
constexpr std::uint16_t kError = 0x0002;
constexpr std::uint16_t kInTransaction = 0x0004;
constexpr std::uint16_t kCount = 0x0010;
constexpr std::uint16_t kAttention = 0x0020;
constexpr std::uint16_t kServerError = 0x0100;
}  // namespace done

enum class EnvChangeKind : std::uint8_t {
  Database = 1,
  Language = 2,
  PacketSize = 4,
  Collation = 7,
  BeginTransaction = 8,
  CommitTransaction = 9,
  RollbackTransaction = 10,
  ResetConnectionAck = 18,
};

// TYPE_INFO type codes.
enum class TypeCode : std::uint8_t {
  Null = 0x1F,
  Image = 0x22,
  Text = 0x23,
  Guid = 0x24,
  VarBinaryLegacy = 0x25,
  IntN = 0x26,
  VarCharLegacy = 0x27,
  Date = 0x28,
  Time = 0x29,
  DateTime2 = 0x2A,
  DateTimeOffset = 0x2B,
  BinaryLegacy = 0x2D,
  CharLegacy = 0x2F,
  Int1 = 0x30,
  Bit = 0x32,
  Int2 = 0x34,
  DecimalLegacy = 0x37,
  Int4 = 0x38,
  DateTime4 = 0x3A,
  Float4 = 0x3B,
  Money = 0x3C,
  DateTime = 0x3D,
  Float8 = 0x3E,
  NumericLegacy = 0x3F,
  NText = 0x63,
  BitN = 0x68,
  DecimalN = 0x6A,
  NumericN = 0x6C,
  FloatN = 0x6D,
  MoneyN = 0x6E,
  DateTimeN = 0x6F,
  Money4 = 0x7A,
  Int8 = 0x7F,
  BigVarBinary = 0xA5,
  BigVarChar = 0xA7,
  BigBinary = 0xAD,
  BigChar = 0xAF,
  NVarChar = 0xE7,
  NChar = 0xEF,
};

// COLMETADATA column flags.
namespace column_flag {
constexpr std::uint16_t kNullable = 0x0001;
constexpr std::uint16_t kUpdateUnknown = 0x0008;
constexpr std::uint16_t kIdentity = 0x0010;
}  // namespace column_flag

// TDS versions as the LOGIN7 DWORD carries them. LOGINACK writes the same value
// most-significant byte first.
enum class TdsVersion : std::uint32_t {
  V7_0 = 0x70000000,
  V7_1 = 0x71000001,
  V7_2 = 0x72090002,
  V7_3A = 0x730A0003,
  V7_3B = 0x730B0003,
  V7_4 = 0x74000004,
};

constexpr std::uint8_t MinorOf(TdsVersion version) {
  return static_cast<std::uint8_t>(static_cast<std::uint32_t>(version) >> 24);
}
// 7.2 widened DONE row counts to 8 bytes, UserType to 4, line numbers to 4,
// and added ALL_HEADERS to requests.
constexpr bool IsAtLeast72(TdsVersion version) {
  return MinorOf(version) >= 0x72;
}
constexpr bool IsAtLeast73(TdsVersion version) {
  return MinorOf(version) >= 0x73;
}

// The collation every character column and ENVCHANGE 7 announce:
// SQL_Latin1_General_CP1_CI_AS (LCID 0x0409, ignore case/kana/width, sort 52),
// whose code page is 1252.
constexpr std::uint8_t kCollation[5] = {0x09, 0x04, 0xD0, 0x00, 0x34};

// Text pointers of TEXT/NTEXT/IMAGE values must be exactly 16 bytes.
constexpr std::uint8_t kTextPointerSize = 16;

// The largest request message accepted: an NTEXT parameter of several MB must
// fit, an endless stream of continuation packets must not exhaust memory.
constexpr std::size_t kMaxMessageSize = 64u * 1024u * 1024u;
constexpr std::size_t kMaxLogin7Size = 128u * 1024u - 1u;

}  // namespace standin::tds
