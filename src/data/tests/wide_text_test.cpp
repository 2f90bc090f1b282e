#include <gtest/gtest.h>

#include "OdbcSupport.h"

namespace bw {
namespace {

TEST(WideText, Utf8BecomesUtf16) {
  struct Row {
    std::string utf8;
    std::vector<SQLWCHAR> wide;
  };
  for (const Row& r : {
           Row{"", {0}},
           Row{"PWD=x;", {'P', 'W', 'D', '=', 'x', ';', 0}},
           Row{"\xC3\xBC\xC3\xA9\xE2\x82\xAC", {0xFC, 0xE9, 0x20AC, 0}},  // üé€
           Row{"\xF0\x9F\x98\x80", {0xD83D, 0xDE00, 0}},                  // outside the BMP
           // Malformed bytes stand for themselves as U+FFFD, never as Latin-1.
           Row{"a\xC3", {'a', 0xFFFD, 0}},
           Row{"\xC0\xAF", {0xFFFD, 0xFFFD, 0}},              // overlong "/"
           Row{"\xED\xA0\x80", {0xFFFD, 0xFFFD, 0xFFFD, 0}},  // a surrogate
           Row{"\xFF"
               "b",
               {0xFFFD, 'b', 0}},
       }) {
    EXPECT_EQ(odbc::WideText(r.utf8), r.wide) << r.utf8;
  }
}

TEST(WideText, Utf16BecomesUtf8) {
  for (const std::string text : {"", "plain", "\xC3\xBC\xC3\xA9\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
    std::vector<SQLWCHAR> wide = odbc::WideText(text);
    EXPECT_EQ(odbc::Utf8Text(wide.data(), wide.size() - 1), text);
  }
  const SQLWCHAR lone[] = {'a', 0xD83D, 'b', 0xDE00};
  EXPECT_EQ(odbc::Utf8Text(lone, 4),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
}

}  // namespace
}  // namespace bw
