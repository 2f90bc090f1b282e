#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "text/VisibleText.h"

namespace bw {
namespace {

struct Row {
  const char* name;
  const char* html;
  const char* text;
};

class VisibleTextRows : public ::testing::TestWithParam<Row> {};

TEST_P(VisibleTextRows, GivesWhatAReaderSees) {
  VisibleTextResult result = ExtractVisibleText(GetParam().html);
  EXPECT_EQ(result.text, GetParam().text);
  EXPECT_EQ(result.note, "");
}

INSTANTIATE_TEST_SUITE_P(
    Html, VisibleTextRows,
    ::testing::Values(
        Row{"AdjacentCells", "<table><tr><td>a</td><td>b</td></tr></table>", "a\tb"},
        Row{"CellsWithImpliedEnds", "<table><tr><td>a<td>b<tr><td>c</table>", "a\tb\nc"},
        Row{"Paragraphs", "<p>one</p><p>two</p>", "one\n\ntwo"},
        Row{"ParagraphsWithoutEndTags", "<p>one<p>two", "one\n\ntwo"},
        Row{"Divisions", "<div>a</div><div>b</div>", "a\nb"},
        Row{"Heading", "x<h1>T</h1>y", "x\nT\ny"}, Row{"LineBreak", "a<br>b<br/>c", "a\nb\nc"},
        Row{"BreakThenBlock", "<div>a<br></div><div>b</div>", "a\nb"},
        Row{"ListItems", "<ul><li>x</li><li>y</li></ul>", "x\ny"},
        Row{"ScriptsAndStyles", "<script>bad()</script>ok<style>p{color:red}</style>", "ok"},
        Row{"Template", "<template>t</template>v", "v"}, Row{"Comment", "a<!-- hidden -->b", "ab"},
        Row{"HeadAndTitle", "<head><title>T</title></head><body>x</body>", "x"},
        Row{"HiddenAttribute", "<span hidden>h</span>v", "v"},
        Row{"DisplayNone", "<div style=\"color:red; DISPLAY : none\">h</div>v", "v"},
        Row{"DisplayOverridden", "<div style=\"display:none;display:block\">s</div>", "s"},
        Row{"OtherProperty", "<div style=\"mydisplay:none\">s</div>", "s"},
        Row{"Entities", "&amp;&lt;&eacute;&#x263A;&#233;", "&<\xC3\xA9\xE2\x98\xBA\xC3\xA9"},
        Row{"WhiteSpaceCollapsed", "  a \n\t b  ", "a b"},
        Row{"SpaceAcrossInlineElements", "a <b> b </b> c", "a b c"},
        Row{"NoSpaceBetweenInlineElements", "<b>bo</b><i>ld</i>", "bold"},
        Row{"Preformatted", "<p>x</p><pre>  a\n  b</pre>", "x\n\n  a\n  b"},
        Row{"MisnestedFormatting", "<b><i>x</b>y</i>", "xy"},
        Row{"UnclosedAtEnd", "<div>unclosed <span>text", "unclosed text"},
        Row{"StrayLessThan", "1 < 2 <> 3", "1 < 2 <> 3"},
        Row{"UnterminatedComment", "a<!-- b", "a"},
        Row{"UnterminatedAttribute", "a<img alt='x>b", "a"},
        Row{"InvalidUtf8",
            "a\xFF"
            "b",
            "a\xEF\xBF\xBD"
            "b"},
        Row{"Empty", "", ""}),
    [](const auto& row) { return std::string(row.param.name); });

std::string Repeat(const std::string& part, std::size_t count) {
  std::string out;
  out.reserve(part.size() * count);
  for (std::size_t i = 0; i < count; ++i) out += part;
  return out;
}

struct NestingRow {
  const char* name;
  const char* open;
  bool cut;  // whether the walk had to stop before the end
};

class DeepNesting : public ::testing::TestWithParam<NestingRow> {};

// 100,000 open elements: the document is read up to the depth a browser
// would nest, or whole where the parser closes them itself.
TEST_P(DeepNesting, IsBoundedAndKeepsTheTextBeforeTheCut) {
  std::string html = Repeat(std::string(GetParam().open) + "w ", 100000) + "end";
  VisibleTextResult result = ExtractVisibleText(html);
  EXPECT_GE(std::count(result.text.begin(), result.text.end(), 'w'), 200)
      << result.text.substr(0, 40);
  if (GetParam().cut) {
    EXPECT_NE(result.note.find("nested deeper"), std::string::npos) << result.note;
    EXPECT_EQ(result.text.find("end"), std::string::npos);
  } else {
    EXPECT_EQ(result.note, "");
    EXPECT_NE(result.text.find("end"), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Html, DeepNesting,
                         ::testing::Values(NestingRow{"Divisions", "<div>", true},
                                           NestingRow{"Spans", "<span>", true},
                                           NestingRow{"SelfClosingDivisions", "<div/>", true},
                                           NestingRow{"Formatting", "<b>", true},
                                           NestingRow{"SvgGroups", "<svg><g>", true},
                                           NestingRow{"Paragraphs", "<p>", false},
                                           NestingRow{"ListItems", "<li>", false},
                                           NestingRow{"Links", "<a href=x>", false},
                                           NestingRow{"Breaks", "<br>", false},
                                           NestingRow{"SvgSelfClosed", "<svg/>", false}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(VisibleText, FiftyMegabytesAreReadUpToTheInputBound) {
  std::string html = "<html><body>" + Repeat("<p>word <b>bold</b> &amp; more</p>\n", 1500000);
  ASSERT_GT(html.size(), 50u << 20);
  VisibleTextResult result = ExtractVisibleText(html);
  EXPECT_NE(result.note.find("longer than"), std::string::npos) << result.note;
  EXPECT_EQ(result.text.substr(0, 27), "word bold & more\n\nword bold");
  EXPECT_GT(result.text.size(), 5u << 20);
}

TEST(VisibleText, TheWalkStopsAtTheTimeBound) {
  TextBounds bounds;
  bounds.maxTime = std::chrono::milliseconds(0);
  VisibleTextResult result = ExtractVisibleText(Repeat("<i>x</i>", 5000), bounds);
  EXPECT_NE(result.note.find("stopped"), std::string::npos);
  EXPECT_LT(result.text.size(), 5000u);
}

TEST(VisibleText, DepthPrefixEndsBeforeTheTagThatGoesTooDeep) {
  std::string html = "<div><div><div>x</div></div></div><div><div><div>";
  EXPECT_EQ(PrefixWithinDepth(html, 3), html.size());
  EXPECT_EQ(PrefixWithinDepth(html, 2), std::string("<div><div>").size());
  EXPECT_EQ(PrefixWithinDepth("<script><div><div><div></script>", 1), 32u);
  EXPECT_EQ(PrefixWithinDepth("<div title='<div><div>'>", 1), 24u);
}

}  // namespace
}  // namespace bw
