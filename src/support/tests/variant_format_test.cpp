#include <gtest/gtest.h>

#include "support/Error.h"
#include "support/Variant.h"

namespace bw {
namespace {

TEST(Variant, TextForms) {
  EXPECT_EQ(Variant().ToText(), "");
  EXPECT_EQ(Variant::Null().ToText(), "");
  EXPECT_EQ(Variant(-42).ToText(), "-42");
  EXPECT_EQ(Variant(0.1).ToText(), "0.1");
  EXPECT_EQ(Variant(1e20).ToText(), "1E+20");
  EXPECT_EQ(Variant(false).ToText(), "False");
  EXPECT_EQ(Variant(std::vector<std::uint8_t>{0x47, 0x0A}).ToText(), "470A");
  EXPECT_EQ(Variant(MakeDate(2003, 1, 1)).ToText(), "2003-01-01");
  EXPECT_EQ(Variant(MakeDate(2003, 1, 1, 13, 5, 9)).ToText(), "2003-01-01 13:05:09");
}

TEST(Variant, NumberAndBooleanConversions) {
  EXPECT_EQ(Variant(" 161 ").ToInteger(), 161);
  EXPECT_DOUBLE_EQ(Variant("1.5").ToDouble(), 1.5);
  EXPECT_EQ(Variant(2.5).ToInteger(), 2);  // half to even
  EXPECT_EQ(Variant(3.5).ToInteger(), 4);
  EXPECT_TRUE(Variant("1").ToBoolean());
  EXPECT_FALSE(Variant("0").ToBoolean());
  EXPECT_TRUE(Variant("True").ToBoolean());
  EXPECT_FALSE(Variant("false").ToBoolean());
  EXPECT_FALSE(Variant::Null().ToBoolean());
  EXPECT_TRUE(Variant("12").IsNumeric());
  EXPECT_FALSE(Variant("12a").IsNumeric());
  try {
    Variant("abc").ToDouble();
    FAIL();
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), 13);
  }
}

TEST(Dates, OleDayNumbers) {
  EXPECT_DOUBLE_EQ(MakeDate(2003, 1, 1).oleDate, 37622);
  EXPECT_DOUBLE_EQ(MakeDate(1899, 12, 30).oleDate, 0);
  EXPECT_DOUBLE_EQ(MakeDate(1900, 3, 1).oleDate, 61);
  DateParts p = SplitDate(DateValue{37622.75});
  EXPECT_EQ(p.year, 2003);
  EXPECT_EQ(p.month, 1);
  EXPECT_EQ(p.day, 1);
  EXPECT_EQ(p.hour, 18);
  EXPECT_EQ(p.dayOfWeek, 4);  // a Wednesday
  // A date before day zero keeps its time of day as a positive fraction.
  DateParts before = SplitDate(DateValue{-1.25});
  EXPECT_EQ(before.day, 29);
  EXPECT_EQ(before.hour, 6);
}

TEST(FormatValue, NumberPatterns) {
  struct Row {
    double value;
    const char* pattern;
    const char* expected;
  };
  for (Row r :
       {Row{1234567.891, "#,##0.00", "1,234,567.89"}, Row{0.5, "#.##", ".5"}, Row{5, "#.##", "5."},
        Row{7, "000", "007"}, Row{-3.456, "0.0", "-3.5"}, Row{-0.01, "0.0", "0.0"},
        Row{2.5, "0", "3"}, Row{12, "0 MB", "12 MB"}, Row{0.25, "0.00\\%", "0.25%"}}) {
    EXPECT_EQ(FormatValue(Variant(r.value), r.pattern), r.expected) << r.pattern;
  }
}

TEST(FormatValue, DatePatternsAndWeeks) {
  Variant date(MakeDate(2003, 1, 4, 9, 7, 5));  // Saturday of week 1
  EXPECT_EQ(FormatValue(date, "dd.mm.yyyy hh:nn:ss"), "04.01.2003 09:07:05");
  EXPECT_EQ(FormatValue(date, "d/m/yy"), "4/1/03");
  EXPECT_EQ(FormatValue(date, "dddd, mmmm d"), "Saturday, January 4");
  EXPECT_EQ(FormatValue(date, "hh:mm"), "09:07");  // m after h is minutes
  EXPECT_EQ(FormatValue(date, "w ww"), "7 1");
  EXPECT_EQ(FormatValue(Variant(MakeDate(2003, 1, 5)), "w ww"), "1 2");  // Sunday starts week 2
  EXPECT_EQ(FormatValue(Variant(MakeDate(2003, 12, 31)), "y"), "365");
}

}  // namespace
}  // namespace bw
