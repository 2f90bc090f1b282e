// What the keyring tests share: the guard that keeps them inside the
// private session of with-private-keyring.sh, a look into the keyring that
// does not go through the product's code, and a Secret Service that never
// answers.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace bw::testing {

// True inside with-private-keyring.sh: "yes" with gnome-keyring running,
// "no" for --bus-only.
bool InPrivateSession(const std::string& keyring);

// Skips the test outside the private session: it must never reach the
// keyring of whoever runs the test binary by hand.
#define BW_REQUIRE_PRIVATE_SESSION(keyring)                                                   \
  if (!::bw::testing::InPrivateSession(keyring))                                              \
  GTEST_SKIP() << "runs only through tests/keyring/with-private-keyring.sh (ctest does so), " \
                  "never against your own keyring"

// The secret kept under `reference`, read with libsecret directly.
std::optional<std::string> KeyringSecret(const std::string& reference);
// The labels of every item the product keeps.
std::vector<std::string> KeyringLabels();
// Locks the default collection, as a user does from the keyring's viewer.
void LockDefaultKeyring();

// Owns org.freedesktop.secrets on the session bus and never answers a
// call: a keyring that hangs.
class StuckSecretService {
 public:
  StuckSecretService();
  ~StuckSecretService();
  StuckSecretService(const StuckSecretService&) = delete;
  StuckSecretService& operator=(const StuckSecretService&) = delete;

 private:
  void* m_Connection = nullptr;
  unsigned m_Filter = 0;
};

}  // namespace bw::testing
