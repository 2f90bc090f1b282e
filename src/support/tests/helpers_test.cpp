#include "support/Helpers.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace bw {
namespace {

TEST(IsValidName, AcceptsOnlyAsciiLettersDigitsAndUnderscore) {
  for (const char* good : {"", "Archive", "archive_2", "_", "A1b2C3"}) {
    EXPECT_TRUE(IsValidName(good)) << good;
  }
  for (const char* bad : {"a-b", "a b", "Größe", "[x]", "a.b", "a'b", "a;b", "\xC3"}) {
    EXPECT_FALSE(IsValidName(bad)) << bad;
  }
}

TEST(SanitizeFileName, ReplacesTheNineForbiddenCharacters) {
  EXPECT_EQ(SanitizeFileName("\\/:*?<>|\""), "         ");
  EXPECT_EQ(SanitizeFileName("Report: 2003/01?"), "Report  2003 01 ");
  EXPECT_EQ(SanitizeFileName("plain name.txt"), "plain name.txt");
  EXPECT_EQ(SanitizeFileName("Ä*Ö"), "Ä Ö");
}

TEST(ReplaceText, CountStartAndCompareMode) {
  EXPECT_EQ(ReplaceText("a.b.c", ".", "", 1, 1), "ab.c");
  EXPECT_EQ(ReplaceText("a.b.c", ".", ""), "abc");
  EXPECT_EQ(ReplaceText("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceText("aaaa", "aa", "b"), "bb");  // non-overlapping
  EXPECT_EQ(ReplaceText("aXbxc", "x", "-", 1, 100, CompareMode::Text), "a-b-c");
  EXPECT_EQ(ReplaceText("aXbxc", "x", "-", 1, 100, CompareMode::Binary), "aXb-c");
  EXPECT_EQ(ReplaceText("x.x.x", "x", "y", 3), "x.y.y");
  EXPECT_EQ(ReplaceText("short", "longer than text", "x"), "short");
  // The work buffer is reused: a long result followed by a short one must not
  // leak old characters.
  std::string longResult = ReplaceText(std::string(1000, 'a'), "a", "bb");
  EXPECT_EQ(longResult.size(), 2000u);
  EXPECT_EQ(ReplaceText("ab", "a", "c"), "cb");
}

TEST(NewGUIDString, RegistryFormUniqueUpperCase) {
  const std::regex form("\\{[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}\\}");
  std::set<std::string> seen;
  for (int i = 0; i < 100; ++i) {
    std::string guid = NewGUIDString();
    ASSERT_EQ(guid.size(), 38u);
    EXPECT_TRUE(std::regex_match(guid, form)) << guid;
    seen.insert(guid);
  }
  EXPECT_EQ(seen.size(), 100u);
}

TEST(WindowsVersion, ClassesAndThisPlatform) {
  struct Row {
    int platform, major, minor, expected;
  };
  for (Row r :
       {Row{2, 5, 0, 3}, Row{2, 5, 1, 5}, Row{2, 5, 2, 5}, Row{2, 4, 0, 2}, Row{2, 6, 0, 2},
        Row{2, 10, 0, 2}, Row{1, 4, 0, 0}, Row{1, 4, 10, 1}, Row{1, 4, 90, 4}, Row{1, 4, 3, 0}}) {
    EXPECT_EQ(WindowsVersionClass(r.platform, r.major, r.minor), r.expected)
        << r.platform << " " << r.major << "." << r.minor;
  }
  EXPECT_EQ(GetWindowsVersion(), 2);
}

}  // namespace
TEST(Helpers, LowerAsciiAndTrimBlanksTouchOnlyWhatTheySay) {
  // Names from the server: only ASCII letters change case, only spaces go.
  EXPECT_EQ(LowerAscii("Brindlewick_ÄRCHIV"), "brindlewick_Ärchiv");
  EXPECT_EQ(TrimBlanks("  Doc_Desc \t "), "Doc_Desc \t");
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(Trim("\t a b \t\r"), "a b \t\r");
  EXPECT_EQ(Trim("\t a b \t\r", " \t\r"), "a b");
  EXPECT_EQ(Trim(" \t "), "");
}

TEST(Helpers, CaseIsIgnoredForAsciiLettersOnly) {
  EXPECT_TRUE(EqualsIgnoreCase("Brindlewick_Vault", "BRINDLEWICK_vault"));
  EXPECT_FALSE(EqualsIgnoreCase("Vault", "Vaults"));
  // Bytes of UTF-8 letters are compared as they are, under any locale.
  EXPECT_FALSE(EqualsIgnoreCase("\xC3\x84", "\xC3\xA4"));
  EXPECT_TRUE(EqualsIgnoreCase("", ""));
  EXPECT_TRUE(StartsWithIgnoreCase("PROVIDER=SQLOLEDB;Data Source=x", "provider=sqloledb;"));
  EXPECT_FALSE(StartsWithIgnoreCase("Prov", "Provider"));
  EXPECT_TRUE(StartsWithIgnoreCase("x", ""));
  EXPECT_TRUE(ContainsIgnoreCase("StaticNode.Server_3.Users", ".USERS"));
  EXPECT_FALSE(ContainsIgnoreCase("StaticNode", "nodes"));
  EXPECT_TRUE(ContainsIgnoreCase("", ""));
}

}  // namespace bw
