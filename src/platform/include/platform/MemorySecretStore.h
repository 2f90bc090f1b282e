// A keyring in memory, for tests: the secrets in a map, and switches that
// make it behave like a keyring that is not there, is locked, or keeps
// something other than what it was given.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/SecretStore.h"

namespace bw::platform {

class MemorySecretStore : public SecretStore {
 public:
  bool Available() override { return m_Available; }
  std::string WhyUnavailable() const override;
  void Store(const std::string& reference, const std::string& label,
             const std::string& secret) override;
  std::optional<std::string> Lookup(const std::string& reference) override;
  bool Remove(const std::string& reference) override;

  // Whether Available says yes (default: yes). An unavailable store also
  // fails every other call, as the real one does.
  void SetAvailable(bool available) { m_Available = available; }
  // Every call from now on throws `number` (0: none). Available is unchanged:
  // a keyring that is there but locked or stuck.
  void SetFailure(std::int32_t number) { m_Failure = number; }
  // Store keeps this instead of what it is given (nullopt: what it is given).
  void SetStoredInstead(std::optional<std::string> secret) { m_StoredInstead = std::move(secret); }

  // What tests inspect: the secrets and labels by reference.
  const std::map<std::string, std::string>& Secrets() const { return m_Secrets; }
  const std::map<std::string, std::string>& Labels() const { return m_Labels; }

 private:
  void ThrowIfFailing() const;

  bool m_Available = true;
  std::int32_t m_Failure = 0;
  std::optional<std::string> m_StoredInstead;
  std::map<std::string, std::string> m_Secrets;
  std::map<std::string, std::string> m_Labels;
};

}  // namespace bw::platform
