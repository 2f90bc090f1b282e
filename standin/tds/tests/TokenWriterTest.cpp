// Golden bytes of the tokens clients parse without resynchronising: one wrong
// length or width and every following byte is misread.
#include <gtest/gtest.h>

#include <utility>

#include "Login7Builder.h"
#include "tds/TokenWriter.h"
#include "tds/Values.h"

namespace standin::tds {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Text(const std::u16string& text) {
  return testing::Utf16Le(text);
}

TEST(TokenWriter, LoginAckCarriesTheVersionMostSignificantByteFirst) {
  Bytes out;
  TokenWriter(out, TdsVersion::V7_4).LoginAck("Microsoft SQL Server", {0x0F, 0x00, 0x07, 0xD0});
  Bytes expected = Concat({{0xAD, 0x32, 0x00, 0x01, 0x74, 0x00, 0x00, 0x04, 0x14},
                           Text(u"Microsoft SQL Server"),
                           {0x0F, 0x00, 0x07, 0xD0}});
  EXPECT_EQ(out, expected);

  out.clear();
  TokenWriter(out, TdsVersion::V7_1).LoginAck("X", {8, 0, 0x07, 0xF7});
  EXPECT_EQ(
      out, (Bytes{0xAD, 0x0C, 0x00, 0x01, 0x71, 0x00, 0x00, 0x01, 0x01, 'X', 0, 8, 0, 0x07, 0xF7}));
}

TEST(TokenWriter, EnvChangesHaveExactLengths) {
  const std::uint8_t descriptor[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  struct Case {
    const char* name;
    std::function<void(TokenWriter&)> write;
    Bytes expected;
  };
  const Case cases[] = {
      {"database",
       [](TokenWriter& t) { t.EnvChangeText(EnvChangeKind::Database, "master", "master"); },
       Concat({{0xE3, 0x1B, 0x00, 0x01, 0x06}, Text(u"master"), {0x06}, Text(u"master")})},
      {"packet size",
       [](TokenWriter& t) { t.EnvChangeText(EnvChangeKind::PacketSize, "4096", "4096"); },
       Concat({{0xE3, 0x13, 0x00, 0x04, 0x04}, Text(u"4096"), {0x04}, Text(u"4096")})},
      {"collation",
       [](TokenWriter& t) { t.EnvChangeBytes(EnvChangeKind::Collation, kCollation, {}); },
       {0xE3, 0x08, 0x00, 0x07, 0x05, 0x09, 0x04, 0xD0, 0x00, 0x34, 0x00}},
      {"begin transaction",
       [&](TokenWriter& t) { t.EnvChangeBytes(EnvChangeKind::BeginTransaction, descriptor, {}); },
       {0xE3, 0x0B, 0x00, 0x08, 0x08, 1, 2, 3, 4, 5, 6, 7, 8, 0x00}},
      {"commit transaction",
       [&](TokenWriter& t) { t.EnvChangeBytes(EnvChangeKind::CommitTransaction, {}, descriptor); },
       {0xE3, 0x0B, 0x00, 0x09, 0x00, 0x08, 1, 2, 3, 4, 5, 6, 7, 8}},
  };
  for (const Case& c : cases) {
    Bytes out;
    TokenWriter writer(out, TdsVersion::V7_4);
    c.write(writer);
    EXPECT_EQ(out, c.expected) << c.name;
  }
}

TEST(TokenWriter, DoneWidthFollowsTheVersion) {
  Bytes out;
  TokenWriter(out, TdsVersion::V7_4).Done(Token::Done, done::kCount, 0, 3);
  EXPECT_EQ(out, (Bytes{0xFD, 0x10, 0x00, 0x00, 0x00, 0x03, 0, 0, 0, 0, 0, 0, 0}));
  out.clear();
  TokenWriter(out, TdsVersion::V7_1).Done(Token::DoneInProc, done::kCount | done::kMore, 0xC1, 3);
  EXPECT_EQ(out, (Bytes{0xFF, 0x11, 0x00, 0xC1, 0x00, 0x03, 0, 0, 0}));
  out.clear();
  TokenWriter(out, TdsVersion::V7_2).Done(Token::Done, done::kAttention, 0, 0);
  EXPECT_EQ(out, (Bytes{0xFD, 0x20, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(TokenWriter, LoginFailureErrorAsClientsParseIt) {
  engine::Message message{18456, 1, 14, "Login failed for user 'x'.", "", 1};
  for (TdsVersion version : {TdsVersion::V7_1, TdsVersion::V7_4}) {
    Bytes out;
    TokenWriter(out, version).Message(message, "SRV");
    std::size_t lineSize = version == TdsVersion::V7_4 ? 4 : 2;
    Bytes body = Concat({{0x18, 0x48, 0x00, 0x00, 0x01, 0x0E, 26, 0},
                         Text(u"Login failed for user 'x'."),
                         {3},
                         Text(u"SRV"),
                         {0},
                         {1, 0}});
    if (lineSize == 4) body.insert(body.end(), {0, 0});
    Bytes expected = Concat({{0xAA, static_cast<std::uint8_t>(body.size()), 0}, body});
    EXPECT_EQ(out, expected);
  }
  engine::Message print{0, 1, 0, "hello", "proc", 7};
  Bytes out;
  TokenWriter(out, TdsVersion::V7_4).Message(print, "S");
  EXPECT_EQ(out[0], 0xAB) << "severity 10 and below is INFO";
  // Class byte: after token, length, number and state.
  for (auto [severity, sent] : {std::pair<int, int>{10, 0}, {5, 5}, {0, 0}, {16, 16}}) {
    engine::Message info{5701, 1, static_cast<std::uint8_t>(severity), "x", "", 1};
    Bytes bytes;
    TokenWriter(bytes, TdsVersion::V7_4).Message(info, "S");
    EXPECT_EQ(bytes[8], sent) << "severity " << severity;
  }
}

engine::Column Column(const char* name, engine::TypeId id, std::int32_t length = 0,
                      std::uint8_t precision = 0, std::uint8_t scale = 0) {
  engine::Column column;
  column.name = name;
  column.type.id = id;
  column.type.length = length;
  column.type.precision = precision;
  column.type.scale = scale;
  return column;
}

TEST(TokenWriter, ColumnsAndRowsOfTheCoreTypes) {
  struct Case {
    const char* name;
    engine::Column column;
    engine::Value value;
    Bytes typeInfo;  // after UserType and flags
    Bytes rowValue;
  };
  engine::Guid guid{{0xFF, 0x19, 0x96, 0x6F, 0x86, 0x8B, 0x11, 0xD0, 0xB4, 0x2D, 0x00, 0xC0, 0x4F,
                     0xC9, 0x64, 0xFF}};
  const Case cases[] = {
      {"int",
       Column("i", engine::TypeId::Int),
       std::int64_t{-2},
       {0x26, 4},
       {4, 0xFE, 0xFF, 0xFF, 0xFF}},
      {"tinyint 255",
       Column("t", engine::TypeId::TinyInt),
       std::int64_t{255},
       {0x26, 1},
       {1, 0xFF}},
      {"bigint null", Column("b", engine::TypeId::BigInt), std::monostate{}, {0x26, 8}, {0}},
      {"bit", Column("f", engine::TypeId::Bit), std::int64_t{1}, {0x68, 1}, {1, 1}},
      {"decimal(18,2)",
       Column("d", engine::TypeId::Decimal, 0, 18, 2),
       engine::Decimal{12345, 2},
       {0x6A, 9, 18, 2},
       {9, 1, 0x39, 0x30, 0, 0, 0, 0, 0, 0}},
      {"decimal rescaled and negative",
       Column("d", engine::TypeId::Decimal, 0, 5, 2),
       engine::Decimal{-1235, 3},
       {0x6A, 5, 5, 2},
       {5, 0, 124, 0, 0, 0}},
      {"float",
       Column("r", engine::TypeId::Float),
       1.5,
       {0x6D, 8},
       {8, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F}},
      {"datetime 2000-01-01 12:00",
       Column("dt", engine::TypeId::DateTime),
       engine::DateTime{36524, 12960000},
       {0x6F, 8},
       {8, 0xAC, 0x8E, 0x00, 0x00, 0x00, 0xC1, 0xC5, 0x00}},
      {"uniqueidentifier",
       Column("g", engine::TypeId::UniqueIdentifier),
       guid,
       {0x24, 16},
       Concat({{16}, Bytes(guid.bytes.begin(), guid.bytes.end())})},
      {"nvarchar(10)",
       Column("n", engine::TypeId::NVarChar, 10),
       std::string("h\xC3\xA9"),
       {0xE7, 20, 0, 0x09, 0x04, 0xD0, 0x00, 0x34},
       {4, 0, 'h', 0, 0xE9, 0}},
      {"nvarchar empty is not NULL",
       Column("n", engine::TypeId::NVarChar, 10),
       std::string(),
       {0xE7, 20, 0, 0x09, 0x04, 0xD0, 0x00, 0x34},
       {0, 0}},
      {"varchar in code page 1252",
       Column("v", engine::TypeId::VarChar, 5),
       std::string("\xE2\x82\xAC"),
       {0xA7, 5, 0, 0x09, 0x04, 0xD0, 0x00, 0x34},
       {1, 0, 0x80}},
      {"varbinary",
       Column("v", engine::TypeId::VarBinary, 8),
       engine::Bytes{1, 2},
       {0xA5, 8, 0},
       {2, 0, 1, 2}},
      {"money",
       Column("m", engine::TypeId::Money),
       engine::Decimal{-15, 1},
       {0x6E, 8},
       {8, 0xFF, 0xFF, 0xFF, 0xFF, 0x68, 0xC5, 0xFF, 0xFF}},
  };
  for (const Case& c : cases) {
    Bytes out;
    TokenWriter writer(out, TdsVersion::V7_2);
    writer.ColMetadata({c.column});
    Bytes expected = Concat({{0x81, 1, 0, 0, 0, 0, 0, 0x09, 0x00},
                             c.typeInfo,
                             {static_cast<std::uint8_t>(c.column.name.size())},
                             Text(std::u16string(c.column.name.begin(), c.column.name.end())),
                             {0xD1},
                             c.rowValue});
    writer.Row({c.column}, {c.value});
    EXPECT_EQ(out, expected) << c.name;
  }
}

TEST(TokenWriter, TextPointerTypesKeepEveryByte) {
  engine::Column image = Column("img", engine::TypeId::Image);
  engine::Bytes data(51);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  for (TdsVersion version : {TdsVersion::V7_1, TdsVersion::V7_4}) {
    Bytes out;
    TokenWriter writer(out, version);
    writer.ColMetadata({image});
    std::size_t metadataSize = out.size();
    // Table name: one US_VARCHAR at 7.1, NumParts at 7.2+.
    std::size_t tableNameSize = version == TdsVersion::V7_1 ? 2 : 1;
    std::size_t userTypeSize = version == TdsVersion::V7_1 ? 2 : 4;
    EXPECT_EQ(metadataSize, 3 + userTypeSize + 2 + 5 + tableNameSize + 1 + 6);
    writer.Row({image}, {data});
    ByteReader row(std::span<const std::uint8_t>(out).subspan(metadataSize));
    EXPECT_EQ(row.U8(), 0xD1);
    EXPECT_EQ(row.U8(), 16) << "text pointer length must be 16";
    row.Skip(16 + 8);
    EXPECT_EQ(row.U32(), 51u);
    auto payload = row.Take(51);
    EXPECT_EQ(Bytes(payload.begin(), payload.end()), data);
    EXPECT_TRUE(row.AtEnd());
  }
}

TEST(TokenWriter, NbcRowOnlyFrom73AndOnlyWithNulls) {
  std::vector<engine::Column> columns;
  for (int i = 0; i < 9; ++i) columns.push_back(Column("c", engine::TypeId::Int));
  std::vector<engine::Value> values(9, std::int64_t{7});
  values[1] = std::monostate{};
  values[8] = std::monostate{};
  Bytes out;
  TokenWriter(out, TdsVersion::V7_4).Row(columns, values);
  ASSERT_EQ(out[0], 0xD2);
  EXPECT_EQ(out[1], 0x02);
  EXPECT_EQ(out[2], 0x01);
  EXPECT_EQ(out.size(), 3u + 7u * 5u);

  out.clear();
  TokenWriter(out, TdsVersion::V7_2).Row(columns, values);
  EXPECT_EQ(out[0], 0xD1);
  EXPECT_EQ(out.size(), 1u + 7u * 5u + 2u);
}

TEST(TokenWriter, ValuesThatDoNotFitFailWithoutLeavingHalfARow) {
  struct Case {
    const char* name;
    engine::Column column;
    engine::Value value;
  };
  const Case cases[] = {
      {"int overflow", Column("i", engine::TypeId::Int), std::int64_t{1} << 40},
      {"tinyint negative", Column("t", engine::TypeId::TinyInt), std::int64_t{-1}},
      {"decimal beyond precision", Column("d", engine::TypeId::Decimal, 0, 4, 2),
       engine::Decimal{100000, 2}},
      {"text where a date belongs", Column("dt", engine::TypeId::DateTime),
       std::string("yesterday")},
      {"nvarchar beyond 64 KiB", Column("n", engine::TypeId::NVarChar, 4000),
       std::string(40000, 'x')},
  };
  for (const Case& c : cases) {
    Bytes out;
    TokenWriter writer(out, TdsVersion::V7_4);
    writer.ColMetadata({c.column});
    std::size_t before = out.size();
    EXPECT_THROW(writer.Row({c.column}, {c.value}), EncodeError) << c.name;
    EXPECT_EQ(out.size(), before) << c.name;
  }
}

TEST(TokenWriter, ReturnValueNamesStartWithAt) {
  engine::Parameter parameter;
  parameter.name = "handle";
  parameter.type.id = engine::TypeId::Int;
  parameter.value = std::int64_t{5};
  parameter.output = true;
  Bytes out;
  TokenWriter(out, TdsVersion::V7_4).ReturnValue(parameter, 1);
  Bytes expected = Concat(
      {{0xAC, 1, 0, 7}, Text(u"@handle"), {0x01, 0, 0, 0, 0, 0x01, 0x00, 0x26, 4, 4, 5, 0, 0, 0}});
  EXPECT_EQ(out, expected);
}

}  // namespace
}  // namespace standin::tds
