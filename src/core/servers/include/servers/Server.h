// One registered SQL Server: its connection, what the logged-in account may
// do there, what the server is, its Windows service, and its archive
// catalogue. Created only by Servers; owned by it.
//
// One thread: the console's (Servers::ConnectPending connects several
// servers at once, each on its own thread). Connect never raises; CurrentUser, UserRoles,
// IsRolemember, RevokeLogin and StopService raise provider errors.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "data/DataAccess.h"
#include "servers/RegistrationPassword.h"
#include "servers/cRegistry.h"

namespace bw {

class Servers;
class Databases;

// Where the registrations live in the hive.
inline constexpr char kRegistryBasePath[] = "Software\\Brindlewick Server Manager\\";
inline constexpr char kServersKeyName[] = "Database Servers";
// The prefix of every archive database's name.
inline constexpr char kArchivePrefix[] = "Brindlewick_";

class Server {
 public:
  explicit Server(Servers* owner = nullptr);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  std::int32_t ServerID() const { return m_ServerID; }
  void SetServerID(std::int32_t id) { m_ServerID = id; }

  // The registration string (without the time-out suffix), with its
  // password wherever that is kept.
  const std::string& ConnectionString() const { return m_ConnectionString; }
  // Stores it, closes the connection (Connect opens it with the new string)
  // and writes it to the registration's key (creating the key). The password
  // goes into the keyring when one answers; when the keyring fails, it stays
  // in the hive and a message says why. Raises the registry's 26001.
  void SetConnectionString(const std::string& text);
  // Reads the registration from its key, as stored (a keyring reference
  // included). Raises the registry's errors.
  void ReadRegistration();
  // Then the password: from the keyring when the hive refers to it
  // (PasswordProblem when it cannot be read there). A password still in the
  // hive moves into the keyring when one answers: the secret is stored and
  // read back before the hive's copy is replaced by the reference, so a
  // failure anywhere leaves it where it was. Apart from ReadRegistration, so
  // a slow keyring is never asked while the hive is locked. Never raises.
  void ResolvePassword();

  // Where the password lives.
  PasswordPlace PasswordLocation() const { return m_PasswordPlace; }
  // Why the password the hive refers to could not be read from the keyring
  // ("" when it could); Connect does not try to log in without it.
  const std::string& PasswordProblem() const { return m_PasswordProblem; }

  // Opens the connection after the host answered an echo. False (with
  // Description) when it could not; never raises.
  bool Connect();
  // What Connect reads before it goes to the network: Name and HostName from
  // the registration, or Description when the registration cannot be read.
  // Never raises.
  void ReadName();
  bool IsConnected() const { return m_Connected; }
  const std::string& Description() const { return m_Description; }
  Connection& GetConnection() { return *m_Connection; }

  // The data source as the last Connect read it, and its host part (cut at
  // "\" for an instance and at "," for a port).
  const std::string& Name() const { return m_Name; }
  const std::string& HostName() const { return m_HostName; }
  // The connection's "Data Source", read now.
  std::string Location() const;

  // The stored 1-based position; setting it moves the registration (the
  // others shift). The new position is lowered to the number of
  // registrations when larger.
  long OrdinalPosition();
  void SetOrdinalPosition(long& position);

  // The login's name on the server ("" while not connected).
  std::string CurrentUser();
  // The roles of a database user of master.
  std::vector<std::string> UserRoles(const std::string& userName);
  // Whether the current login (or `loginName`) is in a fixed server role;
  // false for a role the server does not know.
  bool IsRolemember(const std::string& serverRole, const std::string& loginName = "");

  // Removes a login: its users from every database, then the login (type 1:
  // SQL Server login, else Windows login). False, after message 309, when it
  // owns a database; false when not connected.
  bool RevokeLogin(const std::string& loginName, int loginType);

  // The SQL Server service: state 1-7, or 0 when it cannot be known.
  int Status();
  bool StartService();
  bool StopService();

  // A row of xp_msver ("" when there is none); the major version (7 or 8);
  // the login mode (0 unknown, 1 Windows only, 2 mixed).
  std::string Version(const std::string& parameter);
  int ProductVersion();
  int LoginMode();

  // Echo test, and the host's join information when it answers.
  bool IsReachable(const std::string& hostName);
  // Runs the echo test of the next Connect now. Safe on any thread while
  // nothing else uses this server, so a caller with many servers can probe
  // them all at once: unreachable hosts then cost one time-out, not one each.
  void ProbeReachability();
  bool HostJoined() const { return m_HostJoined; }

  // The archive catalogue: made and filled from the server's database list
  // the first time it is asked for, then kept as it is (never refilled). An
  // archive that cannot be opened is listed among Databases::Unopened.
  class Databases& Databases();

  // Closes the connection, deletes the registration's key and then its
  // password in the keyring (a keyring that cannot remove it is reported;
  // the registration is gone either way).
  void DeleteRegistration();

  // The registration's key path.
  std::string RegistryKey() const;

 private:
  // The SQL login and password of the registration, for the service calls.
  void ServiceCredentials(std::string& login, std::string& password) const;
  int DataSourcePort() const;
  // Connect's steps before the echo: connection string, Name, HostName.
  void PrepareConnection();
  // The step of ResolvePassword for a password still in the hive.
  void MoveIntoKeyring(const RegistrationPassword& split, const std::string& stored);
  // Removes a secret no registration refers to any more; reports a failure.
  void ForgetSecret(const std::string& reference);

  Servers* m_Owner;
  std::int32_t m_ServerID = 0;
  std::string m_ConnectionString;
  std::unique_ptr<Connection> m_Connection;
  Command m_Command;
  std::string m_Name;
  std::string m_HostName;
  bool m_Connected = false;
  std::string m_Description;
  bool m_HostJoined = false;
  // The echo result ProbeReachability found for m_ProbedHost, used once.
  std::optional<bool> m_Probed;
  std::string m_ProbedHost;
  int m_ProductVersion = 0;
  cRegistry m_Registry;
  std::unique_ptr<class Databases> m_Databases;
  PasswordPlace m_PasswordPlace = PasswordPlace::None;
  // The keyring item's reference while the hive refers to one.
  std::string m_KeyringReference;
  std::string m_PasswordProblem;
  // The registration as ReadRegistration found it, and its PasswordStore.
  std::string m_StoredString;
  std::string m_StoredMarker;
};

}  // namespace bw
