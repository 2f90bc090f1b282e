// The waits the throttle hands out: none without failures, doubling per
// failure up to the maximum, one slot per attempt so parallel attempts
// queue, per address, and nothing at all when turned off.
#include <gtest/gtest.h>

#include "service/LoginThrottle.h"

namespace standin::service {
namespace {

using std::chrono::milliseconds;

// Reserve() measures from now, so a wait may come out a little shorter than
// the delay behind it; never longer.
void ExpectAbout(milliseconds actual, long expected) {
  EXPECT_LE(actual.count(), expected);
  EXPECT_GE(actual.count(), expected - 50);
}

TEST(LoginThrottle, WaitsGrowWithFailuresUpToTheMaximum) {
  LoginThrottle throttle(milliseconds(500));
  EXPECT_EQ(throttle.Reserve("10.0.0.1").count(), 0) << "no failures, no wait";
  EXPECT_EQ(throttle.Failed("10.0.0.1"), 1);
  ExpectAbout(throttle.Reserve("10.0.0.1"), 100);
  // A second attempt at the same time queues behind the first.
  ExpectAbout(throttle.Reserve("10.0.0.1"), 200);
  EXPECT_EQ(throttle.Reserve("10.0.0.2").count(), 0) << "other addresses are not slowed";
  for (int i = 0; i < 10; ++i) throttle.Failed("10.0.0.3");
  const milliseconds first = throttle.Reserve("10.0.0.3");
  const milliseconds second = throttle.Reserve("10.0.0.3");
  EXPECT_LE(first.count(), 500);
  ExpectAbout(second - first, 500);
}

TEST(LoginThrottle, ZeroTurnsItOff) {
  LoginThrottle throttle(milliseconds(0));
  for (int i = 0; i < 5; ++i) throttle.Failed("10.0.0.1");
  EXPECT_EQ(throttle.Reserve("10.0.0.1").count(), 0);
}

TEST(LoginThrottle, QuietAddressesAreForgotten) {
  LoginThrottle throttle(milliseconds(500), std::chrono::seconds(0));
  throttle.Failed("10.0.0.1");
  EXPECT_EQ(throttle.Reserve("10.0.0.1").count(), 0);
}

TEST(LoginThrottle, SourceIsTheAddressWithoutItsPort) {
  EXPECT_EQ(LoginThrottle::SourceOf("127.0.0.1:51234"), "127.0.0.1");
  EXPECT_EQ(LoginThrottle::SourceOf("test"), "test");
}

}  // namespace
}  // namespace standin::service
