#include <gtest/gtest.h>

#include <chrono>

#include "KeyringSession.h"
#include "platform/SecretServiceStore.h"
#include "servers/RegistrationPassword.h"
#include "support/Error.h"

namespace bw {
namespace {

using platform::SecretServiceStore;
using Clock = std::chrono::steady_clock;

TEST(PrivateKeyring, KeepsReplacesAndRemovesSecretsOfEveryKind) {
  BW_REQUIRE_PRIVATE_SESSION("yes");
  SecretServiceStore store;
  ASSERT_TRUE(store.Available()) << store.WhyUnavailable();
  EXPECT_EQ(store.WhyUnavailable(), "");
  const std::string secrets[] = {
      "plain",
      " blanks around; a \"quote\", an 'apostrophe', {braces} and = ",
      "Zo\u00eb \u2603 \u00fcber",
      std::string(3000, 'x'),
  };
  for (const std::string& secret : secrets) {
    const std::string reference = RegistrationPassword::NewReference();
    store.Store(reference, "Brindlewick Server Manager: test", secret);
    EXPECT_EQ(store.Lookup(reference), secret);
    EXPECT_EQ(testing::KeyringSecret(reference), secret) << "really in the keyring";

    store.Store(reference, "Brindlewick Server Manager: test", "second");
    EXPECT_EQ(testing::KeyringSecret(reference), "second") << "replaced, not added";

    EXPECT_TRUE(store.Remove(reference));
    EXPECT_EQ(store.Lookup(reference), std::nullopt);
    EXPECT_EQ(testing::KeyringSecret(reference), std::nullopt);
    EXPECT_FALSE(store.Remove(reference));
  }
  EXPECT_TRUE(testing::KeyringLabels().empty()) << "nothing left behind";
}

TEST(LockedKeyring, IsReportedAtOnceAndNeverUnlockedOrWaitedFor) {
  BW_REQUIRE_PRIVATE_SESSION("yes");
  SecretServiceStore store(3000);
  ASSERT_TRUE(store.Available()) << store.WhyUnavailable();
  const std::string reference = RegistrationPassword::NewReference();
  store.Store(reference, "Brindlewick Server Manager: test", "kept before");
  testing::LockDefaultKeyring();

  auto expectLocked = [&](const char* what, auto call) {
    auto start = Clock::now();
    try {
      call();
      ADD_FAILURE() << what << " did not fail on a locked keyring";
    } catch (const Error& error) {
      EXPECT_EQ(error.Number(), platform::kErrKeyringLocked) << what << ": " << error.Description();
      EXPECT_EQ(error.Source(), platform::kKeyringSource);
      EXPECT_NE(error.Description().find("locked"), std::string::npos) << error.Description();
    }
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(2)) << what << " waited for a prompt";
  };
  expectLocked("Store", [&] { store.Store(RegistrationPassword::NewReference(), "l", "new"); });
  expectLocked("Lookup", [&] { store.Lookup(reference); });
  expectLocked("Remove", [&] { store.Remove(reference); });
}

TEST(StuckKeyring, ASecretServiceThatNeverAnswersCostsOneTimeOut) {
  BW_REQUIRE_PRIVATE_SESSION("no");
  testing::StuckSecretService stuck;
  SecretServiceStore store(700);
  auto start = Clock::now();
  EXPECT_FALSE(store.Available());
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(3));
  EXPECT_NE(store.WhyUnavailable().find("did not answer within 700 ms"), std::string::npos)
      << store.WhyUnavailable();

  // Asked once: the next calls fail at once with the same reason.
  start = Clock::now();
  EXPECT_FALSE(store.Available());
  try {
    store.Lookup("anything");
    ADD_FAILURE() << "a stuck keyring answered";
  } catch (const Error& error) {
    EXPECT_EQ(error.Number(), platform::kErrKeyringTimeout);
  }
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
}

}  // namespace
}  // namespace bw
