// A registration string taken apart at its password, so the password can
// live in the keyring while the registration hive keeps the rest of the
// string, with a reference where the password stood:
//
//   "ConnectionString"=sz:"Provider=SQLOLEDB;Data Source=HOST;User Id=sa;Password=keyring:<hex>;"
//   "PasswordStore"=sz:"keyring"
//
// A string counts as referring to the keyring only when both are there, so
// every state a crash between the two writes can leave reads back whole
// (the marker is written before the reference and removed after it).
#pragma once

#include <optional>
#include <string>

namespace bw {

namespace platform {
class SecretStore;
}
class Error;

// Where a registration's password lives.
enum class PasswordPlace { None, Hive, Keyring };

// "none", "hive", "keyring": what bwctl and its JSON show.
const char* PasswordPlaceName(PasswordPlace place);

// The hive value beside "ConnectionString" that marks a reference.
inline constexpr char kPasswordStoreValueName[] = "PasswordStore";
inline constexpr char kPasswordStoreKeyring[] = "keyring";
// How a reference stands in the string: this prefix, then the keyring
// item's "reference" attribute.
inline constexpr char kKeyringReferencePrefix[] = "keyring:";

class RegistrationPassword {
 public:
  // `text` taken apart at its one password value (keyword Password or PWD,
  // any case). Nullopt when it has none or an empty one, when it has more
  // than one (which of them counts is the driver's business), or when it
  // cannot be parsed: such strings stay in the hive as they are.
  static std::optional<RegistrationPassword> Split(const std::string& text);

  // Where a string that stays whole in the hive keeps its password: Hive
  // when it holds a non-empty one or cannot be parsed (it may hold one),
  // else None.
  static PasswordPlace PlaceOf(const std::string& text);

  // A fresh keyring reference: 128 random bits in hex.
  static std::string NewReference();

  const std::string& Password() const { return m_Password; }
  // The string with `value` (quoted as OLE DB requires) where the password
  // stood; everything else exactly as it was.
  std::string With(const std::string& value) const;
  // The reference this string's password value holds ("" when it is not
  // one: no prefix, or nothing after it).
  std::string Reference() const;
  // What keyring viewers show for the password: the login and data source.
  std::string Label() const;

  // Keeps the password in `store` under `reference` and reads it back.
  // Throws bw::Error when either step fails or the keyring gives back
  // something else (what it kept is then removed as far as it can be).
  void StoreIn(platform::SecretStore& store, const std::string& reference) const;

  // The text of a message about a keyring failure: `lead`, then the error's
  // description, number and source.
  static std::string Report(const std::string& lead, const Error& error);

 private:
  std::string m_Before;
  std::string m_After;
  std::string m_Password;
  std::string m_Login;
  std::string m_DataSource;
};

}  // namespace bw
