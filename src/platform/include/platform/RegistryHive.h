// The per-user registry hive that stands in for HKEY_CURRENT_USER: keys and
// typed values in one private text file, read and written whole.
//
// Every operation is a read-modify-write under an exclusive lock (flock on a
// lock file beside the hive): it re-reads the file, applies its one change and
// replaces the file atomically (temporary file, fsync, rename). Two consoles
// writing at once therefore lose nothing, and a crash leaves the last complete
// state. A Transaction holds the lock across several operations.
//
// Threads and processes: a Transaction belongs to the thread that began it
// and must end there; other threads wait for it as other processes do. A
// child forked inside a transaction does not share it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HiveFormat.h"
#include "support/Error.h"

namespace bw {

// Win32 error codes, answered where the registry functions would answer them.
inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorInvalidParameter = 87;
inline constexpr long kErrorBadDb = 1009;
inline constexpr long kErrorRegistryCorrupt = 1015;
inline constexpr long kErrorRegistryIoFailed = 1016;
inline constexpr long kErrorKeyHasChildren = 1020;

// The number of a bw::Error the hive raises: HRESULT_FROM_WIN32(code).
constexpr std::int32_t HiveErrorNumber(long code) {
  return static_cast<std::int32_t>(0x80070000u | (static_cast<std::uint32_t>(code) & 0xFFFFu));
}
// The Win32 code inside such a number (the number itself for any other error).
long HiveErrorCode(const Error& error);

inline constexpr char kHiveErrorSource[] = "RegistryHive";

class RegistryHive {
 public:
  // $XDG_CONFIG_HOME/brindlewick/registry.hive, XDG_CONFIG_HOME being ~/.config
  // when it is unset, empty or not absolute (the XDG rule). Read at each call.
  static std::filesystem::path DefaultPath();
  static RegistryHive ForCurrentUser() { return RegistryHive(DefaultPath()); }

  explicit RegistryHive(std::filesystem::path path);
  const std::filesystem::path& Path() const { return m_Path; }

  // Holds the hive's lock from construction to destruction. Operations on the
  // same hive in this process, through any RegistryHive object, join it and
  // see each other's changes; other processes wait. Each change is still
  // written when it is made: there is no rollback, as in the registry.
  // Throws like the operations below when the lock or the file cannot be had.
  class Transaction {
   public:
    explicit Transaction(const RegistryHive& hive);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

   private:
    std::string m_SessionKey;
  };

  // Every operation below throws bw::Error (number HiveErrorNumber(code),
  // source kHiveErrorSource) when the hive cannot be read or written
  // (kErrorAccessDenied, kErrorRegistryIoFailed), when the file was written by
  // a newer format (kErrorBadDb; the file is left alone), or when the file is
  // damaged (kErrorRegistryCorrupt): the damaged file is then renamed to
  // "<hive>.damaged-YYYYMMDD-HHMMSS" (UTC) and the description says so; the
  // next operation starts from an empty hive. Other outcomes are returned as
  // Win32 codes. Key paths are split by SplitKeyPath; an invalid one gives
  // kErrorInvalidParameter, or "not found" where only a lookup is asked.

  bool KeyExists(std::string_view key) const;
  // Creates the key and any missing parents; an existing key is success.
  long CreateKey(std::string_view key) const;
  // Deletes a key that has no sub-keys (its values go with it):
  // kErrorKeyHasChildren otherwise, kErrorFileNotFound when it is missing.
  long DeleteKey(std::string_view key) const;
  // The names of the key's sub-keys, sorted ignoring case as the registry
  // sorts them ("10" before "9"); nothing when the key does not exist.
  std::optional<std::vector<std::string>> EnumerateSubKeys(std::string_view key) const;
  // Nothing when the key or the value does not exist.
  std::optional<RegistryValue> QueryValue(std::string_view key, std::string_view name) const;
  // Creates the key when it is missing; replaces any value of that name.
  long SetValue(std::string_view key, std::string_view name, const RegistryValue& value) const;
  // kErrorFileNotFound when the key or the value does not exist.
  long DeleteValue(std::string_view key, std::string_view name) const;

  // The description of the last damaged hive this process moved aside, once:
  // for callers that could not show the error when it happened (a setting
  // read early at start-up). Empty after it has been taken.
  static std::optional<std::string> TakeDamageNotice();

 private:
  std::filesystem::path m_Path;
};

// The key whose values override the built-in settings.
inline constexpr char kSettingsKeyPath[] = "Software\\Brindlewick Server Manager\\Settings";

// Makes bw::Settings read REG_SZ and REG_DWORD values (the DWORD as its
// unsigned decimal text) under kSettingsKeyPath of the current user's hive.
// A hive that cannot be read gives no value; a damaged one leaves its notice
// for TakeDamageNotice.
void InstallHiveSettingsLayer();

}  // namespace bw
