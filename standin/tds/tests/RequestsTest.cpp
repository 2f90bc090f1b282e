#include <gtest/gtest.h>

#include "Login7Builder.h"
#include "tds/Requests.h"

namespace standin::tds {
namespace {

using Bytes = std::vector<std::uint8_t>;
using testing::AllHeaders;
using testing::Utf16Le;

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

TEST(SqlBatch, HeadersArePresentFrom72On) {
  EXPECT_EQ(ParseSqlBatch(Concat({AllHeaders(), Utf16Le(u"SELECT 1")}), TdsVersion::V7_4),
            "SELECT 1");
  EXPECT_EQ(ParseSqlBatch(Utf16Le(u"SELECT 1"), TdsVersion::V7_1), "SELECT 1");
  EXPECT_EQ(ParseSqlBatch(AllHeaders(), TdsVersion::V7_4), "");
  // A header length that overruns the message or cannot hold itself.
  Bytes overrun = AllHeaders();
  overrun[0] = 0xFF;
  EXPECT_THROW(ParseSqlBatch(overrun, TdsVersion::V7_4), ProtocolError);
  EXPECT_THROW(ParseSqlBatch(Bytes{2, 0, 0, 0}, TdsVersion::V7_4), ProtocolError);
  EXPECT_THROW(ParseSqlBatch(Bytes{1, 0}, TdsVersion::V7_4), ProtocolError);
}

// sp_executesql as an ODBC driver sends it: by id, NTEXT statement and
// declaration, unnamed values.
Bytes ExecuteSqlById() {
  Bytes ntextType = {0x63, 0xFE, 0xFF, 0xFF, 0x7F, 9, 4, 0xD0, 0, 0x34};
  Bytes statement = Utf16Le(u"SELECT @P1");
  Bytes declaration = Utf16Le(u"@P1 DECIMAL(18,4)");
  return Concat({AllHeaders(),
                 {0xFF, 0xFF, 10, 0, 0, 0},
                 {0, 0},
                 ntextType,
                 {static_cast<std::uint8_t>(statement.size()), 0, 0, 0},
                 statement,
                 {0, 0},
                 ntextType,
                 {static_cast<std::uint8_t>(declaration.size()), 0, 0, 0},
                 declaration,
                 {0, 0, 0x6A, 9, 18, 4, 5, 1, 1, 0, 0, 0}});
}

TEST(Rpc, ReadsCallsByIdAndByNameWithTheirParameters) {
  auto calls = ParseRpc(ExecuteSqlById(), TdsVersion::V7_4);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].procedureName, "sp_executesql");
  ASSERT_EQ(calls[0].parameters.size(), 3u);
  EXPECT_EQ(calls[0].parameters[0].name, "");
  EXPECT_EQ(calls[0].parameters[0].value, engine::Value(std::string("SELECT @P1")));
  EXPECT_EQ(calls[0].parameters[1].value, engine::Value(std::string("@P1 DECIMAL(18,4)")));
  EXPECT_EQ(calls[0].parameters[2].value, engine::Value(engine::Decimal{1, 4}));

  // Two named calls in one message, the second with an OUTPUT parameter.
  Bytes name = Utf16Le(u"sp_who");
  Bytes parameterName = Utf16Le(u"@n");
  Bytes call = Concat({{static_cast<std::uint8_t>(name.size() / 2), 0},
                       name,
                       {0, 0},
                       {static_cast<std::uint8_t>(parameterName.size() / 2)},
                       parameterName,
                       {0x01, 0x26, 4, 0}});
  auto two = ParseRpc(Concat({AllHeaders(), call, {0xFF}, call}), TdsVersion::V7_4);
  ASSERT_EQ(two.size(), 2u);
  EXPECT_EQ(two[1].procedureName, "sp_who");
  ASSERT_EQ(two[1].parameters.size(), 1u);
  EXPECT_EQ(two[1].parameters[0].name, "@n");
  EXPECT_TRUE(two[1].parameters[0].output);
  EXPECT_EQ(two[1].parameters[0].value, engine::Value(std::monostate{}));

  // 7.1: no headers and 0x80 between calls.
  EXPECT_EQ(ParseRpc(Concat({call, {0x80}, call}), TdsVersion::V7_1).size(), 2u);
}

TEST(Rpc, RejectsEveryTruncationOfAValidRequest) {
  Bytes valid = ExecuteSqlById();
  // Every proper prefix that ends inside the header, the name or a
  // parameter must be refused, never read past its end.
  std::size_t accepted = 0;
  for (std::size_t size = 0; size < valid.size(); ++size) {
    Bytes prefix(valid.begin(), valid.begin() + static_cast<std::ptrdiff_t>(size));
    try {
      ParseRpc(prefix, TdsVersion::V7_4);
      ++accepted;
    } catch (const ProtocolError&) {
    }
  }
  // Prefixes that end exactly between parameters are complete calls.
  EXPECT_LE(accepted, 3u);
  EXPECT_THROW(ParseRpc(Concat({AllHeaders(), {0xFF, 0xFF, 99, 0, 0, 0}}), TdsVersion::V7_4),
               ProtocolError);
  EXPECT_THROW(ParseRpc(Concat({AllHeaders(), {0, 0, 0, 0}}), TdsVersion::V7_4), ProtocolError);
}

TEST(TransactionRequests, ReadsWhatDriversSend) {
  struct Case {
    Bytes body;
    TransactionRequest::Kind kind;
    bool beginNew;
  };
  const Case cases[] = {
      {{5, 0, 0, 0}, TransactionRequest::Kind::Begin, false},
      {{7, 0, 0, 0}, TransactionRequest::Kind::Commit, false},
      {{7, 0, 0, 1, 0, 0}, TransactionRequest::Kind::Commit, true},
      {{8, 0, 0, 0}, TransactionRequest::Kind::Rollback, false},
      {{8, 0, 0, 1, 0, 0}, TransactionRequest::Kind::Rollback, true},
  };
  for (const Case& c : cases) {
    TransactionRequest request =
        ParseTransactionRequest(Concat({AllHeaders(), c.body}), TdsVersion::V7_4);
    EXPECT_EQ(request.kind, c.kind);
    EXPECT_EQ(request.beginNew, c.beginNew);
  }
  // A named begin: the length byte counts bytes.
  Bytes name = Utf16Le(u"_tx");
  auto named = ParseTransactionRequest(
      Concat({AllHeaders(), {5, 0, 0, static_cast<std::uint8_t>(name.size())}, name}),
      TdsVersion::V7_4);
  EXPECT_EQ(named.name, "_tx");
  EXPECT_THROW(ParseTransactionRequest(Concat({AllHeaders(), {1, 0}}), TdsVersion::V7_4),
               ProtocolError);
  EXPECT_THROW(ParseTransactionRequest(Concat({AllHeaders(), {5, 0, 0, 40}}), TdsVersion::V7_4),
               ProtocolError);
}

}  // namespace
}  // namespace standin::tds
