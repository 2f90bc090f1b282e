// The Secret Service (org.freedesktop.secrets on the session bus) as the
// keyring, through libsecret. Items carry the schema
// "org.brindlewick.ServerManager.Password" and one attribute, "reference",
// and go into the default collection.
//
// Nothing here waits longer than the time-out: every call runs on a private
// main context that is given up (the call cancelled) when time runs out. A
// session without a bus is known without asking anyone (no
// DBUS_SESSION_BUS_ADDRESS and no $XDG_RUNTIME_DIR/bus), so nothing is ever
// autolaunched. A locked keyring is reported, never unlocked: unlocking
// would put a prompt in front of the user.
#pragma once

#include <memory>

#include "platform/SecretStore.h"

namespace bw::platform {

class SecretServiceStore : public SecretStore {
 public:
  static constexpr int kDefaultTimeoutMs = 5000;

  explicit SecretServiceStore(int timeoutMs = kDefaultTimeoutMs);
  ~SecretServiceStore() override;
  SecretServiceStore(const SecretServiceStore&) = delete;
  SecretServiceStore& operator=(const SecretServiceStore&) = delete;

  bool Available() override;
  std::string WhyUnavailable() const override;
  void Store(const std::string& reference, const std::string& label,
             const std::string& secret) override;
  std::optional<std::string> Lookup(const std::string& reference) override;
  bool Remove(const std::string& reference) override;

 private:
  struct Impl;
  std::unique_ptr<Impl> m_Impl;
};

}  // namespace bw::platform
