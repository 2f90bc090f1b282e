#include "servers/RegistrationPassword.h"

#include <cstdio>
#include <random>

#include "data/ConnectionString.h"
#include "platform/SecretStore.h"
#include "support/Error.h"

namespace bw {

const char* PasswordPlaceName(PasswordPlace place) {
  switch (place) {
    case PasswordPlace::Keyring:
      return "keyring";
    case PasswordPlace::Hive:
      return "hive";
    case PasswordPlace::None:
      break;
  }
  return "none";
}

std::optional<RegistrationPassword> RegistrationPassword::Split(const std::string& text) {
  try {
    std::vector<TextSpan> spans = ValueSpans(text, "Password");
    std::vector<TextSpan> pwd = ValueSpans(text, "PWD");
    spans.insert(spans.end(), pwd.begin(), pwd.end());
    if (spans.size() != 1) return std::nullopt;
    OleDbConnectionString parsed = OleDbConnectionString::Parse(text);
    RegistrationPassword result;
    result.m_Password = parsed.Get("Password").value_or(parsed.Get("PWD").value_or(""));
    if (result.m_Password.empty()) return std::nullopt;
    result.m_Before = text.substr(0, spans[0].offset);
    result.m_After = text.substr(spans[0].offset + spans[0].length);
    result.m_Login = parsed.Get("User Id").value_or(parsed.Get("UID").value_or(""));
    result.m_DataSource = parsed.Get("Data Source").value_or("");
    return result;
  } catch (const Error&) {
    return std::nullopt;
  }
}

PasswordPlace RegistrationPassword::PlaceOf(const std::string& text) {
  try {
    OleDbConnectionString parsed = OleDbConnectionString::Parse(text);
    bool has =
        !parsed.Get("Password").value_or("").empty() || !parsed.Get("PWD").value_or("").empty();
    return has ? PasswordPlace::Hive : PasswordPlace::None;
  } catch (const Error&) {
    return PasswordPlace::Hive;
  }
}

std::string RegistrationPassword::NewReference() {
  std::random_device random;
  std::string reference;
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(random()));
    reference += part;
  }
  return reference;
}

std::string RegistrationPassword::With(const std::string& value) const {
  return m_Before + OleDbValue(value) + m_After;
}

std::string RegistrationPassword::Reference() const {
  const std::string prefix = kKeyringReferencePrefix;
  if (m_Password.size() <= prefix.size() || m_Password.compare(0, prefix.size(), prefix) != 0) {
    return {};
  }
  return m_Password.substr(prefix.size());
}

std::string RegistrationPassword::Label() const {
  std::string who = m_Login.empty() ? std::string("(no login)") : m_Login;
  return "Brindlewick Server Manager: " + who + " on " + m_DataSource;
}

void RegistrationPassword::StoreIn(platform::SecretStore& store,
                                   const std::string& reference) const {
  store.Store(reference, Label(), m_Password);
  std::optional<std::string> kept = store.Lookup(reference);
  if (kept == m_Password) return;
  try {
    store.Remove(reference);
  } catch (const Error&) {
    // The failure reported below is the one that matters.
  }
  throw Error(platform::kErrKeyringFailed, platform::kKeyringSource,
              "The keyring did not give back the password it was given.");
}

std::string RegistrationPassword::Report(const std::string& lead, const Error& error) {
  return lead + " " + error.Description() + " (" + FormatErrorNumber(error.Number()) + ", " +
         error.Source() + ")";
}

}  // namespace bw
