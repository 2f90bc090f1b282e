#include <gtest/gtest.h>

#include <string>

#include "text/HtmlCleanup.h"
#include "text/VisibleText.h"

namespace bw {
namespace {

struct Row {
  const char* name;
  const char* html;
  const char* cleaned;
};

class HtmlCleanupRows : public ::testing::TestWithParam<Row> {};

TEST_P(HtmlCleanupRows, Cleans) {
  std::string html = GetParam().html;
  CleanHtml(html);
  EXPECT_EQ(html, GetParam().cleaned);
}

INSTANTIATE_TEST_SUITE_P(
    Patterns, HtmlCleanupRows,
    ::testing::Values(
        Row{"DoubleQuotedAddress", "<img src=\"http://x.test/a.gif\">", "<img src=''>"},
        Row{"SingleQuotedAddress", "<a HREF='HTTP://x.test/'>l</a>", "<a HREF=''>l</a>"},
        // The bare form takes one character after the scheme: the address
        // is broken, which is all it needs to be.
        Row{"BareAddress", "<a href=http://x.test>l</a>", "<a href=''.test>l</a>"},
        Row{"RelativeAddressKept", "<a href=\"a/b.htm\">l</a>", "<a href=\"a/b.htm\">l</a>"},
        Row{"SecureAddressKept", "<a href=\"https://x\">l</a>", "<a href=\"https://x\">l</a>"},
        Row{"CellEnds", "<td>a</td><TD>b</TD>", "<td>a </td><TD>b </td>"},
        Row{"Object", "a<object data=x><param name=p></object>b", "ab"},
        Row{"EachObjectToItsOwnEnd", "a<embed src=x></embed>keep<EMBED></embed>b", "akeepb"},
        Row{"Applet", "a<applet code=x>fallback</applet>b", "ab"},
        Row{"UnclosedObjectKept", "a<object>b", "a<object>b"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(HtmlCleanup, AdjacentCellsStaySeparatedAfterCleaning) {
  std::string html = "<table><tr><td>a</td><td>b</td></tr></table>";
  CleanHtml(html);
  EXPECT_EQ(ExtractVisibleText(html).text, "a\tb");
}

TEST(HtmlCleanup, IsLinearOnManyUnclosedObjects) {
  std::string html;
  for (int i = 0; i < 200000; ++i) html += "<object>";
  std::string before = html;
  CleanHtml(html);
  EXPECT_EQ(html, before);
}

}  // namespace
}  // namespace bw
