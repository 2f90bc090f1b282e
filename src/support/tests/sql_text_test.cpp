#include "support/SqlText.h"

#include <gtest/gtest.h>

namespace bw {
namespace {

TEST(SqlText, PlainValuesSpliceUnchanged) {
  EXPECT_EQ("EXEC master..sp_droplogin " + SqlString("archiver"),
            "EXEC master..sp_droplogin 'archiver'");
  EXPECT_EQ("USE " + SqlName("Brindlewick_Main"), "USE Brindlewick_Main");
  EXPECT_EQ(SqlName("_x1$#@"), "_x1$#@");
}

TEST(SqlText, HostileValuesStayOneValue) {
  EXPECT_EQ(SqlString("O'Brien"), "'O''Brien'");
  EXPECT_EQ(SqlString("x'; DROP DATABASE master --"), "'x''; DROP DATABASE master --'");
  EXPECT_EQ(SqlStringBody("''"), "''''");
  EXPECT_EQ(SqlName("Brindlewick_My Archive"), "[Brindlewick_My Archive]");
  EXPECT_EQ(SqlName("a]; DROP DATABASE x; --"), "[a]]; DROP DATABASE x; --]");
  EXPECT_EQ(SqlName("1abc"), "[1abc]");
  EXPECT_EQ(SqlName(""), "[]");
  EXPECT_EQ(SqlName("Größe"), "[Größe]");
  // Reserved keywords need brackets in any case; words that merely look like
  // them do not.
  EXPECT_EQ("CREATE DATABASE " + SqlName("Full"), "CREATE DATABASE [Full]");
  EXPECT_EQ(SqlName("select"), "[select]");
  EXPECT_EQ(SqlName("Fulltext"), "Fulltext");
  EXPECT_EQ(SqlName("Brindlewick_Full"), "Brindlewick_Full");
}

}  // namespace
}  // namespace bw
