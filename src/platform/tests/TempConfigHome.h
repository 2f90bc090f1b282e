// Gives each test its own XDG_CONFIG_HOME, so it sees a fresh hive and
// never the developer's own.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "platform/RegistryHive.h"

namespace bw {

class TempConfigHome : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "bw-hive-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    m_Folder = pattern;
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) m_OldValue = old;
    ::setenv("XDG_CONFIG_HOME", (m_Folder / "config").c_str(), 1);
  }
  void TearDown() override {
    if (m_OldValue) {
      ::setenv("XDG_CONFIG_HOME", m_OldValue->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
    RegistryHive::TakeDamageNotice();
    std::filesystem::remove_all(m_Folder);
  }

  std::filesystem::path Folder() const { return m_Folder; }
  std::filesystem::path HivePath() const { return m_Folder / "config/brindlewick/registry.hive"; }
  std::string ReadHiveFile(const std::filesystem::path& path) const {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  void WriteHiveFile(const std::string& text) const {
    std::filesystem::create_directories(HivePath().parent_path());
    std::ofstream(HivePath(), std::ios::binary) << text;
  }

 private:
  std::filesystem::path m_Folder;
  std::optional<std::string> m_OldValue;
};

}  // namespace bw
