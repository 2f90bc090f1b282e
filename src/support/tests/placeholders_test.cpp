#include "support/Placeholders.h"

#include <gtest/gtest.h>

#include "support/Error.h"

namespace bw {
namespace {

struct Case {
  const char* name;
  std::string text;
  std::vector<Variant> args;
  std::string expected;
};

// Test names come from the rows; printing only the name keeps them readable.
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

class PlaceholderFormatting : public ::testing::TestWithParam<Case> {};

TEST_P(PlaceholderFormatting, Produces) {
  const Case& c = GetParam();
  EXPECT_EQ(FormatPlaceholders(c.text, c.args), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaceholderFormatting,
    ::testing::Values(
        Case{"InOrder", "Is '[*]' on '[*]'?", {"a", "b"}, "Is 'a' on 'b'?"},
        Case{"EmptyConsumesValue", "[][*]", {"a", "b"}, "b"},
        Case{"DoubleBackslash", "C:\\\\dir", {}, "C:\\dir"},
        Case{"EscapedBracketIsLiteral", "\\[*] stays", {"x"}, "[*] stays"},
        Case{"EscapedBracketThenPlaceholder", "\\[x] [*]", {"v"}, "[x] v"},
        Case{"NewlineIsCrLf", "a\\nb", {}, "a\r\nb"}, Case{"TabAndCr", "a\\tb\\rc", {}, "a\tb\rc"},
        Case{"RealLineFeedUntouched", "line one\nline two '[*]'", {"x"}, "line one\nline two 'x'"},
        Case{"ValueIsNeverScanned", "[*] and [*]", {"[*]", "b"}, "[*] and b"},
        Case{"ValueWithBackslashN", "[*]", {"\\n"}, "\\n"},
        Case{"NoPlaceholders", "plain text", {}, "plain text"},
        Case{"PositionalKeepsOrder", "[2:*] [*] [*]", {"a", "b"}, "b a b"},
        Case{"PositionalBeyondLastClamps", "[9:*]", {"a", "b"}, "b"},
        Case{"PositionalAfterValueResumesDirectly", "[1:*][*]", {"a", "b"}, "aa"},
        Case{"BracketInsideValueThenPlaceholder", "[*]x[*]", {"]", "y"}, "]xy"},
        Case{"NumbersAndBooleans", "[*]/[*]/[*]", {42, 2.5, true}, "42/2.5/True"},
        Case{"NullIsEmpty", "<[*]>", {Variant::Null()}, "<>"},
        Case{"NumberPattern", "[#,##0.00]", {1234567.891}, "1,234,567.89"},
        Case{"DatePattern", "[yyyy-mm-dd]", {Variant(MakeDate(2003, 1, 1))}, "2003-01-01"},
        Case{"PositionalPattern", "[1:0.0] [*]", {3.14159}, "3.1 3.14159"},
        Case{"NonAscii", "Größe '[*]'", {"Ä"}, "Größe 'Ä'"}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

struct ErrorCase {
  const char* name;
  std::string text;
  std::vector<Variant> args;
  std::int32_t number;
  std::string source;
  std::string description;
};

void PrintTo(const ErrorCase& c, std::ostream* os) {
  *os << c.name;
}

class PlaceholderErrors : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(PlaceholderErrors, Raises) {
  const ErrorCase& c = GetParam();
  try {
    FormatPlaceholders(c.text, c.args);
    FAIL() << "no error raised";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), c.number);
    EXPECT_EQ(e.Source(), c.source);
    EXPECT_EQ(e.Description(), c.description);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PlaceholderErrors,
    ::testing::Values(
        ErrorCase{"TooFewValues",
                  "[*] and [*]",
                  {"a"},
                  kErrMissingValue,
                  "printf",
                  "Missing value in printf-call for format string '[*]'!"},
        ErrorCase{"NoValuesAtAll",
                  "[*]",
                  {},
                  kErrMissingValue,
                  "printf",
                  "Missing value in printf-call for format string '[*]'!"},
        ErrorCase{"PatternWithoutValue",
                  "[2:#0]",
                  {},
                  kErrMissingValue,
                  "printf",
                  "Missing value in printf-call for format string '[#0]'!"},
        ErrorCase{"UnclosedBracket",
                  "abc[",
                  {},
                  kErrMissingBracket,
                  "printf",
                  "Missing ']' after '[' at position 4!"},
        ErrorCase{"UnclosedAfterEscapes",
                  "\\n[",
                  {},
                  kErrMissingBracket,
                  "printf",
                  "Missing ']' after '[' at position 3!"},
        ErrorCase{"UnclosedAfterUmlaut",
                  "ä[",
                  {},
                  kErrMissingBracket,
                  "printf",
                  "Missing ']' after '[' at position 2!"},
        ErrorCase{"ScriptCode",
                  "[=1+1]",
                  {"a"},
                  kErrScriptCode,
                  "sprintf",
                  "No script code allowed in placeholder string. Use the sprintf COM-component "
                  "instead."},
        ErrorCase{"ScriptCodeAfterPrefix",
                  "[1:=x]",
                  {"a"},
                  kErrScriptCode,
                  "sprintf",
                  "No script code allowed in placeholder string. Use the sprintf COM-component "
                  "instead."}),
    [](const auto& testInfo) { return std::string(testInfo.param.name); });

TEST(PlaceholderTexts, MessageWithValueFromTable) {
  EXPECT_EQ(FormatResString(64, {"SRV1"}), "Do you want to start the SQL Server 'SRV1'?");
}

}  // namespace
}  // namespace bw
