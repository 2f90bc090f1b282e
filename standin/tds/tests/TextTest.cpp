#include <gtest/gtest.h>

#include "tds/Bytes.h"
#include "tds/Text.h"

namespace standin::tds {
namespace {

TEST(Text, Cp1252RoundTripsEveryCharacterItHolds) {
  struct Case {
    std::string utf8;
    std::string cp1252;
  };
  const Case cases[] = {
      {"plain", "plain"},
      {"", ""},
      {"\xE2\x82\xAC 5", "\x80 5"},  // euro sign lives at 0x80
      {"Gr\303\274\303\237e",
       "Gr\xFC\xDF"
       "e"},  // umlaut and sharp s
      {"\xE2\x80\x9Cquoted\xE2\x80\x9D", "\x93quoted\x94"},
      {"\xC2\x81", "\x81"},  // undefined in 1252: kept as the C1 control
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToCp1252(c.utf8), c.cp1252) << c.utf8;
    EXPECT_EQ(Cp1252ToUtf8(c.cp1252), c.utf8) << c.utf8;
  }
}

TEST(Text, CharactersOutsideCp1252BecomeQuestionMarks) {
  EXPECT_EQ(Utf8ToCp1252("a\xE4\xB8\xAD"
                         "b\xF0\x9F\x98\x80"
                         "c"),
            "a?b?c");
  EXPECT_EQ(Utf8ToCp1252("bad \xFF byte"), "bad ? byte");
}

TEST(Text, Utf16HandlesSurrogatesAndBrokenInput) {
  std::string emoji = "\xF0\x9F\x98\x80";
  EXPECT_EQ(Utf8ToUtf16(emoji), std::u16string(u"\xD83D\xDE00"));
  EXPECT_EQ(Utf16ToUtf8(u"\xD83D\xDE00"), emoji);
  // An unpaired surrogate and truncated UTF-8 become U+FFFD, keeping lengths sane.
  EXPECT_EQ(Utf16ToUtf8(u"a\xD800"
                        u"b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Utf8ToUtf16("a\xE2\x82"), std::u16string(u"a\xFFFD\xFFFD"));
  EXPECT_THROW(Utf16LeBytesToUtf8(std::vector<std::uint8_t>{'a', 0, 'b'}), ProtocolError);

  std::vector<std::uint8_t> wire;
  AppendUtf16Le(wire, "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(wire, (std::vector<std::uint8_t>{0xE9, 0, 't', 0, 0xE9, 0}));
  EXPECT_EQ(Utf16LeBytesToUtf8(wire), "\xC3\xA9t\xC3\xA9");
}

}  // namespace
}  // namespace standin::tds
