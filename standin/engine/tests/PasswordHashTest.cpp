// Passwords are kept only as salted hashes.
#include <gtest/gtest.h>

#include "common/PasswordHash.h"

namespace standin::engine {
namespace {

TEST(PasswordHash, IsSaltedAndChecksExactly) {
  const std::string first = HashPassword("Secret#1");
  const std::string second = HashPassword("Secret#1");
  EXPECT_NE(first, second);  // a fresh salt each time
  EXPECT_EQ(first.find("Secret#1"), std::string::npos);
  EXPECT_TRUE(VerifyPassword("Secret#1", first));
  EXPECT_TRUE(VerifyPassword("Secret#1", second));
  EXPECT_FALSE(VerifyPassword("secret#1", first));
  EXPECT_FALSE(VerifyPassword("", first));
  EXPECT_FALSE(VerifyPassword("Secret#1", "not a hash"));
}

}  // namespace
}  // namespace standin::engine
