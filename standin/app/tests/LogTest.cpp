// Log lines carry values from strangers (LOGIN7 user names, statement texts):
// none of them may start a line of its own or steer a terminal.
#include <gtest/gtest.h>

#include "Log.h"

namespace standin::app {
namespace {

TEST(Log, ControlCharactersAreEscaped) {
  const struct {
    std::string in;
    std::string out;
  } cases[] = {
      {"plain DOMAIN\\alice", "plain DOMAIN\\alice"},
      {"sa\r\n2026-01-01T00:00:00.000Z sqlstandin: forged",
       "sa\\x0d\\x0a2026-01-01T00:00:00.000Z sqlstandin: forged"},
      {std::string("nul\0tab\tdel\x7f", 12), "nul\\x00tab\\x09del\\x7f"},
      {"esc\x1b[31mred", "esc\\x1b[31mred"},
      {"next line \xc2\x85 and \xc2\x9b", "next line \\u0085 and \\u009b"},
      {"caf\xc3\xa9 \xe2\x80\xa8 kept", "caf\xc3\xa9 \xe2\x80\xa8 kept"},
      {"cut \xc2", "cut \xc2"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeControlCharacters(c.in), c.out) << c.in;
}

TEST(Log, EveryLineIsOneLine) {
  std::vector<std::string> lines;
  CaptureLog([&](const std::string& line) { lines.push_back(line); });
  LogLine("login from 127.0.0.1:1 failed for user 'x\nspid 51: login 'sa''");
  CaptureLog({});
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].find('\n'), std::string::npos);
}

}  // namespace
}  // namespace standin::app
