#include "platform/SecretStore.h"

#include <algorithm>
#include <cctype>

#include "platform/MemorySecretStore.h"
#include "platform/SecretServiceStore.h"
#include "support/Error.h"
#include "support/Settings.h"

namespace bw::platform {

namespace {

SecretStore*& Installed() {
  static SecretStore* store = nullptr;
  return store;
}

bool KeyringSwitchedOff() {
  std::string value = Settings::Get(kSettingKeyring);
  std::transform(value.begin(), value.end(), value.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return value == "off" || value == "no" || value == "false" || value == "0";
}

constexpr char kSwitchedOff[] = "The keyring is not used (the setting Keyring is off).";

[[noreturn]] void ThrowUnavailable() {
  throw Error(kErrKeyringUnavailable, kKeyringSource, kSwitchedOff);
}

}  // namespace

SecretStore& Secrets() {
  if (Installed() != nullptr) return *Installed();
  if (KeyringSwitchedOff()) {
    static NoSecretStore none;
    return none;
  }
  // Made on first use and kept: it holds the connection to the keyring.
  static SecretServiceStore service;
  return service;
}

void SetSecretStore(SecretStore* store) {
  Installed() = store;
}

std::string NoSecretStore::WhyUnavailable() const {
  return kSwitchedOff;
}

void NoSecretStore::Store(const std::string&, const std::string&, const std::string&) {
  ThrowUnavailable();
}

std::optional<std::string> NoSecretStore::Lookup(const std::string&) {
  ThrowUnavailable();
}

bool NoSecretStore::Remove(const std::string&) {
  ThrowUnavailable();
}

constexpr char kNoDouble[] = "No keyring answers (test double).";

std::string MemorySecretStore::WhyUnavailable() const {
  return m_Available ? std::string() : kNoDouble;
}

void MemorySecretStore::ThrowIfFailing() const {
  if (!m_Available) throw Error(kErrKeyringUnavailable, kKeyringSource, kNoDouble);
  if (m_Failure != 0) {
    throw Error(m_Failure, kKeyringSource, "The keyring failed (test double).");
  }
}

void MemorySecretStore::Store(const std::string& reference, const std::string& label,
                              const std::string& secret) {
  ThrowIfFailing();
  m_Secrets[reference] = m_StoredInstead.value_or(secret);
  m_Labels[reference] = label;
}

std::optional<std::string> MemorySecretStore::Lookup(const std::string& reference) {
  ThrowIfFailing();
  auto it = m_Secrets.find(reference);
  if (it == m_Secrets.end()) return std::nullopt;
  return it->second;
}

bool MemorySecretStore::Remove(const std::string& reference) {
  ThrowIfFailing();
  m_Labels.erase(reference);
  return m_Secrets.erase(reference) > 0;
}

}  // namespace bw::platform
