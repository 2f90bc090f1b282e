// The desktop's keyring: where registrations keep their passwords when one
// answers, so the registration hive holds only a reference to them. The
// product uses the Secret Service on the session bus (SecretServiceStore);
// tests install a MemorySecretStore. Every call returns within the store's
// time-out: a missing, locked or stuck keyring is an error, never a wait.
//
// One thread at a time: the console's (or bwctl's) main thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace bw::platform {

inline constexpr char kKeyringSource[] = "Keyring";
// No keyring answers: no session bus, no Secret Service on it, or the
// setting Keyring is "off" (ERROR_NO_SUCH_LOGON_SESSION, the credential
// store's own answer when there is none).
inline constexpr std::int32_t kErrKeyringUnavailable = static_cast<std::int32_t>(0x80070520u);
// The keyring is locked; it is never unlocked on our behalf, since that
// would put a prompt in front of a user who did not ask for one.
inline constexpr std::int32_t kErrKeyringLocked = static_cast<std::int32_t>(0x80070005u);
// The keyring did not answer within the time-out (ERROR_TIMEOUT).
inline constexpr std::int32_t kErrKeyringTimeout = static_cast<std::int32_t>(0x800705B4u);
// A secret the hive refers to is not in the keyring (ERROR_NOT_FOUND).
inline constexpr std::int32_t kErrKeyringNoSecret = static_cast<std::int32_t>(0x80070490u);
// Anything else the keyring answered (E_FAIL); the description is its own.
inline constexpr std::int32_t kErrKeyringFailed = static_cast<std::int32_t>(0x80004005u);

class SecretStore {
 public:
  virtual ~SecretStore() = default;

  // Whether a keyring answers. The first call asks (within the time-out);
  // the answer is kept for the life of the process, so a machine without a
  // keyring pays for the question once.
  virtual bool Available() = 0;
  // Why Available said no, for a message ("" when it said yes or was not
  // asked yet).
  virtual std::string WhyUnavailable() const = 0;

  // Keeps `secret` under `reference`, replacing what was kept there before.
  // `label` is what keyring viewers show; it never holds the secret.
  // Throws bw::Error (source kKeyringSource) when it cannot.
  virtual void Store(const std::string& reference, const std::string& label,
                     const std::string& secret) = 0;

  // The secret kept under `reference`, nullopt when there is none. Throws
  // bw::Error when the keyring cannot answer (locked, gone, timed out).
  virtual std::optional<std::string> Lookup(const std::string& reference) = 0;

  // Removes the secret kept under `reference`: true when there was one.
  // Throws bw::Error when the keyring cannot answer.
  virtual bool Remove(const std::string& reference) = 0;
};

// The installed store; without one, the Secret Service (or, when the
// setting Keyring is "off", a store that is never available).
SecretStore& Secrets();
// Installs a store for tests; nullptr goes back to the setting's choice.
// The caller keeps ownership.
void SetSecretStore(SecretStore* store);

// The store the setting Keyring says "off" to: never available, and every
// other call throws kErrKeyringUnavailable.
class NoSecretStore : public SecretStore {
 public:
  bool Available() override { return false; }
  std::string WhyUnavailable() const override;
  void Store(const std::string&, const std::string&, const std::string&) override;
  std::optional<std::string> Lookup(const std::string&) override;
  bool Remove(const std::string&) override;
};

}  // namespace bw::platform
