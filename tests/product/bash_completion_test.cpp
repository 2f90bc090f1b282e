// bwctl's bash completion, sourced into a real bash with the built bwctl on
// PATH and a registered stand-in: what COMPREPLY offers at each place.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>

#include "BwctlProcess.h"
#include "StandinFixture.h"

namespace bw {
namespace {

class BashCompletion : public testing::StandinSuite {
 protected:
  void SetUp() override {
    m_Home = std::filesystem::temp_directory_path() /
             ("bw-completion-" + std::to_string(::getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(m_Home);
    std::filesystem::create_directories(m_Home);
    std::ofstream(m_Home / "sa.pw") << kSaPassword << "\n";
    ASSERT_EQ(testing::RunBwctl(m_Home, {"server", "add", "--data-source", DataSource(), "--user",
                                         "sa", "--password-file", (m_Home / "sa.pw").string()})
                  .code,
              0);
  }
  void TearDown() override { std::filesystem::remove_all(m_Home); }

  // COMPREPLY, sorted, for the command line `line` completed at its end
  // (a trailing blank starts a new word).
  std::vector<std::string> Complete(const std::string& line) {
    std::istringstream split(line);
    std::vector<std::string> parts;
    for (std::string part; split >> part;) parts.push_back(part);
    if (line.empty() || line.back() == ' ') parts.emplace_back();
    std::string array;
    for (const std::string& part : parts) array += " '" + part + "'";
    const std::string bin = std::filesystem::path(BWCTL_BINARY).parent_path().string();
    const auto script = m_Home / "complete.sh";
    std::ofstream(script) << "PATH='" << bin << "':$PATH\n"
                          << "source '" BWCTL_COMPLETION "'\n"
                          << "COMP_WORDS=(" << array << ")\n"
                          << "COMP_CWORD=" << parts.size() - 1 << "\n"
                          << "_bwctl\n"
                          << "printf '%s\\n' \"${COMPREPLY[@]}\"\n";
    const auto out = m_Home / "reply";
    const std::string command = "env XDG_CONFIG_HOME='" + m_Home.string() + "' bash --norc '" +
                                script.string() + "' >'" + out.string() + "' 2>&1 </dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << line;
    std::ifstream in(out);
    std::vector<std::string> reply;
    for (std::string entry; std::getline(in, entry);) {
      if (!entry.empty()) reply.push_back(entry);
    }
    std::sort(reply.begin(), reply.end());
    return reply;
  }

  std::filesystem::path m_Home;
};

using Words = std::vector<std::string>;

TEST_F(BashCompletion, AreasCommandsOptionsServersAndArchives) {
  ASSERT_EQ(testing::RunBwctl(m_Home, {"archive", "create", "1", "Letters",
                                       "C:\\Program Files\\Microsoft SQL Server\\MSSQL\\Data\\"
                                       "Letters.mdf"})
                .code,
            0);
  EXPECT_EQ(Complete("bwctl "), (Words{"archive", "login", "server", "text", "user"}));
  EXPECT_EQ(Complete("bwctl --yes ar"), (Words{"archive"}));
  EXPECT_EQ(Complete("bwctl server st"), (Words{"start", "status", "stop"}));
  EXPECT_EQ(Complete("bwctl --j"), (Words{"--json"}));
  EXPECT_EQ(Complete("bwctl server list --o"), (Words{"--offline"}));
  EXPECT_EQ(Complete("bwctl login add 1 clerk --role s"), (Words{"securityadmin", "sysadmin"}));
  EXPECT_EQ(Complete("bwctl user set 1 Letters clerk --role w"), (Words{"writer"}));
  // Registered ServerIDs, read without connecting.
  EXPECT_EQ(Complete("bwctl server status "), (Words{"1"}));
  EXPECT_EQ(Complete("bwctl --sql-log x.sql archive list "), (Words{"1"}));
  EXPECT_EQ(Complete("bwctl archive fulltext "), (Words{"create", "drop", "status"}));
  // Archive names where an archive is asked for, from the server.
  EXPECT_EQ(Complete("bwctl archive properties 1 "), (Words{"Letters"}));
  EXPECT_EQ(Complete("bwctl archive fulltext status 1 L"), (Words{"Letters"}));
  EXPECT_EQ(Complete("bwctl user list 1 "), (Words{"Letters"}));
  EXPECT_EQ(Complete("bwctl login add 1 clerk --archive "), (Words{"Letters"}));
  // Nothing where a new name goes, nor for a ServerID that is not registered.
  EXPECT_EQ(Complete("bwctl archive create 1 "), Words{});
  EXPECT_EQ(Complete("bwctl archive properties 7 "), Words{});
  testing::RunBwctl(m_Home, {"--yes", "archive", "delete", "1", "Letters"});
}

}  // namespace
}  // namespace bw
