// The SQL log's file form and its subscribers, without a server.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "data/SqlLog.h"
#include "support/Error.h"

namespace bw {
namespace {

SqlLogEntry Entry(std::string text) {
  SqlLogEntry entry;
  entry.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1767323045678));
  entry.server = "127.0.0.1,1433";
  entry.database = "master";
  entry.login = "sa";
  entry.text = std::move(text);
  entry.duration = std::chrono::microseconds(1234);
  return entry;
}

TEST(SqlLogFormat, HeaderOutcomesAndAwkwardNames) {
  SqlLogEntry counted = Entry("DELETE FROM t");
  counted.rowsAffected = 3;
  EXPECT_EQ(FormatSqlLogEntry(counted),
            "-- 2026-01-02T03:04:05.678Z server=127.0.0.1,1433 database=master login=sa "
            "duration=1.234ms rows=3\nDELETE FROM t\nGO\n");

  SqlLogEntry failed = Entry("SELECT * FROM missing\n");
  failed.failed = true;
  failed.errors = {208, static_cast<std::int32_t>(0x80040E14u)};
  const std::string text = FormatSqlLogEntry(failed);
  EXPECT_NE(text.find(" error=208,0x80040E14\nSELECT * FROM missing\nGO\n"), std::string::npos)
      << text;

  // A name with blanks, quotes or a line break cannot break the header line.
  SqlLogEntry odd = Entry("SELECT 1");
  odd.login = "SHOP\\carol \"x\"\nend";
  odd.database = "";
  const std::string header = FormatSqlLogEntry(odd).substr(0, FormatSqlLogEntry(odd).find('\n'));
  EXPECT_NE(header.find("login=\"SHOP\\\\carol \\\"x\\\"\\x0aend\""), std::string::npos) << header;
  EXPECT_NE(header.find("database=\"\""), std::string::npos) << header;
  EXPECT_NE(header.find(" ok"), std::string::npos);

  SqlLogEntry connect = Entry("DRIVER={FreeTDS};PWD=********");
  connect.connect = true;
  EXPECT_NE(FormatSqlLogEntry(connect).find("\n-- connect DRIVER={FreeTDS};PWD=********\nGO\n"),
            std::string::npos);
}

TEST(SqlLogDelivery, SubscribersRecentEntriesAndTheFile) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("bw-sql-log-" + std::to_string(::getpid()) + ".sql");
  std::filesystem::remove(path);
  EXPECT_FALSE(SqlLog::Active());

  std::vector<std::string> seen;
  const int id = SqlLog::Subscribe([&seen](const SqlLogEntry& entry) {
    seen.push_back(entry.text);
    // A subscriber may be called again from inside (no lock is held).
    if (entry.text == "first") SqlLog::Record(Entry("nested"));
  });
  SqlLog::KeepRecent(true);
  SqlLog::OpenFile(path.string());
  EXPECT_TRUE(SqlLog::Active());
  SqlLog::Record(Entry("first"));
  SqlLog::Unsubscribe(id);
  SqlLog::Record(Entry("second"));
  SqlLog::OpenFile("");

  EXPECT_EQ(seen, (std::vector<std::string>{"first", "nested"}));
  std::vector<SqlLogEntry> recent = SqlLog::Recent();
  ASSERT_EQ(recent.size(), 3u);
  EXPECT_EQ(recent.back().text, "second");
  // A view that read the kept entries tells a live one it already has by its number.
  EXPECT_EQ(recent[1].sequence, recent[0].sequence + 1);
  EXPECT_EQ(recent[2].sequence, recent[1].sequence + 1);
  SqlLog::KeepRecent(false);
  EXPECT_TRUE(SqlLog::Recent().empty());
  EXPECT_FALSE(SqlLog::Active());

  std::ifstream in(path);
  std::stringstream file;
  file << in.rdbuf();
  EXPECT_EQ(file.str(), FormatSqlLogEntry(Entry("first")) + FormatSqlLogEntry(Entry("nested")) +
                            FormatSqlLogEntry(Entry("second")));
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  std::filesystem::remove(path);

  EXPECT_THROW(SqlLog::OpenFile("/nonexistent-folder/log.sql"), Error);
}

}  // namespace
}  // namespace bw
