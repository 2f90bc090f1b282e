#include "support/CodePage.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace bw {
namespace {

std::string AsString(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

TEST(CodePage, Windows1252UpperHalfRoundTripsAllBytes) {
  // Every byte 0x80-0xFF decodes to something and encodes back to itself,
  // including the five that glibc's table leaves undefined.
  std::string bytes;
  for (int b = 0x80; b <= 0xFF; ++b) bytes.push_back(static_cast<char>(b));
  std::string text = CodePageBytesToText(bytes, 1252);
  EXPECT_EQ(text.find("\xEF\xBF\xBD"), std::string::npos) << "a byte did not decode";
  auto back = TextToCodePageBytes(text, 1252);
  ASSERT_FALSE(back.empty());
  EXPECT_EQ(back.back(), 0);
  back.pop_back();
  EXPECT_EQ(AsString(back), bytes);
}

TEST(CodePage, Windows1252KnownCharacters) {
  EXPECT_EQ(CodePageBytesToText("\x80\x81\x8D\x8F\x90\x9D\x9F", 1252),
            "\u20AC\u0081\u008D\u008F\u0090\u009D\u0178");
  EXPECT_EQ(AsString(TextToCodePageBytes("\u20AC \u00E4", 1252)), std::string("\x80 \xE4\0", 4));
}

TEST(CodePage, DoubleByteJapanese) {
  const std::string text = "\u65E5\u672C\u8A9E abc";  // 日本語 abc
  auto bytes = TextToCodePageBytes(text, 932);
  EXPECT_EQ(AsString(bytes), std::string("\x93\xFA\x96\x7B\x8C\xEA abc\0", 11));
  EXPECT_EQ(CodePageBytesToText(AsString(bytes), 932), text);
}

TEST(CodePage, UnmappableCharactersBecomeQuestionMarks) {
  // No best-fit: the Greek alpha does not become "a" in 1252.
  EXPECT_EQ(AsString(TextToCodePageBytes("x\u03B1y\U0001F600z", 1252)), std::string("x?y?z\0", 6));
  EXPECT_EQ(AsString(TextToCodePageBytes("\u00E9", 20127)), std::string("?\0", 2));
}

TEST(CodePage, StopsAtFirstNulAndHandlesEmpty) {
  EXPECT_EQ(CodePageBytesToText(std::string("ab\0cd", 5), 1252), "ab");
  EXPECT_EQ(AsString(TextToCodePageBytes("", 1252)), std::string(1, '\0'));
  EXPECT_EQ(CodePageBytesToText("", 1252), "");
}

TEST(CodePage, UnknownCodePageFails) {
  EXPECT_TRUE(TextToCodePageBytes("abc", 12345).empty());
  EXPECT_EQ(CodePageBytesToText("abc", 12345), "");
  EXPECT_EQ(IconvNameForCodePage(437), nullptr);
}

TEST(CodePage, EverySupportedCodePageConvertsAscii) {
  for (int cp : {874,   932,   936,   949,   950,   1250,  1251,  1252,  1253,
                 1254,  1255,  1256,  1257,  1258,  20127, 28591, 28592, 28593,
                 28594, 28595, 28596, 28597, 28598, 28599, 28603, 28605, 65001}) {
    EXPECT_EQ(AsString(TextToCodePageBytes("Hello?", cp)), std::string("Hello?\0", 7)) << cp;
    EXPECT_EQ(CodePageBytesToText("Hello?", cp), "Hello?") << cp;
  }
}

TEST(CodePage, StatefulDecoderDoesNotDropTheLastCharacter) {
  // glibc's CP1255 decoder holds back a character that might combine.
  EXPECT_EQ(CodePageBytesToText("\xE0", 1255), "\u05D0");
  EXPECT_EQ(CodePageBytesToText("ab\xE0", 1255), "ab\u05D0");
}

TEST(CodePage, MinusOneMeansTheAnsiCodePage) {
  ::setenv("BW_ANSI_CODE_PAGE", "1251", 1);
  EXPECT_EQ(GetAnsiCodePage(), 1251);
  EXPECT_EQ(CodePageBytesToText("\xC0", -1), "\u0410");
  ::unsetenv("BW_ANSI_CODE_PAGE");
  EXPECT_EQ(GetAnsiCodePage(), 1252);
  EXPECT_EQ(CodePageBytesToText("\xC0", -1), "\u00C0");
}

class TextFile : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Dir = std::filesystem::temp_directory_path() /
            ("bw-codepage-" + std::to_string(::getpid()) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(m_Dir);
  }
  void TearDown() override { std::filesystem::remove_all(m_Dir); }
  std::string Read(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::filesystem::path m_Dir;
};

TEST_F(TextFile, WritesConvertedBytesWithoutNul) {
  auto path = m_Dir / "a.txt";
  EXPECT_TRUE(WriteTextFileInCodePage(path.string(), "Gr\u00FC\u00DFe\n", 1252));
  EXPECT_EQ(Read(path),
            "Gr\xFC\xDF"
            "e\n");
  // Replaces a longer existing file as a whole.
  EXPECT_TRUE(WriteTextFileInCodePage(path.string(), "x", 1252));
  EXPECT_EQ(Read(path), "x");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_Dir), {}), 1);
}

TEST_F(TextFile, EmptyTextOrBadCodePageLeavesFilesAlone) {
  auto existing = m_Dir / "keep.txt";
  std::ofstream(existing) << "old";
  EXPECT_FALSE(WriteTextFileInCodePage(existing.string(), "", 1252));
  EXPECT_EQ(Read(existing), "old");
  EXPECT_FALSE(WriteTextFileInCodePage(existing.string(), "new", 4711));
  EXPECT_EQ(Read(existing), "old");
  auto missing = m_Dir / "never.txt";
  EXPECT_FALSE(WriteTextFileInCodePage(missing.string(), "text", 4711));
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(TextFile, UnwritableFolderReportsFailure) {
  EXPECT_FALSE(WriteTextFileInCodePage((m_Dir / "no" / "such" / "dir.txt").string(), "x", 1252));
}

}  // namespace
}  // namespace bw
