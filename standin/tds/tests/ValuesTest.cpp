// Parameter values as clients bind them: what the server reads must be the
// value the client meant, at the boundaries of each type.
#include <gtest/gtest.h>

#include "Login7Builder.h"
#include "tds/Values.h"

namespace standin::tds {
namespace {

using Bytes = std::vector<std::uint8_t>;

ParameterValue Read(const Bytes& bytes) {
  ByteReader reader(bytes);
  ParameterValue value = ReadParameterValue(reader, TdsVersion::V7_4);
  EXPECT_TRUE(reader.AtEnd()) << "left " << reader.Remaining() << " bytes";
  return value;
}

TEST(ParameterValues, ReadsEachTypeAtItsBoundaries) {
  struct Case {
    const char* name;
    Bytes wire;
    engine::TypeId type;
    engine::Value expected;
  };
  const Case cases[] = {
      {"tinyint 255 is unsigned", {0x26, 1, 1, 0xFF}, engine::TypeId::TinyInt, std::int64_t{255}},
      {"smallint -32768", {0x26, 2, 2, 0x00, 0x80}, engine::TypeId::SmallInt, std::int64_t{-32768}},
      {"int -1", {0x26, 4, 4, 0xFF, 0xFF, 0xFF, 0xFF}, engine::TypeId::Int, std::int64_t{-1}},
      {"bigint min",
       {0x26, 8, 8, 0, 0, 0, 0, 0, 0, 0, 0x80},
       engine::TypeId::BigInt,
       std::numeric_limits<std::int64_t>::min()},
      {"int NULL", {0x26, 4, 0}, engine::TypeId::Int, std::monostate{}},
      {"fixed int4", {0x38, 7, 0, 0, 0}, engine::TypeId::Int, std::int64_t{7}},
      {"bit", {0x68, 1, 1, 1}, engine::TypeId::Bit, std::int64_t{1}},
      {"float 1.5", {0x6D, 8, 8, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F}, engine::TypeId::Float, 1.5},
      {"decimal(18,4) -1.2345",
       {0x6A, 9, 18, 4, 9, 0, 0x39, 0x30, 0, 0, 0, 0, 0, 0},
       engine::TypeId::Decimal,
       engine::Decimal{-12345, 4}},
      {"decimal(38,0) 17 bytes",
       {0x6C, 17, 38, 0, 17, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
       engine::TypeId::Numeric,
       engine::Decimal{1, 0}},
      {"money -1.5",
       {0x6E, 8, 8, 0xFF, 0xFF, 0xFF, 0xFF, 0x68, 0xC5, 0xFF, 0xFF},
       engine::TypeId::Money,
       engine::Decimal{-15000, 4}},
      {"datetime",
       {0x6F, 8, 8, 0xAC, 0x8E, 0, 0, 0x00, 0xC1, 0xC5, 0x00},
       engine::TypeId::DateTime,
       engine::DateTime{36524, 12960000}},
      {"date 2000-01-01",
       {0x28, 3, 0x07, 0x24, 0x0B},
       engine::TypeId::DateTime,
       engine::DateTime{36524, 0}},
      {"datetime2(7) 2000-01-01 00:00:00.0033333",
       {0x2A, 7, 8, 0x35, 0x82, 0, 0, 0, 0x07, 0x24, 0x0B},
       engine::TypeId::DateTime,
       engine::DateTime{36524, 1}},
      {"datetime2(3) 23:59:59.999 rounds into the next day",
       {0x2A, 3, 7, 0xFF, 0x5B, 0x26, 0x05, 0x07, 0x24, 0x0B},
       engine::TypeId::DateTime,
       engine::DateTime{36525, 0}},
      {"datetimeoffset keeps the local time",
       {0x2B, 0, 8, 0, 0, 0, 0x07, 0x24, 0x0B, 0x3C, 0x00},
       engine::TypeId::DateTime,
       engine::DateTime{36524, 60u * 60u * 300u}},
      {"nvarchar",
       {0xE7, 20, 0, 9, 4, 0xD0, 0, 0x34, 4, 0, 'h', 0, 0xE9, 0},
       engine::TypeId::NVarChar,
       std::string("h\xC3\xA9")},
      {"nvarchar empty",
       {0xE7, 20, 0, 9, 4, 0xD0, 0, 0x34, 0, 0},
       engine::TypeId::NVarChar,
       std::string()},
      {"nvarchar NULL",
       {0xE7, 20, 0, 9, 4, 0xD0, 0, 0x34, 0xFF, 0xFF},
       engine::TypeId::NVarChar,
       std::monostate{}},
      {"varchar from code page 1252",
       {0xA7, 10, 0, 9, 4, 0xD0, 0, 0x34, 1, 0, 0x80},
       engine::TypeId::VarChar,
       std::string("\xE2\x82\xAC")},
      {"nvarchar(max) in two chunks and a terminator",
       {0xE7, 0xFF, 0xFF, 9, 4,   0xD0, 0, 0x34, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
        2,    0,    0,    0, 'a', 0,    2, 0,    0,    0,    'b',  0,    0,    0,    0,    0},
       engine::TypeId::NText,
       std::string("ab")},
      {"varbinary(max) NULL",
       {0xA5, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       engine::TypeId::Image,
       std::monostate{}},
      {"ntext without a text pointer",
       {0x63, 0xFE, 0xFF, 0xFF, 0x7F, 9, 4, 0xD0, 0, 0x34, 2, 0, 0, 0, 'x', 0},
       engine::TypeId::NText,
       std::string("x")},
      {"image NULL",
       {0x22, 0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF},
       engine::TypeId::Image,
       std::monostate{}},
      {"uniqueidentifier",
       {0x24, 16, 16, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
       engine::TypeId::UniqueIdentifier,
       engine::Guid{{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}}},
  };
  for (const Case& c : cases) {
    ParameterValue value = Read(c.wire);
    EXPECT_EQ(value.type.id, c.type) << c.name;
    EXPECT_EQ(value.value, c.expected) << c.name;
  }
}

TEST(ParameterValues, RoundTripsWhatTheServerWrites) {
  struct Case {
    engine::ColumnType type;
    engine::Value value;
  };
  const Case cases[] = {
      {{engine::TypeId::Decimal, 0, 38, 10}, engine::Decimal{-(static_cast<Int128>(1) << 100), 10}},
      {{engine::TypeId::Decimal, 0, 28, 0}, engine::Decimal{9999999999999999, 0}},
      {{engine::TypeId::DateTime}, engine::DateTime{-53690, 0}},          // 1753-01-01
      {{engine::TypeId::DateTime}, engine::DateTime{2958463, 25919999}},  // 9999-12-31 23:59:59.997
      {{engine::TypeId::NVarChar, 4000}, std::string(4000, 'z')},
      {{engine::TypeId::VarBinary, 8000}, engine::Bytes(8000, 0xAB)},
      {{engine::TypeId::Real}, 0.25},
  };
  for (const Case& c : cases) {
    Bytes wire;
    ByteWriter writer(wire);
    WriteTypeInfo(writer, c.type, TdsVersion::V7_4, TypeInfoContext::ReturnValue);
    WriteValue(writer, c.type, c.value);
    ParameterValue value = Read(wire);
    EXPECT_EQ(value.value, c.value) << static_cast<int>(c.type.id);
  }
}

TEST(ParameterValues, RejectsMalformedValues) {
  const std::vector<Bytes> cases = {
      {},                                    // no type
      {0x26},                                // no length
      {0x26, 3, 3, 1, 2, 3},                 // int of 3 bytes
      {0x26, 4, 8, 1, 2, 3, 4, 5, 6, 7, 8},  // value longer than the type
      {0x26, 4, 4, 1, 2},                    // value cut short
      {0x6A, 9, 0, 0, 0},                    // decimal precision 0
      {0x6A, 9, 39, 0, 0},                   // precision beyond 38
      {0x6A, 9, 10, 11, 0},                  // scale above precision
      {0x6A, 17, 38, 0, 17, 1, 0, 0, 0, 0, 0,
       0,    0,  0,  0, 0,  0, 0, 0, 0, 0, 0x80},             // magnitude beyond 127 bits
      {0xE7, 20, 0, 9, 4, 0xD0, 0, 0x34, 3, 0, 'a', 0, 'b'},  // odd UTF-16 length
      {0xE7, 20, 0, 9, 4, 0xD0, 0, 0x34, 0x10, 0},            // length beyond the message
      {0xE7, 0xFF, 0xFF, 9, 4, 0xD0, 0,    0x34, 4,    0,
       0,    0,    0,    0, 0, 0,    0xFF, 0xFF, 0xFF, 0x7F},  // huge PLP chunk
      {0x63, 0xFE, 0xFF, 0xFF, 0x7F, 9, 4, 0xD0, 0, 0x34, 0xF0, 0xFF, 0xFF,
       0x7F},                       // ntext length too big
      {0x2A, 9, 8},                 // scale 9
      {0x2A, 7, 5, 0, 0, 0, 0, 0},  // datetime2 length wrong for its scale
      {0x99, 0},                    // unknown type
      {0x27, 10, 1, 'a'},           // legacy varchar: not sent by modern clients
  };
  for (const Bytes& wire : cases) {
    ByteReader reader(wire);
    EXPECT_THROW(ReadParameterValue(reader, TdsVersion::V7_4), ProtocolError)
        << ::testing::PrintToString(wire);
  }
}

TEST(ParameterValues, DateTimeTicksRoundLikeSqlServer) {
  struct Case {
    std::uint64_t milliseconds;
    std::uint32_t ticks;
  };
  // .001 → .000, .002 → .003, .005 → .007 (nearest 1/300 s).
  for (Case c : {Case{1, 0}, Case{2, 1}, Case{5, 2}, Case{10, 3}, Case{999, 300}}) {
    bool carry = false;
    EXPECT_EQ(TicksFromHundredNanoseconds(c.milliseconds * 10000, carry), c.ticks)
        << c.milliseconds;
    EXPECT_FALSE(carry);
  }
}

}  // namespace
}  // namespace standin::tds
