// Exact text forms of datetime, uniqueidentifier and decimal values.
#include <gtest/gtest.h>

#include "common/Types.h"

namespace standin::engine {
namespace {

struct DateCase {
  const char* input;
  const char* canonical;  // nullptr: refused
};

void PrintTo(const DateCase& row, std::ostream* out) {
  *out << row.input;
}

class DateTimeText : public testing::TestWithParam<DateCase> {};

TEST_P(DateTimeText, ParsesLikeSqlServer) {
  const DateCase& row = GetParam();
  std::optional<DateTime> value = ParseDateTime(row.input);
  if (!row.canonical) {
    EXPECT_FALSE(value) << row.input;
    return;
  }
  ASSERT_TRUE(value) << row.input;
  EXPECT_EQ(FormatDateTime(*value), row.canonical);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, DateTimeText,
    testing::Values(DateCase{"1900-01-01", "1900-01-01 00:00:00.000"},
                    DateCase{"2024-02-29 23:59:59.997", "2024-02-29 23:59:59.997"},
                    DateCase{"2024-02-29 23:59:59.999", "2024-03-01 00:00:00.000"},
                    DateCase{"2001-01-01 00:00:00.002", "2001-01-01 00:00:00.003"},
                    DateCase{"2001-01-01 00:00:00.005", "2001-01-01 00:00:00.007"},
                    DateCase{"20240115", "2024-01-15 00:00:00.000"},
                    DateCase{"20240115 10:30", "2024-01-15 10:30:00.000"},
                    DateCase{"2024-01-15T10:30:00", "2024-01-15 10:30:00.000"},
                    DateCase{"01/15/2024", "2024-01-15 00:00:00.000"},
                    DateCase{"1/5/2024 3:04 PM", "2024-01-05 15:04:00.000"},
                    DateCase{"12:00 AM", "1900-01-01 00:00:00.000"},
                    DateCase{"1753-01-01", "1753-01-01 00:00:00.000"},
                    DateCase{"9999-12-31 23:59:59.997", "9999-12-31 23:59:59.997"},
                    DateCase{"1752-12-31", nullptr}, DateCase{"2023-02-29", nullptr},
                    DateCase{"2024-13-01", nullptr}, DateCase{"2024-01-01 24:00", nullptr},
                    DateCase{"yesterday", nullptr}, DateCase{"", nullptr}));

TEST(DateTimeValue, DaysCountFrom1900) {
  EXPECT_EQ(ParseDateTime("1900-01-01")->days, 0);
  EXPECT_EQ(ParseDateTime("1899-12-31")->days, -1);
  EXPECT_EQ(ParseDateTime("2000-01-01")->days, 36524);
  EXPECT_EQ(ParseDateTime("1900-01-01 00:00:01")->ticks, 300u);
}

TEST(GuidText, RoundTripsWithSqlServerByteOrder) {
  std::optional<Guid> guid = ParseGuid("00112233-4455-6677-8899-aabbccddeeff");
  ASSERT_TRUE(guid);
  EXPECT_EQ(guid->bytes[0], 0x33);  // first group little-endian on the wire
  EXPECT_EQ(guid->bytes[4], 0x55);
  EXPECT_EQ(guid->bytes[8], 0x88);
  EXPECT_EQ(FormatGuid(*guid), "00112233-4455-6677-8899-AABBCCDDEEFF");
  EXPECT_TRUE(ParseGuid("{00112233-4455-6677-8899-AABBCCDDEEFF}"));
  EXPECT_FALSE(ParseGuid("00112233-4455-6677-8899-AABBCCDDEEF"));
  EXPECT_FALSE(ParseGuid("0011223344556677-8899-AABBCCDDEEFF-"));
}

TEST(DecimalText, RoundsHalfAwayFromZeroToTheScale) {
  EXPECT_EQ(FormatDecimal(*ParseDecimal("1.005", 2)), "1.01");
  EXPECT_EQ(FormatDecimal(*ParseDecimal("-1.005", 2)), "-1.01");
  EXPECT_EQ(FormatDecimal(*ParseDecimal("12", 3)), "12.000");
  EXPECT_EQ(FormatDecimal(*ParseDecimal(".5", 1)), "0.5");
  EXPECT_EQ(FormatDecimal(*ParseDecimal("12345678901234567890123456789012345678", 0)),
            "12345678901234567890123456789012345678");
  EXPECT_FALSE(ParseDecimal("1.2.3", 2));
  EXPECT_FALSE(ParseDecimal("abc", 2));
  EXPECT_FALSE(ParseDecimal("", 2));
}

TEST(TypeNames, ParseWithSqlServerDefaults) {
  EXPECT_EQ(TypeName(*ParseTypeName("NVARCHAR", 50)), "nvarchar(50)");
  EXPECT_EQ(TypeName(*ParseTypeName("varchar")), "varchar(1)");
  EXPECT_EQ(TypeName(*ParseTypeName("decimal")), "decimal(18,0)");
  EXPECT_EQ(TypeName(*ParseTypeName("sysname")), "nvarchar(128)");
  EXPECT_EQ(ParseTypeName("float", 24)->id, TypeId::Real);
  EXPECT_EQ(ParseTypeName("money")->scale, 4);
  EXPECT_FALSE(ParseTypeName("xml"));
}

}  // namespace
}  // namespace standin::engine
