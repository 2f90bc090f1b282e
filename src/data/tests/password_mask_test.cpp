// What the SQL log keeps of statements and connection strings that carry
// passwords: the password never, everything else unchanged.
#include <gtest/gtest.h>

#include "data/PasswordMask.h"

namespace bw {
namespace {

struct MaskCase {
  const char* input;
  const char* masked;
};

TEST(PasswordMask, StatementsKeepEverythingButThePassword) {
  const MaskCase cases[] = {
      // The product's own statements, with quotes and semicolons in the password.
      {"EXEC master..sp_addlogin [o'hara], 'pa''ss; word'",
       "EXEC master..sp_addlogin [o'hara], '********'"},
      {"EXEC master..sp_password @old=NULL, @new='x''; DROP TABLE t --', @loginame='clerk'",
       "EXEC master..sp_password @old=NULL, @new='********', @loginame='clerk'"},
      // Positional, national literals, bare words and extra arguments.
      {"exec sp_password N'old', N'new', 'clerk'",
       "exec sp_password N'********', N'********', 'clerk'"},
      {"EXEC sp_addlogin clerk, secret, master", "EXEC sp_addlogin clerk, '********', master"},
      {"EXEC sp_addlogin 'clerk', NULL", "EXEC sp_addlogin 'clerk', NULL"},
      {"EXEC sp_addlogin @loginame='clerk', @defdb='master', @passwd='p'",
       "EXEC sp_addlogin @loginame='clerk', @defdb='master', @passwd='********'"},
      {"EXEC [master].[dbo].[sp_addlogin] 'a' , 'b'",
       "EXEC [master].[dbo].[sp_addlogin] 'a' , '********'"},
      {"EXEC sp_addlinkedsrvlogin 'srv', 'false', NULL, 'remote', 'rpw'",
       "EXEC sp_addlinkedsrvlogin 'srv', 'false', NULL, 'remote', '********'"},
      {"EXEC sp_setapprole 'app', 'apw'", "EXEC sp_setapprole 'app', '********'"},
      // Two calls in one batch, and a comment between name and arguments.
      {"EXEC sp_addlogin 'a', 'p1' EXEC sp_addlogin /* c */ 'b', 'p2'",
       "EXEC sp_addlogin 'a', '********' EXEC sp_addlogin /* c */ 'b', '********'"},
      {"ALTER LOGIN clerk WITH PASSWORD = 'n' OLD_PASSWORD='o'",
       "ALTER LOGIN clerk WITH PASSWORD = '********' OLD_PASSWORD='********'"},
      // Connection strings handed to the server.
      {"SELECT * FROM OPENROWSET('SQLOLEDB', 'Server=s;UID=u;PWD=p;x=1', 'SELECT 1')",
       "SELECT * FROM OPENROWSET('SQLOLEDB', 'Server=s;UID=u;PWD=********;x=1', 'SELECT 1')"},
      {"SELECT 'Password={a;b}}c};Data Source=h'", "SELECT 'Password=********;Data Source=h'"},
      // No password: unchanged, however it looks.
      {"SELECT name FROM syslogins WHERE name = 'sp_password'",
       "SELECT name FROM syslogins WHERE name = 'sp_password'"},
      {"-- EXEC sp_addlogin 'a', 'b'\nSELECT 1", "-- EXEC sp_addlogin 'a', 'b'\nSELECT 1"},
      {"SELECT 'mypwd=3'", "SELECT 'mypwd=3'"},
      {"CREATE DATABASE [Brindlewick_Letters]", "CREATE DATABASE [Brindlewick_Letters]"},
      {"", ""},
      // Cut short: what remains of the password still goes.
      {"EXEC sp_addlogin 'a', 'unterminated; pass", "EXEC sp_addlogin 'a', '********'"},
      {"EXEC sp_addlogin 'a',", "EXEC sp_addlogin 'a',"},
      {"SELECT 'PWD=abc", "SELECT 'PWD=********"},
  };
  for (const MaskCase& c : cases) {
    EXPECT_EQ(MaskStatementPasswords(c.input), c.masked) << c.input;
  }
}

TEST(PasswordMask, ConnectionStrings) {
  const MaskCase cases[] = {
      {"DRIVER={FreeTDS};Server=h;UID=sa;PWD={a;b}}c};Database=m",
       "DRIVER={FreeTDS};Server=h;UID=sa;PWD=********;Database=m"},
      {"Provider=SQLOLEDB;User Id=sa;Password=\"x\"\";y\";Data Source=h",
       "Provider=SQLOLEDB;User Id=sa;Password=********;Data Source=h"},
      {"Password='it''s;x';Data Source=h", "Password=********;Data Source=h"},
      {"pwd = plain", "pwd = ********"},
      {"Server=h;Trusted_Connection=yes", "Server=h;Trusted_Connection=yes"},
  };
  for (const MaskCase& c : cases) {
    EXPECT_EQ(MaskConnectionPasswords(c.input), c.masked) << c.input;
  }
}

}  // namespace
}  // namespace bw
