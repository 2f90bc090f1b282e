#include "platform/HiveFormat.h"

#include <gtest/gtest.h>

namespace bw {
namespace {

using namespace std::string_view_literals;

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

// A tree holding every form the writer knows, and names that need escaping.
std::unique_ptr<HiveKey> SampleTree() {
  auto root = std::make_unique<HiveKey>();
  HiveKey& servers = root->Create({"Software", "Brindlewick Server Manager", "Database Servers"});
  servers.SetValue("LastServerID", {kRegDword, {3, 0, 0, 0}});
  HiveKey& three =
      root->Create({"Software", "Brindlewick Server Manager", "Database Servers", "3"});
  three.SetValue("ConnectionString", {kRegSz, Bytes("Data Source=HOST\\SQL;Password=\"x\"\0"sv)});
  three.SetValue("Empty", {kRegSz, {0}});
  three.SetValue("Lines", {kRegSz, Bytes("a\nb\tc\r\x01\x7f\xc3\xa4\0"sv)});
  three.SetValue("Path", {kRegExpandSz, Bytes("%HOME%\\x\0"sv)});
  three.SetValue("Multi", {kRegMultiSz, Bytes("one\0two\0\0"sv)});
  three.SetValue("NoStrings", {kRegMultiSz, {0}});
  three.SetValue("Blob", {kRegBinary, {0, 1, 0, 0xff}});
  three.SetValue("NoBytes", {kRegBinary, {}});
  three.SetValue("BigEndian", {kRegDwordBigEndian, {1, 2, 3, 4}});
  // Bytes no string form can carry must survive as raw bytes.
  three.SetValue("Unterminated", {kRegSz, Bytes("abc")});
  three.SetValue("ShortDword", {kRegDword, {1, 2}});
  three.SetValue("Qword", {11, {1, 2, 3, 4, 5, 6, 7, 8}});
  three.SetValue("", {kRegSz, Bytes("default\0"sv)});
  three.SetValue("Name \"with\" \\ and =", {kRegNone, {}});
  root->Create({"Software", "Key ] with [ brackets", "\xc3\x84hnlich"});
  root->SetValue("AtRoot", {kRegDword, {0, 0, 0, 0x80}});
  return root;
}

void ExpectSameTree(const HiveKey& expected, const HiveKey& actual, const std::string& path) {
  EXPECT_EQ(expected.values, actual.values) << path;
  ASSERT_EQ(expected.subKeys.size(), actual.subKeys.size()) << path;
  auto e = expected.subKeys.begin();
  auto a = actual.subKeys.begin();
  for (; e != expected.subKeys.end(); ++e, ++a) {
    EXPECT_EQ(e->first, a->first) << path;
    ExpectSameTree(*e->second, *a->second, path + "\\" + e->first);
  }
}

TEST(HiveFormat, EveryValueAndNameSurvivesTheTextForm) {
  auto tree = SampleTree();
  std::string text = SerializeHive(*tree);
  auto parsed = ParseHive(text);
  ExpectSameTree(*tree, *parsed, "");
  EXPECT_EQ(SerializeHive(*parsed), text);
}

// Stored hives must stay readable by later builds: this pins the text form.
TEST(HiveFormat, TextFormIsReadable) {
  HiveKey root;
  HiveKey& key = root.Create({"Software", "Brindlewick Server Manager", "Database Servers", "3"});
  key.SetValue("ConnectionString", {kRegSz, Bytes("Data Source=A\\B\0"sv)});
  key.SetValue("OrdinalPosition", {kRegDword, {0x2a, 0, 0, 0}});
  key.SetValue("Blob", {kRegBinary, {0, 0xab}});
  key.SetValue("Order", {kRegDwordBigEndian, {0, 0, 1, 2}});
  key.SetValue("List", {kRegMultiSz, Bytes("a\0b\0\0"sv)});
  key.SetValue("Home", {kRegExpandSz, Bytes("$HOME\0"sv)});
  key.SetValue("Raw", {9, {1}});
  EXPECT_EQ(SerializeHive(root),
            "Brindlewick registry hive 1\n\n"
            "[Software]\n\n"
            "[Software\\Brindlewick Server Manager]\n\n"
            "[Software\\Brindlewick Server Manager\\Database Servers]\n\n"
            "[Software\\Brindlewick Server Manager\\Database Servers\\3]\n"
            "\"ConnectionString\"=sz:\"Data Source=A\\\\B\"\n"
            "\"OrdinalPosition\"=dword:0000002a\n"
            "\"Blob\"=binary:00ab\n"
            "\"Order\"=dword_be:00000102\n"
            "\"List\"=multi_sz:\"a\\0b\\0\"\n"
            "\"Home\"=expand_sz:\"$HOME\"\n"
            "\"Raw\"=hex(9):01\n\n");
}

TEST(HiveFormat, HandEditedDetailsAreAccepted) {
  auto root = ParseHive(
      "Brindlewick registry hive 1\r\n"
      "; a comment\n"
      "# another\n"
      "[Software\\Deep\\Key]\r\n"
      "\"N\"=binary:00, 01,FF\n"
      "\"D\"=dword:2a\n"
      "[software\\DEEP]\n"
      "\"N\"=sz:\"x\"\n");
  HiveKey* deep = root->Find({"SOFTWARE", "deep"});
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(root->subKeys.begin()->first, "Software");  // first spelling kept
  EXPECT_EQ(*deep->FindValue("n"), (RegistryValue{kRegSz, {'x', 0}}));
  HiveKey* key = root->Find({"Software", "Deep", "Key"});
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(*key->FindValue("N"), (RegistryValue{kRegBinary, {0, 1, 0xff}}));
  EXPECT_EQ(*key->FindValue("D"), (RegistryValue{kRegDword, {0x2a, 0, 0, 0}}));
}

TEST(HiveFormat, MalformedTextsNameTheirLine) {
  struct Case {
    const char* text;
    int line;
  };
  const Case cases[] = {
      {"garbage\n", 1},
      {"Brindlewick registry hive\n", 1},
      {"Brindlewick registry hive 1x\n", 1},
      {"\x01\x02garbage", 1},
      {"Brindlewick registry hive 1\n\"v\"=sz:\"x\"\n", 2},
      {"Brindlewick registry hive 1\n[A\n", 2},
      {"Brindlewick registry hive 1\n[A\\\\B]\n", 2},
      {"Brindlewick registry hive 1\n[A]\nv=sz:\"x\"\n", 3},
      {"Brindlewick registry hive 1\n[A]\n\"v\"sz:\"x\"\n", 3},
      {"Brindlewick registry hive 1\n[A]\n\"v\"=sz:\"x\n", 3},
      {"Brindlewick registry hive 1\n[A]\n\"v\"=sz:\"x\" y\n", 3},
      {"Brindlewick registry hive 1\n[A]\n\"v\"=sz:\"\\q\"\n", 3},
      {"Brindlewick registry hive 1\n[A]\n\"v\"=sz:\"\\x4\"\n", 3},
      {"Brindlewick registry hive 1\n[A]\n\"v\"=binary:abc\n", 3},
      {"Brindlewick registry hive 1\n[A]\n\"v\"=binary:zz\n", 3},
      {"Brindlewick registry hive 1\n[A]\n\"v\"=dword:123456789\n", 3},
      {"Brindlewick registry hive 1\n[A]\n\"v\"=dword:\n", 3},
      {"Brindlewick registry hive 1\n[A]\n\"v\"=qword:01\n", 3},
      {"Brindlewick registry hive 1\n[A]\n\"v\"=hex(x):01\n", 3},
      {"Brindlewick registry hive 1\n[A]\n\"v\"\n", 3},
      // A truncated file: the last line stops inside a value.
      {"Brindlewick registry hive 1\n[A]\n\"v\"=sz:\"Data Sou", 3},
  };
  for (const auto& c : cases) {
    try {
      ParseHive(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const HiveParseError& e) {
      EXPECT_EQ(e.Line(), c.line) << c.text << " -> " << e.what();
      EXPECT_FALSE(e.NewerVersion()) << c.text;
    }
  }
}

TEST(HiveFormat, NewerVersionIsNotDamage) {
  try {
    ParseHive("Brindlewick registry hive 2\n[A]\n\"v\"=future:1\n");
    FAIL() << "read a newer format";
  } catch (const HiveParseError& e) {
    EXPECT_TRUE(e.NewerVersion());
  }
  EXPECT_TRUE(ParseHive("")->subKeys.empty());
}

TEST(HiveFormat, KeyPathsSplitLikeTheRegistry) {
  using Names = std::vector<std::string>;
  EXPECT_EQ(SplitKeyPath(""), Names{});
  EXPECT_EQ(SplitKeyPath("A\\B c\\3"), (Names{"A", "B c", "3"}));
  EXPECT_EQ(SplitKeyPath("A\\B\\"), (Names{"A", "B"}));
  EXPECT_EQ(SplitKeyPath(std::string(255, 'k')), Names{std::string(255, 'k')});
  for (const std::string& bad :
       std::vector<std::string>{"\\A", "A\\\\B", "A\\\\", "A\nB", std::string(256, 'k')}) {
    EXPECT_FALSE(SplitKeyPath(bad).has_value()) << bad;
  }
}

}  // namespace
}  // namespace bw
