// The SQL-logic format's own rules, which every .slt file relies on: a batch
// can hold empty lines, and the product version is fixed before the server
// starts.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "slt/Slt.h"

namespace standin::slt {
namespace {

class RecordingBackend : public Backend {
 public:
  Outcome Run(const std::string& sql) override {
    batches.push_back(sql);
    return {};
  }
  std::int32_t Login(const std::string&, const std::string&, const std::string&) override {
    return 0;
  }
  void UseSession(const std::string&) override {}
  std::vector<std::string> batches;
};

class SltFormatTest : public testing::Test {
 protected:
  ~SltFormatTest() override { std::filesystem::remove(m_Path); }
  std::string Write(const std::string& text) {
    std::ofstream(m_Path, std::ios::binary) << text;
    return m_Path.string();
  }

 private:
  std::filesystem::path m_Path =
      std::filesystem::temp_directory_path() / ("slt-format-" + std::to_string(getpid()) + ".slt");
};

TEST_F(SltFormatTest, ALoneBackslashIsAnEmptyLineOfTheBatch) {
  const std::string path =
      Write("statement ok\nPRINT 'a'\n\\\n\tPRINT 'b' \n\nstatement ok\nPRINT '\\'\n\\\\\n");
  RecordingBackend backend;
  std::ostringstream failures;
  EXPECT_EQ(RunFile(path, backend, failures), 0) << failures.str();
  // Only a line that is exactly one backslash stands for an empty line.
  EXPECT_EQ(backend.batches,
            (std::vector<std::string>{"PRINT 'a'\n\n\tPRINT 'b' ", "PRINT '\\'\n\\\\"}));
}

TEST_F(SltFormatTest, ProductVersionComesFirstOrNotAtAll) {
  EXPECT_EQ(FileProductVersion(Write("# comment\n\nstatement ok\nSELECT 1\n")), 8);
  EXPECT_EQ(FileProductVersion(Write("# comment\nproduct-version 7\n\nstatement ok\nSELECT 1\n")),
            7);
  EXPECT_THROW(FileProductVersion(Write("product-version 9\n")), std::runtime_error);
  EXPECT_THROW(FileProductVersion(Write("product-version\n")), std::runtime_error);

  // After a record the server already runs with its version: the line is a
  // failure, not silently ignored, and the records around it still run.
  const std::string late =
      Write("statement ok\nSELECT 1\n\nproduct-version 7\n\nstatement ok\nSELECT 2\n");
  EXPECT_EQ(FileProductVersion(late), 8);
  RecordingBackend backend;
  std::ostringstream failures;
  EXPECT_EQ(RunFile(late, backend, failures), 1);
  EXPECT_NE(failures.str().find(":4: product-version must come before"), std::string::npos)
      << failures.str();
  EXPECT_EQ(backend.batches.size(), 2u);
}

}  // namespace
}  // namespace standin::slt
