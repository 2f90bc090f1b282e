#include "platform/Environment.h"

#include <gtest/gtest.h>
#include <stdlib.h>

namespace bw {
namespace {

TEST(ExpandEnvironmentStrings, BothSpellingsAndUnsetNamesKept) {
  ::setenv("BW_TEST_DIR", "/srv/bw", 1);
  ::setenv("BW_TEST_EMPTY", "", 1);
  ::unsetenv("BW_TEST_UNSET");
  struct Case {
    const char* text;
    const char* expanded;
  };
  const Case cases[] = {
      {"%BW_TEST_DIR%\\Temp", "/srv/bw\\Temp"},
      {"$BW_TEST_DIR/temp", "/srv/bw/temp"},
      {"${BW_TEST_DIR}x", "/srv/bwx"},
      {"$BW_TEST_DIRx", "$BW_TEST_DIRx"},
      {"[%BW_TEST_EMPTY%]", "[]"},
      {"%BW_TEST_UNSET%", "%BW_TEST_UNSET%"},
      {"$BW_TEST_UNSET ${BW_TEST_UNSET}", "$BW_TEST_UNSET ${BW_TEST_UNSET}"},
      {"%BW_TEST_UNSET%BW_TEST_DIR%", "%BW_TEST_UNSET/srv/bw"},
      {"100% sure, $5, ${, %", "100% sure, $5, ${, %"},
      {"%%", "%%"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandEnvironmentStrings(c.text), c.expanded) << c.text;
  ::unsetenv("BW_TEST_DIR");
  ::unsetenv("BW_TEST_EMPTY");
}

}  // namespace
}  // namespace bw
